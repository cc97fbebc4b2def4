// The module libunlha32.so through its exported functions, with the archives it
// makes checked by lhasa, 7z and jlha, and archives of those tools read back.
#include "cp932.h"
#include "crc16.h"
#include "lha_test_util.h"
#include "lzh_header.h"
#include "module.h"
#include "results.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fstream>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

using namespace lhatest;

namespace {

struct Module {
    void* handle = nullptr;
    int (*unlha)(void*, const char*, char*, unsigned long) = nullptr;
    int (*getRunning)() = nullptr;
    unsigned short (*getVersion)() = nullptr;
    void (*setProgress)(ArcProgressFn, void*) = nullptr;

    Module() {
        handle = ::dlopen(UNLHA32_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        unlha = reinterpret_cast<decltype(unlha)>(::dlsym(handle, "Unlha"));
        getRunning = reinterpret_cast<decltype(getRunning)>(::dlsym(handle, "UnlhaGetRunning"));
        getVersion = reinterpret_cast<decltype(getVersion)>(::dlsym(handle, "UnlhaGetVersion"));
        setProgress = reinterpret_cast<decltype(setProgress)>(::dlsym(handle, "UnlhaSetProgress"));
    }
};

Module& module() {
    static Module m;
    return m;
}

void setMtime(const std::string& path, time_t t) {
    struct utimbuf u {
        t, t
    };
    ::utime(path.c_str(), &u);
}

// Members of an archive as lhasa's verbose list reports them: name -> method.
std::map<std::string, std::string> lhasaMethods(const std::string& archive) {
    std::string out;
    run("lhasa v " + q(archive), &out);
    std::map<std::string, std::string> methods;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        size_t m = line.find(" -lh");
        if (m == std::string::npos)
            continue;
        // Columns from the method on: method crc month day year-or-time name
        std::istringstream cols(line.substr(m + 1));
        std::string method, crc, mon, day, yt;
        cols >> method >> crc >> mon >> day >> yt;
        std::string name;
        std::getline(cols, name);
        methods[name.substr(1)] = method;
    }
    return methods;
}

// The members of an archive as the codec's header reader finds them.
std::vector<lha::MemberHeader> membersOf(const std::string& archive) {
    std::vector<lha::MemberHeader> members;
    lha::ArchiveFile f;
    uint64_t at = 0;
    bool end = !f.open(archive);
    while (!end) {
        lha::MemberHeader h;
        if (lha::readMemberHeader(f, at, h, end) != arc::kOk)
            break;
        at = h.dataOffset + h.packedSize;
        if (!end)
            members.push_back(h);
    }
    return members;
}

class LhaModule : public ::testing::Test {
protected:
    TempDir dir;
    std::string work;
    std::string in;
    std::string out;

    void SetUp() override {
        ASSERT_NE(module().unlha, nullptr) << "cannot load " << UNLHA32_PATH;
        ASSERT_NE(module().getRunning, nullptr);
        ASSERT_NE(module().getVersion, nullptr);
        ASSERT_NE(module().setProgress, nullptr);
        module().setProgress(nullptr, nullptr);
        work = dir / "tmp";
        in = dir / "in";
        out = dir / "out";
        fs::create_directories(work);
        fs::create_directories(in);
        fs::create_directories(out);
    }

    int unlha(const std::string& cmd) { return module().unlha(nullptr, cmd.c_str(), nullptr, 0); }

    std::string file(const std::string& name, const std::string& data) {
        std::string p = in + "/" + name;
        spit(p, data);
        return p;
    }

    std::string resp(const std::vector<std::string>& paths) {
        std::string text;
        for (const auto& p : paths)
            text += "\"" + p + "\"\r\n";
        std::string r = work + "/DRAVONEL.RESPFILE";
        spit(r, text);
        return r;
    }

    // The command line the run builds for a normal or stored LZH archive.
    std::string normal(const std::string& archive, const std::vector<std::string>& paths,
                       const std::string& opt = "u -+ -a1") {
        return opt + " \"-w" + work + "\" \"" + archive + "\" \"@" + resp(paths) + "\"";
    }

    // Extracts with lhasa and with 7z and checks the bytes of each named file.
    void expectReadersAgree(const std::string& archive,
                            const std::map<std::string, std::string>& files) {
        std::string log;
        EXPECT_EQ(run("lhasa t " + q(archive), &log), 0) << log;
        EXPECT_EQ(run("7z t " + q(archive), &log), 0) << log;
        TempDir l;
        TempDir s;
        EXPECT_EQ(run("cd " + q(l.path) + " && lhasa x " + q(archive), &log), 0) << log;
        EXPECT_EQ(run("7z x -y -o" + q(s.path) + " " + q(archive), &log), 0) << log;
        for (const auto& [name, data] : files) {
            EXPECT_TRUE(slurp(l / name) == data) << "lhasa: " << name;
            EXPECT_TRUE(slurp(s / name) == data) << "7z: " << name;
        }
    }

