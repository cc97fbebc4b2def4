#include "paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace dravonel;

namespace {

constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle P = PathStyle::Posix;

QString chars(std::initializer_list<char32_t> codePoints) {
    QString out;
    for (char32_t c : codePoints)
        out.append(QChar::fromUcs4(c));
    return out;
}

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
}

// A temporary folder holding Sub/File.txt.
class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path();
        ASSERT_EQ(LongPath(root), root) << "the temporary folder must be in long form";
        ASSERT_TRUE(QDir(root).mkdir("Sub"));
        touch(root + "/Sub/File.txt");
    }
    QTemporaryDir tmp;
    QString root;
};

} // namespace

struct SplitCase {
    const char* path;
    PathStyle style;
    const char* fileName;
    const char* folder;
    const char* nameWithoutExt;
    const char* extension;
};

TEST(PathSplitting, FolderNameAndExtension) {
    const SplitCase cases[] = {
        {"C:\\dir.old\\README", W, "README", "C:\\dir.old", "README", ""},
        {"/dir.old/README", P, "README", "/dir.old", "README", ""},
        {"C:\\report.txt", W, "report.txt", "C:\\", "report", ".txt"},
        {"/report.txt", P, "report.txt", "/", "report", ".txt"},
        {"D:\\A\\B\\c.txt", W, "c.txt", "D:\\A\\B", "c", ".txt"},
        {"/A/B/c.txt", P, "c.txt", "/A/B", "c", ".txt"},
        {"C:\\A\\", W, "", "C:\\A", "", ""},
        {"/A.d/", P, "", "/A.d", "", ""},
        // Without a separator only the extension scan finds something.
        {"report.txt", W, "", "", "", ".txt"},
        {"report.txt", P, "", "", "", ".txt"},
        {"", P, "", "", "", ""},
        // Only a two-character drive is a root.
        {"\\report.txt", W, "report.txt", "", "report", ".txt"},
        {"AB:\\report.txt", W, "report.txt", "AB:", "report", ".txt"},
        {"//report.txt", P, "report.txt", "/", "report", ".txt"},
        {"/a/.profile", P, ".profile", "/a", "", ".profile"},
        {"/a/archive.tar.gz", P, "archive.tar.gz", "/a", "archive.tar", ".gz"},
        {"/a/name.", P, "name.", "/a", "name", "."},
        // The other style's separator is an ordinary character.
        {"/a/dir.old\\README", P, "dir.old\\README", "/a", "dir", ".old\\README"},
        {"C:\\a/dir.old/README", W, "a/dir.old/README", "C:\\", "a/dir", ".old/README"},
        {"/a/b.txt", W, "", "", "", ".txt"},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileNameOf(c.path, c.style), c.fileName);
        EXPECT_EQ(FolderOf(c.path, c.style), c.folder);
        EXPECT_EQ(NameWithoutExt(c.path, c.style), c.nameWithoutExt);
        EXPECT_EQ(ExtensionOf(c.path, c.style), c.extension);
    }
    EXPECT_EQ(FolderOf("/report.txt"), "/"); // the native style
}

TEST(ShortPathTest, FirstTwoAndLastTwoPiecesFromFivePiecesOn) {
    const std::pair<const char*, const char*> windows[] = {
        {"C:\\a\\b\\c\\d\\f.txt", "C:\\a\\...\\d\\f.txt"},
        {"C:\\a\\b\\c.txt", "C:\\a\\b\\c.txt"},
        {"C:\\a\\b\\c\\d.txt", "C:\\a\\...\\c\\d.txt"},
    };
    for (auto [path, shortened] : windows)
        EXPECT_EQ(ShortPath(path, W), shortened) << path;
    const std::pair<const char*, const char*> posix[] = {
        {"/a/b/c/d/f.txt", "/a/.../d/f.txt"}, {"/a/b/c.txt", "/a/b/c.txt"},
        {"/a/b/c/d.txt", "/a/.../c/d.txt"},   {"/aa/bb/cc/dd/ee/ff/gg.txt", "/aa/.../ff/gg.txt"},
        {"/a/b/c/d/", "/a/.../d/"}, // the empty file name is the last piece
        {"a/b/c/d/e", "a/b/.../d/e"},         {"", ""},
    };
    for (auto [path, shortened] : posix)
        EXPECT_EQ(ShortPath(path), shortened) << path;
    QString deep;
    for (int i = 0; i < 255; ++i)
        deep += "d/";
    EXPECT_EQ(ShortPath(deep + "f"), "d/d/.../d/f"); // 256 pieces
    EXPECT_EQ(ShortPath(deep + "d/f"), "");          // 257 pieces
}

