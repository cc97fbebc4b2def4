// libunzip32.so through its exports: archives of other tools, chosen members,
// hostile names, damaged input, and a seeded mutation run over the reader.
#include "results.h"
#include "zip_test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sys/mount.h>
#include <unistd.h>

using namespace ztest;

namespace {

const Module& unzipm() {
    return loaded(unzipModule());
}

std::string extractCommand(const fs::path& archive, const fs::path& folder,
                           const std::vector<std::string>& members = {}) {
    std::string cmd = "-x \"" + archive.string() + "\" \"" + folder.string() + "/\"";
    for (const std::string& m : members)
        cmd += " \"" + m + "\"";
    return cmd;
}

// Overwrites, flips, cuts and inserts bytes at random places.
std::string mutate(std::string data, std::mt19937& rng) {
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < edits; ++k) {
        const size_t at = rng() % data.size();
        switch (rng() % 4) {
        case 0:
            data[at] = static_cast<char>(rng());
            break;
        case 1:
            data[at] ^= static_cast<char>(1u << (rng() % 8));
            break;
        case 2:
            data.resize(std::max<size_t>(at, 1));
            break;
        default:
            data.insert(at, std::string(1 + rng() % 16, static_cast<char>(rng())));
        }
    }
    return data;
}

std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string() + (e.is_symlink() ? "@" : ""));
    return names;
}

} // namespace

TEST(UnZipModule, ExtractsArchivesMadeByInfoZipAnd7z) {
    TempDir dir;
    fs::create_directory(dir / "in");
    const std::vector<std::pair<std::string, std::string>> files = {
        {"plain.txt", sample(200000, 11, true)},
        {"noise.bin", sample(70000, 12, false)},
        {"表計算 メモ.txt", sample(3000, 13, true)},
        {"empty", ""},
    };
    for (const auto& [name, data] : files)
        spit(dir / "in" / name, data);
    ASSERT_EQ(shell("touch -d '2003-04-05 06:07:09' " + quote(dir / "in" / "plain.txt")), 0);
    ASSERT_EQ(shell("cd " + quote(dir / "in") +
                    " && LC_ALL=C.UTF-8 zip -q -9 ../info.zip * && LC_ALL=C.UTF-8 7z a -tzip "
                    "../seven.zip * >/dev/null"),
              0);
    for (const char* archive : {"info.zip", "seven.zip"}) {
        const fs::path out = dir / (std::string(archive) + ".out");
        fs::create_directory(out);
        EXPECT_EQ(unzipm().call(extractCommand(dir / archive, out)), 0) << archive;
        for (const auto& [name, data] : files)
            EXPECT_EQ(slurp(out / name), data) << archive << " " << name;
        EXPECT_EQ(listing(out).size(), files.size()) << archive;
        EXPECT_EQ(fs::last_write_time(out / "plain.txt"),
                  fs::last_write_time(dir / "in" / "plain.txt"))
            << archive;
    }
}

TEST(UnZipModule, ExtractsTheNamedMembersReplacingFilesButNotThroughLinks) {
    TempDir dir;
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    spit(dir / "in" / "a.txt", "new a");
    spit(dir / "in" / "b.txt", "new b");
    ASSERT_EQ(shell("cd " + quote(dir / "in") + " && zip -q ../m.zip a.txt b.txt"), 0);
    spit(dir / "out" / "a.txt", "old a");
    spit(dir / "victim", "must stay");
    fs::create_symlink(dir / "victim", dir / "out" / "b.txt");

    EXPECT_EQ(unzipm().call(extractCommand(dir / "m.zip", dir / "out", {"b.txt"})), 0);
    EXPECT_EQ(slurp(dir / "victim"), "must stay");
    EXPECT_FALSE(fs::is_symlink(dir / "out" / "b.txt"));
    EXPECT_EQ(slurp(dir / "out" / "b.txt"), "new b");
    EXPECT_EQ(slurp(dir / "out" / "a.txt"), "old a");

    EXPECT_EQ(unzipm().call(extractCommand(dir / "m.zip", dir / "out", {"zzz"})),
              arc::kErrNotFound);
    EXPECT_EQ(unzipm().call(extractCommand(dir / "m.zip", dir / "out")), 0);
    EXPECT_EQ(slurp(dir / "out" / "a.txt"), "new a");
    EXPECT_EQ(listing(dir / "out"), (std::set<std::string>{"a.txt", "b.txt"}));
}

