#include "lzh_extract.h"

#include "crc16.h"
#include "files.h"
#include "lh_codec.h"
#include "lzh_header.h"
#include "lzh_methods.h"
#include "results.h"

#include <algorithm>
#include <set>
#include <vector>

namespace lha {

namespace {

constexpr size_t kChunk = 1 << 20;

// Passes a member's data through: stored bytes as they are, coded ones
// through the decoder of their window.
int decodeData(const MemberHeader& h, int windowBits, uint64_t& left, const ByteSource& source,
               const ByteSink& sink) {
    if (windowBits != 0)
        return lhDecode(windowBits, h.packedSize, h.originalSize, source, sink);
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(left, kChunk)));
    int rc = arc::kOk;
    while (rc == arc::kOk && left > 0) {
        long long got = source(buf.data(), buf.size());
        rc = got <= 0 ? arc::kErrCannotRead : sink(buf.data(), static_cast<size_t>(got));
    }
    return rc;
}

// Whether the member's data can be decoded: kOk, or why not.
int decodable(const MemberHeader& h) {
    const Method* method = methodOfId(h.method);
    if (!method || method == &kFolder)
        return arc::kErrMethod;
    return plausibleSizes(h) ? arc::kOk : arc::kErrBadData;
}

} // namespace

int decodeMemberData(const ArchiveFile& archive, const MemberHeader& h, const ByteSink& sink) {
    if (const int rc = decodable(h); rc != arc::kOk)
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
    ByteSink checked = [&](const uint8_t* data, size_t size) {
        crc = arc::crc16Update(crc, data, size);
        return sink(data, size);
    };
    const int rc = decodeData(h, methodOfId(h.method)->windowBits, left, source, checked);
    return rc == arc::kOk && crc != h.crc ? arc::kErrFileCrc : rc;
}

namespace {

// Decodes one member and checks its CRC; into `folder` under `name`, or, with
// `testOnly`, nowhere.
int extractMember(const ArchiveFile& archive, const MemberHeader& h, const std::string& name,
                  const std::string& folder, bool testOnly, arc::Progress& progress,
                  uint64_t& done) {
    int rc = decodable(h);
    if (rc != arc::kOk)
        return rc;
    arc::ExtractedFile file;
    rc = testOnly ? arc::kOk : file.open(folder, name, h.originalSize);
    if (rc != arc::kOk)
        return rc;
    rc = decodeMemberData(archive, h, [&](const uint8_t* data, size_t size) {
        done += size;
        int r = testOnly ? arc::kOk : file.write(data, size);
        if (r == arc::kOk && progress.report(name.c_str(), done))
            r = arc::kErrCancelled;
        return r;
    });
    if (testOnly)
        return rc;
    if (rc == arc::kOk)
        return file.commit(h.modified(), h.hasMode ? static_cast<int>(h.mode) : -1);
    file.abort();
    return rc;
}

// The folder members are extracted into: the destination without a trailing
// backslash, or the current folder.
std::string folderOf(const Command& cmd) {
    std::string folder = cmd.destination.empty() ? std::string(".") : cmd.destination;
    if (folder.size() > 1 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

// The first error of several; kOk while there is none.
void keepFirst(int& result, int rc) {
    if (rc != arc::kOk && result == arc::kOk)
        result = rc;
}

} // namespace

int list(const Command& cmd, std::string& output) {
    ArchiveFile archive;
    std::vector<MemberHeader> members;
    const int rc = readArchive(cmd.archive, archive, members);
    if (rc != arc::kOk)
        return rc;
    for (const MemberHeader& h : members)
        output += arc::listingLine(h.crc, 4, h.originalSize, h.packedSize, h.method,
                                   static_cast<long long>(h.modified()), memberPath(h));
    return arc::kOk;
}

int extract(const Command& cmd, arc::Progress& progress) {
    ArchiveFile archive;
    std::vector<MemberHeader> members;
    const int scan = readArchive(cmd.archive, archive, members);
    if (scan == arc::kErrArchiveOpen || (scan == arc::kErrNotArchive && members.empty()))
        return scan;
    const std::string folder = folderOf(cmd);
    const std::set<std::string> wanted(cmd.inputs.begin(), cmd.inputs.end());
    uint64_t total = 0;
    for (const MemberHeader& h : members)
        total += h.originalSize;
    progress.setTotal(total);

    // A test decodes every member, whatever its name would become on disk.
    const bool testOnly = cmd.verb == 't';
    int result = arc::kOk;
    int skipped = 0;
    bool matched = false;
    uint64_t done = 0;
    std::set<std::string> written;
    for (const MemberHeader& h : members) {
        if (h.method == kFolder.id)
            continue;
        const std::string path = memberPath(h);
        if (!wanted.empty() && !wanted.count(path))
            continue;
        const std::string name = arc::safeMemberName(path, false);
        matched = true;
        // A name that cannot be made safe, and a second member that lands on a
        // name already written in this call (the same name in two folders, or
        // stored twice), are passed over and counted.
        if (!testOnly && (name.empty() || written.count(name))) {
            skipped = arc::addSkipped(skipped);
            continue;
        }
        const int rc =
            extractMember(archive, h, testOnly ? path : name, folder, testOnly, progress, done);
        if (rc == arc::kErrCancelled || rc == arc::kErrDiskFull)
            return rc;
        if (rc == arc::kOk && !testOnly)
            written.insert(name);
        keepFirst(result, rc);
    }
    keepFirst(result, scan);
    if (!wanted.empty() && !matched)
        keepFirst(result, arc::kErrNotFound);
    return result != arc::kOk ? result : skipped;
}

} // namespace lha
