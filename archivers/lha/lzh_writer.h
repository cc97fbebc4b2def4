// Writing files as members of an LZH archive, in order, into an AtomicOutput.
//
// A file of up to 1 MiB is read and compressed whole; such files are prepared
// side by side on the module's worker pool, several ahead of the one being
// written (in the order given to expect()), and written in that order, so
// the archive is byte for byte what one thread writes. A larger file streams
// through the encoder, whose segments are compressed side by side.
//
// Data that would not shrink (noise.h; compressed files, photos, random
// bytes) is written as it is, at the speed of memory, and the member stored
// (-lh0-); when a later part of the file shrinks after all, the part written
// so far is read again and compressed with the rest. Compressed data that
// ends up no smaller than the file is replaced by the file's bytes too.
#pragma once

#include "atomic_output.h"
#include "files.h"
#include "lh_codec.h"
#include "lzh_methods.h"
#include "lzh_names.h"
#include "module.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lha {

// A file planned as a member.
struct Planned {
    std::string path;
    std::string name; // the file's bare name
    StoredName stored;
    uint64_t size = 0;  // as the plan found it
    long replaces = -1; // index of the archive member it replaces
};

struct MemberOptions {
    bool store = false;           // -lh0- whatever the data
    const Method* method = &kLh5; // when the data shrinks
    LhLevel level = LhLevel::Default;
    unsigned width = 1; // threads of the module's pool a call may use at once
};

class MemberWriter {
public:
    MemberWriter(arc::AtomicOutput& out, arc::Progress& progress, const MemberOptions& options);
    ~MemberWriter();
    MemberWriter(const MemberWriter&) = delete;
    MemberWriter& operator=(const MemberWriter&) = delete;

    // The files write() will be given, in that order (others are written
    // too, only not prepared ahead).
    void expect(std::vector<const Planned*> order);

    // Writes one file as a member. Returns kOk, arc::kPassedOver (nothing written),
    // or an error that ends the call.
    int write(const Planned& file);

private:
    struct Prepared;
    struct Stream;

    void prepareFrom(size_t index);
    void prepare(const Planned& file, Prepared& p) const;
    int writeStreamed(const Planned& file);
    // Drops what was written of a member that cannot be stored after all.
    int passOver(uint64_t start);
    // Codes the file as it is read; data that does not shrink goes out as it
    // is until a chunk does. Returns kOk, arc::kPassedOver or an error.
    int compressStream(const Planned& file, arc::InputFile& in, Stream& s);
    int startEncoder(const Planned& file, std::unique_ptr<LhEncoder>& encoder, const Stream& s,
                     uint64_t raw, uint16_t crcBefore);
    // Writes the file as it is, opened and read again from its start.
    int storeRaw(const Planned& file, arc::InputFile& in, Stream& s);
    int encodeAgain(const Planned& file, LhEncoder& encoder, uint64_t length, uint16_t crc);
    bool worthEncoding(const uint8_t* data, size_t size) const;

    arc::AtomicOutput& out_;
    arc::Progress& progress_;
    MemberOptions options_;
    // Read buffer; left uninitialised, so that a small file touches little of it.
    std::unique_ptr<uint8_t[]> buf_;
    // The segments of the encoders of members that are done, for the next.
    mutable SegmentStock stock_;
    uint64_t done_ = 0; // bytes of earlier members, for progress
    std::vector<const Planned*> order_;
    std::map<const Planned*, size_t> position_; // of each file in order_
    std::map<const Planned*, std::unique_ptr<Prepared>> prepared_;
};

} // namespace lha