TEST(UpperNameTest, KeepsFullWidthGreekAndCyrillicSmallLetters) {
    EXPECT_EQ(UpperName(chars({'a', 0xFF42, 0x03B1, 'Z'})), chars({'A', 0xFF42, 0x03B1, 'Z'}));
    // The ends of the three kept ranges.
    const QString kept = chars({0xFF41, 0xFF5A, 0x03B1, 0x03C2, 0x03C9, 0x0430, 0x044F});
    EXPECT_EQ(UpperName(kept), kept);
    // Just outside them: Cyrillic io and ie with grave, Greek alpha with tonos.
    EXPECT_EQ(UpperName(chars({0x0451, 0x0450, 0x03AC})), chars({0x0401, 0x0400, 0x0386}));
}

TEST(UpperNameTest, UpperCasesEverythingElseOneToOne) {
    EXPECT_EQ(UpperName("report.lzh"), "REPORT.LZH");
    EXPECT_EQ(UpperName(chars({0xE9, 0x01C6})), chars({0xC9, 0x01C4}));
    EXPECT_EQ(UpperName(QString::fromUtf8("圧縮ﾃｽﾄ_1")), QString::fromUtf8("圧縮ﾃｽﾄ_1"));
    // Deseret small letter long i, outside the basic plane.
    EXPECT_EQ(UpperName(chars({0x10428, 'x'})), chars({0x10400, 'X'}));
    // No one-to-one upper-case form: the name keeps its length.
    EXPECT_EQ(UpperName(chars({'s', 0xDF, 0xFB01})), chars({'S', 0xDF, 0xFB01}));
    // A lone surrogate is kept as it is.
    EXPECT_EQ(UpperName(chars({'a', 0xD801, 'b'})), chars({'A', 0xD801, 'B'}));
    EXPECT_EQ(UpperName(""), "");
}

TEST(Utf8NameTest, KeepsALeadingU_FEFFAndMarksACutSequence) {
    EXPECT_EQ(Utf8Name("\xEF\xBB\xBF"
                       "a.txt"),
              QChar(0xFEFF) + QStringLiteral("a.txt"));
    // A sequence cut short at the end reads as QString::fromUtf8 reads it, never as nothing.
    EXPECT_EQ(Utf8Name("a\xE3\x81"), QString::fromUtf8("a\xE3\x81"));
}

TEST_F(FileSystemTest, LongPathOfExistingPaths) {
    EXPECT_EQ(LongPath(root + "/Sub/File.txt"), root + "/Sub/File.txt");
    EXPECT_EQ(LongPath(root + "/Sub/"), root + "/Sub");
    EXPECT_EQ(LongPath(root + "//Sub///File.txt"), root + "/Sub/File.txt");
    EXPECT_EQ(LongPath(root + "/Sub/./../Sub/File.txt/"), root + "/Sub/File.txt");
    EXPECT_EQ(LongPath("/"), "/");
    EXPECT_EQ(LongPath("//"), "/");
    EXPECT_EQ(LongPath("/../.."), "/");
}

