#include "zip32j.h"

#include "atomic_output.h"
#include "cmdline.h"
#include "cp932.h"
#include "files.h"
#include "izip32j.h"
#include "module.h"
#include "results.h"

#include <algorithm>
#include <dlfcn.h>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

arc::ModuleState state;

struct Options {
    bool bareNames = false;
    bool hidden = false;
    bool utf8Names = false;
    int level = 6;
    unsigned threads = 0; // -mt<N>; 0: the default
    std::string archive;
    std::vector<std::string> files;
};

int parse(const char* cmdLine, Options& opt) {
    bool namesOnly = false; // after "--" every token is a name
    for (const std::string& t : arc::splitCommandLine(cmdLine)) {
        // An empty token ("") names nothing; taken for no archive, it would
        // make the next name the archive.
        if (t.empty())
            return arc::kErrCommand;
        if (!namesOnly && t == "--") {
            namesOnly = true;
        } else if (namesOnly || t[0] != '-') {
            if (opt.archive.empty())
                opt.archive = t;
            else
                opt.files.push_back(t);
        } else if (t == "-j") {
            opt.bareNames = true;
        } else if (t == "-S") {
            opt.hidden = true;
        } else if (t == "-utf8") {
            opt.utf8Names = true;
        } else if (t.size() == 2 && t[1] >= '0' && t[1] <= '9') {
            opt.level = t[1] - '0';
        } else if (t.rfind("-mt", 0) == 0) {
            if ((opt.threads = arc::parseThreads(std::string_view(t).substr(3))) == 0)
                return arc::kErrCommand;
        } else if (t.rfind("-i@", 0) == 0 && t.size() > 3) {
            if (!arc::readResponseFile(t.substr(3), opt.files))
                return arc::kErrCannotRead;
        } else {
            return arc::kErrCommand;
        }
    }
    return opt.archive.empty() || !opt.bareNames ? arc::kErrCommand : arc::kOk;
}

// Hands the engine's progress reports to this module's hook.
int forward(void* user, const char* member, unsigned long long done, unsigned long long total) {
    auto* progress = static_cast<arc::Progress*>(user);
    progress->setTotal(total);
    return progress->report(member, done) ? 1 : 0;
}

// The engine, loaded from the folder this module was loaded from when a call
// first needs it and kept until this module is unloaded, so that a call pays
// neither for loading it nor for the compressors and threads it keeps. A load
// that failed is tried again by the next call.
class Engine {
public:
    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine() {
        if (handle_)
            ::dlclose(handle_);
    }

    IZipUpdateFn update() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!handle_)
            load();
        return update_;
    }

private:
    void load() {
        Dl_info info;
        if (::dladdr(reinterpret_cast<void*>(&Zip), &info) == 0 || !info.dli_fname)
            return;
        const std::string path = arc::folderOf(info.dli_fname) + "/libizip32j.so";
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        update_ = reinterpret_cast<IZipUpdateFn>(::dlsym(handle, "IZipUpdate"));
        if (update_)
            handle_ = handle;
        else
            ::dlclose(handle);
    }

    std::mutex mutex_;
    void* handle_ = nullptr;
    IZipUpdateFn update_ = nullptr;
};

Engine engine;

int run(const char* cmdLine, std::string& /*output: nothing to hand back*/) {
    Options opt;
    int rc = parse(cmdLine, opt);
    if (rc != arc::kOk)
        return rc;
    int skipped = 0;
    std::vector<std::string> names;
    std::vector<IZipSource> sources;
    names.reserve(opt.files.size());
    for (const std::string& path : opt.files) {
        std::string name = arc::baseNameOf(path);
        // A name is stored only when extraction gives it back as it is: an
        // entry named with a control character, or with bytes that are not
        // UTF-8 (read back as Shift_JIS or CP437), could never be found again.
        if ((!opt.hidden && arc::isHiddenName(name)) || !arc::isValidUtf8(name) ||
            arc::safeMemberName(name, false) != name) {
            skipped = arc::addSkipped(skipped);
            continue;
        }
        names.push_back(std::move(name));
        sources.push_back({path.c_str(), names.back().c_str()});
    }
    const IZipUpdateFn update = engine.update();
    if (!update)
        return arc::kErrEngineMissing;
    arc::Progress progress = state.makeProgress(0);
    rc = update(opt.archive.c_str(), sources.data(), sources.size(), opt.level, opt.utf8Names,
                opt.threads, forward, &progress);
    if (rc <= arc::kMaxSkipped)
        rc = std::min(rc + skipped, static_cast<int>(arc::kMaxSkipped));
    return rc;
}

} // namespace

ARC_MODULE_EXPORTS(Zip, state, run, 100)
