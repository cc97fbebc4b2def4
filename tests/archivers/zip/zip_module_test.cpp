// libzip32j.so through its exports: archives every independent reader accepts,
// switches, skipped files, updates, cancel, and the engine it needs beside it.
#include "results.h"
#include "zip_reader.h"
#include "zip_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ztest;

namespace {

const Module& zipm() {
    return loaded(zipModule());
}

// Writes a response file the way the program does: quoted paths, CR LF.
fs::path responseFile(const TempDir& dir, const std::vector<fs::path>& files) {
    std::string text;
    for (const fs::path& f : files)
        text += "\"" + f.string() + "\"\r\n";
    fs::path resp = dir / "DRAVONEL.RESPFILE";
    spit(resp, text);
    return resp;
}

// The bytes of each entry's local record (header, data), by name.
std::map<std::string, std::string> localRecords(const fs::path& archive) {
    zip::Reader reader;
    std::map<std::string, std::string> records;
    if (reader.open(archive) != arc::kOk)
        return records;
    const std::string bytes = slurp(archive);
    for (const zip::Entry& e : reader.entries()) {
        uint64_t start, end;
        if (reader.locate(e, start, end) == arc::kOk)
            records[e.name] = bytes.substr(e.localOffset, end - e.localOffset);
    }
    return records;
}

} // namespace

// Noise in which every block of 16 KiB comes twice: long repeats only.
std::string repeatedNoise(size_t blocks) {
    std::string data;
    for (size_t k = 0; k < blocks; ++k) {
        const std::string block = sample(16384, 10 + static_cast<unsigned>(k), false);
        data += block + block;
    }
    return data;
}

TEST(ZipModule, MakesArchivesThatEveryReaderAcceptsWithNamesAndBytesIntact) {
    TempDir dir;
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    const std::map<std::string, std::string> files = {
        {"text.txt", sample(300000, 1, true)},
        {"noise.bin", sample(100000, 2, false)},
        {"repeats.bin", repeatedNoise(48)},
        {"empty.dat", ""},
        {"packed.bin", sample(1500000, 4, false) + testsupport::packedFiles(5)},
        {"한국어 이름.txt", sample(5000, 3, true)},
        {"say \"hi\", a b.txt", "quoted name"},
    };
    std::vector<fs::path> paths;
    for (const auto& [name, data] : files) {
        spit(dir / "in" / name, data);
        paths.push_back(dir / "in" / name);
    }
    // An odd second, which the DOS time alone cannot hold.
    ASSERT_EQ(shell("touch -d '2001-02-03 04:05:07' " + quote(dir / "in" / "text.txt")), 0);
    const fs::path archive = dir / "out" / "REPORT.ZIP";
    ASSERT_EQ(
        zipm().call(zipCommand("-j -S -9 ", archive, "-i@" + responseFile(dir, paths).string())),
        0);

    std::string why;
    EXPECT_TRUE(readersAccept(archive, &why)) << why;
    std::map<std::string, std::string> methods;
    for (const std::string& line :
         python("for i in z.infolist(): print(i.compress_type, i.flag_bits & 0x800, i.filename)",
                archive)) {
        const size_t a = line.find(' '), b = line.find(' ', a + 1);
        methods[line.substr(b + 1)] = line.substr(0, b);
    }
    EXPECT_EQ(methods.size(), files.size());
    EXPECT_EQ(methods["text.txt"], "8 0");
    EXPECT_EQ(methods["noise.bin"], "0 0"); // deflate would not shrink it
    // Coded as noise, its repeats found without a search: about half its size.
    EXPECT_EQ(methods["repeats.bin"], "8 0");
    EXPECT_EQ(
        python("print(z.getinfo('repeats.bin').compress_size * 100 // (48 * 32768))", archive),
        (std::vector<std::string>{"50"}));
    // Noise, then parts that are nearly noise: few long, then many short matches.
    EXPECT_EQ(methods["packed.bin"], "8 0");
    EXPECT_EQ(methods["empty.dat"], "0 0");
    EXPECT_EQ(methods["한국어 이름.txt"], "8 2048");
    EXPECT_EQ(methods["say \"hi\", a b.txt"], "0 0");

    fs::create_directory(dir / "x");
    ASSERT_EQ(shell("cd " + quote(dir / "x") + " && 7z x -y " + quote(archive)), 0);
    for (const auto& [name, data] : files)
        EXPECT_EQ(slurp(dir / "x" / name), data) << name;

    // The modification time comes back to the second from the extended timestamp.
    fs::create_directory(dir / "u");
    ASSERT_EQ(shell("unzip -q -o " + quote(archive) + " -d " + quote(dir / "u")), 0);
    EXPECT_EQ(fs::last_write_time(dir / "u" / "text.txt"),
              fs::last_write_time(dir / "in" / "text.txt"));
    EXPECT_EQ(python("print(z.getinfo('text.txt').date_time)", archive),
              (std::vector<std::string>{"(2001, 2, 3, 4, 5, 6)"}));
}

