#include "lzh_archive.h"

#include "atomic_output.h"
#include "cmdline.h"
#include "crc16.h"
#include "files.h"
#include "lh_codec.h"
#include "lzh_header.h"
#include "lzh_names.h"
#include "lzh_writer.h"
#include "results.h"
#include "worker_pool.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace lha {

namespace {

constexpr size_t kChunk = 1 << 20;

struct Command {
    char verb = 0;
    bool includeHidden = false;
    bool store = false;
    char methodDigit = '5';
    LhLevel level = LhLevel::Default;
    unsigned threads = 0; // -mt<N>; 0: the default
    std::string workDir;
    std::string archive;
    std::vector<std::string> inputs; // files to store, or member names to extract
    std::string destination;
};

bool endsWithSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

int parseCommand(const std::string& line, Command& cmd) {
    const std::vector<std::string> tokens = arc::splitCommandLine(line);
    if (tokens.empty() || tokens[0].size() != 1)
        return arc::kErrCommand;
    switch (tokens[0][0]) {
    case 'u':
    case 'U':
        cmd.verb = 'u';
        break;
    case 'a':
    case 'A':
        cmd.verb = 'a';
        break;
    case 'x':
    case 'X':
    case 'e':
    case 'E':
        cmd.verb = 'x';
        break;
    case 'l':
    case 'L':
        cmd.verb = 'l';
        break;
    case 't':
    case 'T':
        cmd.verb = 't';
        break;
    default:
        return arc::kErrCommand;
    }
    bool namesOnly = false; // after "--" every token is a name
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t.empty())
            return arc::kErrCommand;
        if (!namesOnly && t == "--") {
            namesOnly = true;
            continue;
        }
        if (!namesOnly && t[0] == '-') {
            if (t == "-+")
                continue;
            if (t == "-a1")
                cmd.includeHidden = true;
            else if (t == "-a0")
                cmd.includeHidden = false;
            else if (t == "-z" || t == "-z1")
                cmd.store = true;
            else if (t == "-o5" || t == "-o6" || t == "-o7")
                cmd.methodDigit = t[2];
            else if (t == "-9")
                cmd.level = LhLevel::Maximum;
            else if (t.size() > 3 && t.compare(0, 3, "-mt") == 0)
                cmd.threads = arc::parseThreads(std::string_view(t).substr(3));
            else if (t.size() > 2 && t[1] == 'w')
                cmd.workDir = t.substr(2);
            else
                return arc::kErrCommand;
            if (t.compare(0, 3, "-mt") == 0 && cmd.threads == 0)
                return arc::kErrCommand;
            continue;
        }
        if (cmd.archive.empty()) {
            cmd.archive = t;
        } else if (cmd.verb == 'x' && !namesOnly && endsWithSeparator(t)) {
            cmd.destination = t;
        } else if (cmd.verb == 'l') {
            return arc::kErrCommand;
        } else if (!namesOnly && cmd.verb != 'x' && cmd.verb != 't' && t[0] == '@') {
            if (!arc::readResponseFile(t.substr(1), cmd.inputs))
                return arc::kErrCannotRead;
        } else {
            cmd.inputs.push_back(t);
        }
    }
    return cmd.archive.empty() ? arc::kErrCommand : arc::kOk;
}

// The member's whole stored path, folders included: what an update matches.
std::string memberPath(const MemberHeader& h) {
    return decodeMemberPath(h.name);
}

// Reads every header of an archive.
int readAllHeaders(const ArchiveFile& archive, std::vector<MemberHeader>& members) {
    uint64_t offset = 0;
    for (;;) {
        MemberHeader h;
        bool end = false;
        int rc = readMemberHeader(archive, offset, h, end);
        if (rc != arc::kOk)
            return rc;
        if (end)
            return arc::kOk;
        offset = h.dataOffset + h.packedSize;
        members.push_back(std::move(h));
    }
}

// Whether the file's bytes, as they are now, are those of the member (same
// size and CRC).
bool holdsSameBytes(const MemberHeader& member, const std::string& path) {
    arc::InputFile in;
    if (member.method == "-lhd-" || !in.open(path) || in.size() != member.originalSize)
        return false;
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(in.size(), kChunk)));
    uint16_t crc = 0;
    uint64_t size = 0;
    for (;;) {
        const long long got = in.read(buf.data(), buf.size());
        if (got < 0)
            return false;
        if (got == 0)
            return size == member.originalSize && crc == member.crc;
        crc = arc::crc16Update(crc, buf.data(), static_cast<size_t>(got));
        size += static_cast<uint64_t>(got);
    }
}

