// The target and output lists, the response files, the result log and job files.
#include "run_fixture.h"

#include "job_file.h"
#include "response_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

QByteArray slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class Lists : public RunFixture {};

} // namespace

TEST_F(Lists, TargetListKeepsUniquePathsUpToItsCapacity) {
    EXPECT_TRUE(targets.ListInAdd("/d/a.txt"));
    EXPECT_TRUE(targets.ListInAdd("/d/a.txt"));
    EXPECT_TRUE(targets.ListInAdd("/d/A.txt"));
    EXPECT_TRUE(targets.ListInAdd("/PAGEFILE.SYS"));
    EXPECT_TRUE(targets.ListInAdd("/x/win386.swp"));
    EXPECT_TRUE(targets.ListInAdd("/x/386Spart.par"));
    EXPECT_TRUE(targets.ListInAdd("/data/pagefile.sys.bak"));
    EXPECT_TRUE(targets.ListInAdd("/d/line\nbreak"));
    targets.setActiveSwapFiles({"/swapfile"});
    EXPECT_TRUE(targets.ListInAdd("/swapfile"));
    EXPECT_EQ(targets.entries(), (QStringList{"/d/a.txt", "/d/A.txt", "/data/pagefile.sys.bak"}));

    for (int i = targets.count(); i < TargetList::kCapacity; ++i)
        ASSERT_TRUE(targets.ListInAdd(QString("/many/%1").arg(i)));
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_TRUE(targets.ListInAdd("/d/a.txt")) << "a duplicate is ignored even when full";
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_FALSE(targets.ListInAdd("/one/more"));
    EXPECT_EQ(host.messages, QStringList{"一度で実行できるファイル数は最大１０００までです。"});
    EXPECT_EQ(targets.count(), 1000);
}

TEST_F(Lists, OutsidePathsAreTakenInLongFormAndOnlyWhenReadable) {
    const QString a = file("in/Report.txt");
    EXPECT_TRUE(targets.Gaibu_ListInAdd(dir.path() + "/in/./Report.txt"));
    EXPECT_TRUE(targets.Gaibu_ListInAdd(in()));                    // a folder
    EXPECT_TRUE(targets.Gaibu_ListInAdd(dir.path() + "/in/none")); // missing
    EXPECT_TRUE(targets.Gaibu_ListInAdd("in/Report.txt"));         // relative
    EXPECT_TRUE(targets.Gaibu_ListInAdd(""));
    EXPECT_EQ(targets.entries(), QStringList{a});
    EXPECT_EQ(targets.FirstSelectedFile(), "");
    targets.SelectAll();
    EXPECT_EQ(targets.FirstSelectedFile(), a);
}

TEST_F(Lists, RemovingUnmarkedEntriesKeepsTheMarkedInOrder) {
    addTargets({"/a", "/b", "/c", "/d", "/e"});
    targets.setMarked(1, true);
    targets.setMarked(3, true);
    targets.removeUnmarked();
    EXPECT_EQ(targets.entries(), (QStringList{"/b", "/d"}));
    EXPECT_TRUE(targets.isMarked(0) && targets.isMarked(1));

    for (int i = 0; i < 1005; ++i)
        outputs.ListInAdd(QString("/o/%1.LZH").arg(i % 1003));
    EXPECT_EQ(outputs.count(), 1000);
    EXPECT_TRUE(host.messages.isEmpty());
}

