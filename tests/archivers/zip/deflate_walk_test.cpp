// The deflate stream walker: complete streams of libdeflate at several levels,
// of the noise coder and of stored blocks, ending at every bit offset of a
// byte, turned into fragments, joined and inflated by zlib.
#include "deflate_noise.h"
#include "deflate_walk.h"
#include "zip_test_support.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

using namespace ztest;

namespace {

std::string inflateRaw(const zip::deflate::Bytes& stream, size_t size) {
    std::string out(size + 1, '\0');
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = const_cast<unsigned char*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = reinterpret_cast<unsigned char*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u); // nothing after the final block
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

} // namespace

TEST(DeflateWalk, FragmentsEndingAtEveryBitOffsetJoinIntoOneStream) {
    for (int level : {1, 6, 9, 12}) {
        SCOPED_TRACE(level);
        libdeflate_compressor* c = libdeflate_alloc_compressor(level);
        ASSERT_NE(c, nullptr);
        zip::deflate::Bytes joined;
        std::string expected;
        bool offsets[8] = {};
        for (unsigned seed = 1; seed < 400; ++seed) {
            // Text of many lengths, and now and then noise (stored blocks in
            // libdeflate's stream) or nothing at all.
            const size_t n = seed % 37 == 0 ? 0 : 20 + seed * 53 % 4000;
            const std::string piece = sample(n, seed, seed % 5 != 0);
            std::vector<unsigned char> packed(n + 64);
            packed.resize(
                libdeflate_deflate_compress(c, piece.data(), n, packed.data(), packed.size()));
            ASSERT_GT(packed.size(), 0u);
            size_t lastStart = 0, end = 0;
            ASSERT_TRUE(zip::deflate::findLastBlock(packed.data(), packed.size(), lastStart, end));
            EXPECT_EQ((end + 7) / 8, packed.size());
            offsets[end % 8] = true;
            ASSERT_TRUE(zip::deflate::appendFragment(packed.data(), packed.size(), joined));
            expected += piece;
            if (seed % 7 == 0) {
                // Between fragments, stored blocks and the noise coder, whose
                // repeat refers back into the fragments before it.
                std::string noise = sample(70000, seed, false);
                noise.replace(50000, 2000, noise.substr(40000, 2000));
                zip::deflate::appendStored(reinterpret_cast<const unsigned char*>(noise.data()),
                                           1000, joined);
                std::string window = expected + noise.substr(0, 1000);
                const size_t history = std::min<size_t>(window.size(), 32768);
                window = window.substr(window.size() - history) + noise.substr(1000);
                zip::deflate::appendNoise(reinterpret_cast<const unsigned char*>(window.data()),
                                          history, noise.size() - 1000, joined);
                expected += noise;
            }
        }
        libdeflate_free_compressor(c);
        for (int bit = 0; bit < 8; ++bit)
            EXPECT_TRUE(offsets[bit]) << "no stream ended at bit " << bit;
        joined.insert(joined.end(), zip::deflate::kStreamEnd,
                      zip::deflate::kStreamEnd + sizeof zip::deflate::kStreamEnd);
        EXPECT_TRUE(inflateRaw(joined, expected.size()) == expected);
    }
}

TEST(DeflateWalk, RefusesStreamsThatDoNotParse) {
    const unsigned char reservedType[] = {0x07, 0x00};                // final block of type 3
    const unsigned char badStored[] = {0x01, 0x05, 0x00, 0x00, 0x00}; // LEN and NLEN disagree
    const unsigned char cut[] = {0x01, 0x05, 0x00, 0xfa, 0xff, 'a'};  // 5 bytes announced, 1 given
    size_t lastStart, end;
    for (const auto& [data, size] :
         {std::pair{reservedType, sizeof reservedType}, std::pair{badStored, sizeof badStored},
          std::pair{cut, sizeof cut}})
        EXPECT_FALSE(zip::deflate::findLastBlock(data, size, lastStart, end));
}
