// The format core where the modules cannot reach cheaply: ZIP64 records (with
// the thresholds lowered so that small files cross them) and the streaming
// path for files larger than one batch of pieces, and batches shared between
// threads, with text, noise and long runs in one file; noise written as it is
// until the file shrinks after all; the text encoder of the maximum level on
// the inputs that take each of its paths.
#include "results.h"
#include "zip_archive.h"
#include "zip_test_support.h"

#include <gtest/gtest.h>

using namespace ztest;

namespace {

std::vector<zip::Source>
makeSources(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<zip::Source> sources;
    for (const auto& [name, data] : files) {
        spit(dir / name, data);
        sources.push_back({(dir / name).string(), name});
    }
    return sources;
}

const char* kCheckContents =
    "import os\n"
    "d = os.path.dirname(sys.argv[1])\n"
    "for i in z.infolist():\n"
    "    same = z.read(i) == open(os.path.join(d, i.filename), 'rb').read()\n"
    "    print(i.filename, i.compress_type, same)\n";

// Checks that every reader accepts the archive and returns what Python's
// zipfile says of each entry: its name, its method and whether its bytes are
// the file's.
std::vector<std::string> readBack(const fs::path& archive) {
    std::string why;
    EXPECT_TRUE(readersAccept(archive, &why)) << why;
    return python(kCheckContents, archive);
}

// Makes or updates `archive` from the sources, reporting no progress.
int update(const fs::path& archive, const std::vector<zip::Source>& sources, int level,
           const zip::Limits& limits = zip::Limits()) {
    arc::Progress quiet(nullptr, nullptr, 0);
    return zip::updateArchive(archive, sources, level, quiet, limits);
}

// Files deflated in pieces of `pieceSize` bytes, `threads` at once (0: as
// many as the default).
zip::Limits pieces(uint64_t pieceSize, unsigned threads = 0) {
    zip::Limits limits;
    limits.pieceSize = pieceSize;
    if (threads > 0)
        limits.threads = threads;
    return limits;
}

} // namespace

TEST(ZipWriter, WritesZip64RecordsForLargeSizesOffsetsAndEntryCounts) {
    TempDir dir;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 6; ++i)
        files.push_back({"f" + std::to_string(i) + ".txt", sample(500 + 700 * i, 20 + i, true)});
    files.push_back({"big.bin", sample(5000, 30, false)});
    const auto sources = makeSources(dir, files);
    zip::Limits limits;
    limits.max32 = 1500;
    limits.maxEntries = 4;
    const fs::path archive = dir / "Z64.ZIP";
    ASSERT_EQ(update(archive, sources, 9, limits), 0);

    const auto lines = readBack(archive);
    ASSERT_EQ(lines.size(), files.size());
    for (const std::string& line : lines)
        EXPECT_EQ(line.substr(line.size() - 4), "True") << line;
    EXPECT_EQ(lines.back(), "big.bin 0 True");
    // The records really are there: the end record carries the markers.
    const std::string bytes = slurp(archive);
    EXPECT_NE(bytes.find("PK\x06\x06"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 12, 2), "\xff\xff");

    // Copying entries into a new ZIP64 archive keeps them readable too.
    spit(dir / "f1.txt", "replaced");
    ASSERT_EQ(update(archive, {sources[1]}, 6, limits), 0);
    for (const std::string& line : readBack(archive))
        EXPECT_EQ(line.substr(line.size() - 4), "True") << line;
}

TEST(ZipWriter, StreamsFilesLargerThanABatchAndStoresWhatDoesNotShrink) {
    TempDir dir;
    const auto sources = makeSources(dir, {{"text.txt", sample(3000000, 40, true)},
                                           {"noise.bin", sample(1500000, 41, false)},
                                           {"small.txt", sample(1000, 42, true)}});
    const fs::path archive = dir / "S.ZIP";
    ASSERT_EQ(update(archive, sources, 9, pieces(100000)), 0);
    EXPECT_EQ(readBack(archive), (std::vector<std::string>{"text.txt 8 True", "noise.bin 0 True",
                                                           "small.txt 8 True"}));
    EXPECT_LT(fs::file_size(archive), 1500000u + 3000000u / 3);
}

