// The codec through its own interfaces: compressed streams, headers and names.
#include "cp932.h"
#include "crc16.h"
#include "lh_block.h"
#include "lh_codec.h"
#include "lh_match.h"
#include "lzh_header.h"
#include "lzh_names.h"
#include "results.h"

#include "lha_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace lhatest;

namespace {

// The data given in `pieces` writes, or with 0 all at once to encode().
std::string compress(const std::string& data, int windowBits, size_t pieces = 1,
                     lha::SegmentStock* stock = nullptr) {
    std::string out;
    lha::LhEncoder enc(
        windowBits,
        [&](const uint8_t* d, size_t n) {
            out.append(reinterpret_cast<const char*>(d), n);
            return arc::kOk;
        },
        lha::LhLevel::Default, 1, stock);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    if (pieces == 0) {
        EXPECT_EQ(enc.encode(bytes, data.size()), arc::kOk); // all at once
    } else {
        size_t step = pieces > 1 ? data.size() / pieces + 1 : data.size();
        for (size_t at = 0; at < data.size(); at += step)
            EXPECT_EQ(enc.write(bytes + at, std::min(step, data.size() - at)), arc::kOk);
        EXPECT_EQ(enc.finish(), arc::kOk);
    }
    EXPECT_EQ(enc.outputSize(), out.size());
    return out;
}

int decompress(const std::string& packed, int windowBits, uint64_t size, std::string& out) {
    size_t at = 0;
    out.clear();
    return lha::lhDecode(
        windowBits, packed.size(), size,
        [&](uint8_t* d, size_t n) -> long long {
            n = std::min(n, packed.size() - at);
            std::memcpy(d, packed.data() + at, n);
            at += n;
            return static_cast<long long>(n);
        },
        [&](const uint8_t* d, size_t n) {
            out.append(reinterpret_cast<const char*>(d), n);
            return arc::kOk;
        });
}

void expectRoundTrip(const std::string& data, int windowBits, size_t pieces = 1) {
    std::string packed = compress(data, windowBits, pieces);
    std::string back;
    ASSERT_EQ(decompress(packed, windowBits, data.size(), back), arc::kOk);
    ASSERT_EQ(back.size(), data.size());
    EXPECT_TRUE(back == data);
}

TEST(LhCodec, RoundTripsEdgeSizesAndShapesForEveryWindow) {
    for (int bits : {13, 15, 16}) {
        SCOPED_TRACE(bits);
        expectRoundTrip("", bits);
        expectRoundTrip("x", bits);
        expectRoundTrip("abcabcabcabc", bits);
        for (size_t n : {8191u, 8192u, 8193u, 65535u, 65537u})
            expectRoundTrip(wordySource(n, static_cast<uint32_t>(n)), bits);
        expectRoundTrip(randomBytes(100000, 7), bits);
        expectRoundTrip(std::string(300000, '\0'), bits);
        // Matches at the largest distance the encoder uses (the window less
        // one byte), on past where the decoder hands its output on and keeps
        // the last window of it.
        const std::string far = randomBytes((size_t{1} << bits) - 1, 3);
        std::string farAgain;
        while (farAgain.size() < 400'000)
            farAgain += far;
        expectRoundTrip(farAgain, bits);
    }
}

TEST(LhCodec, SegmentsJoinAcrossThreadsAndChunkedWrites) {
    // Over 4 MiB: more segments than are held at once, shared by two threads,
    // with odd bit tails.
    std::string data = wordySource(5'300'000, 11);
    for (size_t i = 0; i < data.size(); i += 777'777)
        data.replace(i, 5000, randomBytes(5000, static_cast<uint32_t>(i)));
    expectRoundTrip(data, 13, 1);
    expectRoundTrip(data, 16, 37);
}

TEST(LhCodec, SegmentsTakenOverFromEarlierEncodersChangeNoByte) {
    // Text, nearly noise and noise, in every window, each after the others on
    // segments that held them and given all at once (parsed where they are):
    // the same bytes as written to fresh ones.
    std::string mixed = wordySource(40000, 3) + randomBytes(70000, 4);
    for (size_t i = 0; i < 20000; i += 64)
        mixed[40000 + i] = 'x';
    const std::string inputs[] = {wordySource(30000, 1), randomBytes(90000, 2), mixed,
                                  wordySource(100, 5)};
    lha::SegmentStock stock;
    for (int round = 0; round < 2; ++round)
        for (int windowBits : {13, 16, 15})
            for (const std::string& data : inputs)
                EXPECT_EQ(compress(data, windowBits, 0, &stock), compress(data, windowBits))
                    << windowBits << " " << data.size();
}

TEST(LhCodec, CompressesTextAndRunsWell) {
    std::string text = wordySource(200000, 5);
    EXPECT_LT(compress(text, 13).size(), text.size() / 3);
    EXPECT_LT(compress(std::string(1 << 20, 'a'), 13).size(), 2000u);
}

TEST(LhBlocks, BytesAloneGoOutAsTheBlocksOfTheirSymbols) {
    // Noise written straight from its bytes is the very bits the block writer
    // makes of the same bytes as symbols, cut evenly, its end moved off a byte
    // boundary the same way: even noise (each byte its own code), skewed bytes
    // (codes of several lengths) and one byte value throughout.
    std::string skewed = randomBytes(150000, 9);
    for (char& c : skewed)
        c = static_cast<char>(static_cast<uint8_t>(c) % 7 * static_cast<uint8_t>(c) / 255);
    for (const std::string& data :
         {randomBytes(1, 1), randomBytes(5000, 2), randomBytes(65535, 3), randomBytes(65536, 4),
          randomBytes(1 << 20, 5), skewed, std::string(70000, 'q')}) {
        SCOPED_TRACE(data.size());
        const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
        const std::vector<uint32_t> symbols(bytes, bytes + data.size());
        for (int before = 0; before < 8; ++before) {
            lha::BitWriter a, b;
            lha::LastBlock lastA, lastB;
            std::vector<uint32_t> scratch;
            lha::writeBlocks(a, symbols.data(), symbols.size(), 13, lastA, scratch, lha::Cut::Even);
            lha::writeByteBlocks(b, bytes, data.size(), 13, lastB);
            lha::avoidAlignedEnd(a, 13, before, lastA);
            lha::avoidAlignedEnd(b, 13, before, lastB);
            ASSERT_EQ(a.bitCount(), b.bitCount()) << before;
            EXPECT_EQ(a.tail(), b.tail());
            EXPECT_TRUE(a.bytes() == b.bytes());
        }
    }
}

TEST(LhMatch, HashChainsAgreeWithABruteForceSearch) {
    // Few letters (matches of every length, long chains), random bytes, a run.
    std::string text = wordySource(6000, 4);
    for (char& c : text)
        c = static_cast<char>('a' + static_cast<unsigned char>(c) % 3);
    text += randomBytes(2000, 5) + std::string(700, 'r') + text.substr(100, 4000);
    const auto* t = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t n = static_cast<int32_t>(text.size());
    const int32_t window = 1 << 13;
    lha::HashChains chains(13);
    chains.reset(text.size());
    for (int32_t pos = 0; pos + 3 <= n; ++pos) {
        const int limit = std::min(256, n - pos);
        int best = 0;
        int32_t closest = 0;
        for (int32_t d = 1; d < window && d <= pos; ++d) {
            const int len = lha::matchLength(t + pos - d, t + pos, limit);
            if (len > best) {
                best = len;
                closest = d;
            }
        }
        lha::Match found[256];
        const int count = chains.findAndInsert(t, pos, limit, 1 << 20, 256, found);
        // Real matches, each longer and farther than the one before.
        for (int k = 0; k < count; ++k) {
            ASSERT_EQ(lha::matchLength(t + pos - found[k].distance, t + pos, limit),
                      found[k].length)
                << pos;
            if (k > 0) {
                ASSERT_GT(found[k].length, found[k - 1].length) << pos;
                ASSERT_GT(found[k].distance, found[k - 1].distance) << pos;
            }
        }
        const lha::Match m = count ? found[count - 1] : lha::Match{};
        if (best >= 6 && pos + 8 <= n) {
            // The chains hold every earlier position of the window.
            ASSERT_EQ(m.length, best) << pos;
            ASSERT_EQ(m.distance, closest) << pos;
        } else if (best >= 4) {
            // Four or five bytes: at least the closest four-byte match.
            ASSERT_GE(m.length, 4) << pos;
        } else if (best < 4 && m.length != 0) {
            // Three bytes: the last position of the same hash, when it matches.
            ASSERT_EQ(m.length, 3) << pos;
            ASSERT_EQ(best, 3) << pos;
        }
    }
}

TEST(LhCodec, DecoderRejectsDamagedStreamsWithoutCrashing) {
    std::string data = wordySource(50000, 9);
    std::string packed = compress(data, 13);
    std::string out;
    // Truncated data.
    EXPECT_EQ(decompress(packed.substr(0, packed.size() / 2), 13, data.size(), out),
              arc::kErrBadData);
    // Nothing at all.
    EXPECT_EQ(decompress("", 13, 10, out), arc::kErrBadData);
    // A table size larger than the table (C table of 511 entries).
    std::string bad = std::string("\x00\x10", 2) + std::string("\x00\x00\xff\xff\xff", 5);
    EXPECT_EQ(decompress(bad, 13, 10, out), arc::kErrBadData);
    // Flipped bits somewhere in the data give an error or different bytes, never a crash.
    for (size_t i = 0; i < 200; ++i) {
        std::string broken = packed;
        broken[(i * 7919) % broken.size()] ^= static_cast<char>(1 << (i % 8));
        int rc = decompress(broken, 13, data.size(), out);
        EXPECT_TRUE(rc == arc::kErrBadData || rc == arc::kOk);
    }
    // An unsupported window.
    EXPECT_EQ(decompress(packed, 12, data.size(), out), arc::kErrMethod);
}

TEST(Crc16, MatchesTheArcCheckValue) {
    EXPECT_EQ(arc::crc16Update(0, "123456789", 9), 0xBB3D);
    uint16_t split = arc::crc16Update(arc::crc16Update(0, "12345", 5), "6789", 4);
    EXPECT_EQ(split, 0xBB3D);
}

// Long runs take another way than short ones (16 or 64 bytes a step): every
// length and alignment gives what the definition, a bit at a time, gives.
TEST(Crc16, EveryLengthAndAlignmentMatchesTheBitwiseDefinition) {
    auto bitwise = [](uint16_t c, const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            c ^= p[i];
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
        }
        return c;
    };
    std::vector<uint8_t> data(70000);
    uint32_t x = 12345;
    for (uint8_t& b : data)
        b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
    for (size_t at = 0; at < 16; ++at)
        for (size_t n = 0; n < 300; ++n)
            ASSERT_EQ(arc::crc16Update(0xB3C7, data.data() + at, n),
                      bitwise(0xB3C7, data.data() + at, n))
                << at << " " << n;
    EXPECT_EQ(arc::crc16Update(7, data.data() + 3, data.size() - 3),
              bitwise(7, data.data() + 3, data.size() - 3));
}

class HeaderFile : public ::testing::Test {
protected:
    TempDir dir;
    int read(const std::string& bytes, lha::MemberHeader& h, bool& end) {
        spit(dir / "a.lzh", bytes);
        lha::ArchiveFile f;
        EXPECT_TRUE(f.open(dir / "a.lzh"));
        return lha::readMemberHeader(f, 0, h, end);
    }
};

TEST_F(HeaderFile, Level2RoundTripsSmallAndLargeSizes) {
    for (bool large : {false, true}) {
        uint64_t packed = large ? 0x123456789ull : 1000;
        uint64_t orig = large ? 0x2000000001ull : 5000;
        std::vector<uint8_t> h = lha::buildLevel2Header("-lh5-", {'U', "name.txt"}, 04755, packed,
                                                        orig, 1700000000, 0xBEEF, large);
        std::string bytes(h.begin(), h.end());
        bytes += std::string(static_cast<size_t>(packed > 4096 ? 16 : packed), 'x');
        lha::MemberHeader m;
        bool end = true;
        if (large) {
            // The data is not really there: the header reads, the size check refuses it.
            EXPECT_EQ(read(bytes, m, end), arc::kErrHeaderBroken);
            continue;
        }
        ASSERT_EQ(read(bytes, m, end), arc::kOk);
        EXPECT_FALSE(end);
        EXPECT_EQ(m.method, "-lh5-");
        EXPECT_EQ(m.packedSize, packed);
        EXPECT_EQ(m.originalSize, orig);
        EXPECT_EQ(m.mtime, 1700000000);
        EXPECT_EQ(m.crc, 0xBEEF);
        EXPECT_EQ(m.name.bytes, "name.txt");
        EXPECT_EQ(m.name.osId, 'U');
        EXPECT_TRUE(m.hasMode);
        EXPECT_EQ(m.mode, 0755u); // never the setuid bit
        EXPECT_EQ(m.dataOffset, h.size());
    }
}

TEST_F(HeaderFile, LargeSizesReadFromASparseArchive) {
    const uint64_t packed = 0x100000010ull;
    std::vector<uint8_t> h =
        lha::buildLevel2Header("-lh0-", {'M', "big.bin"}, 0644, packed, packed, 1, 0, true);
    std::string path = dir / "big.lzh";
    spit(path, std::string(h.begin(), h.end()));
    fs::resize_file(path, h.size() + packed + 1);
    lha::ArchiveFile f;
    ASSERT_TRUE(f.open(path));
    lha::MemberHeader m;
    bool end = true;
    ASSERT_EQ(lha::readMemberHeader(f, 0, m, end), arc::kOk);
    EXPECT_EQ(m.packedSize, packed);
    EXPECT_EQ(m.originalSize, packed);
    ASSERT_EQ(lha::readMemberHeader(f, m.dataOffset + m.packedSize, m, end), arc::kOk);
    EXPECT_TRUE(end);
}

TEST_F(HeaderFile, KeepsHeadersOffLengthsThatAreMultiplesOf256) {
    // 26 + 5 + 3 + 5 = 39 bytes without the name: a 217-byte name makes 256,
    // which the Unix time extension (7 bytes) moves to 263.
    std::string name(217, 'n');
    std::vector<uint8_t> h = lha::buildLevel2Header("-lh0-", {'M', name}, 0644, 0, 0, 7, 0, false);
    EXPECT_EQ(h.size(), 263u);
    EXPECT_NE(h[0], 0);
    lha::MemberHeader m;
    bool end = true;
    ASSERT_EQ(read(std::string(h.begin(), h.end()) + '\0', m, end), arc::kOk);
    EXPECT_EQ(m.name.bytes, name);
    EXPECT_EQ(m.mtime, 7);
    EXPECT_EQ(m.dataOffset, h.size());
}

TEST_F(HeaderFile, RejectsDamagedHeaders) {
    std::vector<uint8_t> h = lha::buildLevel2Header("-lh5-", {'M', "a"}, 0644, 3, 3, 0, 0, false);
    std::string good(h.begin(), h.end());
    good += "abc";
    lha::MemberHeader m;
    bool end = false;
    std::string crc = good;
    crc[9] ^= 1; // a size byte: the header CRC no longer matches
    EXPECT_EQ(read(crc, m, end), arc::kErrHeaderCrc);
    EXPECT_EQ(read(good.substr(0, 20), m, end), arc::kErrHeaderBroken);
    EXPECT_EQ(read(good.substr(0, good.size() - 1), m, end), arc::kErrHeaderBroken);
    EXPECT_EQ(read("this is not an archive at all", m, end), arc::kErrNotArchive);
    std::string level = good;
    level[20] = 3;
    EXPECT_EQ(read(level, m, end), arc::kErrHeaderBroken);
    ASSERT_EQ(read(std::string(1, '\0'), m, end), arc::kOk);
    EXPECT_TRUE(end);
}

std::string le(uint64_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>(v >> (8 * i));
    return s;
}

// A level-0 or level-1 base header: size and checksum filled in.
std::string oldBase(int level, uint64_t skip, const std::string& name, const std::string& tail) {
    std::string h = std::string(2, '\0') + "-lh0-" + le(skip, 4) + le(3, 4) + le(0, 4) + "\x20" +
                    static_cast<char>(level) + static_cast<char>(name.size()) + name +
                    le(0x9191, 2) + tail;
    h[0] = static_cast<char>(h.size() - 2);
    unsigned sum = 0;
    for (size_t i = 2; i < h.size(); ++i)
        sum += static_cast<unsigned char>(h[i]);
    h[1] = static_cast<char>(sum);
    return h;
}

TEST_F(HeaderFile, ReadsTheOsIdFolderAndModeOfOldLevels) {
    // Level 0 with a Unix extension area: OS id, version, Unix time, mode, uid, gid.
    const std::string unixArea =
        std::string("U\0", 2) + le(1'700'000'000, 4) + le(0100750, 2) + le(0, 4);
    lha::MemberHeader m;
    bool end = true;
    ASSERT_EQ(read(oldBase(0, 3, "dir\\a.txt", unixArea) + "abc", m, end), arc::kOk);
    EXPECT_EQ(m.name.osId, 'U');
    EXPECT_EQ(lha::decodeMemberPath(m.name), "dir/a.txt"); // "\\" separates
    EXPECT_EQ(m.mtime, 1'700'000'000);
    EXPECT_TRUE(m.hasMode);
    EXPECT_EQ(m.mode, 0750u);
    // Level 1: the folder extension and the name.
    const std::string exts =
        std::string("\x02sub", 4) + le(5, 2) + "\x50" + le(0100644, 2) + le(0, 2);
    ASSERT_EQ(read(oldBase(1, 3 + exts.size(), "a.txt", "U" + le(6, 2)) + exts + "abc", m, end),
              arc::kOk);
    EXPECT_EQ(m.name.osId, 'U');
    EXPECT_EQ(m.name.folder, "sub");
    EXPECT_EQ(m.name.bytes, "a.txt");
    EXPECT_EQ(m.mode, 0644u);
    EXPECT_EQ(m.packedSize, 3u);
    EXPECT_EQ(lha::decodeMemberPath(m.name), "sub/a.txt");
}

TEST(HeaderSizes, RefusesSizesTheDataCannotHold) {
    lha::MemberHeader h;
    h.method = "-lh0-";
    h.packedSize = 10;
    h.originalSize = 11;
    EXPECT_FALSE(lha::plausibleSizes(h));
    h.method = "-lh5-";
    h.originalSize = 1ull << 40;
    EXPECT_FALSE(lha::plausibleSizes(h));
    h.originalSize = 1000000;
    EXPECT_TRUE(lha::plausibleSizes(h));
}

TEST(MemberNames, ShiftJisNameFieldsWithCodePageAndUtf16WhereShiftJisLacksACharacter) {
    auto stored = [](const std::string& name) {
        lha::StoredName s = lha::encodeMemberName(name);
        std::string utf8;
        return std::string(1, static_cast<char>(s.osId)) + ":" + s.bytes + ":" +
               std::to_string(s.codePage) + ":" +
               (s.utf16Name && arc::utf16leToUtf8(*s.utf16Name, utf8) ? utf8 : "-");
    };
    EXPECT_EQ(stored("PLAIN.TXT"), "U:PLAIN.TXT:0:-");
    EXPECT_EQ(stored("日本.txt"), "M:\x93\xfa\x96\x7b.txt:932:-");
    EXPECT_EQ(stored("ソ.txt"), "M:\x83\x5c.txt:932:-");
    EXPECT_EQ(stored("한국어.txt"), "U:___.txt:932:한국어.txt");
    EXPECT_EQ(stored("日本😀.txt"), "M:\x93\xfa\x96\x7b_.txt:932:日本😀.txt");
    EXPECT_EQ(stored("a\\b.txt"), "U:a\\b.txt:0:-");
    EXPECT_EQ(stored("caf\xe9.txt"), "U:caf\xe9.txt:0:-"); // not UTF-8: its bytes
    for (std::string name : {"plain.txt", "日本.txt", "ソ.txt", "한국어.txt", "ｶﾀｶﾅ～.txt", "a\\b",
                             "日\\本😀", "caf\xe9"}) {
        lha::StoredName s = lha::encodeMemberName(name);
        EXPECT_EQ(lha::decodeMemberPath(s), name);
    }
}

TEST(MemberNames, Utf16ThenCodePageThenOsIdDecide) {
    auto path = [](lha::StoredName s) { return lha::decodeMemberPath(s); };
    std::string utf16;
    arc::utf8ToUtf16le("한국어.txt", utf16);
    const std::string sjis = "\x93\xfa\x96\x7b.txt"; // 日本.txt
    EXPECT_EQ(path({'M', "___.txt", "", 932, utf16}), "한국어.txt");
    std::string folder16;
    arc::utf8ToUtf16le("日本", folder16);
    EXPECT_EQ(path({'M', sjis, "", 0, std::nullopt, folder16 + "\xff\xff" + folder16}),
              "日本/日本/日本.txt");
    EXPECT_EQ(path({'U', "日本.txt", "", 65001}), "日本.txt");
    EXPECT_EQ(path({'U', sjis, "", 932}), "日本.txt");
    // 'U': of LHa for UNIX (level 0 or 1, or level 2 with other extensions)
    // Shift_JIS, else the bytes; of this module's own layout UTF-8, else the bytes.
    EXPECT_EQ(path({'U', "\xca\xb2.txt", "", 0, {}, {}, 2, false}), "ﾊｲ.txt");
    EXPECT_EQ(path({'U', "\xca\xb2.txt", "", 0, {}, {}, 2, true}), "\xca\xb2.txt");
    EXPECT_EQ(path({'U', "テスト.txt", "", 0, {}, {}, 1, false}), "テスト.txt");
    EXPECT_EQ(path({'U', "dir\\" + sjis, "", 0, {}, {}, 0, false}), "dir/日本.txt");
    EXPECT_EQ(path({'W', sjis}), "日本.txt");
    EXPECT_EQ(path({'M', "sub\xff\xfe\xfd.txt"}), "sub/__.txt");
}

} // namespace
