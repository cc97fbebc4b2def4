#include "lzh_update.h"

#include "atomic_output.h"
#include "files.h"
#include "lzh_extract.h"
#include "lzh_header.h"
#include "lzh_methods.h"
#include "lzh_names.h"
#include "lzh_writer.h"
#include "results.h"
#include "worker_pool.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace lha {

namespace {

constexpr size_t kChunk = 1 << 20;

// What an update does: the archive's members, the files to write (each
// replacing the member of its name, or added), and the counts the result is
// made of.
struct UpdatePlan {
    ArchiveFile old;
    std::vector<MemberHeader> members;
    std::vector<Planned> files;
    int skipped = 0;
    int upToDate = 0;   // files whose members hold their bytes already
    uint64_t total = 0; // bytes of the files to write
};

// Reads the members of the archive to update; none when it does not exist yet.
int readExisting(const std::string& path, UpdatePlan& plan) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return readArchive(path, plan.old, plan.members);
    return errno == ENOENT ? arc::kOk : arc::kErrCannotWriteDest;
}

// Whether the file's bytes, as they are now, are those of the member: the
// member decoded gives them back byte for byte. Size and CRC-16 alone would
// take one edit in 65,536 that keeps the size for the old bytes and leave the
// member as it was.
bool holdsSameBytes(const ArchiveFile& archive, const MemberHeader& member,
                    const std::string& path) {
    return arc::fileHolds(path, member.originalSize, [&](const auto& sink) {
        return decodeMemberData(archive, member, sink);
    });
}

// The members a file may replace, by path, each path's in archive order.
// Files are stored under their bare names; a member in a folder is never one
// of them.
std::map<std::string, std::vector<long>> membersByPath(const std::vector<MemberHeader>& members) {
    std::map<std::string, std::vector<long>> byPath;
    for (size_t i = 0; i < members.size(); ++i) {
        if (members[i].method != kFolder.id)
            byPath[memberPath(members[i])].push_back(static_cast<long>(i));
    }
    return byPath;
}

// Whether a file can be stored: a regular file, named the first time, under a
// name extraction gives back as it is (one with a control character could
// never be found again), hidden only with -a1, and not the archive itself
// (which would go in as the old archive it is replaced by).
bool storable(const Command& cmd, const UpdatePlan& plan, const Planned& p,
              std::set<std::string>& seen, struct stat& st) {
    const std::string readBack = arc::safeMemberName(decodeMemberPath(p.stored), false);
    return !p.name.empty() && readBack == p.name &&
           (cmd.includeHidden || !arc::isHiddenName(p.name)) && seen.insert(p.name).second &&
           ::stat(p.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           !(plan.old.status() && arc::sameInode(*plan.old.status(), st));
}

// Plans one file: passed over, left in the member that holds its bytes
// already, replacing a member or added.
void planFile(const Command& cmd, const std::string& path,
              const std::map<std::string, std::vector<long>>& byPath, std::set<std::string>& seen,
              UpdatePlan& plan) {
    Planned p{path, arc::baseNameOf(path), {}, 0, -1};
    p.stored = encodeMemberName(p.name);
    struct stat st;
    if (!storable(cmd, plan, p, seen, st)) {
        plan.skipped = arc::addSkipped(plan.skipped);
        return;
    }
    auto it = byPath.find(p.name);
    if (it != byPath.end()) {
        // The file's bytes, not its time, decide: a file edited within the
        // second of its member, or an older version put back, differs from
        // the member all the same. Every member of the name must hold them,
        // as an extractor lets the last one win.
        const auto holds = [&](long i) {
            return holdsSameBytes(plan.old, plan.members[static_cast<size_t>(i)], path);
        };
        if (cmd.verb == 'u' && std::all_of(it->second.begin(), it->second.end(), holds)) {
            ++plan.upToDate;
            return;
        }
        p.replaces = it->second.front();
    }
    p.size = static_cast<uint64_t>(st.st_size);
    plan.total += p.size;
    plan.files.push_back(std::move(p));
}

void planFiles(const Command& cmd, UpdatePlan& plan) {
    const std::map<std::string, std::vector<long>> byPath = membersByPath(plan.members);
    std::set<std::string> seen;
    for (const std::string& path : cmd.inputs)
        planFile(cmd, path, byPath, seen, plan);
}

// The files that replace members, by the index of the member.
std::map<long, const Planned*> replacements(const std::vector<Planned>& files) {
    std::map<long, const Planned*> replacing;
    for (const Planned& p : files)
        if (p.replaces >= 0)
            replacing[p.replaces] = &p;
    return replacing;
}

// The order the files are written in: replacements where their members were,
// then the new files.
std::vector<const Planned*> writeOrder(const std::vector<Planned>& files,
                                       const std::map<long, const Planned*>& replacing) {
    std::vector<const Planned*> order;
    for (const auto& [index, p] : replacing)
        order.push_back(p);
    for (const Planned& p : files)
        if (p.replaces < 0)
            order.push_back(&p);
    return order;
}

int copyRange(const ArchiveFile& from, uint64_t offset, uint64_t size, arc::AtomicOutput& out) {
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(size, kChunk)));
    while (size > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, buf.size()));
        if (!from.readAt(offset, buf.data(), n))
            return arc::kErrCannotRead;
        int rc = out.write(buf.data(), n);
        if (rc != arc::kOk)
            return rc;
        offset += n;
        size -= n;
    }
    return arc::kOk;
}