TEST(UnZipModule, RoundTripsTheDoubleCompressionCommandLines) {
    TempDir dir;
    fs::create_directory(dir / "tmp");
    fs::create_directory(dir / "out");
    spit(dir / "report.txt", sample(80000, 14, true));
    spit(dir / "tmp" / "DRAVONEL.RESPFILE", "\"" + (dir / "report.txt").string() + "\"\r\n");
    const fs::path inner = dir / "tmp" / "REPORT.ZIP";
    const fs::path outer = dir / "out" / "REPORT.ZIP.ZIP";
    ASSERT_EQ(zipModule().call(zipCommand("-j -S -0 ", inner,
                                          "-i@" + (dir / "tmp" / "DRAVONEL.RESPFILE").string())),
              0);
    ASSERT_EQ(zipModule().call(zipCommand("-j -9", outer, inner.string())), 0);
    const std::string innerBytes = slurp(inner);
    fs::remove(inner);
    EXPECT_TRUE(readersAccept(outer));

    // The update step: "-x" "<out>/N.ZIP.ZIP" "<TmpDir>/" "N.ZIP".
    EXPECT_EQ(unzipm().call("-x \"" + outer.string() + "\" \"" + (dir / "tmp").string() +
                            "/\" \"REPORT.ZIP\""),
              0);
    EXPECT_EQ(slurp(inner), innerBytes);
}

TEST(UnZipModule, KeepsHostileNamesAndLinksInsideTheDestination) {
    TempDir dir;
    fs::create_directories(dir / "dest" / "sub");
    const fs::path archive = dir / "evil.zip";
    const std::string abs = (dir / "abs.txt").string();
    shell("python3 -c 'import sys, zipfile\n"
          "z = zipfile.ZipFile(sys.argv[1], \"w\")\n"
          "for n in [\"../up.txt\", sys.argv[2], \"a/../../deep.txt\", \"..\", \"dir/\"]:\n"
          "    z.writestr(zipfile.ZipInfo(n), \"data \" + n)\n"
          "link = zipfile.ZipInfo(\"link\")\n"
          "link.create_system = 3\n"
          "link.external_attr = 0o120777 << 16\n"
          "z.writestr(link, \"/etc/passwd\")\n"
          "z.close()' " +
          quote(archive) + " " + quote(abs));
    ASSERT_EQ(python("print(len(z.namelist()))", archive), (std::vector<std::string>{"6"}));

    EXPECT_EQ(unzipm().call(extractCommand(archive, dir / "dest" / "sub")), 2);
    EXPECT_EQ(listing(dir / "dest" / "sub"),
              (std::set<std::string>{"up.txt", "abs.txt", "deep.txt"}));
    EXPECT_EQ(slurp(dir / "dest" / "sub" / "up.txt"), "data ../up.txt");
    EXPECT_EQ(slurp(dir / "dest" / "sub" / "abs.txt"), "data " + abs);
    EXPECT_EQ(listing(dir / "dest"), (std::set<std::string>{"sub"}));
    EXPECT_EQ(listing(dir.path), (std::set<std::string>{"dest", "evil.zip"}));
}

TEST(UnZipModule, DamagedOrWrongInputGivesAnErrorAndNoFile) {
    TempDir dir;
    fs::create_directory(dir / "out");
    spit(dir / "data.txt", sample(100000, 15, true));
    spit(dir / "raw.bin", sample(5000, 16, false));
    ASSERT_EQ(
        zipModule().call(zipCommand("-j -S -9 ", dir / "good.zip", (dir / "data.txt").string())),
        0);
    ASSERT_EQ(
        zipModule().call(zipCommand("-j -S -0 ", dir / "stored.zip", (dir / "raw.bin").string())),
        0);
    const std::string good = slurp(dir / "good.zip");
    const std::string stored = slurp(dir / "stored.zip");

    std::string crc = stored;
    crc[30 + 7 + 9 + 100] ^= 1; // a byte of the stored data
    spit(dir / "crc.zip", crc);
    EXPECT_EQ(unzipm().call(extractCommand(dir / "crc.zip", dir / "out")), arc::kErrFileCrc);

    std::string bits = good;
    for (size_t i = 200; i < 260; ++i)
        bits[i] = static_cast<char>(~bits[i]);
    spit(dir / "bits.zip", bits);
    const int broken = unzipm().call(extractCommand(dir / "bits.zip", dir / "out"));
    EXPECT_TRUE(broken == arc::kErrBadData || broken == arc::kErrFileCrc) << broken;

    // Sizes that do not match the data: one byte more or less declared in both
    // headers.
    for (const unsigned char low : {0xa1, 0x9f}) {
        std::string lie = good; // 100,000 bytes: 0x186a0
        for (const size_t at : {size_t{22}, lie.find("PK\x01\x02") + 24}) {
            ASSERT_EQ(static_cast<unsigned char>(lie[at]), 0xa0);
            lie[at] = static_cast<char>(low);
        }
        spit(dir / "lie.zip", lie);
        EXPECT_EQ(unzipm().call(extractCommand(dir / "lie.zip", dir / "out")), arc::kErrBadData);
    }

    spit(dir / "cut.zip", good.substr(0, good.size() / 2));
    EXPECT_EQ(unzipm().call(extractCommand(dir / "cut.zip", dir / "out")), arc::kErrNotArchive);
    std::string body = good;
    body.erase(1000, 5000); // central directory intact, data cut short
    spit(dir / "short.zip", body);
    EXPECT_GE(unzipm().call(extractCommand(dir / "short.zip", dir / "out")), 32768);
    EXPECT_TRUE(fs::is_empty(dir / "out"));

    EXPECT_EQ(unzipm().call(extractCommand(dir / "data.txt", dir / "out")), arc::kErrNotArchive);
    EXPECT_EQ(unzipm().call(extractCommand(dir / "missing.zip", dir / "out")),
              arc::kErrArchiveOpen);
    EXPECT_EQ(unzipm().call(extractCommand(dir / "good.zip", dir / "nofolder")),
              arc::kErrCannotWriteFile);
    EXPECT_EQ(unzipm().call("-o \"" + (dir / "good.zip").string() + "\" \"/tmp/\""),
              arc::kErrCommand);
    EXPECT_EQ(unzipm().call("-x \"" + (dir / "good.zip").string() + "\""), arc::kErrCommand);
    EXPECT_EQ(unzipm().call("-t \"" + (dir / "good.zip").string() + "\" \"\""), arc::kErrCommand);
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    EXPECT_EQ(unzipm().getVersion(), 100);
    EXPECT_EQ(unzipm().getRunning(), 0);
}

