#include "ini_settings_store.h"
#include "settings.h"
#include "system_folders.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace dravonel;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString current() const { return dir.path() + QStringLiteral("/Korvath's Soft.ini"); }
    QString legacy() const { return dir.path() + QStringLiteral("/Dravonel2.ini"); }

    void writeFile(const QString& path, const QString& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    QString readKey(const QString& app, const QString& key) {
        IniSettingsStore store(dir.path());
        return store.read(app, kStoreSection, key, QStringLiteral("<absent>"));
    }
};

} // namespace

TEST_F(SettingsTest, EmptyStoreGivesEveryDefault) {
    IniSettingsStore store(dir.path());
    OptionSet o;
    LoadSettings(store, o, QStringLiteral("/tmp/dravonel2-1/"));
    EXPECT_EQ(o.Lzh_Opt, "u -+ -a1");
    EXPECT_EQ(o.ZipOpt, "-j -S");
    EXPECT_EQ(o.Ashuku, 0);
    EXPECT_FALSE(o.Hiddn);
    EXPECT_EQ(o.TmpDir, "/tmp/dravonel2-1/");
    EXPECT_TRUE(o.UCase);
    EXPECT_FALSE(o.Double);
    EXPECT_FALSE(o.Auto);
    EXPECT_EQ(o.AutoExe, 0);
    EXPECT_TRUE(o.AutoLog);
    EXPECT_TRUE(o.Resize);
    EXPECT_TRUE(o.Tip);
    EXPECT_EQ(o.Pattern, 0);
    EXPECT_EQ(o.AshukuExe, 0);
    EXPECT_EQ(o.Filter, "*.*");
    EXPECT_EQ(o.Font_Name, QStringLiteral("ＭＳ 明朝"));
    EXPECT_EQ(o.Font_Size, 10);
    EXPECT_FALSE(o.Font_Bold);
    EXPECT_FALSE(o.Font_Italic);
    EXPECT_FALSE(o.ZipUtf8Names);
    // Reading created no file.
    EXPECT_FALSE(QFile::exists(current()));
    EXPECT_FALSE(QFile::exists(legacy()));
}

TEST_F(SettingsTest, HandWrittenFileIsReadAndSavedBackInTheSameTexts) {
    writeFile(current(), QStringLiteral("[Other]\nKeep=1\n[Dravonel2]\nLzh_Opt=u -+ -a1 -o6\n"
                                        "Ashuku=2\nHiddn=TRUE\nTmpDir=/tmp/my work/\n"
                                        "UCase=false\nPattern=1\nAshukuExe=1\n"
                                        "Filter=\"*.txt, *.doc\"\nFont_Name=IPAGothic\n"
                                        "Font_Size=12\nFont_Bold=1\nZipUtf8Names=True\n"
                                        "Version=9.99\n"));
    OptionSet o;
    {
        IniSettingsStore store(dir.path());
        LoadSettings(store, o, QStringLiteral("/unused/"));
    }
    EXPECT_EQ(o.Lzh_Opt, "u -+ -a1 -o6");
    EXPECT_EQ(o.Ashuku, 2);
    EXPECT_TRUE(o.Hiddn);
    EXPECT_EQ(o.TmpDir, "/tmp/my work/");
    EXPECT_FALSE(o.UCase);
    EXPECT_EQ(o.Pattern, 1);
    EXPECT_EQ(o.AshukuExe, 1);
    EXPECT_EQ(o.Filter, "*.txt, *.doc");
    EXPECT_EQ(o.Font_Size, 12);
    EXPECT_TRUE(o.Font_Bold);
    EXPECT_TRUE(o.ZipUtf8Names);

    o.Font_Name = QStringLiteral("ＭＳ 明朝");
    {
        IniSettingsStore store(dir.path());
        SaveSettings(store, o);
    }
    EXPECT_EQ(readKey(kStoreApplication, "Version"), "1.02");
    EXPECT_EQ(readKey(kStoreApplication, "Hiddn"), "True");
    EXPECT_EQ(readKey(kStoreApplication, "UCase"), "False");
    EXPECT_EQ(readKey(kStoreApplication, "Ashuku"), "2");
    EXPECT_EQ(readKey(kStoreApplication, "Font_Name"), QStringLiteral("ＭＳ 明朝"));
    EXPECT_EQ(readKey(kStoreApplication, "Filter"), "*.txt, *.doc");
    EXPECT_EQ(readKey(kStoreApplication, "ZipUtf8Names"), "True");
    EXPECT_EQ(readKey(kStoreApplication, "ZipOpt"), "<absent>");
    IniSettingsStore store(dir.path());
    EXPECT_EQ(store.read(kStoreApplication, "Other", "Keep", ""), "1");

    OptionSet again;
    LoadSettings(store, again, QStringLiteral("/unused/"));
    EXPECT_EQ(again.Font_Name, QStringLiteral("ＭＳ 明朝"));
    EXPECT_EQ(again.Filter, o.Filter);
    EXPECT_EQ(again.TmpDir, o.TmpDir);
}

