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

TEST(PathSplitting, WindowsStyleExamples) {
    EXPECT_EQ(FileNameOf("C:\\dir.old\\README", W), "README");
    EXPECT_EQ(ExtensionOf("C:\\dir.old\\README", W), "");
    EXPECT_EQ(NameWithoutExt("C:\\dir.old\\README", W), "README");
    EXPECT_EQ(FolderOf("C:\\report.txt", W), "C:\\");
    EXPECT_EQ(FolderOf("D:\\A\\B\\c.txt", W), "D:\\A\\B");
    EXPECT_EQ(FileNameOf("D:\\A\\B\\c.txt", W), "c.txt");
    EXPECT_EQ(ExtensionOf("D:\\A\\B\\c.txt", W), ".txt");
    EXPECT_EQ(NameWithoutExt("D:\\A\\B\\c.txt", W), "c");
}

TEST(PathSplitting, PosixStyleTwins) {
    EXPECT_EQ(FileNameOf("/dir.old/README"), "README");
    EXPECT_EQ(ExtensionOf("/dir.old/README"), "");
    EXPECT_EQ(NameWithoutExt("/dir.old/README"), "README");
    EXPECT_EQ(FolderOf("/report.txt"), "/");
    EXPECT_EQ(FolderOf("/A/B/c.txt"), "/A/B");
    EXPECT_EQ(FolderOf("/A/B/"), "/A/B");
    EXPECT_EQ(FileNameOf("/A/B/c.txt", P), "c.txt");
    EXPECT_EQ(ExtensionOf("/A/B/c.txt", P), ".txt");
}

TEST(PathSplitting, PathsWithoutSeparatorOrName) {
    for (PathStyle style : {P, W}) {
        EXPECT_EQ(FileNameOf("report.txt", style), "");
        EXPECT_EQ(FolderOf("report.txt", style), "");
        EXPECT_EQ(NameWithoutExt("report.txt", style), "");
        EXPECT_EQ(FileNameOf("", style), "");
        EXPECT_EQ(FolderOf("", style), "");
    }
    // No separator, but a dot: the extension scan reaches the start of the text.
    EXPECT_EQ(ExtensionOf("report.txt"), ".txt");
    EXPECT_EQ(FileNameOf("C:\\A\\", W), "");
    EXPECT_EQ(NameWithoutExt("/A/"), "");
    EXPECT_EQ(ExtensionOf("/A.d/"), "");
    // Only a two-character drive is a root; other leading texts are plain folders.
    EXPECT_EQ(FolderOf("\\report.txt", W), "");
    EXPECT_EQ(FolderOf("AB:\\report.txt", W), "AB:");
    EXPECT_EQ(FolderOf("//report.txt"), "/");
}

TEST(PathSplitting, DotsInFileNames) {
    EXPECT_EQ(NameWithoutExt("/a/.profile"), "");
    EXPECT_EQ(ExtensionOf("/a/.profile"), ".profile");
    EXPECT_EQ(NameWithoutExt("/a/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(ExtensionOf("/a/archive.tar.gz"), ".gz");
    EXPECT_EQ(NameWithoutExt("/a/name."), "name");
    EXPECT_EQ(ExtensionOf("/a/name."), ".");
}

TEST(PathSplitting, OnlyTheStylesSeparatorSeparates) {
    EXPECT_EQ(FileNameOf("/a/b.txt", W), "");
    EXPECT_EQ(FileNameOf("C:\\a\\b.txt", P), "");
    EXPECT_EQ(ExtensionOf("/a/dir.old\\README", P), ".old\\README");
    EXPECT_EQ(ExtensionOf("C:\\dir.old/README", W), ".old/README");
    EXPECT_EQ(FolderOf("C:\\a/b.txt", W), "C:\\");
}

TEST(ShortPathTest, ExamplesInBothStyles) {
    EXPECT_EQ(ShortPath("C:\\a\\b\\c\\d\\f.txt", W), "C:\\a\\...\\d\\f.txt");
    EXPECT_EQ(ShortPath("/a/b/c/d/f.txt"), "/a/.../d/f.txt");
    EXPECT_EQ(ShortPath("/a/b/c/d/f.txt", P), "/a/.../d/f.txt");
    // Four pieces stay unchanged; five are the first to be shortened.
    EXPECT_EQ(ShortPath("C:\\a\\b\\c.txt", W), "C:\\a\\b\\c.txt");
    EXPECT_EQ(ShortPath("/a/b/c.txt"), "/a/b/c.txt");
    EXPECT_EQ(ShortPath("C:\\a\\b\\c\\d.txt", W), "C:\\a\\...\\c\\d.txt");
    EXPECT_EQ(ShortPath("/a/b/c/d.txt"), "/a/.../c/d.txt");
    EXPECT_EQ(ShortPath("/aa/bb/cc/dd/ee/ff/gg.txt"), "/aa/.../ff/gg.txt");
}

TEST(ShortPathTest, TrailingSeparatorAndLimits) {
    // A trailing separator leaves an empty file name as the last piece.
    EXPECT_EQ(ShortPath("/a/b/c/d/"), "/a/.../d/");
    EXPECT_EQ(ShortPath("a/b/c/d/e"), "a/b/.../d/e");
    EXPECT_EQ(ShortPath(""), "");
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

TEST_F(FileSystemTest, LongPathGivesTheStoredLetterCase) {
    EXPECT_EQ(LongPath(root + "/sub/FILE.TXT"), root + "/Sub/File.txt");
    EXPECT_EQ(LongPath(root + "/SUB"), root + "/Sub");
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
    EXPECT_EQ(LongPath(root + "/link/file.txt"), root + "/Link/File.txt");
    EXPECT_EQ(LongPath(root + "/Dangling"), root + "/Dangling");
    EXPECT_EQ(LongPath(root + "/Dangling/x"), "");
}

TEST_F(FileSystemTest, LongPathAllowsAtMost256Components) {
    const int rootComponents = root.count(u'/');
    QString path = root;
    for (int i = rootComponents; i < 256; ++i) {
        path += "/d";
        ASSERT_EQ(::mkdir(QFile::encodeName(path), 0700), 0);
    }
    EXPECT_EQ(LongPath(path), path);
    EXPECT_EQ(LongPath(path + "/d/.."), path);
    ASSERT_EQ(::mkdir(QFile::encodeName(path + "/d"), 0700), 0);
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
