// A bounded, seeded mutation run over the archive reader and the decoder:
// damaged archives must give a result code, never a crash, a hang or a file
// outside the destination.
#include "lh_codec.h"
#include "lha_test_util.h"
#include "lzh_archive.h"
#include "results.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lhatest;

namespace {

int runCommand(const std::string& line) {
    arc::Progress progress(nullptr, nullptr, 0);
    std::string output;
    return lha::runCommand(line, progress, output);
}

bool isResultCode(int rc) {
    return rc == 0 || (rc >= 32768 && rc <= 32800);
}

std::string mutate(std::string s, std::mt19937& rng) {
    const int ops = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < ops && !s.empty(); ++k) {
        size_t at = rng() % s.size();
        switch (rng() % 6) {
        case 0:
            s[at] = static_cast<char>(s[at] ^ (1 << (rng() % 8)));
            break;
        case 1:
            s[at] = static_cast<char>(rng());
            break;
        case 2:
            s.resize(at);
            break;
        case 3: {
            size_t len = std::min<size_t>(s.size() - at, 1 + rng() % 64);
            s.insert(rng() % s.size(), s.substr(at, len));
            break;
        }
        case 4:
            s.insert(at, randomBytes(1 + rng() % 16, rng()));
            break;
        default: {
            // A size or count field set to something large.
            uint32_t v = (rng() % 2) ? 0xFFFFFFFFu : static_cast<uint32_t>(rng());
            for (size_t i = 0; i < 4 && at + i < s.size(); ++i)
                s[at + i] = static_cast<char>(v >> (8 * i));
            break;
        }
        }
    }
    return s;
}

TEST(LhaFuzz, MutatedArchivesNeverCrashTheExtractor) {
    TempDir dir;
    const std::string in = dir / "in";
    const std::string dest = dir / "dest";
    fs::create_directories(in);
    fs::create_directories(dest);
    spit(in + "/text.txt", wordySource(30000, 1));
    spit(in + "/bin.dat", randomBytes(3000, 2));
    spit(in + "/runs.dat", std::string(5000, 'r') + wordySource(2000, 3));
    spit(in + "/日本.txt", "sjis name");
    const std::string files = "\"" + in + "/text.txt\" \"" + in + "/bin.dat\" \"" + in +
                              "/runs.dat\" \"" + in + "/日本.txt\"";
    std::vector<std::string> seeds;
    for (const char* opt : {"-o5", "-o6", "-o7", "-z1"}) {
        std::string a = dir / (std::string("seed") + opt + ".lzh");
        ASSERT_EQ(runCommand(std::string("a ") + opt + " \"" + a + "\" " + files), 0);
        seeds.push_back(slurp(a));
    }
    if (run("command -v jlha") == 0) {
        for (const char* flags : {"a0o5", "a1o5"}) {
            std::string a = dir / (std::string("jlha") + flags + ".lzh");
            if (run("cd " + q(in) + " && jlha " + flags + " " + q(a) + " text.txt runs.dat") == 0)
                seeds.push_back(slurp(a));
        }
    }
    std::mt19937 rng(20261208);
    const std::string archive = dir / "fuzz.lzh";
    for (int i = 0; i < 4000; ++i) {
        spit(archive, mutate(seeds[static_cast<size_t>(i) % seeds.size()], rng));
        int rc = runCommand("x \"" + archive + "\" \"" + dest + "/\"");
        ASSERT_TRUE(isResultCode(rc)) << "iteration " << i << " gave " << rc;
        for (const auto& e : fs::directory_iterator(dest))
            fs::remove(e.path());
    }
    // Nothing was written beside the destination.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}),
              3 + static_cast<long>(seeds.size()));
}

TEST(LhaFuzz, RandomStreamsNeverCrashTheDecoder) {
    std::mt19937 rng(7);
    std::string packed;
    {
        std::string data = wordySource(20000, 9);
        lha::LhEncoder enc(13, [&](const uint8_t* d, size_t n) {
            packed.append(reinterpret_cast<const char*>(d), n);
            return arc::kOk;
        });
        ASSERT_EQ(enc.write(reinterpret_cast<const uint8_t*>(data.data()), data.size()), arc::kOk);
        ASSERT_EQ(enc.finish(), arc::kOk);
    }
    for (int i = 0; i < 3000; ++i) {
        std::string s = (i % 2) ? mutate(packed, rng) : randomBytes(1 + rng() % 256, rng());
        size_t at = 0;
        uint64_t produced = 0;
        int rc = lha::lhDecode(
            13 + static_cast<int>(rng() % 4), s.size(), 1 + rng() % 100000,
            [&](uint8_t* d, size_t n) -> long long {
                n = std::min(n, s.size() - at);
                std::memcpy(d, s.data() + at, n);
                at += n;
                return static_cast<long long>(n);
            },
            [&](const uint8_t*, size_t n) {
                produced += n;
                return arc::kOk;
            });
        ASSERT_TRUE(rc == arc::kOk || rc == arc::kErrBadData) << rc;
        ASSERT_LE(produced, 100000u);
    }
}

} // namespace