TEST_F(SettingsTest, LegacyStoreWithVersionSuppliesOptionsExceptTheFormatAndIsRemoved) {
    writeFile(legacy(), QStringLiteral("[Dravonel2]\nVersion=1.00\nUCase=False\nAshukuExe=1\n"
                                       "Lzh_Opt=a -a1\n[Elsewhere]\nX=1\n"));
    IniSettingsStore store(dir.path());
    OptionSet o;
    LoadSettings(store, o, QStringLiteral("/t/"));
    EXPECT_FALSE(o.UCase);
    EXPECT_EQ(o.Lzh_Opt, "a -a1");
    EXPECT_EQ(o.AshukuExe, 0) << "the format always comes from the current store";

    SaveSettings(store, o);
    store.sync();
    EXPECT_FALSE(QFile::exists(legacy()));
    EXPECT_EQ(readKey(kStoreApplication, "Version"), "1.02");
    EXPECT_EQ(readKey(kStoreApplication, "UCase"), "False");
    EXPECT_EQ(readKey(kStoreApplication, "Font_Italic"), "False");
}

TEST_F(SettingsTest, WindowsChooseTheLegacyStoreByTheirOwnLeftKey) {
    writeFile(legacy(), QStringLiteral("[Dravonel2]\nMain_Left=500\nMain_Top=700\nUCase=False\n"
                                       "InDir_Left=-9999\n"));
    writeFile(current(), QStringLiteral("[Dravonel2]\nMain_Top=1\nInDir_Top=42\n"));
    IniSettingsStore store(dir.path());
    OptionSet o;
    LoadSettings(store, o, QStringLiteral("/t/"));
    EXPECT_TRUE(o.UCase) << "without Version the options come from the current store";

    WindowSettings main(store, QStringLiteral("Main"));
    EXPECT_TRUE(main.readsLegacy());
    EXPECT_EQ(main.readSingle(QStringLiteral("Main_Top"), 1000), 700.0f);
    main.writeSingle(QStringLiteral("Main_Top"), 1234.5f);
    EXPECT_EQ(store.read(kStoreApplication, kStoreSection, "Main_Top", ""), "1234.5");

    WindowSettings inDir(store, QStringLiteral("InDir"));
    EXPECT_FALSE(inDir.readsLegacy()) << "-9999 is the marker of an absent key";
    EXPECT_EQ(inDir.readSingle(QStringLiteral("InDir_Top"), 1000), 42.0f);
}

TEST_F(SettingsTest, TextsThatDoNotConvertGiveTheDefault) {
    writeFile(current(), QStringLiteral("[Dravonel2]\nUCase=maybe\nAshuku=abc\nFont_Size=40000\n"
                                        "Tip=0\nResize=-1\nAutoExe= 3 \nAutoLog=\nPattern=nan\n"
                                        "Hiddn=inf\nFont_Bold=nan\n"));
    IniSettingsStore store(dir.path());
    OptionSet o;
    LoadSettings(store, o, QStringLiteral("/t/"));
    EXPECT_TRUE(o.UCase) << "the default, not the False of a fresh record";
    EXPECT_TRUE(o.AutoLog) << "empty";
    EXPECT_EQ(o.Ashuku, 0);
    EXPECT_EQ(o.Pattern, 0);
    EXPECT_FALSE(o.Hiddn);
    EXPECT_FALSE(o.Font_Bold);
    EXPECT_EQ(o.Font_Size, 10) << "beyond the 16-bit range";
    EXPECT_FALSE(o.Tip);
    EXPECT_TRUE(o.Resize);
    EXPECT_EQ(o.AutoExe, 3);
}