TEST(ZipModule, NamesCp932HoldsGoInCp932WithTheirUtf8FormAndTheRestInUtf8) {
    TempDir dir;
    fs::create_directory(dir / "in");
    const std::set<std::string> cp932 = {"日本語テスト.txt", "ﾊｲｹｲ.txt", "ソース表.txt"};
    const std::set<std::string> others = {"plain.txt", "한국어.txt", "Ünïcode.txt", "émoji 😀.txt"};
    std::set<std::string> all = others;
    all.insert(cp932.begin(), cp932.end());
    std::vector<fs::path> paths;
    for (const std::string& name : all) {
        spit(dir / "in" / name, "bytes of " + name);
        paths.push_back(dir / "in" / name);
    }
    // Each entry: its UTF-8 flag, its name field, and the Unicode Path field of
    // its central and its local header ("-" when none names it).
    const std::string layout =
        "import struct, zlib\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "def path(extra, raw):\n"
        "    i = 0\n"
        "    while i + 4 <= len(extra):\n"
        "        tag, n = struct.unpack('<HH', extra[i:i + 4])\n"
        "        if tag == 0x7075 and extra[i + 4] == 1 and "
        "struct.unpack('<I', extra[i + 5:i + 9])[0] == zlib.crc32(raw):\n"
        "            return extra[i + 9:i + 4 + n].decode()\n"
        "        i += 4 + n\n"
        "    return '-'\n"
        "for i in z.infolist():\n"
        "    utf8 = i.flag_bits & 0x800\n"
        "    raw = i.filename.encode('utf-8' if utf8 else 'cp437')\n"
        "    at = i.header_offset\n"
        "    n, e = struct.unpack('<HH', data[at + 26:at + 30])\n"
        "    local = data[at + 30 + n:at + 30 + n + e]\n"
        "    print(utf8, raw.decode('utf-8' if utf8 else 'cp932'), path(i.extra, raw), "
        "path(local, raw))\n";
    const std::string env = "LC_ALL=C.UTF-8 ";
    for (const bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8);
        const fs::path archive = dir / (utf8 ? "UTF8.ZIP" : "CP932.ZIP");
        const std::string options = utf8 ? "-j -S -9 -utf8 " : "-j -S -9 ";
        ASSERT_EQ(
            zipm().call(zipCommand(options, archive, "-i@" + responseFile(dir, paths).string())),
            0);
        std::set<std::string> expected;
        for (const std::string& name : all) {
            if (!utf8 && cp932.count(name))
                expected.insert("0 " + name + " " + name + " " + name);
            else
                expected.insert((name == "plain.txt" ? "0 " : "2048 ") + name + " - -");
        }
        const std::vector<std::string> entries = python(layout, archive);
        EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()), expected);
        // An update finds every entry by its name and replaces it in place.
        ASSERT_EQ(
            zipm().call(zipCommand(options, archive, "-i@" + responseFile(dir, paths).string())),
            0);
        EXPECT_EQ(python(layout, archive), entries);

        // unzip, 7z, bsdtar and lsar show every name either way; Python's
        // zipfile the names in UTF-8 only.
        EXPECT_EQ(outputLines(env + "unzip -Z1 " + quote(archive)), all);
        std::set<std::string> sevenZip;
        for (const std::string& line : outputLines(env + "7z l -slt " + quote(archive)))
            if (line.rfind("Path = ", 0) == 0 && line != "Path = " + archive.string())
                sevenZip.insert(line.substr(7));
        EXPECT_EQ(sevenZip, all);
        EXPECT_EQ(outputLines(env + "bsdtar -tf " + quote(archive)), all);
        const std::set<std::string> listed = outputLines(env + "lsar " + quote(archive));
        for (const std::string& name : all)
            EXPECT_TRUE(listed.count(name)) << "lsar: " << name;
        const std::vector<std::string> names = python("print('\\n'.join(z.namelist()))", archive);
        const std::set<std::string> shown(names.begin(), names.end());
        for (const std::string& name : all)
            EXPECT_EQ(shown.count(name), utf8 || !cp932.count(name) ? 1u : 0u) << name;
    }

    // An archive of an earlier release, whose names were UTF-8 with the flag
    // (as Python's zipfile writes them): the file of the same name replaces its
    // entry, the other entry stays byte for byte.
    const fs::path earlier = dir / "EARLIER.ZIP";
    ASSERT_EQ(shell("python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1], 'w'); "
                    "z.writestr('日本語テスト.txt', 'old'); z.writestr('한국어.txt', 'kept'); "
                    "z.close()\" " +
                    quote(earlier)),
              0);
    const std::string kept = localRecords(earlier).at("한국어.txt");
    const fs::path japanese = dir / "in" / "日本語テスト.txt";
    ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", earlier, japanese.string())), 0);
    const std::map<std::string, std::string> records = localRecords(earlier);
    EXPECT_EQ(records.size(), 2u);
    EXPECT_TRUE(records.at("한국어.txt") == kept);
    EXPECT_EQ(python("print(z.read(z.infolist()[0]).decode())", earlier),
              (std::vector<std::string>{"bytes of 日本語テスト.txt"}));
}