TEST(ZipWriter, TheArchiveIsTheSameWhateverTheThreadCount) {
    // Pieces of 1 MiB (the last two share the rest), one, two or three to a
    // batch: every piece refers back into the one before it, the first of a
    // batch too, and the file is cut at the same places; the bytes are the same.
    // Pieces of 4 MiB of noise and of noise with a few short repeats (data
    // that shrinks but little) go alone in their batch, part by part on every
    // thread; a piece with text in it goes side by side with the next.
    TempDir dir;
    std::string sparse = sample(5000000, 61, false);
    for (size_t at = 4096; at + 16 < sparse.size(); at += 300)
        sparse.replace(at, 16, sparse.substr(at - 4000, 16));
    const auto sources = makeSources(
        dir, {{"text.txt", sample(3500000, 60, true)},
              {"mixed.bin", sample(2500000, 62, false) + sparse + sample(1500000, 63, true) +
                                sample(3000000, 64, false)}});
    for (const uint64_t pieceSize : {uint64_t{1} << 20, uint64_t{4} << 20}) {
        std::string first;
        for (unsigned threads : {1u, 2u, 3u}) {
            const fs::path archive = dir / ("T" + std::to_string(threads) + ".ZIP");
            ASSERT_EQ(update(archive, sources, 9, pieces(pieceSize, threads)), 0);
            if (threads == 1) {
                first = slurp(archive);
                EXPECT_EQ(readBack(archive),
                          (std::vector<std::string>{"text.txt 8 True", "mixed.bin 8 True"}));
            } else {
                EXPECT_TRUE(slurp(archive) == first) << pieceSize << " " << threads;
            }
            fs::remove(archive);
        }
    }
}

TEST(ZipWriter, NoiseGoesOutAsItIsUntilTheFileShrinks) {
    TempDir dir;
    // Noise with one repeat of 1000 bytes: the repeat alone makes deflate pay.
    std::string repeat = sample(2500000, 50, false);
    repeat.replace(1800000, 1000, repeat.substr(1790000, 1000));
    const auto sources = makeSources(
        dir, {{"noise-text.bin", sample(3000000, 51, false) + sample(2000000, 52, true)},
              {"repeat.bin", repeat},
              {"noise.bin", sample(2500000, 53, false)}});
    const fs::path archive = dir / "N.ZIP";
    ASSERT_EQ(update(archive, sources, 6, pieces(1 << 20, 1)), 0);
    EXPECT_EQ(readBack(archive),
              (std::vector<std::string>{"noise-text.bin 8 True", "repeat.bin 8 True",
                                        "noise.bin 0 True"}));
    EXPECT_LT(fs::file_size(archive), 3000000u + 2000000u / 2 + 2 * 2500000u);
}

TEST(ZipWriter, SharesBatchesBetweenThreadsAndStoresAnEmptyFile) {
    TempDir dir;
    std::string table; // binary records: little-endian counters
    for (uint32_t i = 0; table.size() < 3500000; ++i)
        table.append(reinterpret_cast<const char*>(&i), sizeof i);
    const auto sources =
        makeSources(dir, {{"large.txt", sample(7000000, 43, true)},
                          {"mixed.bin", sample(3500000, 44, true) + sample(3500000, 45, false) +
                                            std::string(3500000, '\0')},
                          {"empty.txt", ""}});
    const fs::path archive = dir / "L.ZIP";
    ASSERT_EQ(update(archive, sources, 9, pieces(1 << 20, 2)), 0);
    EXPECT_EQ(readBack(archive), (std::vector<std::string>{"large.txt 8 True", "mixed.bin 8 True",
                                                           "empty.txt 0 True"}));
    EXPECT_LT(fs::file_size(archive), 3500000u + 17500000u / 3);
}

TEST(ZipWriter, TextAtTheMaximumLevelIsReadBackByEveryReader) {
    TempDir dir;
    // Letters in no order: matches only where the text is repeated on purpose.
    std::string letters;
    for (unsigned x = 7; letters.size() < 50000;) {
        x = x * 1103515245u + 12345u;
        letters.push_back(static_cast<char>('a' + (x >> 16) % 26));
    }
    std::vector<std::pair<std::string, std::string>> files = {
        // Short texts in bytes above 0x7F: blocks of the fixed codes, whose
        // bytes take nine bits.
        {"kana.txt", "圧縮と展開の試験です。展開と圧縮の試験です。"},
        {"latin1.txt", std::string(3, ' ') + "\xe9t\xe9 \xe0 la plage, \xe9t\xe9 \xe0 la plage, " +
                           "\xe9t\xe9 \xe0 la plage: \xff\xfe\xff\xfe\xff\xfe\xff\xfe\xff\xfe"},
        // Repeats at the farthest distances and the longest lengths, a run.
        {"far.txt", letters.substr(0, 40000) + letters.substr(1, 300) + letters.substr(7233, 600) +
                        std::string(100000, 'a') + "b" + std::string(259, 'a')},
        // Text in several segments, and one that does not shrink as text.
        {"long.txt", sample(2500000, 50, true)},
        {"letters.txt", letters}};
    for (size_t n : {300u, 5000u})
        files.push_back({"small" + std::to_string(n) + ".txt", sample(n, 51, true)});
    const auto sources = makeSources(dir, files);
    const fs::path archive = dir / "T.ZIP";
    ASSERT_EQ(update(archive, sources, 9), 0);
    const auto lines = readBack(archive);
    ASSERT_EQ(lines.size(), files.size());
    for (const std::string& line : lines)
        EXPECT_EQ(line.substr(line.size() - 6), "8 True") << line;
}
