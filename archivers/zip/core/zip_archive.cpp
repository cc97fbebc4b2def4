#include "zip_archive.h"

#include "files.h"
#include "results.h"

#include <cerrno>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace zip {

namespace {

bool isFatal(int rc) {
    return rc == arc::kErrCancelled || rc == arc::kErrDiskFull || rc == arc::kErrNoMemory ||
           rc == arc::kErrCannotWriteFile;
}

// What becomes of each source an update adds.
enum State : char { kUntried, kStored, kUnreadable, kUpToDate };

struct UpdatePlan {
    std::vector<const Source*> todo; // the first source of each name
    std::unordered_map<std::string, size_t> byName;
    std::vector<State> state;
    int skipped = 0;
    size_t added = 0;
    size_t upToDate = 0; // sources whose entries hold their bytes already
};

// Takes the first source of each name; a later one of a name already taken
// is skipped, and so is the archive being updated (`archive`, null when there
// is none yet) under its name or another link to it: stored, it would go in
// as the old archive it is replaced by. Returns the bytes of the sources that
// are regular files.
uint64_t chooseSources(const std::vector<Source>& sources, const struct stat* archive,
                       UpdatePlan& plan) {
    uint64_t total = 0;
    for (const Source& s : sources) {
        if (!plan.byName.emplace(s.name, plan.todo.size()).second) {
            plan.skipped = arc::addSkipped(plan.skipped);
            continue;
        }
        plan.todo.push_back(&s);
        plan.state.push_back(kUntried);
        struct stat st;
        if (::stat(s.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (archive && arc::sameInode(st, *archive)) {
            plan.state.back() = kUnreadable;
            plan.skipped = arc::addSkipped(plan.skipped);
            continue;
        }
        total += static_cast<uint64_t>(st.st_size);
    }
    return total;
}

// Opens the archive to update; `old` stays empty when there is none yet.
int openExisting(const std::string& archive, Reader& old) {
    struct stat st;
    if (::stat(archive.c_str(), &st) == 0)
        return old.open(archive);
    return errno == ENOENT ? arc::kOk : arc::kErrArchiveOpen;
}

// Whether the file's bytes, as they are now, are those of the entry: the
// entry decoded gives them back byte for byte. A folder or a link is never a
// file's entry.
bool holdsSameBytes(const Reader& old, const Entry& e, const std::string& path) {
    return !e.isDirectory() && !e.isSymlink() &&
           arc::fileHolds(path, e.size, [&](const auto& sink) { return old.extract(e, sink); });
}

// The sources whose files hold the bytes of every entry of their name
// already (an extractor lets the last one of a name win): those entries stay
// as they are. One entry that differs makes the file replace them all.
void markUpToDate(const Reader& old, UpdatePlan& plan) {
    std::unordered_map<std::string, bool> holding; // by name: every entry so far holds the bytes
    for (const Entry& e : old.entries()) {
        auto it = plan.byName.find(e.name);
        if (it == plan.byName.end() || plan.state[it->second] != kUntried)
            continue;
        bool& holds = holding.try_emplace(e.name, true).first->second;
        holds = holds && holdsSameBytes(old, e, plan.todo[it->second]->path);
    }
    for (const auto& [name, holds] : holding) {
        if (holds) {
            plan.state[plan.byName.at(name)] = kUpToDate;
            ++plan.upToDate;
        }
    }
}

// Adds source i; arc::kPassedOver (skipped) when it cannot be read.
int addSource(Writer& writer, UpdatePlan& plan, size_t i, int level, ProgressCount& count) {
    const int rc = writer.addFile(plan.todo[i]->path, plan.todo[i]->name, level, count);
    plan.state[i] = rc == arc::kPassedOver ? kUnreadable : kStored;
    if (rc == arc::kOk)
        ++plan.added;
    else if (rc == arc::kPassedOver)
        plan.skipped = arc::addSkipped(plan.skipped);
    return rc;
}

// The old entries in their order: each one a source of its name replaces is
// written from that source, every other one copied.
int writeEntries(Writer& writer, const Reader& old, UpdatePlan& plan, int level,
                 ProgressCount& count) {
    for (const Entry& e : old.entries()) {
        auto it = plan.byName.find(e.name);
        int rc = arc::kOk;
        if (it != plan.byName.end() && plan.state[it->second] == kUntried)
            rc = addSource(writer, plan, it->second, level, count);
        // Entries are kept unless a new file of their name was stored (a later
        // entry of a name already replaced is dropped with the first).
        if (it == plan.byName.end() || plan.state[it->second] == kUnreadable ||
            plan.state[it->second] == kUpToDate)
            rc = writer.copyEntry(old, e);
        if (rc != arc::kOk)
            return rc;
    }
    return arc::kOk;
}

int writeNewSources(Writer& writer, UpdatePlan& plan, int level, ProgressCount& count) {
    for (size_t i = 0; i < plan.todo.size(); ++i) {
        const int rc =
            plan.state[i] == kUntried ? addSource(writer, plan, i, level, count) : arc::kOk;
        if (rc != arc::kOk && rc != arc::kPassedOver)
            return rc;
    }
    return arc::kOk;
}

} // namespace

int updateArchive(const std::string& archive, const std::vector<Source>& sources, int level,
                  arc::Progress& progress, const Limits& limits, NameCoding names) {
    Reader old;
    int rc = openExisting(archive, old);
    if (rc != arc::kOk)
        return rc;
    UpdatePlan plan;
    progress.setTotal(chooseSources(sources, old.status(), plan));
    markUpToDate(old, plan);
    // Nothing to store: the archive stays as it is.
    if (plan.upToDate > 0 && plan.upToDate == plan.todo.size())
        return plan.skipped;
    arc::AtomicOutput out;
    if (out.open(archive, "", old.status()) != arc::kOk)
        return arc::kErrCannotWriteDest;
    Writer writer(out, limits, names);
    ProgressCount count{progress};
    rc = writer.copyLeadingBytes(old);
    if (rc == arc::kOk)
        rc = writeEntries(writer, old, plan, level, count);
    if (rc == arc::kOk)
        rc = writeNewSources(writer, plan, level, count);
    if (rc != arc::kOk)
        return rc;
    if (plan.added == 0)
        return plan.upToDate > 0 ? plan.skipped : arc::kErrNotFound;
    rc = writer.finish(old.comment());
    if (rc == arc::kOk)
        rc = out.commit();
    return rc == arc::kOk ? plan.skipped : rc;
}

namespace {

// The entries `names` picks (all when it is empty), with their bytes in
// `total`. A name that is some member's whole name picks that member alone;
// only a name no member has whole picks the members of that bare file name.
std::vector<const Entry*> chooseEntries(const Reader& reader, const std::vector<std::string>& names,
                                        uint64_t& total) {
    const std::unordered_set<std::string> wanted(names.begin(), names.end());
    std::vector<const Entry*> chosen;
    total = 0;
    std::unordered_set<std::string> whole;
    for (const Entry& e : reader.entries())
        if (wanted.count(e.name))
            whole.insert(e.name);
    for (const Entry& e : reader.entries()) {
        const std::string bare = arc::safeMemberName(e.name, e.backslashSeparates());
        if (wanted.empty() || wanted.count(e.name) || (wanted.count(bare) && !whole.count(bare))) {
            chosen.push_back(&e);
            total += e.size;
        }
    }
    return chosen;
}

// Opens `archive` and picks the entries `names` asks for, their bytes the
// progress total. kErrNotFound when none is picked.
int openChosen(const std::string& archive, const std::vector<std::string>& names,
               arc::Progress& progress, Reader& reader, std::vector<const Entry*>& chosen) {
    const int rc = reader.open(archive);
    if (rc != arc::kOk)
        return rc;
    uint64_t total = 0;
    chosen = chooseEntries(reader, names, total);
    if (chosen.empty())
        return arc::kErrNotFound;
    progress.setTotal(total);
    return arc::kOk;
}

} // namespace

int testArchive(const std::string& archive, const std::vector<std::string>& names,
                arc::Progress& progress) {
    Reader reader;
    std::vector<const Entry*> chosen;
    int rc = openChosen(archive, names, progress, reader, chosen);
    if (rc != arc::kOk)
        return rc;
    int failure = arc::kOk;
    uint64_t done = 0;
    for (const Entry* e : chosen) {
        // A folder holds no data; an entry marked a folder only by its
        // attributes that declares data is decoded all the same, since callers
        // that go by its name take it for a file.
        if (e->isDirectory() && e->size == 0)
            continue;
        rc = reader.extract(*e, [&](const void*, size_t size) {
            done += size;
            return progress.report(e->name.c_str(), done) ? arc::kErrCancelled : arc::kOk;
        });
        if (rc == arc::kErrCancelled || rc == arc::kErrNoMemory)
            return rc;
        if (rc != arc::kOk && failure == arc::kOk)
            failure = rc;
    }
    return failure;
}

int extractArchive(const std::string& archive, const std::string& folder,
                   const std::vector<std::string>& names, arc::Progress& progress) {
    Reader reader;
    std::vector<const Entry*> chosen;
    int rc = openChosen(archive, names, progress, reader, chosen);
    if (rc != arc::kOk)
        return rc;

    int skipped = 0;
    int failure = arc::kOk;
    uint64_t done = 0;
    std::unordered_set<std::string> written;
    for (const Entry* e : chosen) {
        if (e->isFolderEntry())
            continue;
        const std::string name = arc::safeMemberName(e->name, e->backslashSeparates());
        // A second member that lands on a name already written in this call
        // (the same name in two folders, or stored twice) is passed over.
        if (e->isSymlink() || name.empty() || written.count(name)) {
            skipped = arc::addSkipped(skipped);
            continue;
        }
        // A member whose data cannot be read is refused before its declared
        // size is weighed against the free space.
        arc::ExtractedFile file;
        uint64_t dataStart = 0;
        rc = reader.readable(*e, dataStart);
        if (rc == arc::kOk)
            rc = file.open(folder, name, e->size);
        if (rc == arc::kOk) {
            rc = reader.extractFrom(*e, dataStart, [&](const void* data, size_t size) {
                int wr = file.write(data, size);
                done += size;
                if (wr == arc::kOk && progress.report(e->name.c_str(), done))
                    wr = arc::kErrCancelled;
                return wr;
            });
        }
        if (rc == arc::kOk) {
            const time_t modified = e->modified();
            rc = file.commit(modified >= 0 ? modified : ::time(nullptr), e->unixMode());
        }
        if (rc == arc::kOk)
            written.insert(name);
        if (rc != arc::kOk) {
            file.abort();
            if (failure == arc::kOk)
                failure = rc;
            if (isFatal(rc))
                break;
        }
    }
    return failure != arc::kOk ? failure : skipped;
}

} // namespace zip