TEST(ZipModule, StoresAtLevelZeroAndTakesASingleFileArgument) {
    TempDir dir;
    const std::string data = sample(50000, 4, true);
    spit(dir / "one.txt", data);
    const fs::path archive = dir / "one.txt.ZIP";
    ASSERT_EQ(zipm().call(zipCommand("-j -S -0 ", archive, (dir / "one.txt").string())), 0);
    EXPECT_TRUE(readersAccept(archive));
    EXPECT_EQ(python("i = z.infolist()[0]; print(i.compress_type, i.file_size, i.filename)\n"
                     "print(z.read('one.txt') == open(sys.argv[1][:-4], 'rb').read())",
                     archive),
              (std::vector<std::string>{"0 50000 one.txt", "True"}));
}

TEST(ZipModule, RefusesMalformedCommandLinesWithoutWritingAnything) {
    TempDir dir;
    spit(dir / "a.txt", "a");
    const fs::path archive = dir / "A.ZIP";
    const std::string file = (dir / "a.txt").string();
    EXPECT_EQ(zipm().call(zipCommand("-j -S -r", archive, file)), arc::kErrCommand);
    EXPECT_EQ(zipm().call(zipCommand("-S -9", archive, file)), arc::kErrCommand); // no -j
    EXPECT_EQ(zipm().call(zipCommand("-j -9x", archive, file)), arc::kErrCommand);
    for (const char* threads : {"-j -S -mt0", "-j -S -mt65", "-j -S -mtx", "-j -S -mt"})
        EXPECT_EQ(zipm().call(zipCommand(threads, archive, file)), arc::kErrCommand) << threads;
    EXPECT_EQ(zipm().call("-j -S -9"), arc::kErrCommand);
    // An empty token names nothing: taken as no archive, it made the next
    // name (here the archive) the archive all the same.
    EXPECT_EQ(zipm().call(zipCommand("-j -S \"\"", archive, file)), arc::kErrCommand);
    EXPECT_EQ(zipm().call(zipCommand("-j -S", archive, file) + " \"\""), arc::kErrCommand);
    EXPECT_EQ(zipm().run(nullptr, nullptr, nullptr, 0), arc::kErrCommand);
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, "-i@" + (dir / "none").string())),
              arc::kErrCannotRead);
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 1);
}