TEST_F(Lists, ResponseFilesGroupByNameOrExtension) {
    addTargets({"/x/a.txt", "/y/A.doc", "/x/b.txt", "/My Files/a b.txt"});
    targets.SelectAll();
    ResponseFileMaker maker(targets);
    QString name;
    ASSERT_EQ(maker.MakeRespFile(name, tmp()), kRespWritten);
    EXPECT_EQ(name, "a");
    EXPECT_EQ(maker.RespItems(), (QList<int>{0, 1}));
    EXPECT_EQ(targets.current(), 0);
    EXPECT_EQ(slurp(tmp() + "DRAVONEL.RESPFILE"), "\"/x/a.txt\"\r\n\"/y/A.doc\"\r\n");
    maker.Clear_MakeRespFile();
    ASSERT_EQ(maker.MakeRespFile(name, tmp()), kRespWritten);
    EXPECT_EQ(name, "b");
    maker.Clear_MakeRespFile();
    ASSERT_EQ(maker.MakeRespFile(name, tmp()), kRespWritten);
    EXPECT_EQ(name, "a b");
    EXPECT_EQ(slurp(tmp() + "DRAVONEL.RESPFILE"), "\"/My Files/a b.txt\"\r\n");
    maker.Clear_MakeRespFile();
    EXPECT_EQ(maker.MakeRespFile(name, tmp()), kRespNothingLeft);

    targets.removeAll();
    addTargets({"/x/README", "/x/a.TXT", "/x/b.txt"});
    targets.SelectAll();
    ASSERT_EQ(maker.MakeRespFileExp(name, tmp()), kRespWritten);
    EXPECT_EQ(name, "TXT");
    EXPECT_EQ(maker.RespItems(), (QList<int>{1, 2}));
    maker.Clear_MakeRespFile();
    EXPECT_EQ(maker.MakeRespFileExp(name, tmp()), kRespNothingLeft);
    EXPECT_TRUE(targets.isMarked(0));

    ASSERT_EQ(maker.MakeRespFileAll(tmp()), kRespWritten);
    EXPECT_EQ(slurp(tmp() + "DRAVONEL.RESPFILE"),
              "\"/x/README\"\r\n\"/x/a.TXT\"\r\n\"/x/b.txt\"\r\n");
}

TEST_F(Lists, TheResponseFileIsNeverWrittenThroughALink) {
    addTargets({"/x/a.txt"});
    targets.SelectAll();
    const QString victim = file("victim", "keep me");
    ASSERT_TRUE(QFile::link(victim, tmp() + "DRAVONEL.RESPFILE"));
    ResponseFileMaker maker(targets);
    QString name;
    EXPECT_EQ(maker.MakeRespFile(name, tmp()), kRespFailed);
    EXPECT_EQ(maker.MakeRespFileAll(tmp()), kRespFailed);
    EXPECT_EQ(slurp(victim), "keep me");
    EXPECT_EQ(maker.MakeRespFileAll(dir.path() + "/no/such/folder"), kRespFailed);
}

TEST_F(Lists, ResultLogMovesTheHighlightAndTrimsBeyondItsLimit) {
    log.ListInAdd("one");
    log.ListInAdd("two");
    EXPECT_EQ(log.current(), 1);
    log.selection()->setCurrentIndex(log.index(0), QItemSelectionModel::ClearAndSelect);
    log.ListInAdd("three");
    EXPECT_EQ(log.current(), 1) << "one line down from where the user left it";
    EXPECT_EQ(log.clipboardText(), "one\r\ntwo\r\nthree\r\n");

    log.removeAll();
    EXPECT_EQ(log.clipboardText(), "");
    for (int i = 0; i < 30002; ++i)
        log.ListInAdd(QString::number(i));
    EXPECT_EQ(log.rowCount(), 30002);
    log.ListInAdd("next");
    EXPECT_EQ(log.rowCount(), 30002);
    EXPECT_EQ(log.lines().first(), "1");
    EXPECT_EQ(log.current(), 30001);
    EXPECT_EQ(log.lines().last(), "next");
}

