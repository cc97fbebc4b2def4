#include "atomic_output.h"
#include "cmdline.h"
#include "files.h"
#include "results.h"
#include "test_files.h"
#include "test_shell.h"
#include "worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <stdexcept>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using testsupport::slurp;
using testsupport::spit;
using testsupport::TempDir;

size_t entriesIn(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

struct stat statusOf(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

// The command lines and the independent lister of each module that makes archives.
struct Maker {
    const char* library;
    const char* operation; // the export that takes a hook of its own
    const char* add;       // the command word and switches that add files
    const char* update;    // the same, leaving files whose members hold their bytes
    const char* extension;
    const char* lister; // a shell command that prints the archive's names
};
const Maker kMakers[] = {{UNLHA32_PATH, "UnlhaRun", "a", "u", ".lzh", "lhasa l"},
                         {ZIP32J_PATH, "ZipRun", "-j", "-j", ".zip", "unzip -l"}};

ArcRunFn operationOf(const Maker& maker) {
    void* handle = ::dlopen(maker.library, RTLD_NOW | RTLD_LOCAL);
    return handle ? reinterpret_cast<ArcRunFn>(::dlsym(handle, maker.operation)) : nullptr;
}

// Whether this process has `path` open.
bool openHere(const fs::path& path) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec))
        if (fs::read_symlink(fd.path(), ec) == path)
            return true;
    return false;
}

} // namespace