TEST(ZipModule, SkipsAndCountsHiddenUnreadableRepeatedAndUnextractableFiles) {
    TempDir dir;
    fs::create_directories(dir / "x");
    fs::create_directories(dir / "y");
    spit(dir / "x" / "same.txt", "first");
    spit(dir / "y" / "same.txt", "second");
    spit(dir / "x" / ".hidden", "dot");
    // Names extraction would not give back: a control character, Latin-1.
    spit(dir / "x" / "esc\x1bhere.txt", "control");
    spit(dir / "x" / "caf\xe9.txt", "latin-1");
    ASSERT_EQ(::mkfifo((dir / "x" / "fifo").c_str(), 0600), 0); // never waited on
    const fs::path resp =
        responseFile(dir, {dir / "x" / "same.txt", dir / "x" / ".hidden", dir / "x" / "gone.txt",
                           dir / "y" / "same.txt", dir / "x", dir / "x" / "fifo", "/dev/zero",
                           dir / "x" / "esc\x1bhere.txt", dir / "x" / "caf\xe9.txt"});
    const fs::path archive = dir / "S.ZIP";

    EXPECT_EQ(zipm().call(zipCommand("-j -9 ", archive, "-i@" + resp.string())), 8);
    EXPECT_EQ(python("for i in z.infolist(): print(i.filename, z.read(i).decode())", archive),
              (std::vector<std::string>{"same.txt first"}));
    fs::remove(archive);

    // With -S the hidden file is stored too.
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, "-i@" + resp.string())), 7);
    EXPECT_EQ(python("print(sorted(z.namelist()))", archive),
              (std::vector<std::string>{"['.hidden', 'same.txt']"}));
    EXPECT_TRUE(readersAccept(archive));
    // The archive named as a file of its own update is skipped, never stored
    // as the old archive it is.
    spit(dir / "more.txt", "more");
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, archive.string()) + " \"" +
                          (dir / "more.txt").string() + "\""),
              1);
    EXPECT_EQ(python("print(sorted(z.namelist()))", archive),
              (std::vector<std::string>{"['.hidden', 'more.txt', 'same.txt']"}));

    // Nothing that can be stored: no archive, nothing left behind.
    const fs::path none = dir / "NONE.ZIP";
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", none, (dir / "x" / "gone.txt").string())),
              arc::kErrNotFound);
    EXPECT_EQ(zipm().call(zipCommand("-j -9 ", none, (dir / "x" / ".hidden").string())),
              arc::kErrNotFound);
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", none, (dir / "x" / "esc\x1bhere.txt").string())),
              arc::kErrNotFound);
    EXPECT_FALSE(fs::exists(none));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 5);
}

TEST(ZipModule, UpdateReplacesSameNamesAppendsNewOnesAndCopiesTheRestUnchanged) {
    TempDir dir;
    spit(dir / "a.txt", sample(40000, 5, true));
    spit(dir / "b.txt", "old b");
    const fs::path archive = dir / "U.ZIP";
    ASSERT_EQ(
        zipm().call(zipCommand("-j -S -9 ", archive,
                               "-i@" + responseFile(dir, {dir / "a.txt", dir / "b.txt"}).string())),
        0);
    const auto before = localRecords(archive);
    ASSERT_EQ(before.size(), 2u);

    spit(dir / "b.txt", "new b, longer than before");
    spit(dir / "c.txt", "c");
    fs::remove(dir / "a.txt"); // a kept entry needs no source file
    ASSERT_EQ(
        zipm().call(zipCommand("-j -S -9 ", archive,
                               "-i@" + responseFile(dir, {dir / "c.txt", dir / "b.txt"}).string())),
        0);
    std::string why;
    EXPECT_TRUE(readersAccept(archive, &why)) << why;
    EXPECT_EQ(python("for i in z.infolist(): print(i.filename, len(z.read(i)))", archive),
              (std::vector<std::string>{"a.txt 40000", "b.txt 25", "c.txt 1"}));
    EXPECT_EQ(localRecords(archive)["a.txt"], before.at("a.txt"));

    // A file whose entry holds its bytes already, whatever its time, leaves
    // the archive as it was.
    const std::string updated = slurp(archive);
    fs::last_write_time(dir / "c.txt", fs::last_write_time(dir / "c.txt") - std::chrono::hours(48));
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, (dir / "c.txt").string())), 0);
    EXPECT_EQ(slurp(archive), updated);

    // An entry whose replacement cannot be read is kept as it was.
    const auto current = localRecords(archive);
    EXPECT_EQ(
        zipm().call(zipCommand("-j -S -9 ", archive,
                               "-i@" + responseFile(dir, {dir / "a.txt", dir / "d.txt"}).string())),
        arc::kErrNotFound);
    EXPECT_EQ(localRecords(archive), current);

    // A name stored twice by another tool: both stay while the new file cannot
    // be read; one entry of the new file replaces both.
    const fs::path twice = dir / "TWICE.ZIP";
    shell("python3 -W ignore -c 'import sys, zipfile\n"
          "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
          "    z.writestr(\"d.txt\", \"one\"); z.writestr(\"d.txt\", \"two\")' " +
          quote(twice));
    EXPECT_EQ(
        zipm().call(zipCommand("-j -S -9 ", twice,
                               "-i@" + responseFile(dir, {dir / "d.txt", dir / "c.txt"}).string())),
        1);
    EXPECT_EQ(python("print([z.read(i).decode() for i in z.infolist()])", twice),
              (std::vector<std::string>{"['one', 'two', 'c']"}));
    spit(dir / "d.txt", "new");
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", twice, (dir / "d.txt").string())), 0);
    EXPECT_EQ(python("print([z.read(i).decode() for i in z.infolist()])", twice),
              (std::vector<std::string>{"['new', 'c']"}));
    // The file's bytes in the first entry of its name but not in a later one,
    // which an extractor lets win: the file replaces both all the same.
    shell("python3 -W ignore -c 'import sys, zipfile\n"
          "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
          "    z.writestr(\"d.txt\", \"new\"); z.writestr(\"d.txt\", \"old\")' " +
          quote(twice));
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", twice, (dir / "d.txt").string())), 0);
    EXPECT_EQ(python("print([z.read(i).decode() for i in z.infolist()])", twice),
              (std::vector<std::string>{"['new']"}));
}