TEST_F(FileSystemTest, LongPathRefusesWhatDoesNotExist) {
    EXPECT_EQ(LongPath(root + "/Sub/Missing.txt"), "");
    EXPECT_EQ(LongPath(root + "/Missing/File.txt"), "");
    EXPECT_EQ(LongPath(root + "/Sub/File.txt/more"), ""); // a file used as a folder
    EXPECT_EQ(LongPath("Sub/File.txt"), "");
    EXPECT_EQ(LongPath("./Sub"), "");
    EXPECT_EQ(LongPath(""), "");
    EXPECT_EQ(LongPath(root + QChar(0) + "/Sub"), "");
}

TEST_F(FileSystemTest, LongPathFindsOnlyTheExactLetterCase) {
    // Linux names are case-sensitive: another spelling is another, missing file.
    EXPECT_EQ(LongPath(root + "/sub/FILE.TXT"), "");
    EXPECT_EQ(LongPath(root + "/Sub/file.txt"), "");
    EXPECT_EQ(LongPath(root + "/SUB"), "");
    // Two entries that differ only in letter case: the exact name wins, any other
    // spelling is ambiguous.
    ASSERT_TRUE(QDir(root).mkdir("Twin"));
    ASSERT_TRUE(QDir(root).mkdir("TWIN"));
    EXPECT_EQ(LongPath(root + "/TWIN"), root + "/TWIN");
    EXPECT_EQ(LongPath(root + "/Twin"), root + "/Twin");
    EXPECT_EQ(LongPath(root + "/twin"), "");
    // Hard links whose names differ in case are two names of one file, both kept.
    touch(root + "/Hard");
    ASSERT_EQ(::link(QFile::encodeName(root + "/Hard"), QFile::encodeName(root + "/hARD")), 0);
    EXPECT_EQ(LongPath(root + "/Hard"), root + "/Hard");
    EXPECT_EQ(LongPath(root + "/hARD"), root + "/hARD");
}

TEST_F(FileSystemTest, LongPathKeepsSymbolicLinks) {
    ASSERT_TRUE(QFile::link(root + "/Sub", root + "/Link"));
    ASSERT_TRUE(QFile::link(root + "/Nowhere", root + "/Dangling"));
    EXPECT_EQ(LongPath(root + "/Link/File.txt"), root + "/Link/File.txt");
    EXPECT_EQ(LongPath(root + "/link/file.txt"), "");
    EXPECT_EQ(LongPath(root + "/Dangling"), root + "/Dangling");
    EXPECT_EQ(LongPath(root + "/Dangling/x"), "");
}

TEST_F(FileSystemTest, LongPathTakesDotDotAsTheKernelDoes) {
    // proj/build is a link to ../scratch/build: ".." after it is scratch.
    const QString odd = root + "/-a \"b\" \\c";
    for (const QString& folder : {root + "/proj", root + "/scratch/build", odd})
        ASSERT_TRUE(QDir().mkpath(folder));
    touch(root + "/proj/README.txt");
    touch(root + "/scratch/README.txt");
    ASSERT_TRUE(QFile::link("../scratch/build", root + "/proj/build"));
    ASSERT_TRUE(QFile::link(root + "/proj/build", odd + "/to build"));
    EXPECT_EQ(LongPath(root + "/proj/build/../README.txt"), root + "/scratch/README.txt");
    EXPECT_EQ(LongPath(root + "/proj/build/.."), root + "/scratch");
    EXPECT_EQ(LongPath(root + "/proj/build/./../build/."), root + "/scratch/build");
    EXPECT_EQ(LongPath(odd + "/to build/../README.txt"), root + "/scratch/README.txt");
    EXPECT_EQ(LongPath(odd + "/../proj"), root + "/proj");
    // ".." of what is missing or not a folder leads nowhere.
    EXPECT_EQ(LongPath(root + "/gone/../proj"), "");
    EXPECT_EQ(LongPath(root + "/proj/README.txt/../README.txt"), "");
    EXPECT_EQ(LongPath(root + "/proj/README.txt/."), "");
}