TEST_F(SettingsTest, ChoicesOutOfRangeTakeWhatTheDialogsOffer) {
    // Out of range, a method, mode, pattern or format is the first choice, as
    // the options dialog shows it (an automatic mode 7 ran nothing and still
    // ended "全て終了しました"; a method 3 stored in FileN but compressed in the
    // other modes); a font beyond the font dialog's largest size is taken as it.
    writeFile(current(), QStringLiteral("[Dravonel2]\nAshuku=3\nAutoExe=7\nPattern=-1\n"
                                        "AshukuExe=2\nFont_Size=200\n"));
    IniSettingsStore store(dir.path());
    OptionSet o;
    LoadSettings(store, o, QStringLiteral("/t/"));
    EXPECT_EQ(o.Ashuku, 0);
    EXPECT_EQ(o.AutoExe, 0);
    EXPECT_EQ(o.Pattern, 0);
    EXPECT_EQ(o.AshukuExe, 0);
    EXPECT_EQ(o.Font_Size, kLargestFontSize);
    writeFile(current(), QStringLiteral("[Dravonel2]\nAshuku=2\nAutoExe=3\nPattern=3\n"
                                        "AshukuExe=1\nFont_Size=16\n"));
    IniSettingsStore inRange(dir.path());
    LoadSettings(inRange, o, QStringLiteral("/t/"));
    EXPECT_EQ(o.Ashuku, 2);
    EXPECT_EQ(o.AutoExe, 3);
    EXPECT_EQ(o.Pattern, 3);
    EXPECT_EQ(o.AshukuExe, 1);
    EXPECT_EQ(o.Font_Size, 16);
}

TEST(SettingsConversions, BooleansAcceptTheWordsInAnyCaseAndNumbers) {
    struct Case {
        const char* text;
        bool converts;
        bool value;
    } cases[] = {{"True", true, true},   {"FALSE", true, false}, {" true ", true, true},
                 {"0", true, false},     {"-1", true, true},     {"2", true, true},
                 {"0.0", true, false},   {"yes", false, false},  {"", false, false},
                 {"Truex", false, false}};
    for (const auto& c : cases) {
        bool value = !c.value;
        const bool before = value;
        EXPECT_EQ(convertBool(QString::fromUtf8(c.text), value), c.converts) << c.text;
        EXPECT_EQ(value, c.converts ? c.value : before) << c.text;
    }
    qint16 n = 7;
    EXPECT_FALSE(convertInt16("32768", n));
    EXPECT_TRUE(convertInt16("-32768", n));
    EXPECT_EQ(n, -32768);
    EXPECT_FALSE(convertInt16("1.5", n));
    EXPECT_EQ(singleText(8000.0f), "8000");
    EXPECT_EQ(singleText(-0.5f), "-0.5");
}

TEST_F(SettingsTest, DeletingASectionLeavesTheRestAlone) {
    writeFile(current(), QStringLiteral("[Dravonel2]\nUCase=False\n[Other]\nKeep=1\n"));
    writeFile(legacy(), QStringLiteral("[Dravonel2]\nVersion=1.00\n"));
    {
        IniSettingsStore store(dir.path());
        store.deleteSection(kStoreApplication, kStoreSection);
    }
    EXPECT_EQ(readKey(kStoreApplication, "UCase"), "<absent>");
    IniSettingsStore store(dir.path());
    EXPECT_EQ(store.read(kStoreApplication, "Other", "Keep", ""), "1");
    EXPECT_EQ(store.read(kLegacyApplication, kStoreSection, "Version", ""), "1.00");
}