TEST(ZipModule, UpdatesArchivesOfOtherToolsKeepingTheirEntries) {
    TempDir dir;
    spit(dir / "keep.txt", sample(20000, 6, true));
    fs::create_directory(dir / "sub");
    spit(dir / "sub" / "swap.txt", "in a folder");
    // Info-ZIP writing to a pipe puts data descriptors after the data; so do
    // -fd and a member read from standard input; -fz makes ZIP64 records.
    const std::map<std::string, std::string> makers = {
        {"INFO.ZIP", "zip -q -9 - keep.txt swap.txt | cat > INFO.ZIP"},
        {"FOLDERS.ZIP", "zip -q -r FOLDERS.ZIP sub keep.txt swap.txt"},
        {"DESCRIPTORS.ZIP", "zip -q -fd DESCRIPTORS.ZIP keep.txt swap.txt"},
        {"STDIN.ZIP", "echo x | zip -q STDIN.ZIP - && zip -q STDIN.ZIP keep.txt swap.txt"},
        {"ZIP64.ZIP", "zip -q -fz ZIP64.ZIP keep.txt swap.txt"},
        {"SEVEN.ZIP", "7z a -tzip SEVEN.ZIP keep.txt swap.txt sub >/dev/null"},
        // A self-extracting archive: a program, then the archive, its offsets
        // counted from the file's start (-A).
        {"SFX.ZIP", "zip -q PLAIN.ZIP keep.txt swap.txt && cat stub PLAIN.ZIP > SFX.ZIP && "
                    "zip -q -A SFX.ZIP"}};
    const std::string stub = "\x7f"
                             "ELF" +
                             sample(3000, 9, false);
    spit(dir / "stub", stub);
    // Python's zipfile: a CP437 name with an Info-ZIP Unicode path field, and
    // a Shift_JIS one.
    const std::string pythonEntries = "add(b'caf\\x82.txt', 'cafe', unicode='café.txt')\n"
                                      "add('漢字.txt'.encode('cp932'), 'kanji')\n"
                                      "add(b'keep.txt', open('keep.txt').read())\n"
                                      "add(b'swap.txt', open('swap.txt').read())\n";
    std::vector<std::string> archives;
    for (const auto& [name, command] : makers)
        archives.push_back(name);
    archives.push_back("PYTHON.ZIP");
    for (const std::string& name : archives) {
        spit(dir / "swap.txt", "from the tool");
        const fs::path archive = dir / name;
        if (name == "PYTHON.ZIP")
            pythonZip(archive, "import os\nos.chdir(" + quote(dir.path) + ")\n" + pythonEntries);
        else
            ASSERT_EQ(shell("cd " + quote(dir.path) + " && " + makers.at(name)), 0);
        const auto before = localRecords(archive);
        ASSERT_GE(before.size(), 2u) << name;
        spit(dir / "swap.txt", "from the module");
        ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, (dir / "swap.txt").string())), 0);
        std::string why;
        EXPECT_TRUE(readersAccept(archive, &why)) << name << ": " << why;
        auto after = localRecords(archive);
        EXPECT_EQ(after.size(), before.size()) << name;
        for (const auto& [member, record] : before) {
            if (member != "swap.txt") {
                EXPECT_EQ(after[member], record) << name << ": " << member;
            }
        }
        EXPECT_EQ(python("print(z.read('swap.txt').decode(), len(z.read('keep.txt')))", archive),
                  (std::vector<std::string>{"from the module 20000"}))
            << name;
    }
    EXPECT_EQ(slurp(dir / "SFX.ZIP").substr(0, stub.size()), stub);
    EXPECT_EQ(python("print(z.getinfo('keep.txt').flag_bits & 8)", dir / "INFO.ZIP"),
              (std::vector<std::string>{"8"}));
    EXPECT_EQ(python("print(z.read('sub/swap.txt').decode())", dir / "FOLDERS.ZIP"),
              (std::vector<std::string>{"in a folder"}));

    // Descriptors in ZIP64 form after local headers whose sizes are zero, not
    // the ZIP64 marker: keep.txt's record (up to the next one) must come
    // through whole, its descriptor's eight last bytes included.
    const fs::path wide = dir / "WIDE.ZIP";
    spit(dir / "wide.py",
         "import io, sys, zipfile\n"
         "class Pipe(io.RawIOBase):\n"
         "    def __init__(self, f): self.f = f\n"
         "    def writable(self): return True\n"
         "    def write(self, b): return self.f.write(b)\n"
         "with open(sys.argv[1], 'wb') as f, zipfile.ZipFile(Pipe(f), 'w', 8) as z:\n"
         "    for n in ('keep.txt', 'swap.txt'):\n"
         "        with z.open(n, 'w', force_zip64=True) as o: o.write(b'x' * 3000)\n"
         "d = bytearray(open(sys.argv[1], 'rb').read())\n"
         "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
         "    d[i.header_offset + 18:i.header_offset + 26] = bytes(8)\n"
         "open(sys.argv[1], 'wb').write(d)\n");
    ASSERT_EQ(shell("python3 " + quote(dir / "wide.py") + " " + quote(wide)), 0);
    const std::vector<std::string> next =
        python("print(z.getinfo('swap.txt').header_offset)", wide);
    ASSERT_EQ(next.size(), 1u);
    const std::string kept = slurp(wide).substr(0, std::stoul(next[0]));
    ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", wide, (dir / "swap.txt").string())), 0);
    EXPECT_NE(slurp(wide).find(kept), std::string::npos);
    EXPECT_EQ(python("print(z.testzip(), len(z.infolist()))", wide),
              (std::vector<std::string>{"None 2"}));
}