TEST_F(Lists, ANameInTheLogIsOneLineAsShownCopiedAndSaved) {
    // ESC, CR, VT, NEL, a line separator and a right-to-left override in one
    // file name: held escaped, so no viewer of the log sees another line.
    const QString name = QString::fromUtf16(u"[ /d/a\x1b[1A\rb\vc\x85"
                                            u"d\u2028\u3000正常に圧縮されました\u202Etxt.exe ]");
    const QString shown =
        QString::fromUtf16(u"[ /d/a\\033[1A\\015b\\013c\\205d\\u2028\u3000正常に圧縮されました"
                           u"\\u202Etxt.exe ]");
    log.ListInAdd(name);
    EXPECT_EQ(log.lines(), QStringList{shown});
    EXPECT_EQ(log.data(log.index(0), Qt::DisplayRole).toString(), shown);
    EXPECT_EQ(log.clipboardText(), shown + "\r\n");
    const QString path = dir.path() + "/names.LOG";
    ASSERT_TRUE(log.WriteLogFile(path, host));
    EXPECT_EQ(slurp(path), shown.toUtf8() + "\r\n");
}

TEST_F(Lists, SavingTheLogAsksBeforeReplacingAndWritesNothingWhenEmpty) {
    const QString path = dir.path() + "/run.LOG";
    EXPECT_FALSE(log.WriteLogFile(path, host));
    EXPECT_FALSE(QFile::exists(path));
    log.ListInAdd("　ＬＺＨ圧縮中です");
    log.ListInAdd("全て終了しました");
    ASSERT_TRUE(log.WriteLogFile(path, host));
    EXPECT_EQ(slurp(path), "　ＬＺＨ圧縮中です\r\n全て終了しました\r\n");
    log.ListInAdd("more");
    host.answers = {false};
    EXPECT_FALSE(log.WriteLogFile(path, host));
    EXPECT_EQ(host.messages, QStringList{"ファイルが存在しています。上書きしてよろしいですか"});
    EXPECT_EQ(slurp(path), "　ＬＺＨ圧縮中です\r\n全て終了しました\r\n");
    host.messages.clear();
    EXPECT_FALSE(log.WriteLogFile(dir.path() + "/no/folder/x.LOG", host));
    EXPECT_EQ(host.messages, QStringList{"セーブできませんでした。"});
    // A named pipe is not replaced by a file.
    const QString pipe = dir.path() + "/pipe.LOG";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    host.answers = {true};
    EXPECT_FALSE(log.WriteLogFile(pipe, host));
    EXPECT_EQ(host.messages.last(), "セーブできませんでした。");
    const QFileInfo kept(pipe);
    EXPECT_TRUE(kept.exists() && !kept.isFile()) << "the pipe is still there";
}

TEST_F(Lists, JobFilesRoundTripEveryLineWhole) {
    const QString a = file("in/a, \"b\".txt"), c = file("in/  lead.txt");
    addTargets({a, c});
    JobValues job(targets);
    job.in = "/in, dir";
    job.out = "  /out";
    const QString path = dir.path() + "/job.DVF";
    ASSERT_TRUE(WriteJobFile(path, job, host));
    EXPECT_EQ(slurp(path),
              "Dravonel2 DVF FILE\r\nINDIR=/in, dir\r\nOUTDIR=  /out\r\nFILENAME=\r\n" +
                  a.toUtf8() + "\r\n" + c.toUtf8() + "\r\n");

    JobValues loaded(targets);
    targets.removeAll();
    ASSERT_TRUE(LoadDvf(path, loaded, host));
    EXPECT_EQ(loaded.in, "/in, dir");
    EXPECT_EQ(loaded.out, "  /out");
    EXPECT_EQ(loaded.name, "");
    EXPECT_EQ(targets.entries(), (QStringList{a, c}));

    host.answers = {false};
    job.name = "changed";
    EXPECT_FALSE(WriteJobFile(path, job, host));
    EXPECT_EQ(host.messages, QStringList{"ファイルが存在しています。上書きしてよろしいですか。"});
    EXPECT_FALSE(slurp(path).contains("changed"));

    // A folder whose name holds a line break would come back as other lines.
    host.answers = {true};
    job.in = "/in\nOUTDIR=/elsewhere";
    EXPECT_FALSE(WriteJobFile(path, job, host));
    EXPECT_EQ(host.messages.last(), "セーブできませんでした。");
    EXPECT_FALSE(slurp(path).contains("elsewhere"));
}