// One line a member, in archive order (arc_module.h).
int list(const Command& cmd, std::string& output) {
    ArchiveFile archive;
    if (!archive.open(cmd.archive))
        return arc::kErrArchiveOpen;
    std::vector<MemberHeader> members;
    const int rc = readAllHeaders(archive, members);
    if (rc != arc::kOk)
        return rc;
    for (const MemberHeader& h : members)
        output += arc::listingLine(h.crc, 4, h.originalSize, h.packedSize, h.method,
                                   static_cast<long long>(h.mtime), memberPath(h));
    return arc::kOk;
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

int createOrUpdate(const Command& cmd, arc::Progress& progress) {
    ArchiveFile old;
    std::vector<MemberHeader> members;
    struct stat st;
    if (::stat(cmd.archive.c_str(), &st) == 0) {
        if (!old.open(cmd.archive))
            return arc::kErrArchiveOpen;
        int rc = readAllHeaders(old, members);
        if (rc != arc::kOk)
            return rc;
    } else if (errno != ENOENT) {
        return arc::kErrCannotWriteDest;
    }
    // Files are stored under their bare names; a member in a folder is never one of them.
    std::map<std::string, long> byPath;
    for (size_t i = 0; i < members.size(); ++i) {
        if (members[i].method != "-lhd-")
            byPath.emplace(memberPath(members[i]), static_cast<long>(i));
    }

    int skipped = 0;
    int upToDate = 0;
    uint64_t total = 0;
    std::set<std::string> seen;
    std::vector<Planned> plan;
    for (const std::string& path : cmd.inputs) {
        Planned p{path, arc::baseNameOf(path), {}, 0, -1};
        p.stored = encodeMemberName(p.name);
        // A name that extraction would not give back as it is (one with a control
        // character) could never be found again: such a file is skipped.
        const std::string readBack = arc::safeMemberName(decodeMemberPath(p.stored), false);
        struct stat fst;
        if (p.name.empty() || readBack != p.name ||
            (!cmd.includeHidden && arc::isHiddenName(p.name)) || !seen.insert(p.name).second ||
            ::stat(path.c_str(), &fst) != 0 || !S_ISREG(fst.st_mode)) {
            skipped = arc::addSkipped(skipped);
            continue;
        }
        auto it = byPath.find(p.name);
        if (it != byPath.end()) {
            // The file's bytes, not its time, decide: a file edited within the
            // second of its member, or an older version put back, differs
            // from the member all the same.
            if (cmd.verb == 'u' && holdsSameBytes(members[static_cast<size_t>(it->second)], path)) {
                ++upToDate;
                continue;
            }
            p.replaces = it->second;
        }
        p.size = static_cast<uint64_t>(fst.st_size);
        total += p.size;
        plan.push_back(std::move(p));
    }
    if (plan.empty())
        return upToDate > 0 ? skipped : arc::kErrNotFound;
    progress.setTotal(total);

    arc::AtomicOutput out;
    int rc = out.open(cmd.archive, cmd.workDir);
    if (rc != arc::kOk)
        return rc;
    MemberWriter writer(out, progress,
                        {cmd.store, cmd.methodDigit, cmd.level,
                         cmd.threads ? cmd.threads : arc::WorkerPool::defaultWidth()});
    std::map<long, const Planned*> replacing;
    for (const Planned& p : plan)
        if (p.replaces >= 0)
            replacing[p.replaces] = &p;
    // The order the files are written in: replacements where their members
    // were, then the new files.
    std::vector<const Planned*> order;
    for (const auto& [index, p] : replacing)
        order.push_back(p);
    for (const Planned& p : plan)
        if (p.replaces < 0)
            order.push_back(&p);
    writer.expect(std::move(order));
    int stored = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        const MemberHeader& m = members[i];
        auto it = replacing.find(static_cast<long>(i));
        if (it != replacing.end()) {
            rc = writer.write(*it->second);
            if (rc == arc::kOk) {
                ++stored;
                continue;
            }
            if (rc != kPassedOver)
                return rc;
            skipped = arc::addSkipped(skipped);
        }
        rc = copyRange(old, m.offset, m.dataOffset + m.packedSize - m.offset, out);
        if (rc != arc::kOk)
            return rc;
    }
    for (const Planned& p : plan) {
        if (p.replaces >= 0)
            continue;
        rc = writer.write(p);
        if (rc == kPassedOver)
            skipped = arc::addSkipped(skipped);
        else if (rc != arc::kOk)
            return rc;
        else
            ++stored;
    }
    if (stored == 0)
        return upToDate > 0 ? skipped : arc::kErrNotFound;
    const uint8_t endMark = 0;
    rc = out.write(&endMark, 1);
    if (rc == arc::kOk)
        rc = out.commit();
    return rc == arc::kOk ? skipped : rc;
}