TEST_F(SettingsTest, ASettingsNameThatIsNoFileIsNeitherReadNorReplaced) {
    // A FIFO would block the program at its start; nothing may replace it.
    const QByteArray fifo = QFile::encodeName(current());
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const auto useStore = [this] {
        IniSettingsStore store(dir.path());
        store.write(kStoreApplication, kStoreSection, QStringLiteral("UCase"), QStringLiteral("1"));
        store.deleteSection(kStoreApplication, QStringLiteral("Other"));
        return store.read(kStoreApplication, QStringLiteral("Other"), QStringLiteral("Keep"),
                          QStringLiteral("default"));
    };
    auto use = std::async(std::launch::async, useStore);
    for (int i = 0; i < 10 && use.wait_for(std::chrono::seconds(2)) != std::future_status::ready;
         ++i) {
        ADD_FAILURE() << "the store waits on the FIFO";
        ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK)); // lets it go on
    }
    EXPECT_EQ(use.get(), "default");
    struct stat st;
    ASSERT_EQ(::lstat(fifo.constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // Nor is a file far larger than settings are: it is not copied and read whole.
    ASSERT_EQ(::unlink(fifo.constData()), 0);
    writeFile(current(), QStringLiteral("[Other]\nKeep=1\n"));
    const qint64 huge = qint64(65) << 20;
    ASSERT_TRUE(QFile::resize(current(), huge));
    EXPECT_EQ(useStore(), "default");
    EXPECT_EQ(QFileInfo(current()).size(), huge);
    IniSettingsStore(dir.path()).deleteApplication(kStoreApplication);
    EXPECT_FALSE(QFile::exists(current())) << "removing the settings removes it all the same";
}

TEST_F(SettingsTest, OtherProgramsLinesSurviveSavesAndTheRemovalByteForByte) {
    // Text QSettings would rewrite: a comment, backslashes, a semicolon, a
    // blank and a non-ASCII letter in keys, a list.
    const QByteArray before = "; another program's\r\n[OtherApp]\r\nPath=C:\\Program Files\\x\r\n"
                              "Semi=a;b\r\nmy key=1\r\n\xE6\x97\xA5=2\r\n\r\n";
    const QByteArray after = "; the last one's\r\n[Last]\r\nList=a,b\r\n";
    auto contents = [this] {
        QFile f(current());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    writeFile(current(), before + "[Dravonel2]\r\nUCase=False\r\n\r\n" + after);
    OptionSet o;
    {
        IniSettingsStore store(dir.path());
        LoadSettings(store, o, QStringLiteral("/unused/"));
        o.Filter = QStringLiteral("*.txt;*.doc");
        SaveSettings(store, o);
    }
    const QByteArray saved = contents();
    EXPECT_TRUE(saved.startsWith(before)) << saved.constData();
    EXPECT_TRUE(saved.endsWith("\r\n\r\n" + after)) << saved.constData();
    EXPECT_EQ(readKey(kStoreApplication, "UCase"), "False");
    EXPECT_EQ(readKey(kStoreApplication, "Filter"), "*.txt;*.doc");
    {
        IniSettingsStore store(dir.path());
        store.deleteSection(kStoreApplication, kStoreSection);
    }
    EXPECT_EQ(contents(), before + "\r\n" + after);
}

TEST(SystemFolders, TempFolderIsPrivateAndRefusesAPlantedLink) {
    QTemporaryDir base;
    qputenv("TMPDIR", base.path().toUtf8());
    const QString expected =
        base.path() + QStringLiteral("/dravonel2-") + QString::number(::getuid()) + "/";
    EXPECT_EQ(TempFolder(), expected);
    struct stat st;
    ASSERT_EQ(::stat(expected.toUtf8().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ::chmod(expected.toUtf8().constData(), 0777);
    EXPECT_EQ(TempFolder(), expected);
    ASSERT_EQ(::stat(expected.toUtf8().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "loosened permissions are tightened again";

    QDir(expected).removeRecursively();
    QDir(base.path()).mkdir("elsewhere");
    ASSERT_TRUE(QFile::link(base.path() + "/elsewhere", expected.chopped(1)));
    EXPECT_EQ(TempFolder(), "") << "a symbolic link in its place is not the private folder";
    qunsetenv("TMPDIR");
}

TEST(SystemFolders, SystemFolderHonoursTheOverrideWithoutTrailingSeparator) {
    qputenv("DRAVONEL2_SYSTEM_DIR", "/opt/modules/");
    EXPECT_EQ(SystemFolder(), "/opt/modules");
    qunsetenv("DRAVONEL2_SYSTEM_DIR");
    const QString own = SystemFolder();
    EXPECT_FALSE(own.isEmpty());
    EXPECT_FALSE(own.endsWith('/'));
}