// Writes one file as a member and counts it, stored or passed over. Returns
// kOk, kPassedOver, or an error that ends the call.
int writeCounted(MemberWriter& writer, const Planned& file, int& stored, UpdatePlan& plan) {
    const int rc = writer.write(file);
    if (rc == arc::kOk)
        ++stored;
    else if (rc == arc::kPassedOver)
        plan.skipped = arc::addSkipped(plan.skipped);
    return rc;
}

// The archive's members in their order: each one a file replaces is written
// from the file, every other (and one whose file was passed over) copied. A
// later member of a path already replaced goes with the first, so that no
// extractor, which lets the last member of a name win, gives its old bytes.
int writeMembers(UpdatePlan& plan, const std::map<long, const Planned*>& replacing,
                 MemberWriter& writer, arc::AtomicOutput& out, int& stored) {
    std::set<std::string> replaced;
    for (size_t i = 0; i < plan.members.size(); ++i) {
        const MemberHeader& m = plan.members[i];
        auto it = replacing.find(static_cast<long>(i));
        if (it != replacing.end()) {
            const int rc = writeCounted(writer, *it->second, stored, plan);
            if (rc == arc::kOk) {
                replaced.insert(it->second->name);
                continue;
            }
            if (rc != arc::kPassedOver)
                return rc;
        } else if (m.method != kFolder.id && replaced.count(memberPath(m))) {
            continue;
        }
        const int rc = copyRange(plan.old, m.offset, m.dataOffset + m.packedSize - m.offset, out);
        if (rc != arc::kOk)
            return rc;
    }
    return arc::kOk;
}

int writeNewFiles(UpdatePlan& plan, MemberWriter& writer, int& stored) {
    for (const Planned& p : plan.files) {
        if (p.replaces >= 0)
            continue;
        const int rc = writeCounted(writer, p, stored, plan);
        if (rc != arc::kOk && rc != arc::kPassedOver)
            return rc;
    }
    return arc::kOk;
}

int writeArchive(const Command& cmd, UpdatePlan& plan, arc::Progress& progress) {
    arc::AtomicOutput out;
    int rc = out.open(cmd.archive, cmd.workDir, plan.old.status());
    if (rc != arc::kOk)
        return rc;
    MemberWriter writer(out, progress,
                        {cmd.store, cmd.method, cmd.level,
                         cmd.threads ? cmd.threads : arc::WorkerPool::defaultWidth()});
    const std::map<long, const Planned*> replacing = replacements(plan.files);
    writer.expect(writeOrder(plan.files, replacing));
    int stored = 0;
    rc = writeMembers(plan, replacing, writer, out, stored);
    if (rc == arc::kOk)
        rc = writeNewFiles(plan, writer, stored);
    if (rc != arc::kOk)
        return rc;
    if (stored == 0)
        return plan.upToDate > 0 ? plan.skipped : arc::kErrNotFound;
    const uint8_t endMark = 0;
    rc = out.write(&endMark, 1);
    if (rc == arc::kOk)
        rc = out.commit();
    return rc == arc::kOk ? plan.skipped : rc;
}

} // namespace

int createOrUpdate(const Command& cmd, arc::Progress& progress) {
    UpdatePlan plan;
    const int rc = readExisting(cmd.archive, plan);
    if (rc != arc::kOk)
        return rc;
    planFiles(cmd, plan);
    if (plan.files.empty())
        return plan.upToDate > 0 ? plan.skipped : arc::kErrNotFound;
    progress.setTotal(plan.total);
    return writeArchive(cmd, plan, progress);
}

} // namespace lha