TEST(ZipModule, LeavesWhatIsNotAGoodZipArchiveAlone) {
    TempDir dir;
    spit(dir / "a.txt", "a");
    const std::string file = (dir / "a.txt").string();
    spit(dir / "TEXT.ZIP", "this is not an archive at all, just some words");
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", dir / "TEXT.ZIP", file)), arc::kErrNotArchive);
    EXPECT_EQ(slurp(dir / "TEXT.ZIP"), "this is not an archive at all, just some words");

    ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", dir / "GOOD.ZIP", file)), 0);
    std::string damaged = slurp(dir / "GOOD.ZIP");
    damaged[damaged.size() - 22 + 16] ^= 0x40; // the central directory's offset
    spit(dir / "BAD.ZIP", damaged);
    EXPECT_GE(zipm().call(zipCommand("-j -S -9 ", dir / "BAD.ZIP", file)), 32768);
    EXPECT_EQ(slurp(dir / "BAD.ZIP"), damaged);

    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) { // root writes anywhere
        EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", dir / "locked" / "A.ZIP", file)),
                  arc::kErrCannotWriteDest);
    }
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", dir / "nofolder" / "A.ZIP", file)),
              arc::kErrCannotWriteDest);
    fs::permissions(dir / "locked", fs::perms::owner_all);
}

namespace {

struct ProgressLog {
    std::vector<std::string> members;
    unsigned long long lastDone = 0, total = 0;
    bool monotonic = true;
    int cancelAfter = -1;
    int runningDuringCall = -1;
    int nestedCall = -1;
};

int onProgress(void* user, const char* member, unsigned long long done, unsigned long long total) {
    auto* log = static_cast<ProgressLog*>(user);
    if (log->members.empty() || log->members.back() != member)
        log->members.push_back(member);
    log->monotonic = log->monotonic && done >= log->lastDone && done <= total;
    log->lastDone = done;
    log->total = total;
    log->runningDuringCall = zipModule().getRunning();
    log->nestedCall = zipModule().call("-j x.zip y");
    return log->cancelAfter >= 0 && static_cast<int>(log->members.size()) > log->cancelAfter;
}

} // namespace