TEST(UnZipModule, MutatedArchivesNeverCrashOrWriteOutsideTheDestination) {
    TempDir dir;
    fs::create_directory(dir / "in");
    spit(dir / "in" / "a.txt", sample(20000, 17, true));
    spit(dir / "in" / "b.bin", sample(3000, 18, false));
    spit(dir / "in" / "c.txt", "tiny");
    ASSERT_EQ(shell("cd " + quote(dir / "in") + " && zip -q -9 ../seed.zip a.txt b.bin c.txt"), 0);
    const std::string seed = slurp(dir / "seed.zip");
    fs::create_directory(dir / "out");
    const fs::path work = dir / "out" / "w";
    std::mt19937 rng(20261208);
    for (int round = 0; round < 1000; ++round) {
        const std::string data = mutate(seed, rng);
        spit(dir / "m.zip", data);
        fs::create_directory(work);
        const int rc = unzipm().call(extractCommand(dir / "m.zip", work));
        ASSERT_TRUE((rc >= 0 && rc <= 3) || (rc >= 32768 && rc != arc::kErrCancelled))
            << "round " << round << " result " << rc;
        for (const auto& e : fs::directory_iterator(work)) {
            ASSERT_TRUE(e.is_regular_file() && !e.is_symlink()) << e.path();
            ASSERT_NE(e.path().filename().string().rfind(".extract.", 0), 0u) << e.path();
        }
        fs::remove_all(work);
        ASSERT_EQ(listing(dir / "out").size(), 0u) << "round " << round;
    }
    EXPECT_EQ(listing(dir.path), (std::set<std::string>{"in", "out", "seed.zip", "m.zip"}));
}

TEST(ZipModule, UpdatingMutatedArchivesFailsCleanlyOrGivesAGoodArchive) {
    TempDir dir;
    fs::create_directory(dir / "in");
    spit(dir / "in" / "a.txt", sample(20000, 19, true));
    spit(dir / "in" / "b.bin", sample(3000, 20, false));
    spit(dir / "new.txt", "added");
    ASSERT_EQ(shell("cd " + quote(dir / "in") + " && zip -q -9 ../seed.zip a.txt b.bin"), 0);
    const std::string seed = slurp(dir / "seed.zip");
    fs::create_directory(dir / "arc");
    fs::create_directory(dir / "out");
    const fs::path archive = dir / "arc" / "m.zip";
    const std::string update = zipCommand("-j -S -9 ", archive, (dir / "new.txt").string());
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        const std::string data = mutate(seed, rng);
        spit(archive, data);
        const int rc = zipModule().call(update);
        if (rc >= 32768) {
            ASSERT_EQ(slurp(archive), data) << "round " << round << " result " << rc;
        } else {
            ASSERT_EQ(rc, 0) << "round " << round;
            ASSERT_EQ(unzipModule().call(extractCommand(archive, dir / "out", {"new.txt"})), 0)
                << "round " << round;
            ASSERT_EQ(slurp(dir / "out" / "new.txt"), "added");
            fs::remove(dir / "out" / "new.txt");
        }
        ASSERT_EQ(listing(dir / "arc"), (std::set<std::string>{"m.zip"})) << "round " << round;
    }
}