    // Extracts with jlha and checks the bytes of each named file.
    void expectJlhaReads(const std::string& archive,
                         const std::map<std::string, std::string>& files) {
        TempDir j;
        std::string log;
        ASSERT_EQ(run("cd " + q(j.path) + " && jlha x " + q(archive), &log), 0) << log;
        for (const auto& [name, data] : files)
            EXPECT_TRUE(slurp(j / name) == data) << "jlha: " << name;
    }
};

TEST_F(LhaModule, ExportsVersionAndRunningState) {
    EXPECT_EQ(module().getVersion(), 100);
    EXPECT_EQ(module().getRunning(), 0);
    struct Seen {
        int running = -1;
        int nested = -1;
    } seen;
    module().setProgress(
        [](void* user, const char*, unsigned long long, unsigned long long) {
            auto* s = static_cast<Seen*>(user);
            s->running = module().getRunning();
            s->nested = module().unlha(nullptr, "u x.lzh y", nullptr, 0);
            return 0;
        },
        &seen);
    std::string a = out + "/A.LZH";
    char buffer[16] = "junk";
    std::string cmd = normal(a, {file("a.txt", wordySource(5000, 1))});
    EXPECT_EQ(module().unlha(nullptr, cmd.c_str(), buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_NE(seen.running, 0);
    EXPECT_EQ(seen.nested, arc::kErrAlreadyRunning);
    EXPECT_EQ(module().getRunning(), 0);
}

TEST_F(LhaModule, ArchivesEdgeCaseFilesThatLhasaAnd7zRead) {
    std::map<std::string, std::string> files = {
        {"empty.txt", ""},
        {"one.bin", "x"},
        {"random.bin", randomBytes(70000, 2)},
        {"zeros.bin", std::string(400000, '\0')},
        // Past the first 1 MiB segment its blocks hold one symbol each: tables
        // written as single values.
        {"long-run.bin", std::string(2'500'000, 'z')},
        {"w8191.txt", wordySource(8191, 3)},
        {"w8192.txt", wordySource(8192, 4)},
        {"w8193.txt", wordySource(8193, 5)},
        {"text.txt", wordySource(300000, 6)},
        {"UPPER.TXT", "lhasa keeps the case of ASCII names"},
    };
    std::vector<std::string> paths;
    for (const auto& [name, data] : files)
        paths.push_back(file(name, data));
    std::string a = out + "/REPORT.LZH";
    ASSERT_EQ(unlha(normal(a, paths)), 0);
    expectReadersAgree(a, files);
    auto methods = lhasaMethods(a);
    EXPECT_EQ(methods["text.txt"], "-lh5-");
    EXPECT_EQ(methods["zeros.bin"], "-lh5-");
    EXPECT_EQ(methods["random.bin"], "-lh0-"); // compression would not shrink it
    EXPECT_EQ(methods["empty.txt"], "-lh0-");
    // No temporary file is left in the work folder or beside the archive.
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(work), {}), 1); // the response file
}

TEST_F(LhaModule, StreamsEndingAtEveryBitPositionReadBack) {
    // 64 members of different lengths: their compressed data ends at every bit
    // position of a byte, the byte boundary included. Runs end on a match whose
    // distance takes no bits, the case a reader is most likely to cut short.
    // Both parses (default and -9) are read by lhasa, 7z and jlha.
    std::map<std::string, std::string> files;
    std::vector<std::string> paths;
    for (int i = 0; i < 64; ++i) {
        std::string name = "m";
        name += std::to_string(i) + ".txt";
        files[name] =
            i % 2 ? wordySource(2000 + static_cast<size_t>(i) * 37, static_cast<uint32_t>(i))
                  : std::string(3000 + static_cast<size_t>(i) * 29, 'z');
        paths.push_back(file(name, files[name]));
    }
    for (const std::string level : {"", " -9"}) {
        SCOPED_TRACE(level);
        std::string a = out + "/BITS" + level + ".LZH";
        ASSERT_EQ(unlha(normal(a, paths, "u -+ -a1" + level)), 0);
        expectReadersAgree(a, files);
        expectJlhaReads(a, files);
    }
}

TEST_F(LhaModule, NoiseIsStoredAndSwitchesToCompressionWhereTheFileShrinks) {
    // Noise alone (large, streamed; small, prepared ahead) is stored. Noise
    // followed by text is written as it is, then read again and compressed
    // with the text; noise inside a compressed member is coded byte by byte,
    // but for a long repeat within the window, coded as a match; parts that
    // are nearly noise, with few long or many short matches, are searched the
    // quick way.
    std::string repeat = randomBytes(1'100'000, 21);
    repeat.replace(600'000, 3000, repeat.substr(595'000, 3000));
    std::map<std::string, std::string> files = {
        {"noise.bin", randomBytes(2'600'000, 22)},
        {"small.bin", randomBytes(200'000, 23)},
        {"noise-text.bin", randomBytes(2'200'000, 24) + wordySource(1'300'000, 25)},
        {"text-repeat.bin", wordySource(1'200'000, 26) + repeat},
        {"packed.bin", randomBytes(1'500'000, 27) + testsupport::packedFiles(28)},
    };
    std::vector<std::string> paths;
    for (const auto& [name, data] : files)
        paths.push_back(file(name, data));
    std::string a = out + "/NOISE.LZH";
    ASSERT_EQ(unlha(normal(a, paths)), 0);
    expectReadersAgree(a, files);
    expectJlhaReads(a, files);
    auto methods = lhasaMethods(a);
    EXPECT_EQ(methods["noise.bin"], "-lh0-");
    EXPECT_EQ(methods["small.bin"], "-lh0-");
    EXPECT_EQ(methods["noise-text.bin"], "-lh5-");
    EXPECT_EQ(methods["text-repeat.bin"], "-lh5-");
    EXPECT_EQ(methods["packed.bin"], "-lh5-");
    for (const lha::MemberHeader& h : membersOf(a)) {
        if (h.name.bytes == "noise-text.bin") {
            EXPECT_LT(h.packedSize, 2'200'000u + 1'300'000u / 2);
        }
    }
}

TEST_F(LhaModule, TheArchiveIsTheSameWhateverTheThreadCount) {
    // Small files prepared side by side and a large one in segments side by
    // side, in one archive: -mt1 and -mt4 write the same bytes.
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i)
        paths.push_back(file("s" + std::to_string(i) + ".txt",
                             wordySource(1000 + 3000 * static_cast<size_t>(i), 40 + i)));
    paths.push_back(file("large.txt", wordySource(4'500'000, 90)));
    for (const char* level : {"", " -9"}) {
        const std::string one = out + "/ONE" + level + ".LZH",
                          four = out + "/FOUR" + level + ".LZH";
        ASSERT_EQ(unlha(normal(one, paths, std::string("a -mt1") + level)), 0);
        ASSERT_EQ(unlha(normal(four, paths, std::string("a -mt4") + level)), 0);
        EXPECT_TRUE(slurp(one) == slurp(four)) << level;
    }
    std::string log;
    EXPECT_EQ(run("lhasa t " + q(out + "/FOUR.LZH"), &log), 0) << log;
    for (const char* bad : {"-mt0", "-mt", "-mtx", "-mt65"})
        EXPECT_EQ(unlha(normal(out + "/BAD.LZH", paths, std::string("a ") + bad)), arc::kErrCommand)
            << bad;
}

TEST_F(LhaModule, MethodSwitchesLevelsAndStoring) {
    // Text around a long run of one byte and a long repeat of a short pattern.
    std::string text = wordySource(100000, 8);
    std::string pattern;
    while (pattern.size() < 700000)
        pattern += "0123456";
    text = text.substr(0, 50000) + std::string(600000, 'q') + text.substr(50000) + pattern;
    std::string p = file("t.txt", text);
    for (const char* opt : {"-o5", "-o6", "-o7"}) {
        std::string a = out + "/" + opt + ".LZH";
        ASSERT_EQ(unlha(normal(a, {p}, std::string("a ") + opt)), 0);
        EXPECT_EQ(lhasaMethods(a)["t.txt"], std::string("-lh") + opt[2] + "-");
        expectReadersAgree(a, {{"t.txt", text}});
        // -9: the optimal parse, smaller still.
        std::string m = out + "/" + opt + "-9.LZH";
        ASSERT_EQ(unlha(normal(m, {p}, std::string("a -9 ") + opt)), 0);
        EXPECT_EQ(lhasaMethods(m)["t.txt"], std::string("-lh") + opt[2] + "-");
        expectReadersAgree(m, {{"t.txt", text}});
        expectJlhaReads(m, {{"t.txt", text}});
        EXPECT_LT(fs::file_size(m), fs::file_size(a)) << opt;
    }
    // Stored: the option text with " -z1 " appended (two blanks before the quote).
    std::string s = out + "/S.LZH";
    ASSERT_EQ(unlha(normal(s, {p}, "u -+ -a1 -z1 ")), 0);
    EXPECT_EQ(lhasaMethods(s)["t.txt"], "-lh0-");
    expectReadersAgree(s, {{"t.txt", text}});
}

TEST_F(LhaModule, RefusesUnknownCommandsAndSwitches) {
    std::string p = file("a.txt", "abc");
    std::string a = out + "/A.LZH";
    for (const char* opt :
         {"u -x", "u -o8", "u -a2", "u -w", "d", "ux", "u -z2", "u -+ -r", "u -99", "u -8"})
        EXPECT_EQ(unlha(normal(a, {p}, opt)), arc::kErrCommand) << opt;
    EXPECT_EQ(unlha("u"), arc::kErrCommand);
    EXPECT_EQ(unlha(""), arc::kErrCommand);
    EXPECT_EQ(module().unlha(nullptr, nullptr, nullptr, 0), arc::kErrCommand);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(unlha("u \"" + a + "\" \"@" + work + "/missing.RESPFILE\""), arc::kErrCannotRead);
}

TEST_F(LhaModule, DoubleCompressionAndFileNCommandLines) {
    std::string text = wordySource(50000, 9);
    std::string p = file("Report.txt", text);
    // Stage 1: stored inner archive in the work folder; stage 2: the outer archive
    // takes the inner one as a plain file argument.
    std::string inner = work + "/Report.LZH";
    ASSERT_EQ(unlha("u -+ -a1 -z1  \"-w" + work + "\" \"" + inner + "\" \"@" + resp({p}) + "\""),
              0);
    std::string outer = out + "/Report.LZH.LZH";
    ASSERT_EQ(unlha("u -+ \"-w" + work + "\" \"" + outer + "\" \"" + inner + "\""), 0);
    expectReadersAgree(outer, {{"Report.LZH", slurp(inner)}});
    // Update of the double archive: the named member goes into the folder given
    // with a trailing separator, replacing the file there.
    std::string innerBytes = slurp(inner);
    spit(inner, "stale");
    ASSERT_EQ(unlha("x -+ \"" + outer + "\" \"" + work + "/\" \"Report.LZH\""), 0);
    EXPECT_TRUE(slurp(inner) == innerBytes);
    // Pattern 2: a ZIP inner archive is just a file to the outer LZH.
    std::string zip = file("Report.ZIP", randomBytes(3000, 1));
    std::string outerZip = out + "/Report.ZIP.LZH";
    ASSERT_EQ(unlha("u -+ \"-w" + work + "\" \"" + outerZip + "\" \"" + zip + "\""), 0);
    expectReadersAgree(outerZip, {{"Report.ZIP", slurp(zip)}});
    // FileN: the file's path instead of a response file, normal and stored.
    std::string f1 = out + "/Report.txt.LZH";
    ASSERT_EQ(unlha("u -+ -a1 \"-w" + work + "\" \"" + f1 + "\" \"" + p + "\""), 0);
    EXPECT_EQ(lhasaMethods(f1)["Report.txt"], "-lh5-");
    std::string f2 = out + "/Stored.LZH";
    ASSERT_EQ(unlha("u -+ -a1 -z1  \"-w" + work + "\" \"" + f2 + "\" \"" + p + "\""), 0);
    EXPECT_EQ(lhasaMethods(f2)["Report.txt"], "-lh0-");
    expectReadersAgree(f2, {{"Report.txt", text}});
}

TEST_F(LhaModule, UpdateReplacesMembersWhoseBytesDifferWhateverTheTimes) {
    std::string a = out + "/U.LZH";
    std::string pa = file("a.txt", "version 1 of a");
    std::string pb = file("b.txt", "version 1 of b");
    std::string pc = file("c.txt", "version 1 of c");
    setMtime(pa, 1'600'000'000);
    setMtime(pb, 1'600'000'000);
    setMtime(pc, 1'600'000'000);
    ASSERT_EQ(unlha(normal(a, {pa, pb, pc})), 0);
    std::string before = slurp(a);
    // The same bytes, even under a newer time: nothing to do, the archive is
    // not rewritten.
    setMtime(pa, 1'700'000'000);
    ASSERT_EQ(unlha(normal(a, {pa, pb, pc})), 0);
    EXPECT_TRUE(slurp(a) == before);
    // a newer, b older (a version put back), c edited within the same second,
    // d new: every one that differs is stored.
    spit(pa, "version 2 of a");
    setMtime(pa, 1'700'000'100);
    spit(pb, "version 0 of b");
    setMtime(pb, 1'500'000'000);
    spit(pc, "version 2 of c");
    setMtime(pc, 1'600'000'000);
    std::string pd = file("d.txt", "d is new");
    ASSERT_EQ(unlha(normal(a, {pa, pb, pc, pd})), 0);
    expectReadersAgree(a, {{"a.txt", "version 2 of a"},
                           {"b.txt", "version 0 of b"},
                           {"c.txt", "version 2 of c"},
                           {"d.txt", "d is new"}});
    // The extracted member keeps the file's time.
    TempDir x;
    ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
    EXPECT_EQ(fs::last_write_time(x / "a.txt"), fs::last_write_time(pa));
    // "a" replaces too.
    spit(pb, "version 3 of b");
    ASSERT_EQ(unlha(normal(a, {pb}, "a -+ -a1")), 0);
    expectReadersAgree(a, {{"a.txt", "version 2 of a"}, {"b.txt", "version 3 of b"}});
    // An edit that keeps the size and the CRC-16 differs all the same.
    std::string edited = "Version 3 of b";
    const uint16_t crc = arc::crc16Update(0, "version 3 of b", edited.size());
    for (unsigned x = 0; arc::crc16Update(0, edited.data(), edited.size()) != crc; ++x) {
        edited[edited.size() - 2] = char(x & 0xff);
        edited[edited.size() - 1] = char(x >> 8);
    }
    spit(pb, edited);
    ASSERT_EQ(unlha(normal(a, {pb})), 0);
    expectReadersAgree(a, {{"a.txt", "version 2 of a"}, {"b.txt", edited}});
}

TEST_F(LhaModule, SkipsAndCountsFilesItCannotStore) {
    std::string a = out + "/K.LZH";
    std::string good = file("good.txt", "good");
    std::string hidden = file(".hidden", "secret");
    fs::create_directories(dir / "other");
    spit(dir / "other/good.txt", "a second good.txt");
    std::string missing = in + "/missing.txt";
    std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Without -a1 the hidden file is skipped; the second good.txt, the missing
    // file, a folder and a FIFO (never waited on) are skipped too.
    EXPECT_EQ(unlha(normal(a, {good, hidden, dir / "other/good.txt", missing, in, fifo}, "u -+")),
              5);
    expectReadersAgree(a, {{"good.txt", "good"}});
    EXPECT_EQ(lhasaMethods(a).size(), 1u);
    // With -a1 the hidden file goes in.
    std::string b = out + "/H.LZH";
    EXPECT_EQ(unlha(normal(b, {good, hidden}, "u -+ -a1")), 0);
    expectReadersAgree(b, {{".hidden", "secret"}, {"good.txt", "good"}});
    // The archive named as a file of its own update is skipped, never stored
    // as the old archive it is.
    EXPECT_EQ(unlha(normal(b, {b, file("more.txt", "more")})), 1);
    expectReadersAgree(b, {{".hidden", "secret"}, {"good.txt", "good"}, {"more.txt", "more"}});
    // Nothing could be stored: no archive, an error code.
    std::string c = out + "/N.LZH";
    EXPECT_EQ(unlha(normal(c, {missing, hidden}, "u -+")), arc::kErrNotFound);
    EXPECT_FALSE(fs::exists(c));
    EXPECT_EQ(unlha(normal(c, {})), arc::kErrNotFound);
    EXPECT_FALSE(fs::exists(c));
}

TEST_F(LhaModule, NonAsciiNamesBlanksAndQuotesRoundTrip) {
    std::map<std::string, std::string> files = {
        {"日本語テスト.txt", "japanese"},
        {"ソース表.txt", "trail byte 0x5c"},
        {"한국어.txt", "korean"},
        {"émoji 😀.txt", "utf-8 only"},
        {"a \"quoted\" name.txt", "quotes"},
        {"with  two blanks.txt", "blanks"},
    };
    std::vector<std::string> paths;
    for (const auto& [name, data] : files)
        paths.push_back(file(name, data));
    std::string a = out + "/名前.LZH";
    ASSERT_EQ(unlha(normal(a, paths)), 0);
    std::string log;
    EXPECT_EQ(run("lhasa t " + q(a), &log), 0) << log;
    EXPECT_EQ(run("7z t " + q(a), &log), 0) << log;
    // The module's own extractor gives every name back.
    TempDir x;
    ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
    for (const auto& [name, data] : files)
        EXPECT_EQ(slurp(x / name), data) << name;
    // jlha shows each stored byte as a Latin-1 character: the Shift_JIS bytes of
    // 日本語テスト appear that way.
    EXPECT_EQ(run("jlha l " + q(a), &log), 0);
    std::string sjisAsLatin1;
    run("printf '日本語テスト' | iconv -f UTF-8 -t CP932 | iconv -f LATIN1 -t UTF-8",
        &sjisAsLatin1);
    EXPECT_NE(log.find(sjisAsLatin1 + ".txt"), std::string::npos) << log;
    EXPECT_NE(log.find("a \"quoted\" name.txt"), std::string::npos);
    // 7z passes the name field's bytes through: Shift_JIS, with "_" for each
    // character Shift_JIS lacks.
    TempDir s;
    EXPECT_EQ(run("7z x -y -o" + q(s.path) + " " + q(a), &log), 0) << log;
    EXPECT_EQ(slurp(s / "___.txt"), "korean");
    EXPECT_EQ(slurp(s / "_moji _.txt"), "utf-8 only");
    EXPECT_EQ(slurp(s / "a \"quoted\" name.txt"), "quotes");
    std::string sjisName;
    run("printf '日本語テスト.txt' | iconv -f UTF-8 -t CP932", &sjisName);
    EXPECT_EQ(slurp(s / sjisName), "japanese");
}

TEST_F(LhaModule, ReadsArchivesMadeByJlha) {
    if (run("command -v jlha") != 0)
        GTEST_SKIP() << "jlha is not installed";
    std::map<std::string, std::string> files = {
        {"text.txt", wordySource(120000, 21)},
        {"small.txt", "tiny"},
        {"random.bin", randomBytes(20000, 22)},
    };
    for (const auto& [name, data] : files)
        file(name, data);
    for (const char* flags : {"a0o5", "a1o6", "a2o7", "a1o5"}) {
        SCOPED_TRACE(flags);
        std::string a = out + "/" + flags + ".lzh";
        std::string log;
        ASSERT_EQ(
            run("cd " + q(in) + " && jlha " + flags + " " + q(a) + " text.txt small.txt random.bin",
                &log),
            0)
            << log;
        TempDir x;
        ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
        for (const auto& [name, data] : files)
            EXPECT_TRUE(slurp(x / name) == data) << name;
    }
    // And jlha reads ours.
    std::string ours = out + "/ours.lzh";
    std::vector<std::string> paths;
    for (const auto& [name, data] : files)
        paths.push_back(in + "/" + name);
    ASSERT_EQ(unlha(normal(ours, paths)), 0);
    TempDir j;
    std::string log;
    ASSERT_EQ(run("cd " + q(j.path) + " && jlha x " + q(ours), &log), 0) << log;
    for (const auto& [name, data] : files)
        EXPECT_TRUE(slurp(j / name) == data) << name;
}

// Builds a one-member stored archive with any name, as an MS-DOS tool (or
// another OS's) might.
std::string storedArchive(const std::string& name, const std::string& data, uint16_t crc,
                          uint8_t osId = 'M') {
    std::vector<uint8_t> h = lha::buildLevel2Header("-lh0-", {osId, name}, 0644, data.size(),
                                                    data.size(), 1'600'000'000, crc, false);
    return std::string(h.begin(), h.end()) + data + std::string(1, '\0');
}

uint16_t crcOf(const std::string& s) {
    uint16_t c = 0;
    for (unsigned char b : s) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
    }
    return c;
}

TEST_F(LhaModule, UpdateOfJlhaArchivesReplacesOnlyTheMemberOfTheSamePath) {
    if (run("command -v jlha") != 0)
        GTEST_SKIP() << "jlha is not installed";
    fs::create_directories(in + "/sub");
    spit(in + "/sub/text.txt", "in the folder");
    const std::string top = in + "/text.txt";
    for (const char* level : {"a0", "a1", "a2"}) {
        SCOPED_TRACE(level);
        spit(top, "old top");
        setMtime(top, 1'600'000'000);
        const std::string a = out + "/" + level + ".lzh";
        std::string log;
        ASSERT_EQ(
            run("cd " + q(in) + " && jlha " + level + " " + q(a) + " sub/text.txt text.txt", &log),
            0)
            << log;
        const std::string before = slurp(a);
        const lha::MemberHeader kept = membersOf(a).at(0);
        spit(top, "new top");
        setMtime(top, 1'700'000'000);
        // "a" replaces whatever the times, "u" the older member: both by whole path.
        ASSERT_EQ(unlha(normal(a, {top}, level[1] == '1' ? "a -+ -a1" : "u -+ -a1")), 0);
        // The member in the folder is copied byte for byte; only text.txt is replaced.
        ASSERT_EQ(membersOf(a).size(), 2u);
        const size_t keptEnd = kept.dataOffset + kept.packedSize;
        EXPECT_TRUE(slurp(a).compare(0, keptEnd, before, 0, keptEnd) == 0);
        for (const std::string tool : {"lhasa x ", "jlha x ", "7z x -y "}) {
            TempDir x;
            ASSERT_EQ(run("cd " + q(x.path) + " && " + tool + q(a), &log), 0) << tool << log;
            EXPECT_EQ(slurp(x / "sub/text.txt"), "in the folder") << tool;
            EXPECT_EQ(slurp(x / "text.txt"), "new top") << tool;
        }
    }
}

TEST_F(LhaModule, ShiftJisNamesReadBackUnderTheSameName) {
    // Every name of two half-width katakana (one byte each, A1-DF), and kanji
    // pairs, whose Shift_JIS bytes are also valid UTF-8 (ﾊｲ is CA B2, UTF-8 for ʲ).
    auto fromShiftJis = [](const std::string& sjis) {
        std::string utf8;
        return arc::cp932ToUtf8(sjis, utf8) ? utf8 : std::string();
    };
    std::vector<std::string> names;
    for (int a = 0xA1; a <= 0xDF; ++a)
        for (int b = 0xA1; b <= 0xDF; ++b)
            names.push_back(fromShiftJis({static_cast<char>(a), static_cast<char>(b)}));
    // Kanji pairs: a first character of lead E0-EA and trail 80-BF with a
    // second of lead 88-9F and an ASCII trail make four bytes of valid UTF-8.
    std::vector<std::string> firsts;
    std::vector<std::string> seconds;
    for (int lead = 0x88; lead <= 0xEA; ++lead) {
        for (int trail = 0x40; trail <= 0xBF; ++trail) {
            const std::string sjis{static_cast<char>(lead), static_cast<char>(trail)};
            if (lead >= 0xE0 && trail >= 0x80 && !fromShiftJis(sjis).empty())
                firsts.push_back(sjis);
            else if (lead <= 0x9F && trail <= 0x7E && !fromShiftJis(sjis).empty())
                seconds.push_back(sjis);
        }
    }
    size_t kanji = 0;
    for (size_t i = 0; i < firsts.size(); ++i) {
        for (size_t k = 0; k < 3; ++k) {
            const std::string pair = firsts[i] + seconds[(i * 7 + k * 1009) % seconds.size()];
            if (arc::isValidUtf8(pair)) {
                names.push_back(fromShiftJis(pair));
                ++kanji;
            }
        }
    }
    ASSERT_GT(kanji, 1900u);
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(file(name, name));
    const std::string a = out + "/KANA.LZH";
    ASSERT_EQ(unlha(normal(a, paths)), 0);
    // An update of unchanged files finds every member: the archive stays as it is.
    const std::string written = slurp(a);
    ASSERT_EQ(unlha(normal(a, paths)), 0);
    EXPECT_TRUE(slurp(a) == written);
    EXPECT_EQ(membersOf(a).size(), names.size());
    TempDir x;
    ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
    std::set<std::string> extracted;
    for (const auto& e : fs::directory_iterator(x.path))
        extracted.insert(e.path().filename().string());
    EXPECT_TRUE(extracted == std::set<std::string>(names.begin(), names.end()));

    // Double compression of a sample: the inner archive is taken out of the
    // outer one by its name, updated, and put back in place of itself.
    for (size_t i = 0; i < names.size(); i += 157) {
        const std::string& name = names[i];
        SCOPED_TRACE(i);
        const std::string inner = work + "/" + name + ".LZH";
        const std::string outer = out + "/" + name + ".LZH.LZH";
        ASSERT_EQ(unlha(normal(inner, {paths[i]}, "u -+ -a1 -z1")), 0);
        ASSERT_EQ(unlha(normal(outer, {inner})), 0);
        fs::remove(inner);
        spit(paths[i], "changed");
        setMtime(paths[i], 2'000'000'000);
        ASSERT_EQ(unlha("x -+ \"" + outer + "\" \"" + work + "/\" \"" + name + ".LZH\""), 0);
        ASSERT_EQ(unlha(normal(inner, {paths[i]}, "u -+ -a1 -z1")), 0);
        setMtime(inner, 2'000'000'000);
        ASSERT_EQ(unlha(normal(outer, {inner})), 0);
        ASSERT_EQ(membersOf(outer).size(), 1u);
        fs::remove(inner);
        ASSERT_EQ(unlha("x -+ \"" + outer + "\" \"" + work + "/\""), 0);
        EXPECT_EQ(membersOf(inner).size(), 1u);
        TempDir y;
        ASSERT_EQ(unlha("x \"" + inner + "\" \"" + y.path.string() + "/\""), 0);
        EXPECT_EQ(slurp(y / name), "changed");
        fs::remove(inner);
    }
}

TEST_F(LhaModule, NamesOfUnixAndDosArchiversReadByTheirOsId) {
    struct Case {
        uint8_t osId;
        std::string stored;
        std::string name;
    };
    const Case cases[] = {
        {'U', "日本.txt", "日本.txt"},
        {'U', "\xc6\xfc\xcb\xdc.txt", "\xc6\xfc\xcb\xdc.txt"}, // EUC-JP: no guess
        {'U', "a\\b.txt", "a\\b.txt"},
        {'M', "\xca\xb2.txt", "ﾊｲ.txt"},
        {'W', "\x93\xfa\x96\x7b.txt", "日本.txt"},
        {'M', "sub\\\x83\x5c.txt", "ソ.txt"}, // 5C is the second byte of ソ
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string a = out + "/foreign.lzh";
        spit(a, storedArchive(c.stored, "data", crcOf("data"), c.osId));
        TempDir x;
        ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
        EXPECT_EQ(slurp(x / c.name), "data");
        EXPECT_EQ(std::distance(fs::directory_iterator(x.path), {}), 1);
    }
    // A Linux name holding "\" is stored and read back whole, by lhasa too (7z
    // cuts names at "\" whatever the OS id).
    const std::string p = file("a\\b.txt", "backslash");
    const std::string a = out + "/B.LZH";
    ASSERT_EQ(unlha(normal(a, {p})), 0);
    TempDir l;
    ASSERT_EQ(run("cd " + q(l.path) + " && lhasa x " + q(a)), 0);
    EXPECT_EQ(slurp(l / "a\\b.txt"), "backslash");
    TempDir x;
    ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
    EXPECT_EQ(slurp(x / "a\\b.txt"), "backslash");
    // Name bytes that are not UTF-8 are kept as they are, and found by an
    // update; a name with a control character, which extraction refuses, is
    // skipped and counted.
    const std::string latin1 = file("caf\xe9.txt", "latin-1");
    const std::string euc = file("\xa4\xa2.txt", "euc");
    const std::string control = file("esc\x1bhere.txt", "control");
    const std::string c = out + "/C.LZH";
    ASSERT_EQ(unlha(normal(c, {latin1, euc, control})), 1);
    const std::string written = slurp(c);
    ASSERT_EQ(unlha(normal(c, {latin1})), 0);
    EXPECT_TRUE(slurp(c) == written);
    TempDir y;
    ASSERT_EQ(unlha("x \"" + c + "\" \"" + y.path.string() + "/\""), 0);
    EXPECT_EQ(slurp(y / "caf\xe9.txt"), "latin-1");
    EXPECT_EQ(slurp(y / "\xa4\xa2.txt"), "euc");
    EXPECT_EQ(std::distance(fs::directory_iterator(y.path), {}), 2);
}

TEST_F(LhaModule, OtherReadersShowTheNamesTheReadmeTableSays) {
    // Names Shift_JIS holds (kanji, kana, half-width kana, ASCII) and names it
    // does not (accented Latin, Hangul, emoji) in one archive.
    const std::vector<std::string> shiftJis = {"日本語テスト.txt", "ﾊｲｹｲ.txt", "ソース表.txt",
                                               "資料 一覧.txt"};
    const std::vector<std::string> ascii = {"plain.txt", "UPPER.TXT"};
    const std::vector<std::string> others = {"Ünïcode.txt", "한국어.txt", "émoji 😀.txt"};
    std::vector<std::string> paths;
    std::set<std::string> all;
    for (const auto* group : {&shiftJis, &ascii, &others})
        for (const std::string& name : *group) {
            paths.push_back(file(name, "bytes of " + name));
            all.insert(name);
        }
    const std::string a = out + "/NAMES.LZH";
    ASSERT_EQ(unlha(normal(a, paths)), 0);
    const std::string env = "LC_ALL=C.UTF-8 ";

    // bsdtar lists and extracts every name.
    EXPECT_EQ(outputLines(env + "bsdtar -tf " + q(a)), all);
    TempDir b;
    std::string log;
    ASSERT_EQ(run(env + "bsdtar -xf " + q(a) + " -C " + q(b.path), &log), 0) << log;
    for (const std::string& name : all)
        EXPECT_EQ(slurp(b / name), "bytes of " + name) << name;

    // lsar and LHa for UNIX (which reads the name field as Shift_JIS) show
    // every name Shift_JIS holds; the others as "_" where a character is missing.
    const std::set<std::string> listed = outputLines(env + "lsar " + q(a));
    for (const auto* group : {&shiftJis, &ascii})
        for (const std::string& name : *group)
            EXPECT_TRUE(listed.count(name)) << "lsar: " << name;
    EXPECT_TRUE(listed.count("___.txt")) << "lsar: 한국어.txt";
    std::set<std::string> nameFields;
    for (const lha::MemberHeader& m : membersOf(a)) {
        std::string utf8;
        EXPECT_TRUE(arc::cp932ToUtf8(m.name.bytes, utf8));
        nameFields.insert(utf8);
        // Windows LHA tools read Shift_JIS under the MS-DOS id.
        EXPECT_EQ(m.name.osId, utf8 == m.name.bytes ? 'U' : 'M') << utf8;
    }
    for (const std::string& name : shiftJis)
        EXPECT_TRUE(nameFields.count(name)) << "name field: " << name;
    // So does jlha with its multibyte switch (these names are all of JIS X 0208).
    std::string jlha;
    ASSERT_EQ(run(env + "jlha ly " + q(a), &jlha), 0) << jlha;
    for (const std::string& name : shiftJis)
        EXPECT_NE(jlha.find(" " + name + "\n"), std::string::npos) << "jlha: " << name;
    EXPECT_NE(jlha.find(" ___.txt\n"), std::string::npos) << "jlha: 한국어.txt";

    // lhasa and 7z show the name field's bytes: ASCII names come out right.
    EXPECT_EQ(run("lhasa t " + q(a), &log), 0) << log;
    EXPECT_EQ(run("7z t " + q(a), &log), 0) << log;
    expectReadersAgree(a,
                       {{"plain.txt", "bytes of plain.txt"}, {"UPPER.TXT", "bytes of UPPER.TXT"}});
}

TEST_F(LhaModule, EveryHeaderLengthReadsIn7zLhasaAndBsdtar) {
    // Every length of an ASCII name, and names of 1 to 80 Hangul characters
    // (UTF-16 name extension): some of each would make a header of 256 bytes.
    std::vector<std::string> paths;
    for (size_t length = 5; length <= 255; ++length)
        paths.push_back(file(std::string(length - 4, 'n') + ".txt", std::to_string(length)));
    std::string hangul;
    for (int k = 1; k <= 80; ++k)
        paths.push_back(file((hangul += "한") + ".txt", std::to_string(k)));
    const std::string a = out + "/LENGTHS.LZH";
    ASSERT_EQ(unlha(normal(a, paths)), 0);
    std::string log;
    EXPECT_EQ(run("7z t " + q(a), &log), 0) << log;
    EXPECT_EQ(log.find("Headers Error"), std::string::npos) << log;
    EXPECT_EQ(run("lhasa t " + q(a), &log), 0) << log;
    EXPECT_EQ(outputLines("LC_ALL=C.UTF-8 bsdtar -tf " + q(a)).size(), paths.size());
    TempDir x;
    ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
    EXPECT_EQ(slurp(x / (hangul + ".txt")), "80");

    // Another tool's level-2 header of 256 bytes begins with a zero byte, yet
    // lhasa and 7z read on: an update keeps it and what follows.
    const std::string name = std::string(223, 'n') + ".txt";
    // A stored member's header of level 2 or 3 (size fields two or four bytes
    // wide) whose one extension is its name.
    const auto storedHeader = [](int level, const std::string& n, const std::string& data) {
        std::string h;
        const auto le = [&h](uint64_t v, int bytes) {
            for (int i = 0; i < bytes; ++i)
                h += static_cast<char>(v >> (8 * i));
        };
        const int width = level == 2 ? 2 : 4;
        const size_t ext = 1 + n.size() + width;
        const size_t total = (level == 2 ? 26 : 32) + ext;
        le(level == 2 ? total : 4, 2);
        h += "-lh0-";
        le(data.size(), 4);
        le(data.size(), 4);
        le(1'600'000'000, 4);
        h += '\x20';
        h += static_cast<char>(level);
        le(crcOf(data), 2);
        h += 'U';
        if (level == 3)
            le(total, 4);
        le(ext, width);
        h += '\x01' + n;
        le(0, width);
        return h;
    };
    const std::string h = storedHeader(2, name, "long");
    ASSERT_EQ(h.size(), 256u);
    std::string first = storedArchive("first.txt", "first", crcOf("first"));
    first.pop_back();
    spit(a, first + h + "long" + storedArchive("last.txt", "last", crcOf("last")));
    ASSERT_EQ(unlha(normal(a, {file("new.txt", "new")})), 0);
    EXPECT_EQ(membersOf(a).size(), 4u);
    expectReadersAgree(a, {{name, "long"}, {"last.txt", "last"}, {"new.txt", "new"}});

    // A level-3 header (sizes in four bytes), which lhasa reads: extracted,
    // and kept byte for byte by an update.
    const std::string h3 = storedHeader(3, "three.txt", "three");
    const std::string three = out + "/THREE.LZH";
    spit(three, h3 + "three" + storedArchive("last.txt", "last", crcOf("last")));
    TempDir y;
    ASSERT_EQ(unlha("x \"" + three + "\" \"" + y.path.string() + "/\""), 0);
    EXPECT_EQ(slurp(y / "three.txt"), "three");
    ASSERT_EQ(unlha(normal(three, {file("new.txt", "new")})), 0);
    EXPECT_EQ(slurp(three).substr(0, h3.size() + 5), h3 + "three");
    EXPECT_EQ(run("lhasa t " + q(three), &log), 0) << log;
}

TEST_F(LhaModule, ReadsAndUpdatesArchivesOfLhaForUnix) {
    // data/MANIFEST's SHA-1 and bare names (extraction drops folders).
    const std::string sums = work + "/SHA1SUMS";
    std::string list;
    ASSERT_EQ(run("awk '!/^#/ { n = $3; sub(\".*/\", \"\", n); print $1 \"  \" n }' " +
                      q(std::string(LHA_TEST_DATA) + "/MANIFEST"),
                  &list),
              0);
    spit(sums, list);
    for (const char* level : {"level0", "level1", "level2", "lh7"}) {
        SCOPED_TRACE(level);
        const std::string a = work + "/" + level + ".lzh";
        fs::copy_file(std::string(LHA_TEST_DATA) + "/lha-for-unix-" + level + ".lzh", a);
        fs::permissions(a, fs::perms::owner_write, fs::perm_options::add);
        TempDir x;
        ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
        // Every file extracted is a member of the manifest, under its name and with its bytes.
        std::string log;
        EXPECT_EQ(run("cd " + q(x.path) + " && sha1sum --ignore-missing -c " + q(sums), &log), 0);
        const long files = std::string(level) == "lh7" ? 2 : 6;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), files) << log;
        EXPECT_EQ(std::distance(fs::directory_iterator(x.path), {}), files);

        // "u" with a newer ﾊｲ.txt and "a" with 長文.txt replace those members
        // in place; every other member stays byte for byte.
        const std::vector<lha::MemberHeader> before = membersOf(a);
        const std::string bytes = slurp(a);
        const std::string hai = file("ﾊｲ.txt", "new hai");
        setMtime(hai, 2'000'000'000);
        ASSERT_EQ(unlha(normal(a, {hai})), 0);
        ASSERT_EQ(unlha(normal(a, {file("長文.txt", "new long")}, "a -+ -a1")), 0);
        const std::vector<lha::MemberHeader> after = membersOf(a);
        ASSERT_EQ(after.size(), before.size());
        const std::string updated = slurp(a);
        TempDir y;
        ASSERT_EQ(unlha("x \"" + a + "\" \"" + y.path.string() + "/\""), 0);
        for (size_t i = 0; i < before.size(); ++i) {
            const std::string name = lha::decodeMemberPath(after[i].name);
            if (name == "ﾊｲ.txt" || name == "長文.txt") {
                EXPECT_EQ(slurp(y / name), name == "ﾊｲ.txt" ? "new hai" : "new long");
                continue;
            }
            const auto range = [](const std::string& s, const lha::MemberHeader& m) {
                return s.substr(m.offset, m.dataOffset + m.packedSize - m.offset);
            };
            EXPECT_TRUE(range(bytes, before[i]) == range(updated, after[i])) << name;
        }
    }
}

TEST_F(LhaModule, UpdatesArchivesOfEarlierReleasesByName) {
    // Earlier releases wrote names Shift_JIS lacks as UTF-8 under 'U' and the
    // others in Shift_JIS under 'M', without the code-page extension.
    const std::string sjis = "\x93\xfa\x96\x7b.txt"; // 日本.txt
    const std::string a = out + "/EARLIER.LZH";
    std::string first = storedArchive("한국어.txt", "old", crcOf("old"), 'U');
    first.pop_back(); // its end marker
    spit(a, first + storedArchive(sjis, "kept", crcOf("kept"), 'M'));
    const std::string before = slurp(a);
    const lha::MemberHeader kept = membersOf(a).at(1);
    const std::string korean = file("한국어.txt", "new");
    setMtime(korean, 2'000'000'000);
    ASSERT_EQ(unlha(normal(a, {korean})), 0);
    ASSERT_EQ(membersOf(a).size(), 2u);
    TempDir x;
    ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
    EXPECT_EQ(slurp(x / "한국어.txt"), "new");
    EXPECT_EQ(slurp(x / "日本.txt"), "kept");
    const lha::MemberHeader now = membersOf(a).at(1);
    EXPECT_EQ(slurp(a).substr(now.offset, now.dataOffset + 4 - now.offset),
              before.substr(kept.offset, kept.dataOffset + 4 - kept.offset));

    // A name another tool stored twice: one member of the new file replaces
    // both, so that no extractor gives the old bytes back.
    std::string twice = storedArchive("a.txt", "one", crcOf("one"));
    twice.pop_back();
    spit(a, twice + storedArchive("a.txt", "two", crcOf("two")));
    ASSERT_EQ(unlha(normal(a, {file("a.txt", "new a")})), 0);
    ASSERT_EQ(membersOf(a).size(), 1u);
    expectReadersAgree(a, {{"a.txt", "new a"}});
    // The file's bytes in the first of the two only: the later one, which an
    // extractor lets win, goes all the same.
    twice = storedArchive("a.txt", "new a", crcOf("new a"));
    twice.pop_back();
    spit(a, twice + storedArchive("a.txt", "old", crcOf("old")));
    ASSERT_EQ(unlha(normal(a, {in + "/a.txt"})), 0);
    ASSERT_EQ(membersOf(a).size(), 1u);
    expectReadersAgree(a, {{"a.txt", "new a"}});
}

TEST_F(LhaModule, PermissionsTravelWithTheArchive) {
    const mode_t umaskBefore = ::umask(022);
    const std::string script = file("run.sh", "#!/bin/sh\n");
    const std::string secret = file("secret.txt", "private");
    const std::string suid = file("suid", "set-user-id");
    fs::permissions(script, fs::perms(0755));
    fs::permissions(secret, fs::perms(0640));
    ::chmod(suid.c_str(), 04755);
    const std::string a = out + "/P.LZH";
    ASSERT_EQ(unlha(normal(a, {script, secret, suid})), 0);
    auto modeOf = [](const std::string& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    };
    // lhasa and the module restore the bits, never setuid, setgid or sticky.
    TempDir l;
    ASSERT_EQ(run("cd " + q(l.path) + " && lhasa x " + q(a)), 0);
    TempDir x;
    ASSERT_EQ(unlha("x \"" + a + "\" \"" + x.path.string() + "/\""), 0);
    for (const TempDir* d : {&l, &x}) {
        EXPECT_EQ(modeOf(*d / "run.sh"), 0755u);
        EXPECT_EQ(modeOf(*d / "secret.txt"), 0640u);
        EXPECT_EQ(modeOf(*d / "suid"), 0755u);
    }
    // An updated archive keeps its mode; one its owner may not write is refused
    // and left as it is.
    ::chmod(a.c_str(), 0604);
    ASSERT_EQ(unlha(normal(a, {script}, "a -+ -a1")), 0);
    EXPECT_EQ(modeOf(a), 0604u);
    ::chmod(a.c_str(), 0444);
    const std::string before = slurp(a);
    EXPECT_EQ(unlha(normal(a, {script}, "a -+ -a1")), arc::kErrCannotWriteDest);
    EXPECT_TRUE(slurp(a) == before);
    ::umask(umaskBefore);
}

TEST_F(LhaModule, ABombIsStoppedBeforeItFillsTheDisk) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    // 16 MiB of zeros pack into about 660 bytes: a 25,000:1 bomb.
    const std::string a = out + "/BOMB.LZH";
    ASSERT_EQ(unlha(normal(a, {file("zeros", std::string(16 << 20, '\0'))})), 0);
    ASSERT_GT((16u << 20) / fs::file_size(a), 20'000u);
    const std::string small = dir / "small";
    fs::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Watch {
        std::string path;
        unsigned long long leastFree = ~0ull;
    } watch{small};
    module().setProgress(
        [](void* user, const char*, unsigned long long, unsigned long long) {
            auto* w = static_cast<Watch*>(user);
            struct statvfs st {};
            ::statvfs(w->path.c_str(), &st);
            w->leastFree = std::min<unsigned long long>(w->leastFree, st.f_bavail * st.f_frsize);
            return 0;
        },
        &watch);
    EXPECT_EQ(unlha("x \"" + a + "\" \"" + small + "/\""), arc::kErrDiskFull);
    EXPECT_GT(watch.leastFree, 3u << 20);
    EXPECT_EQ(std::distance(fs::directory_iterator(small), {}), 0);
    ::umount(small.c_str());
}

TEST_F(LhaModule, ExtractionStaysInsideTheDestination) {
    TempDir x;
    fs::create_directories(x.path / "dest");
    const std::string dest = (x.path / "dest").string();
    for (const std::string name :
         {"../escape.txt", "/tmp/absolute-escape.txt", "..\\back.txt", "sub/dir/inner.txt"}) {
        SCOPED_TRACE(name);
        std::string a = out + "/evil.lzh";
        spit(a, storedArchive(name, "payload", crcOf("payload")));
        ASSERT_EQ(unlha("x \"" + a + "\" \"" + dest + "/\""), 0);
        std::string base = fs::path(name).filename().string();
        if (name.find('\\') != std::string::npos)
            base = "back.txt";
        EXPECT_EQ(slurp(dest + "/" + base), "payload");
        EXPECT_FALSE(fs::exists(x.path / "escape.txt"));
    }
    EXPECT_FALSE(fs::exists("/tmp/absolute-escape.txt") &&
                 slurp("/tmp/absolute-escape.txt") == "payload");
    // A symbolic link in the destination is replaced, not written through.
    std::string target = x / "target.txt";
    spit(target, "keep me");
    fs::create_symlink(target, dest + "/link.txt");
    std::string a = out + "/link.lzh";
    spit(a, storedArchive("link.txt", "new", crcOf("new")));
    ASSERT_EQ(unlha("x \"" + a + "\" \"" + dest + "/\""), 0);
    EXPECT_EQ(slurp(target), "keep me");
    EXPECT_FALSE(fs::is_symlink(dest + "/link.txt"));
    EXPECT_EQ(slurp(dest + "/link.txt"), "new");
    // Two members of one path: the first is extracted, the second passed over
    // and counted, also when the call names them.
    const std::string first = storedArchive("twice.txt", "first", crcOf("first"));
    spit(a,
         first.substr(0, first.size() - 1) + storedArchive("twice.txt", "second", crcOf("second")));
    for (const std::string named : {"", " \"twice.txt\""}) {
        fs::remove(dest + "/twice.txt");
        EXPECT_EQ(unlha("x \"" + a + "\" \"" + dest + "/\"" + named), 1);
        EXPECT_EQ(slurp(dest + "/twice.txt"), "first");
    }
}

TEST_F(LhaModule, DamagedArchivesGiveErrorsAndLeaveNoFiles) {
    TempDir x;
    const std::string dest = x.path.string() + "/";
    std::string a = out + "/bad.lzh";
    // A member whose data fails its CRC leaves the existing file as it was.
    spit(x / "m.txt", "existing");
    spit(a, storedArchive("m.txt", "data", static_cast<uint16_t>(crcOf("data") ^ 1)));
    EXPECT_EQ(unlha("x \"" + a + "\" \"" + dest + "\""), arc::kErrFileCrc);
    EXPECT_EQ(slurp(x / "m.txt"), "existing");
    // Compressed data damaged in the middle.
    std::string text = wordySource(60000, 30);
    std::string p = file("c.txt", text);
    std::string good = out + "/good.lzh";
    ASSERT_EQ(unlha(normal(good, {p})), 0);
    std::string bytes = slurp(good);
    std::string broken = bytes;
    for (size_t i = 100; i < 140; ++i)
        broken[i] = static_cast<char>(~broken[i]);
    spit(a, broken);
    int rc = unlha("x \"" + a + "\" \"" + dest + "\"");
    EXPECT_TRUE(rc == arc::kErrBadData || rc == arc::kErrFileCrc) << rc;
    EXPECT_FALSE(fs::exists(x / "c.txt"));
    // Truncated archive.
    spit(a, bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(unlha("x \"" + a + "\" \"" + dest + "\""), arc::kErrHeaderBroken);
    EXPECT_FALSE(fs::exists(x / "c.txt"));
    // Not an archive, a missing archive, a member that is not there.
    spit(a, "plain text, not an archive");
    EXPECT_EQ(unlha("x \"" + a + "\" \"" + dest + "\""), arc::kErrNotArchive);
    EXPECT_EQ(unlha("u \"" + a + "\" \"" + p + "\""), arc::kErrNotArchive);
    EXPECT_EQ(slurp(a), "plain text, not an archive");
    // A file whose first byte is the end mark but that goes on is no empty
    // archive to be replaced.
    const std::string zeroFirst = std::string(1, '\0') + "binary data";
    spit(a, zeroFirst);
    EXPECT_EQ(unlha("u \"" + a + "\" \"" + p + "\""), arc::kErrNotArchive);
    EXPECT_EQ(slurp(a), zeroFirst);
    EXPECT_EQ(unlha("x \"" + out + "/none.lzh\" \"" + dest + "\""), arc::kErrArchiveOpen);
    EXPECT_EQ(unlha("x \"" + good + "\" \"" + dest + "\" \"other.txt\""), arc::kErrNotFound);
    // An unknown method.
    std::vector<uint8_t> h =
        lha::buildLevel2Header("-lh9-", {'M', "c.txt"}, 0644, 3, 3, 0, 0, false);
    spit(a, std::string(h.begin(), h.end()) + "abc" + std::string(1, '\0'));
    EXPECT_EQ(unlha("x \"" + a + "\" \"" + dest + "\""), arc::kErrMethod);
    EXPECT_FALSE(fs::exists(x / "c.txt"));
}

TEST_F(LhaModule, CancelInTheMiddleLeavesTheOldArchive) {
    std::string a = out + "/C.LZH";
    std::string small = file("small.txt", "small");
    ASSERT_EQ(unlha(normal(a, {small})), 0);
    std::string before = slurp(a);
    std::string big = file("big.txt", wordySource(6'000'000, 40));
    struct Calls {
        int n = 0;
        unsigned long long total = 0;
    } calls;
    module().setProgress(
        [](void* user, const char* member, unsigned long long done, unsigned long long total) {
            auto* c = static_cast<Calls*>(user);
            c->total = total;
            EXPECT_STREQ(member, "big.txt");
            EXPECT_LE(done, total);
            return ++c->n >= 3 ? 1 : 0;
        },
        &calls);
    EXPECT_EQ(unlha(normal(a, {small, big})), arc::kErrCancelled);
    EXPECT_EQ(calls.n, 3);
    EXPECT_EQ(calls.total, 6'000'000u);
    EXPECT_TRUE(slurp(a) == before);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(work), {}), 1);
    // Cancelling an extraction leaves no partial file.
    std::string whole = out + "/W.LZH";
    module().setProgress(nullptr, nullptr);
    ASSERT_EQ(unlha(normal(whole, {big})), 0);
    module().setProgress(
        [](void*, const char*, unsigned long long, unsigned long long) { return 1; }, nullptr);
    TempDir x;
    EXPECT_EQ(unlha("x \"" + whole + "\" \"" + x.path.string() + "/\""), arc::kErrCancelled);
    EXPECT_EQ(std::distance(fs::directory_iterator(x.path), {}), 0);
}

TEST_F(LhaModule, UnwritableDestinationGives32774) {
    std::string p = file("a.txt", "abc");
    EXPECT_EQ(unlha(normal(dir / "no/such/folder/A.LZH", {p})), arc::kErrCannotWriteDest);
    EXPECT_EQ(unlha("u \"-w" + (dir / "missing-work").string() + "\" \"" + out + "/A.LZH\" \"" + p +
                    "\""),
              arc::kErrCannotWriteDest);
    EXPECT_FALSE(fs::exists(out + "/A.LZH"));
    if (::geteuid() != 0)
        GTEST_SKIP() << "a read-only mount needs root";
    std::string ro = dir / "ro";
    fs::create_directories(ro);
    if (::mount("tmpfs", ro.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    EXPECT_EQ(unlha("u \"" + ro + "/A.LZH\" \"" + p + "\""), arc::kErrCannotWriteDest);
    ::umount(ro.c_str());
}

TEST_F(LhaModule, FullDiskGives32773AndKeepsTheOldArchive) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    std::string small = dir / "small";
    fs::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    std::string a = small + "/F.LZH";
    std::string p = file("a.txt", "abc");
    ASSERT_EQ(unlha("u \"-w" + small + "\" \"" + a + "\" \"" + p + "\""), 0);
    std::string before = slurp(a);
    std::string big = file("big.bin", randomBytes(600'000, 50));
    EXPECT_EQ(unlha("u \"-w" + small + "\" \"" + a + "\" \"" + big + "\""), arc::kErrDiskFull);
    EXPECT_TRUE(slurp(a) == before);
    EXPECT_EQ(std::distance(fs::directory_iterator(small), {}), 1);
    // Extraction onto a full disk.
    std::string bigArchive = out + "/B.LZH";
    ASSERT_EQ(unlha("u \"" + bigArchive + "\" \"" + big + "\""), 0);
    EXPECT_EQ(unlha("x \"" + bigArchive + "\" \"" + small + "/\""), arc::kErrDiskFull);
    EXPECT_EQ(std::distance(fs::directory_iterator(small), {}), 1);
    ::umount(small.c_str());
}

TEST_F(LhaModule, RunningOutOfMemoryGives32797AndKeepsTheOldArchive) {
    // The capped call runs in a new process of this program that runs this
    // test alone: a fork of a process whose worker threads have run would
    // start with their stacks mapped and no threads behind them.
    if (const char* capped = std::getenv("DRAVONEL2_CAPPED_COMMAND")) {
        // An address space that may grow by 16 MiB only: the maximum level's
        // four segments and its worker thread's stack fit, the symbols of the
        // segments being compressed on both threads do not.
        std::ifstream status("/proc/self/status");
        std::string line;
        rlim_t used = 0;
        while (std::getline(status, line))
            if (line.rfind("VmSize:", 0) == 0)
                used = std::stoull(line.substr(7)) * 1024;
        const rlimit cap{used + (16 << 20), used + (16 << 20)};
        if (used == 0 || ::setrlimit(RLIMIT_AS, &cap) != 0)
            ::_exit(4);
        const int rc = unlha(capped);
        ::_exit(rc == arc::kErrNoMemory ? 0 : rc == 0 ? 2 : 3);
    }
    std::string a = out + "/M.LZH";
    ASSERT_EQ(unlha("u \"" + a + "\" \"" + file("a.txt", "abc") + "\""), 0);
    const std::string before = slurp(a);
    const std::string command =
        "u -9 -o7 \"" + a + "\" \"" + file("big.txt", wordySource(6 << 20, 60)) + "\"";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("DRAVONEL2_CAPPED_COMMAND", command.c_str(), 1);
        ::execl("/proc/self/exe", "test_lha_module",
                "--gtest_filter=LhaModule.RunningOutOfMemoryGives32797AndKeepsTheOldArchive",
                static_cast<char*>(nullptr));
        ::_exit(5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "2: it fitted after all, 3: another error, 4: no cap, 5: no new process";
    EXPECT_TRUE(slurp(a) == before);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
}

} // namespace