TEST(ZipModule, ReportsProgressAndCancelsLeavingTheOldArchiveAsItWas) {
    TempDir dir;
    spit(dir / "a.txt", sample(3000000, 7, true));
    spit(dir / "b.txt", sample(200000, 8, true));
    const fs::path archive = dir / "P.ZIP";
    const fs::path resp = responseFile(dir, {dir / "a.txt", dir / "b.txt"});

    EXPECT_EQ(zipm().getVersion(), 100);
    EXPECT_EQ(zipm().getRunning(), 0);
    ProgressLog log;
    zipm().setProgress(onProgress, &log);
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, "-i@" + resp.string())), 0);
    EXPECT_EQ(log.members, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(log.monotonic);
    EXPECT_EQ(log.lastDone, 3200000u);
    EXPECT_EQ(log.total, 3200000u);
    EXPECT_EQ(log.runningDuringCall, 1);
    EXPECT_EQ(log.nestedCall, arc::kErrAlreadyRunning);
    EXPECT_EQ(zipm().getRunning(), 0);

    const std::string before = slurp(archive);
    spit(dir / "b.txt", sample(200000, 11, true));
    spit(dir / "c.txt", sample(100000, 9, true));
    ProgressLog cancel;
    cancel.cancelAfter = 1;
    zipm().setProgress(onProgress, &cancel);
    EXPECT_EQ(
        zipm().call(zipCommand("-j -S -9 ", archive,
                               "-i@" + responseFile(dir, {dir / "b.txt", dir / "c.txt"}).string())),
        arc::kErrCancelled);
    zipm().setProgress(nullptr, nullptr);
    EXPECT_EQ(slurp(archive), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 5); // no temporary file left
}

TEST(ZipModule, WorksOnlyWithTheEngineBesideIt) {
    TempDir dir;
    fs::create_directory(dir / "lib");
    fs::copy_file(ZIP32J_PATH, dir / "lib" / "libzip32j.so");
    spit(dir / "a.txt", "a");
    const std::string cmd = zipCommand("-j -S -9 ", dir / "A.ZIP", (dir / "a.txt").string());
    Module zip((dir / "lib" / "libzip32j.so").string(), "Zip");
    ASSERT_TRUE(zip.loaded());
    EXPECT_EQ(zip.call(cmd), 32795);
    EXPECT_FALSE(fs::exists(dir / "A.ZIP"));
    // The engine put beside it later is loaded by the next call.
    fs::copy_file(IZIP32J_PATH, dir / "lib" / "libizip32j.so");
    EXPECT_EQ(zip.call(cmd), 0);
    EXPECT_TRUE(readersAccept(dir / "A.ZIP"));
}

TEST(ZipModule, HoldsMoreEntriesThanTheClassicEndRecordCounts) {
    TempDir dir;
    fs::create_directory(dir / "many");
    std::string resp;
    for (int i = 0; i < 65600; ++i) {
        const fs::path p = dir / "many" / ("f" + std::to_string(i));
        spit(p, std::to_string(i));
        resp += "\"" + p.string() + "\"\r\n";
    }
    spit(dir / "RESP", resp);
    const fs::path archive = dir / "MANY.ZIP";
    ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, "-i@" + (dir / "RESP").string())), 0);
    EXPECT_EQ(python("print(len(z.namelist()), z.testzip(), z.read('f65599').decode())", archive),
              (std::vector<std::string>{"65600 None 65599"}));
    EXPECT_EQ(shell("7z t " + quote(archive) + " >/dev/null"), 0);
    EXPECT_EQ(unzipModule().call("-x \"" + archive.string() + "\" \"" + dir.path.string() +
                                 "\" \"f65538\""),
              0);
    EXPECT_EQ(slurp(dir / "f65538"), "65538");

    // Older tools wrote as many entries without ZIP64 records, the counts of
    // the end record wrapped at 65536: an update keeps every entry all the same.
    ASSERT_EQ(shell("python3 -c 'import sys, struct\n"
                    "b = open(sys.argv[1], \"rb\").read(); e = b.rfind(b\"PK\\x06\\x06\")\n"
                    "n, size, at = struct.unpack(\"<3Q\", b[e + 32:e + 56])\n"
                    "open(sys.argv[1], \"wb\").write(b[:e] + b\"PK\\x05\\x06\" + "
                    "struct.pack(\"<4H2IH\", 0, 0, n % 65536, n % 65536, size, at, 0))' " +
                    quote(archive)),
              0);
    spit(dir / "one more", "x");
    ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, (dir / "one more").string())), 0);
    EXPECT_EQ(python("print(len(z.namelist()))", archive), (std::vector<std::string>{"65601"}));
}