// Decodes one member and checks its CRC; into `folder` under `name`, or, with
// `testOnly`, nowhere.
int extractMember(const ArchiveFile& archive, const MemberHeader& h, const std::string& name,
                  const std::string& folder, bool testOnly, arc::Progress& progress,
                  uint64_t& done) {
    int windowBits = 0;
    if (h.method != "-lh0-") {
        windowBits = h.method.compare(0, 3, "-lh") == 0 && h.method[4] == '-'
                         ? windowBitsOfMethod(h.method[3])
                         : 0;
        if (windowBits == 0)
            return arc::kErrMethod;
    }
    if (!plausibleSizes(h))
        return arc::kErrBadData;
    arc::ExtractedFile file;
    int rc = testOnly ? arc::kOk : file.open(folder, name, h.originalSize);
    if (rc != arc::kOk)
        return rc;
    uint16_t crc = 0;
    uint64_t readAt = h.dataOffset;
    uint64_t left = h.packedSize;
    ByteSource source = [&](uint8_t* data, size_t size) -> long long {
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, left));
        if (n == 0)
            return 0;
        if (!archive.readAt(readAt, data, n))
            return -1;
        readAt += n;
        left -= n;
        return static_cast<long long>(n);
    };
    ByteSink sink = [&](const uint8_t* data, size_t size) {
        crc = arc::crc16Update(crc, data, size);
        done += size;
        int r = testOnly ? arc::kOk : file.write(data, size);
        if (r == arc::kOk && progress.report(name.c_str(), done))
            r = arc::kErrCancelled;
        return r;
    };
    if (windowBits == 0) {
        std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(left, kChunk)));
        while (rc == arc::kOk && left > 0) {
            long long got = source(buf.data(), buf.size());
            rc = got <= 0 ? arc::kErrCannotRead : sink(buf.data(), static_cast<size_t>(got));
        }
    } else {
        rc = lhDecode(windowBits, h.packedSize, h.originalSize, source, sink);
    }
    if (rc == arc::kOk && crc != h.crc)
        rc = arc::kErrFileCrc;
    if (testOnly)
        return rc;
    if (rc == arc::kOk)
        return file.commit(h.mtime, h.hasMode ? static_cast<int>(h.mode) : -1);
    file.abort();
    return rc;
}

int extract(const Command& cmd, arc::Progress& progress) {
    ArchiveFile archive;
    if (!archive.open(cmd.archive))
        return arc::kErrArchiveOpen;
    std::vector<MemberHeader> members;
    const int scan = readAllHeaders(archive, members);
    if (scan == arc::kErrNotArchive && members.empty())
        return arc::kErrNotArchive;
    std::string folder = cmd.destination.empty() ? std::string(".") : cmd.destination;
    if (folder.size() > 1 && folder.back() == '\\')
        folder.pop_back();
    const std::set<std::string> wanted(cmd.inputs.begin(), cmd.inputs.end());
    uint64_t total = 0;
    for (const MemberHeader& h : members)
        total += h.originalSize;
    progress.setTotal(total);

    int result = arc::kOk;
    bool matched = false;
    uint64_t done = 0;
    for (const MemberHeader& h : members) {
        if (h.method == "-lhd-")
            continue;
        const std::string path = memberPath(h);
        if (!wanted.empty() && !wanted.count(path))
            continue;
        const std::string name = arc::safeMemberName(path, false);
        matched = true;
        // A test decodes every member, whatever its name would become on disk.
        const bool testOnly = cmd.verb == 't';
        int rc = name.empty() && !testOnly ? arc::kErrHeaderBroken
                                           : extractMember(archive, h, testOnly ? path : name,
                                                           folder, testOnly, progress, done);
        if (rc == arc::kErrCancelled || rc == arc::kErrDiskFull)
            return rc;
        if (rc != arc::kOk && result == arc::kOk)
            result = rc;
    }
    if (scan != arc::kOk && result == arc::kOk)
        result = scan;
    if (!wanted.empty() && !matched && result == arc::kOk)
        result = arc::kErrNotFound;
    return result;
}

} // namespace

int runCommand(const std::string& commandLine, arc::Progress& progress, std::string& output) {
    Command cmd;
    int rc = parseCommand(commandLine, cmd);
    if (rc != arc::kOk)
        return rc;
    switch (cmd.verb) {
    case 'x':
    case 't': // the same decoding, nothing written
        return extract(cmd, progress);
    case 'l':
        return list(cmd, output);
    default:
        return createOrUpdate(cmd, progress);
    }
}

} // namespace lha