TEST_F(Lists, JobFilesInOtherLayoutsAndBrokenOnes) {
    const QString a = file("in/a.txt"), b = file("in/b.txt");
    const QString job1 =
        file("old.dvf", "\xEF\xBB\xBF/old/in\n/old/out\rNAME\r\n" + a.toUtf8() + "\n" +
                            (dir.path() + "/in/gone.txt").toUtf8() + "\n" + b.toUtf8());
    JobValues job(targets);
    ASSERT_TRUE(LoadDvf(job1, job, host));
    EXPECT_EQ(job.in, "/old/in");
    EXPECT_EQ(job.out, "/old/out");
    EXPECT_EQ(job.name, "NAME");
    EXPECT_EQ(targets.entries(), (QStringList{a, b})) << "a vanished entry is skipped";

    const QString lzh = file("lzh.dvf", "Dravonel2 DVF FILE\r\nINDIR=/i\r\nOUTDIR=/o\r\n"
                                        "LZHFILENAME=arc\r\n");
    ASSERT_TRUE(LoadDvf(lzh, job, host));
    EXPECT_EQ(job.name, "arc");
    EXPECT_EQ(targets.count(), 0) << "a job without entries empties the list";

    const QString header = file("case.dvf", "DRAVONEL2 DVF FILE\r\nX\r\nY\r\n");
    ASSERT_TRUE(LoadDvf(header, job, host));
    EXPECT_EQ(job.in, "DRAVONEL2 DVF FILE") << "another letter case is the older layout";

    addTargets({a});
    job.out = "unchanged";
    const QString broken = file("broken.dvf", "Dravonel2 DVF FILE\r\nINDIR=/new/in\r\nOUT=/x\r\n");
    EXPECT_FALSE(LoadDvf(broken, job, host));
    EXPECT_EQ(job.in, "/new/in");
    EXPECT_EQ(job.out, "unchanged");
    EXPECT_EQ(targets.entries(), QStringList{a});
    EXPECT_EQ(host.messages.last(), "ファイルの読み込みに失敗しました。");

    host.messages.clear();
    EXPECT_FALSE(LoadDvf(file("empty.dvf", ""), job, host));
    EXPECT_FALSE(LoadDvf(dir.path() + "/none.dvf", job, host));
    EXPECT_EQ(host.messages.size(), 2);

    // A huge file is no job: it is refused, not read whole into memory.
    const QString huge =
        file("huge.dvf", "Dravonel2 DVF FILE\r\nINDIR=/h\r\nOUTDIR=/h\r\nFILENAME=h\r\n");
    ASSERT_TRUE(QFile::resize(huge, qint64(64) << 30));
    EXPECT_FALSE(LoadDvf(huge, job, host));
    EXPECT_NE(job.name, "h");
    EXPECT_EQ(host.messages.size(), 3);

    // A named pipe is no job file: reading one would wait for a writer (here a
    // thread that offers a whole job once someone reads), or never end.
    const QByteArray pipe = QFile::encodeName(dir.path() + "/pipe.dvf");
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(pipe.constData(), O_WRONLY);
        const QByteArray text = "Dravonel2 DVF FILE\r\nINDIR=/p\r\nOUTDIR=/p\r\nLZHFILENAME=p\r\n";
        if (fd >= 0 && ::write(fd, text.constData(), text.size()) >= 0)
            ::close(fd);
    });
    EXPECT_FALSE(LoadDvf(QString::fromLocal8Bit(pipe), job, host));
    EXPECT_NE(job.name, "p");
    // Lets the writer go when no reader came.
    const int release = ::open(pipe.constData(), O_RDONLY | O_NONBLOCK);
    writer.join();
    ::close(release);
}