TEST(UnZipModule, DecodesNamesByTheirHostAndRestoresUnixModes) {
    TempDir dir;
    const fs::path archive = dir / "NAMES.ZIP";
    // Shift_JIS names whose trail byte is 0x5C, a CP437 name that is not
    // CP932, folders cut at "\" from DOS but not from Unix, one file name in
    // two folders, and the UTF-8 bytes Info-ZIP stores on Linux without the flag.
    pythonZip(archive, "add('表.txt'.encode('cp932'), 'hyo')\n"
                       "add('能.txt'.encode('cp932'), 'no')\n"
                       "add(b'dos\\\\\\x8a\\xbf\\x8e\\x9a.txt', 'kanji')\n"
                       "add(b'caf\\x82.txt', 'cafe')\n"
                       "add(b'a\\\\b.txt', 'unix', system=3, mode=0o4750)\n"
                       "add('日本.txt'.encode(), 'utf8', system=3, mode=0o604)\n"
                       "add(b'x\\\\same.txt', 'first')\n"
                       "add(b'y\\\\same.txt', 'second')\n");
    fs::create_directory(dir / "out");
    EXPECT_EQ(unzipm().call(extractCommand(archive, dir / "out")), 1); // the second same.txt
    EXPECT_EQ(listing(dir / "out"),
              (std::set<std::string>{"表.txt", "能.txt", "漢字.txt", "café.txt", "a\\b.txt",
                                     "日本.txt", "same.txt"}));
    EXPECT_EQ(slurp(dir / "out" / "表.txt"), "hyo");
    EXPECT_EQ(slurp(dir / "out" / "能.txt"), "no");
    EXPECT_EQ(slurp(dir / "out" / "same.txt"), "first");
    EXPECT_EQ(fs::status(dir / "out" / "a\\b.txt").permissions(), fs::perms(0750));
    EXPECT_EQ(fs::status(dir / "out" / "日本.txt").permissions(), fs::perms(0604));

    // Chosen by their decoded names, whole or bare.
    fs::create_directory(dir / "some");
    EXPECT_EQ(unzipm().call(extractCommand(archive, dir / "some", {"dos\\漢字.txt", "能.txt"})), 0);
    EXPECT_EQ(listing(dir / "some"), (std::set<std::string>{"漢字.txt", "能.txt"}));
}

namespace {

int logMember(void* user, const char* member, unsigned long long, unsigned long long) {
    static_cast<std::set<std::string>*>(user)->insert(member);
    return 0;
}

} // namespace

TEST(UnZipModule, StopsABombBeforeItFillsTheDisk) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    TempDir dir;
    const fs::path mnt = dir / "small";
    fs::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    const fs::path archive = dir / "BOMB.ZIP";
    ASSERT_EQ(shell("python3 -c 'import sys, zipfile\n"
                    "with zipfile.ZipFile(sys.argv[1], \"w\", zipfile.ZIP_DEFLATED) as z:\n"
                    "    z.writestr(\"small.txt\", \"small\")\n"
                    "    z.writestr(\"bomb.bin\", bytes(64 << 20))\n"
                    "    z.writestr(\"after.txt\", \"after\")' " +
                    quote(archive)),
              0);
    ASSERT_LT(fs::file_size(archive), 100000u); // about 1000 to 1
    std::set<std::string> members;
    unzipm().setProgress(logMember, &members);
    EXPECT_EQ(unzipm().call(extractCommand(archive, mnt)), arc::kErrDiskFull);
    unzipm().setProgress(nullptr, nullptr);
    EXPECT_EQ(members.count("bomb.bin"), 0u); // not one byte of it was written
    EXPECT_EQ(listing(mnt), (std::set<std::string>{"small.txt"}));
    // A size the data cannot give (4 GiB declared, stored or deflated) is damage,
    // not a full disk: the members after it are extracted.
    for (const char* method : {"ZIP_STORED", "ZIP_DEFLATED"}) {
        SCOPED_TRACE(method);
        const fs::path lie = dir / "LIE.ZIP";
        ASSERT_EQ(shell(std::string("python3 -c 'import sys, zipfile\n"
                                    "with zipfile.ZipFile(sys.argv[1], \"w\", zipfile.") +
                        method +
                        ") as z:\n"
                        "    z.writestr(\"lie.bin\", \"small\")\n"
                        "    z.writestr(\"last.txt\", \"last\")' " +
                        quote(lie)),
                  0);
        std::string bytes = slurp(lie);
        for (const size_t at : {size_t{22}, bytes.find("PK\x01\x02") + 24})
            bytes.replace(at, 4, "\xf0\xff\xff\xff");
        spit(lie, bytes);
        EXPECT_EQ(unzipm().call(extractCommand(lie, mnt)), arc::kErrBadData);
        EXPECT_EQ(slurp(mnt / "last.txt"), "last");
    }
    ::umount(mnt.c_str());
}
