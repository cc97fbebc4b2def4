// Writing a ZIP archive into an AtomicOutput: new entries compressed from
// files, entries copied unchanged from another archive, and the central
// directory with the ZIP64 records when sizes, offsets or the entry count
// outgrow the classic fields. No data descriptors: every local header is
// completed in place once its entry's data is written.
#pragma once

#include "atomic_output.h"
#include "deflate_pieces.h"
#include "files.h"
#include "module.h"
#include "worker_pool.h"
#include "zip_format.h"
#include "zip_reader.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zip {

struct Limits {
    // Sizes and offsets from this value on are kept in ZIP64 fields.
    uint64_t max32 = kMarker32;
    // Entry counts from this value on are kept in the ZIP64 end record.
    uint64_t maxEntries = kMarker16;
    // Files are deflated in pieces of at most this size (and of at most 16 MiB
    // for all threads together), several at once, so memory stays bounded
    // whatever the file size. A piece of text may refer back into the piece
    // before it in the same batch; other pieces start without history, which
    // costs about 0.05 % of their size each. A file that fits in one piece is
    // compressed on the calling thread.
    uint64_t pieceSize = 8u << 20;
    // How many pieces are compressed at once: the most threads of the
    // module's worker pool the call takes, the calling thread included.
    unsigned threads = arc::WorkerPool::defaultWidth();
};

// How names beyond ASCII are stored.
enum class NameCoding {
    // A name CP932 (Shift_JIS) holds goes in CP932, for readers that take
    // names without the UTF-8 flag in the code page of Japanese Windows, with
    // the Info-ZIP Unicode Path field (0x7075) carrying its UTF-8 form; any
    // other name in UTF-8 with the UTF-8 flag.
    Cp932First,
    // Every name in UTF-8 with the UTF-8 flag.
    Utf8,
};

// Bytes done for the progress hook over a whole call. What is shown never
// goes back, even when a file is read a second time.
struct ProgressCount {
    arc::Progress& progress;
    uint64_t done = 0;
    uint64_t shown = 0;

    // Reports `at` bytes done; true when the caller asked to cancel.
    bool report(const char* member, uint64_t at) {
        shown = std::max(shown, at);
        return progress.report(member, shown);
    }
};

class Writer {
public:
    explicit Writer(arc::AtomicOutput& out, const Limits& limits = Limits(),
                    NameCoding names = NameCoding::Cp932First);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Adds a file as entry `name`, at level 0 (store) to 9. Returns kOk;
    // arc::kPassedOver when the file could not be read (nothing is left of it
    // in the output);
    // otherwise an error code (kErrCancelled, a write error, kErrNoMemory).
    int addFile(const std::string& path, const std::string& name, int level, ProgressCount& count);

    // Copies an entry of `reader`'s archive byte for byte (local header, data
    // and any data descriptor). Returns kOk, kErrHeaderBroken, kErrCannotRead
    // or a write error.
    int copyEntry(const Reader& reader, const Entry& entry);
    // Copies what comes before the first member of `reader`'s archive (the
    // program of a self-extracting archive, say), to come first in this one:
    // the members' offsets then count from the file's start, as they did.
    // Call it before any entry is added. Returns kOk, kErrCannotRead or a
    // write error.
    int copyLeadingBytes(const Reader& reader);

    // Writes the central directory and the end records.
    int finish(const std::string& comment);

private:
    int storeStream(arc::InputFile& in, uint64_t size, uint32_t& crc, uint64_t& got,
                    ProgressCount& count, const char* member);
    int deflateFile(const std::string& path, arc::InputFile& in, uint64_t size, int level,
                    uint32_t& crc, uint64_t& got, uint64_t& packed, bool& stored,
                    ProgressCount& count, const char* member);
    // Rewrites the last `length` bytes written, the start of the file at
    // `path` as it is, as stored blocks of a deflate stream, reading them
    // again; `packed` becomes the stream's bytes so far. Returns kOk,
    // arc::kPassedOver when the file no longer holds those bytes (CRC `crc`),
    // or a write error.
    int storedBlocksOf(const std::string& path, uint64_t length, uint32_t crc, uint64_t& packed);
    // Writes the fragments of the batch, and with `ending` the stream's end.
    int writeFragments(bool ending);
    // Deflate did not shrink a file too large to keep in memory: it is stored
    // instead from `dataStart` on, read again. Returns kOk, arc::kPassedOver
    // when the file changed in between, or a write error.
    int storeAgain(const std::string& path, uint64_t dataStart, uint32_t& crc, uint64_t& got,
                   ProgressCount& count, const char* member);

    // The read buffer, grown to at least `size` bytes and never cleared:
    // every byte used is read into it first.
    unsigned char* inBuffer(size_t size);
    // Copies the bytes [from, to) of `reader`'s archive to the output.
    int copyRange(const Reader& reader, uint64_t from, uint64_t to);

    arc::AtomicOutput& out_;
    Limits limits_;
    NameCoding names_;
    std::vector<Entry> entries_;
    arc::HugeBytes inBuf_;
    size_t inRoom_ = 0;
    std::vector<FragmentLane> lanes_; // the fragments of a batch, a lane a thread
    std::vector<FragmentSpan> spans_; // where they are, in order
    std::vector<PartKind> kinds_;     // of the batch's parts
    deflate::Bytes block_;            // stored blocks on their way out
};

} // namespace zip