namespace {

int pipeToParent = -1;

// Tells the test the archive is being written, then waits to be killed.
int signalAndWait(void*, const char*, unsigned long long, unsigned long long) {
    const char byte = 1;
    if (::write(pipeToParent, &byte, 1) == 1)
        ::pause();
    return 1;
}

} // namespace

TEST(ZipModule, AKilledCallLeavesNoTemporaryFileBehind) {
    TempDir dir;
    spit(dir / "a.txt", sample(2000000, 10, true));
    ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", dir / "OLD.ZIP", (dir / "a.txt").string())), 0);
    const std::string old = slurp(dir / "OLD.ZIP");
    spit(dir / "a.txt", sample(2000000, 11, true));
    for (const char* archive : {"NEW.ZIP", "OLD.ZIP"}) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            pipeToParent = fds[1];
            zipm().setProgress(signalAndWait, nullptr);
            zipm().call(zipCommand("-j -S -9 ", dir / archive, (dir / "a.txt").string()));
            ::_exit(0);
        }
        ::close(fds[1]);
        char byte = 0;
        EXPECT_EQ(::read(fds[0], &byte, 1), 1);
        ::close(fds[0]);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 2) << archive;
        EXPECT_EQ(slurp(dir / "OLD.ZIP"), old);
    }
}

TEST(ZipModule, KeepsTheArchivesPermissionsAndRefusesOneItMayNotWrite) {
    TempDir dir;
    spit(dir / "a.txt", "a");
    const std::string file = (dir / "a.txt").string();
    const mode_t mask = ::umask(027);
    EXPECT_EQ(zipm().call(zipCommand("-j -S -9 ", dir / "NEW.ZIP", file)), 0);
    ::umask(mask);
    EXPECT_EQ(fs::status(dir / "NEW.ZIP").permissions(), fs::perms(0640));

    spit(dir / "a.txt", "b");
    const auto updateWithMode = [&](fs::perms mode) {
        spit(dir / "U.ZIP", slurp(dir / "NEW.ZIP"));
        fs::permissions(dir / "U.ZIP", mode);
        return zipm().call(zipCommand("-j -S -9 ", dir / "U.ZIP", file));
    };
    EXPECT_EQ(updateWithMode(fs::perms(0600)), 0);
    EXPECT_EQ(fs::status(dir / "U.ZIP").permissions(), fs::perms(0600));
    EXPECT_EQ(updateWithMode(fs::perms(0754)), 0);
    EXPECT_EQ(fs::status(dir / "U.ZIP").permissions(), fs::perms(0754));
    // Read-only for its owner: refused, whoever runs it (root included).
    EXPECT_EQ(updateWithMode(fs::perms(0444)), arc::kErrCannotWriteDest);
    EXPECT_EQ(fs::status(dir / "U.ZIP").permissions(), fs::perms(0444));
    EXPECT_EQ(slurp(dir / "U.ZIP"), slurp(dir / "NEW.ZIP"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 3);
}

TEST(ZipModule, StoresWholeLinuxNamesWithModesAndReplacesShiftJisEntries) {
    TempDir dir;
    spit(dir / "a\\b.txt", "backslash");
    fs::permissions(dir / "a\\b.txt", fs::perms(0640));
    const fs::path archive = dir / "W.ZIP";
    ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", archive, (dir / "a\\b.txt").string())), 0);
    EXPECT_EQ(python("i = z.infolist()[0]; print(i.filename, i.create_system, "
                     "oct(i.external_attr >> 16))",
                     archive),
              (std::vector<std::string>{"a\\b.txt 3 0o100640"}));

    // An entry a Japanese Windows archiver stored in Shift_JIS is replaced by
    // the file of the same name; the others stay.
    const fs::path sjis = dir / "SJIS.ZIP";
    pythonZip(sjis, "add('漢字テスト.txt'.encode('cp932'), 'old')\n"
                    "add('表.txt'.encode('cp932'), 'hyo')\n");
    spit(dir / "漢字テスト.txt", "new");
    ASSERT_EQ(zipm().call(zipCommand("-j -S -9 ", sjis, (dir / "漢字テスト.txt").string())), 0);
    EXPECT_EQ(python("print([z.read(i).decode() for i in z.infolist()])", sjis),
              (std::vector<std::string>{"['new', 'hyo']"}));
}