TEST_F(FileSystemTest, LongPathAllowsAtMost256Components) {
    const int rootComponents = root.count(u'/');
    QString path = root;
    for (int i = rootComponents; i < 256; ++i) {
        path += "/d";
        ASSERT_EQ(::mkdir(QFile::encodeName(path), 0700), 0);
    }
    EXPECT_EQ(LongPath(path), path);
    ASSERT_EQ(::mkdir(QFile::encodeName(path + "/d"), 0700), 0);
    EXPECT_EQ(LongPath(path + "/d/.."), path);
    EXPECT_EQ(LongPath(path + "/d"), "");
}

TEST_F(FileSystemTest, CanOpenForReadingOnlyRegularFiles) {
    EXPECT_TRUE(CanOpenForReading(root + "/Sub/File.txt"));
    EXPECT_FALSE(CanOpenForReading(root + "/Sub"));
    EXPECT_FALSE(CanOpenForReading(root + "/Sub/Missing.txt"));
    EXPECT_FALSE(CanOpenForReading(""));
    EXPECT_FALSE(CanOpenForReading("/dev/null"));
    ASSERT_TRUE(QFile::link(root + "/Sub/File.txt", root + "/ToFile"));
    ASSERT_TRUE(QFile::link(root + "/Nowhere", root + "/Dangling"));
    EXPECT_TRUE(CanOpenForReading(root + "/ToFile"));
    EXPECT_FALSE(CanOpenForReading(root + "/Dangling"));
    // A named pipe without a writer must neither block nor count as a file.
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/Pipe"), 0600), 0);
    EXPECT_FALSE(CanOpenForReading(root + "/Pipe"));
}

TEST_F(FileSystemTest, CanOpenForReadingRefusesUnreadableFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser reads every file";
    ASSERT_TRUE(QFile::setPermissions(root + "/Sub/File.txt", QFileDevice::WriteOwner));
    EXPECT_FALSE(CanOpenForReading(root + "/Sub/File.txt"));
}

TEST(FreeSpaceTextFor, FormatsMebibytesWithThousandsSeparators) {
    EXPECT_EQ(FreeSpaceTextFor(1294467072ull), " (1,234.5M Free)");
    EXPECT_EQ(FreeSpaceTextFor(3ull << 30), " (3,072.0M Free)");     // above 2 GB
    EXPECT_EQ(FreeSpaceTextFor(5ull << 40), " (5,242,880.0M Free)"); // above 4 TB
    EXPECT_EQ(FreeSpaceTextFor(1000000ull << 20), " (1,000,000.0M Free)");
    EXPECT_EQ(FreeSpaceTextFor(100ull << 20), " (100.0M Free)");
    EXPECT_EQ(FreeSpaceTextFor(1), " (0.0M Free)");
    EXPECT_EQ(FreeSpaceTextFor(0), "");
}

TEST(FreeSpaceTextFor, RoundsTheSinglePrecisionValue) {
    EXPECT_EQ(FreeSpaceTextFor(1048534057ull), " (1,000.0M Free)"); // 999.96 carries over
    EXPECT_EQ(FreeSpaceTextFor(1ull << 18), " (0.3M Free)");        // 0.25: half away from zero
    EXPECT_EQ(FreeSpaceTextFor(104857ull), " (0.1M Free)");         // 0.09999...
    // 2^24 + 1 mebibytes cannot be held in single precision.
    EXPECT_EQ(FreeSpaceTextFor(((1ull << 24) + 1) << 20), " (16,777,216.0M Free)");
}

TEST_F(FileSystemTest, FreeSpaceTextOfExistingAndFuturePaths) {
    const QRegularExpression form(R"(^ \((\d{1,3}(,\d{3})*)\.\dM Free\)$)");
    for (const QString& path : {root, root + "/Sub/File.txt", root + "/Not/Yet/There",
                                root + "/Sub/File.txt/x", QString("/")}) {
        const QString text = FreeSpaceText(path);
        EXPECT_TRUE(form.match(text).hasMatch())
            << path.toStdString() << ": " << text.toStdString();
    }
    EXPECT_EQ(FreeSpaceText(""), "");
    EXPECT_EQ(FreeSpaceText("relative/path"), "");
}