TEST(CommandLine, SplitsQuotedTokensAndKeepsInnerQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(arc::splitCommandLine(R"(u -+ -a1 -z1  "-w/tmp/x" "/o/My Arc.LZH" "@/tmp/R")"),
              (V{"u", "-+", "-a1", "-z1", "-w/tmp/x", "/o/My Arc.LZH", "@/tmp/R"}));
    EXPECT_EQ(arc::splitCommandLine("-j\t-S -9  \"/a/say \"hi\".txt\""),
              (V{"-j", "-S", "-9", "/a/say \"hi\".txt"}));
    EXPECT_EQ(arc::splitCommandLine("  \"unclosed token here"), (V{"unclosed token here"}));
    EXPECT_EQ(arc::splitCommandLine("\"\" x"), (V{"", "x"}));
    // Doubled quotes carry names that hold a quote followed by a blank.
    EXPECT_EQ(arc::splitCommandLine(R"(-x -- "/o/a"" b.LZH" """x" "y""")"),
              (V{"-x", "--", "/o/a\" b.LZH", "\"x", "y\""}));
    EXPECT_TRUE(arc::splitCommandLine("   ").empty());
}

TEST(ResponseFile, ReadsEveryLineEndingAndStripsOnlyOuterQuotes) {
    TempDir dir;
    fs::path resp = dir.path / "R";
    spit(resp, "\xEF\xBB\xBF\"/a/one, two.txt\"\r\n\"/b/\"q\".txt\"\n\n/c/bare\r\"/d/last\"");
    std::vector<std::string> paths;
    ASSERT_TRUE(arc::readResponseFile(resp.string(), paths));
    EXPECT_EQ(paths,
              (std::vector<std::string>{"/a/one, two.txt", "/b/\"q\".txt", "/c/bare", "/d/last"}));
    std::vector<std::string> none;
    EXPECT_FALSE(arc::readResponseFile((dir.path / "missing").string(), none));
}

// A response file that is no text of lines is refused as unreadable: one with
// a NUL byte (a path cut there names another file: "/a/x.txt\0/y.txt" stored
// x.txt's bytes as y.txt), and a FIFO or a device, which a read would wait on
// or never finish.
TEST(ResponseFile, RefusesNulBytesAndFilesThatAreNotRegular) {
    TempDir dir;
    const fs::path nul = dir.path / "nul", fifo = dir.path / "fifo";
    spit(nul, std::string("\"/a/x.txt\0/y.txt\"\r\n\"/a/z.txt\"\r\n", 31));
    std::vector<std::string> paths;
    EXPECT_FALSE(arc::readResponseFile(nul.string(), paths));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!done) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                EXPECT_EQ(::write(fd, "\"/a/x.txt\"\n", 11), 11);
                ::close(fd);
                return;
            }
        }
    });
    EXPECT_FALSE(arc::readResponseFile(fifo.string(), paths));
    EXPECT_FALSE(arc::readResponseFile("/dev/null", paths));
    done = true;
    writer.join();
}

TEST(AtomicOutput, ReplacesOnlyOnCommitAndLeavesNoTemporaryBehind) {
    TempDir dir;
    fs::path dest = dir.path / "a.lzh";
    spit(dest, "old archive");
    const struct stat old = statusOf(dest);
    {
        arc::AtomicOutput out;
        ASSERT_EQ(out.open(dest.string(), "", &old), arc::kOk);
        ASSERT_EQ(out.write("new", 3), arc::kOk);
        // Destroyed without commit: the old archive stays.
    }
    EXPECT_EQ(slurp(dest), "old archive");
    EXPECT_EQ(entriesIn(dir.path), 1u);

    arc::AtomicOutput out;
    ASSERT_EQ(out.open(dest.string(), "", &old), arc::kOk);
    std::string big(3 << 20, 'x');
    ASSERT_EQ(out.write("HDR0", 4), arc::kOk);
    ASSERT_EQ(out.write(big.data(), big.size()), arc::kOk);
    EXPECT_EQ(out.tell(), 4 + big.size());
    ASSERT_EQ(out.patch(0, "HDR1", 4), arc::kOk); // after the buffer was flushed
    ASSERT_EQ(out.write("TAIL", 4), arc::kOk);
    ASSERT_EQ(out.patch(out.tell() - 4, "tail", 4), arc::kOk); // still buffered
    ASSERT_EQ(out.commit(), arc::kOk);
    EXPECT_EQ(slurp(dest), "HDR1" + big + "tail");
    EXPECT_EQ(entriesIn(dir.path), 1u);
}

TEST(AtomicOutput, NeverTakesThePlaceOfAFileThatAppearedOrChangedMeanwhile) {
    TempDir dir;
    const fs::path fresh = dir.path / "new.lzh", old = dir.path / "old.lzh";
    spit(old, "old archive");
    const struct stat read = statusOf(old);
    arc::AtomicOutput made, replacement;
    ASSERT_EQ(made.open(fresh.string(), "", nullptr), arc::kOk);
    ASSERT_EQ(replacement.open(old.string(), "", &read), arc::kOk);
    spit(fresh, "the user's file");
    spit(old, "another program's archive");
    ASSERT_EQ(made.write("new", 3), arc::kOk);
    ASSERT_EQ(replacement.write("update", 6), arc::kOk);
    EXPECT_EQ(made.commit(), arc::kErrCannotWriteDest);
    EXPECT_EQ(replacement.commit(), arc::kErrCannotWriteDest);
    EXPECT_EQ(slurp(fresh), "the user's file");
    EXPECT_EQ(slurp(old), "another program's archive");
    // Nor is open() given a file other than the one the caller read, or found none.
    arc::AtomicOutput stale, blind;
    EXPECT_EQ(stale.open(old.string(), "", &read), arc::kErrCannotWriteDest);
    EXPECT_EQ(blind.open(old.string(), "", nullptr), arc::kErrCannotWriteDest);
    EXPECT_EQ(entriesIn(dir.path), 2u);
}

// Another program holding a lock on the archive for long does not hold the
// update for as long: it fails, leaving the archive as it was.
TEST(AtomicOutput, AnArchiveLockedElsewhereFailsTheReplacementInsteadOfWaiting) {
    TempDir dir;
    const fs::path old = dir.path / "old.lzh";
    spit(old, "old archive");
    const struct stat read = statusOf(old);
    arc::AtomicOutput replacement;
    ASSERT_EQ(replacement.open(old.string(), "", &read), arc::kOk);
    ASSERT_EQ(replacement.write("update", 6), arc::kOk);
    const int other = ::open(old.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    // The lock is let go after a long while, or once the commit has answered.
    std::promise<void> answered;
    std::thread release([other, done = answered.get_future()] {
        done.wait_for(std::chrono::seconds(20));
        ::close(other);
    });
    EXPECT_EQ(replacement.commit(), arc::kErrCannotWriteDest);
    answered.set_value();
    release.join();
    EXPECT_EQ(slurp(old), "old archive");
}

// Two updates of one archive at once (two threads, as two processes would):
// the second is finished while the first, having read the archive, still
// compares a large file with its member. The first must not then replace the
// archive the second made with one made from what it read, dropping the
// second's file while both report success.
TEST(Modules, AnUpdateReplacesOnlyTheArchiveItRead) {
    for (const Maker& maker : kMakers) {
        const ArcRunFn run = operationOf(maker);
        ASSERT_NE(run, nullptr) << maker.library;
        TempDir dir;
        const fs::path archive = dir / (std::string("a") + maker.extension);
        const fs::path big = dir / "big.bin", mine = dir / "mine.txt", theirs = dir / "theirs.txt";
        spit(big, std::string(32 << 20, '\0'));
        spit(mine, "mine");
        spit(theirs, "theirs");
        const auto call = [&](const char* command, const std::string& files) {
            const std::string line =
                std::string(command) + " \"" + archive.string() + "\" " + files;
            return run(nullptr, line.c_str(), nullptr, 0, nullptr, nullptr);
        };
        ASSERT_EQ(call(maker.add, big.string()), arc::kOk);
        std::atomic<bool> mineDone{false};
        int theirsRc = -1;
        std::thread other([&] {
            while (!mineDone && !openHere(archive)) {
            }
            theirsRc = call(maker.add, theirs.string());
        });
        const int mineRc = call(maker.update, big.string() + " " + mine.string());
        mineDone = true;
        other.join();
        const std::set<std::string> listed =
            testsupport::outputLines(std::string(maker.lister) + " " + archive.string());
        const auto holds = [&](const std::string& name) {
            for (const std::string& line : listed)
                if (line.size() > name.size() &&
                    line.compare(line.size() - name.size(), name.size(), name) == 0)
                    return true;
            return false;
        };
        EXPECT_TRUE(mineRc != arc::kOk || holds("mine.txt")) << maker.library;
        EXPECT_TRUE(theirsRc != arc::kOk || holds("theirs.txt")) << maker.library;
        EXPECT_TRUE(mineRc == arc::kOk || mineRc == arc::kErrCannotWriteDest) << mineRc;
    }
}

TEST(AtomicOutput, TruncateTakesBackBufferedAndFlushedBytes) {
    TempDir dir;
    const fs::path dest = dir.path / "t.bin";
    arc::AtomicOutput out;
    ASSERT_EQ(out.open(dest.string(), "", nullptr), arc::kOk);
    ASSERT_EQ(out.write("keep", 4), arc::kOk);
    ASSERT_EQ(out.write("drop", 4), arc::kOk);
    ASSERT_EQ(out.truncate(4), arc::kOk); // still buffered
    const std::string big(3 << 20, 'x');  // past the buffer: reaches the file
    ASSERT_EQ(out.write(big.data(), big.size()), arc::kOk);
    ASSERT_EQ(out.truncate(6), arc::kOk);
    EXPECT_EQ(out.tell(), 6u);
    EXPECT_NE(out.truncate(7), arc::kOk);
    ASSERT_EQ(out.write("!", 1), arc::kOk);
    ASSERT_EQ(out.patch(0, "K", 1), arc::kOk);
    ASSERT_EQ(out.commit(), arc::kOk);
    EXPECT_EQ(slurp(dest), "Keepxx!");
}

TEST(AtomicOutput, UsesTheWorkFolderAndReportsUnwritableDestinations) {
    TempDir dir;
    fs::create_directory(dir.path / "work");
    fs::path dest = dir.path / "out.zip";
    arc::AtomicOutput out;
    ASSERT_EQ(out.open(dest.string(), (dir.path / "work").string(), nullptr), arc::kOk);
    EXPECT_EQ(out.tempFolder(), (dir.path / "work").string());
    ASSERT_EQ(out.write("data", 4), arc::kOk);
    ASSERT_EQ(out.commit(), arc::kOk);
    EXPECT_EQ(slurp(dest), "data");
    EXPECT_EQ(entriesIn(dir.path / "work"), 0u);

    arc::AtomicOutput nowhere;
    EXPECT_EQ(nowhere.open((dir.path / "no/such/folder/x.zip").string(), "", nullptr),
              arc::kErrCannotWriteDest);
    // A link where the archive goes, to an archive or to nothing, stays a link.
    fs::create_symlink("out.zip", dir.path / "link.zip");
    fs::create_symlink("none.zip", dir.path / "dangling.zip");
    for (const char* link : {"link.zip", "dangling.zip"}) {
        arc::AtomicOutput through;
        const struct stat target = statusOf(dest);
        EXPECT_EQ(through.open((dir.path / link).string(), "", &target), arc::kErrCannotWriteDest)
            << link;
        EXPECT_TRUE(fs::is_symlink(dir.path / link)) << link;
    }
    EXPECT_EQ(slurp(dest), "data");
}

TEST(AtomicOutput, NewArchivesMadeSideBySideGetTheUmaskModeAndLeaveTheUmaskAlone) {
    // Archives are made on several threads at once; none may see (or leave) a
    // umask another thread changed for a moment.
    TempDir dir;
    const mode_t before = ::umask(027);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&dir, t] {
            for (int i = 0; i < 250; ++i) {
                arc::AtomicOutput out;
                const fs::path dest = dir.path / (std::to_string(t) + "-" + std::to_string(i));
                if (out.open(dest.string(), "", nullptr) == arc::kOk &&
                    out.write("x", 1) == arc::kOk)
                    out.commit();
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(::umask(before), mode_t{027});
    int wrong = 0;
    for (const auto& entry : fs::directory_iterator(dir.path))
        wrong += entry.status().permissions() != fs::perms(0640);
    EXPECT_EQ(entriesIn(dir.path), 2000u);
    EXPECT_EQ(wrong, 0);
}

TEST(AtomicOutput, ReportsAFullDiskAndKeepsTheOldArchive) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    TempDir dir;
    fs::path mnt = dir.path / "small";
    fs::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    fs::path dest = mnt / "a.zip";
    spit(dest, "old");
    const struct stat old = statusOf(dest);
    int rc = arc::kOk;
    {
        arc::AtomicOutput out;
        ASSERT_EQ(out.open(dest.string(), "", &old), arc::kOk);
        std::string chunk(1 << 16, 'z');
        for (int i = 0; i < 8 && rc == arc::kOk; ++i)
            rc = out.write(chunk.data(), chunk.size());
        if (rc == arc::kOk)
            rc = out.commit();
    }
    EXPECT_EQ(rc, arc::kErrDiskFull);
    EXPECT_EQ(slurp(dest), "old");
    EXPECT_EQ(entriesIn(mnt), 1u);
    ::umount(mnt.c_str());
}

// Where a nameless file cannot be given a name (no /proc, as in some
// containers; file systems without them, as FAT) an archive is written under
// a temporary name beside it: a new archive, its replacement and a call that
// fails each leave the folder as they should, nothing of theirs behind.
TEST(AtomicOutput, WithoutNamelessFilesArchivesGoThroughTemporaryNames) {
    if (::geteuid() != 0 || testsupport::runShell("unshare --mount true") != 0)
        GTEST_SKIP() << "hiding /proc needs root and mount namespaces";
    using testsupport::shellQuote;
    for (const auto& [library, operation, add, lister] :
         {std::tuple{UNLHA32_PATH, "Unlha", "a", "lhasa l"},
          std::tuple{ZIP32J_PATH, "Zip", "-j", "unzip -l"}}) {
        TempDir dir;
        spit(dir.path / "one.txt", "one");
        spit(dir.path / "two.txt", "two");
        const fs::path archive = dir.path / "a b.arc";
        const auto call = [&](const char* file) {
            const std::string line = std::string(add) + " \"" + archive.string() + "\" \"" +
                                     (dir.path / file).string() + "\"";
            const std::string inside = "mount -t tmpfs none /proc && exec " +
                                       shellQuote(MODULE_CALL_PATH) + " " + shellQuote(library) +
                                       " " + operation + " " + shellQuote(line);
            return testsupport::runShell("unshare --mount --propagation private sh -c " +
                                         shellQuote(inside));
        };
        EXPECT_EQ(call("one.txt"), 0) << library;
        EXPECT_EQ(call("two.txt"), 0) << library;
        EXPECT_NE(call("missing.txt"), 0) << library;
        std::string listed;
        EXPECT_EQ(testsupport::runShell(std::string(lister) + " " + shellQuote(archive.string()),
                                        &listed),
                  0);
        EXPECT_NE(listed.find("one.txt"), std::string::npos) << listed;
        EXPECT_NE(listed.find("two.txt"), std::string::npos) << listed;
        EXPECT_EQ(entriesIn(dir.path), 3u) << library;
    }
}

TEST(Extraction, NamesAreReducedToBareSafeFileNames) {
    EXPECT_EQ(arc::safeMemberName("../x"), "x");
    EXPECT_EQ(arc::safeMemberName("/etc/passwd"), "passwd");
    EXPECT_EQ(arc::safeMemberName("a\\..\\..\\win.ini"), "win.ini");
    EXPECT_EQ(arc::safeMemberName("dir/"), "");
    EXPECT_EQ(arc::safeMemberName(".."), "");
    EXPECT_EQ(arc::safeMemberName("a/.."), "");
    EXPECT_EQ(arc::safeMemberName("bad\nname"), "");
    EXPECT_EQ(arc::safeMemberName("日本語.txt"), "日本語.txt");
}

TEST(Extraction, ReplacesASymbolicLinkInsteadOfWritingThroughIt) {
    TempDir dir;
    fs::create_directory(dir.path / "dest");
    spit(dir.path / "victim", "precious");
    fs::create_symlink(dir.path / "victim", dir.path / "dest" / "a.txt");
    arc::ExtractedFile file;
    ASSERT_EQ(file.open((dir.path / "dest").string(), "a.txt"), arc::kOk);
    ASSERT_EQ(file.write("extracted", 9), arc::kOk);
    ASSERT_EQ(file.commit(1000000000), arc::kOk);
    EXPECT_EQ(slurp(dir.path / "victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(dir.path / "dest" / "a.txt"));
    EXPECT_EQ(slurp(dir.path / "dest" / "a.txt"), "extracted");
    EXPECT_EQ(arc::fileMtime((dir.path / "dest" / "a.txt").string()), 1000000000);

    arc::ExtractedFile aborted;
    ASSERT_EQ(aborted.open((dir.path / "dest").string(), "b.txt"), arc::kOk);
    ASSERT_EQ(aborted.write("partial", 7), arc::kOk);
    aborted.abort();
    EXPECT_EQ(entriesIn(dir.path / "dest"), 1u);
}

TEST(Extraction, RestoresTheGivenRwxBitsExactly) {
    TempDir dir;
    const mode_t mask = ::umask(077);
    // -1: none given, 0666 less the umask.
    for (const auto& [given, expected] :
         {std::pair{0644, 0644}, {04755, 0755}, {03777, 0777}, {-1, 0600}}) {
        arc::ExtractedFile file;
        ASSERT_EQ(file.open(dir.path.string(), "m.txt"), arc::kOk);
        ASSERT_EQ(file.commit(1000000000, given), arc::kOk);
        EXPECT_EQ(fs::status(dir.path / "m.txt").permissions(), fs::perms(expected)) << given;
    }
    ::umask(mask);
}

TEST(Extraction, StopsBeforeTheFileSystemFillsAndLeavesNothingBehind) {
    TempDir dir;
    arc::ExtractedFile declared;
    EXPECT_EQ(declared.open(dir.path.string(), "huge.bin", uint64_t(1) << 62), arc::kErrDiskFull);
    EXPECT_EQ(entriesIn(dir.path), 0u);

    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const fs::path mnt = dir.path / "small";
    fs::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    arc::ExtractedFile file;
    ASSERT_EQ(file.open(mnt.string(), "bomb.bin", 1000), arc::kOk); // the size lies
    const std::string chunk(1 << 16, 'z');
    int rc = arc::kOk;
    for (int i = 0; i < 64 && rc == arc::kOk; ++i)
        rc = file.write(chunk.data(), chunk.size());
    EXPECT_EQ(rc, arc::kErrDiskFull);
    struct statvfs info;
    ASSERT_EQ(::statvfs(mnt.c_str(), &info), 0);
    EXPECT_GT(info.f_bavail, 0u); // stopped while room was left
    file.abort();
    EXPECT_EQ(entriesIn(mnt), 0u);
    ::umount(mnt.c_str());
}

TEST(WorkerPool, RunsEveryItemOnceWithinItsWidthAndPassesOnAnError) {
    arc::WorkerPool pool(3);
    for (unsigned width : {1u, 2u, 4u}) {
        std::vector<std::atomic<int>> runs(500);
        std::atomic<int> inside{0}, most{0};
        // Two callers side by side, each within its own width.
        auto call = [&](size_t from) {
            pool.run(250, width, [&](size_t i) {
                const int now = ++inside;
                for (int m = most; now > m && !most.compare_exchange_weak(m, now);) {
                }
                ++runs[from + i];
                --inside;
            });
        };
        std::thread other(call, 250);
        call(0);
        other.join();
        for (const auto& r : runs)
            EXPECT_EQ(r, 1);
        EXPECT_LE(most, static_cast<int>(2 * width));
    }
    EXPECT_THROW(pool.run(100, 4,
                          [](size_t i) {
                              if (i == 3)
                                  throw std::runtime_error("item 3");
                          }),
                 std::runtime_error);
}
