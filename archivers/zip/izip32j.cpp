#include "izip32j.h"

#include "results.h"
#include "zip_archive.h"

#include <new>

ARC_EXPORT int IZipUpdate(const char* archive, const IZipSource* sources, unsigned long count,
                          int level, int utf8Names, unsigned threads, ArcProgressFn progress,
                          void* user) {
    if (!archive || (count > 0 && !sources) || level < 0 || level > 9 || threads > 64)
        return arc::kErrCommand;
    try {
        std::vector<zip::Source> list;
        list.reserve(count);
        for (unsigned long i = 0; i < count; ++i) {
            if (!sources[i].path || !sources[i].name)
                return arc::kErrCommand;
            list.push_back({sources[i].path, sources[i].name});
        }
        arc::Progress hook(progress, user, 0);
        zip::Limits limits;
        if (threads > 0)
            limits.threads = threads;
        return zip::updateArchive(archive, list, level, hook, limits,
                                  utf8Names ? zip::NameCoding::Utf8 : zip::NameCoding::Cp932First);
    } catch (const std::bad_alloc&) {
        return arc::kErrNoMemory;
    }
}
