// The run against stand-in modules: command lines, result codes, busy and
// missing libraries, cancelling, and the lists and log afterwards.
#include "run_fixture.h"

#include "messages.h"
#include "paths.h"

#include <QLibrary>
#include <QTimer>

#include <unistd.h>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

// The controls of one stand-in module, already loaded by the binding.
struct Fake {
    QLibrary lib;
    void (*reset)() = nullptr;
    void (*setResult)(int) = nullptr;
    void (*setRunning)(int) = nullptr;
    void (*setDelay)(int) = nullptr;
    void (*setKeep)(int) = nullptr;
    int (*calls)() = nullptr;
    int (*threads)() = nullptr;
    int (*thread)(int) = nullptr;
    const char* (*command)(int) = nullptr;
    const char* (*lastResponse)() = nullptr;

    Fake(const char* prefix, const char* file)
        : lib(QStringLiteral(FAKE_MODULES "/complete/") + file) {
        EXPECT_TRUE(lib.load());
        const QByteArray p(prefix);
        reset = reinterpret_cast<void (*)()>(lib.resolve(p + "FakeReset"));
        setResult = reinterpret_cast<void (*)(int)>(lib.resolve(p + "FakeSetResult"));
        setRunning = reinterpret_cast<void (*)(int)>(lib.resolve(p + "FakeSetRunning"));
        setDelay = reinterpret_cast<void (*)(int)>(lib.resolve(p + "FakeSetDelay"));
        setKeep = reinterpret_cast<void (*)(int)>(lib.resolve(p + "FakeSetKeep"));
        calls = reinterpret_cast<int (*)()>(lib.resolve(p + "FakeCalls"));
        threads = reinterpret_cast<int (*)()>(lib.resolve(p + "FakeThreads"));
        thread = reinterpret_cast<int (*)(int)>(lib.resolve(p + "FakeThread"));
        command = reinterpret_cast<const char* (*)(int)>(lib.resolve(p + "FakeCommand"));
        lastResponse = reinterpret_cast<const char* (*)()>(lib.resolve(p + "FakeLastResponse"));
        reset();
    }
    QStringList commands() const {
        QStringList all;
        for (int i = 0; i < calls(); ++i)
            all << QString::fromUtf8(command(i));
        return all;
    }
};

class FakeRun : public RunFixture {
protected:
    ModuleArchivers modules;
    std::unique_ptr<Fake> lha, zip, unzip;
    std::unique_ptr<CompressionRun> run;

    void SetUp() override {
        RunFixture::SetUp();
        libraries = modules.CheckLibraries(QStringLiteral(FAKE_MODULES "/complete"));
        ASSERT_TRUE(libraries.LhaAvailable && libraries.ZipAvailable);
        lha = std::make_unique<Fake>("Unlha", "libunlha32.so");
        zip = std::make_unique<Fake>("Zip", "libzip32j.so");
        unzip = std::make_unique<Fake>("UnZip", "libunzip32.so");
        run = std::make_unique<CompressionRun>(context(modules));
    }
    // The folder the last run kept its files in, inside the temporary folder.
    QString runTmp() const { return run->lastRunFolder(); }
    QString resp() const { return runTmp() + "DRAVONEL.RESPFILE"; }
    QString shown(const QString& path) const { return "[ " + ShortPath(path) + " ]"; }
};

} // namespace

TEST_F(FakeRun, DravoModeGroupsByNameAndBuildsExactCommandLines) {
    const QString a = file("x/a.txt"), bigA = file("y/A.doc"), b = file("x/b.txt");
    addTargets({a, bigA, b});
    run->run(kModeDravo, out());

    const QString w = "\"-w" + runTmp() + "\"";
    EXPECT_EQ(lha->commands(),
              (QStringList{"u -+ -a1 " + w + " \"" + out() + "/A.LZH\" \"@" + resp() + "\"",
                           "u -+ -a1 " + w + " \"" + out() + "/B.LZH\" \"@" + resp() + "\""}));
    EXPECT_EQ(log.lines(), (QStringList{shown(a), shown(bigA), "　ＬＺＨ圧縮中です",
                                        "　正常に圧縮されました", shown(b), "　ＬＺＨ圧縮中です",
                                        "　正常に圧縮されました", "全て終了しました"}));
    EXPECT_EQ(targets.count(), 0);
    EXPECT_EQ(outputs.entries(), (QStringList{out() + "/A.LZH", out() + "/B.LZH"}));
    EXPECT_EQ(host.locks, 1);
    EXPECT_EQ(host.unlocks, 1);
    EXPECT_FALSE(run->cancelRequested());
    EXPECT_EQ(QByteArray(lha->lastResponse()), "\"" + b.toUtf8() + "\"\r\n");
    // Both calls ran on one worker, off the thread that keeps the window alive.
    EXPECT_EQ(lha->threads(), 1);
    EXPECT_NE(lha->thread(0), gettid());
    // The run's own folder lies in the temporary folder and is gone with it.
    EXPECT_TRUE(runTmp().startsWith(tmp() + "run-"));
    EXPECT_EQ(QDir(tmp()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
}

TEST_F(FakeRun, StoredAndZipOptionPartsEndInABlankSoTwoBlanksPrecedeTheQuote) {
    const QString a = file("in/Report.txt");
    addTargets({a});
    options.UCase = false;
    options.Ashuku = kMethodStored;
    run->run(kModeFileN, out());
    EXPECT_EQ(lha->commands(), (QStringList{"u -+ -a1 -z1  \"-w" + runTmp() + "\" \"" + out() +
                                            "/Report.txt.LZH\" \"" + a + "\""}));
    EXPECT_EQ(log.lines().at(1), "　ＬＺＨ圧縮中（非圧縮）です");

    addTargets({a});
    options.Ashuku = kMethodNormal;
    options.AshukuExe = kFormatZip;
    options.UCase = true;
    run->run(kModeFileN, out());
    EXPECT_EQ(zip->commands(),
              (QStringList{"-j -S -9  \"" + out() + "/REPORT.TXT.ZIP\" \"" + a + "\""}));
    EXPECT_EQ(log.lines().at(1), "　ＺＩＰ圧縮中です");
    EXPECT_EQ(outputs.count(), 2);
}

TEST_F(FakeRun, WarningsCountAsMadeAndStopCodesEndTheRun) {
    const QString a = file("in/a.txt"), b = file("in/b.txt"), c = file("in/c.txt");
    addTargets({a, b, c});
    lha->setResult(3);
    run->run(kModeDravo, out());
    EXPECT_TRUE(log.lines().contains("　スキップされたファイルが 3あります"));
    EXPECT_EQ(targets.count(), 0);
    EXPECT_EQ(outputs.count(), 3);

    struct {
        int code;
        const char* line;
    } stops[] = {{32773, "　圧縮する為のディスクの空きが足りません"},
                 {32774, "　圧縮ファイル格納先が書き込みできません"},
                 {32800, "　キャンセルされました"}};
    for (const auto& s : stops) {
        lha->reset();
        lha->setResult(s.code);
        targets.removeAll();
        addTargets({a, b, c});
        run->run(kModeDravo, out());
        EXPECT_EQ(lha->calls(), 1) << s.code;
        EXPECT_EQ(log.lines(), (QStringList{shown(a), "　ＬＺＨ圧縮中です", s.line,
                                            "　圧縮されませんでした", "中断しました"}))
            << s.code;
        EXPECT_EQ(targets.entries(), (QStringList{a, b, c})) << s.code;
        EXPECT_FALSE(run->cancelRequested()) << "reset when the run ends";
    }
}

TEST_F(FakeRun, AFailedGroupStaysListedAndIsNotTriedAgain) {
    const QString a = file("in/a.txt"), a2 = file("in2/a.doc"), b = file("in/b.txt");
    addTargets({a, a2, b});
    lha->setResult(32790); // an error the run goes on after
    run->run(kModeDravo, out());
    EXPECT_EQ(lha->calls(), 2) << "each group is tried once";
    EXPECT_EQ(targets.entries(), (QStringList{a, a2, b}));
    EXPECT_EQ(log.lines().last(), "全て終了しました");
    EXPECT_EQ(outputs.count(), 0);

    // Exp mode: entries without extension are passed over and stay.
    lha->reset();
    targets.removeAll();
    const QString readme = file("in/README"), t1 = file("in/a.TXT"), t2 = file("in/b.txt");
    addTargets({readme, t1, t2});
    run->run(kModeExp, out());
    EXPECT_EQ(lha->commands().size(), 1);
    EXPECT_TRUE(lha->commands().first().contains("/TXT.LZH\""));
    EXPECT_EQ(targets.entries(), QStringList{readme});
}

TEST_F(FakeRun, ABusyLibraryIsReportedAndTheRunGoesOn) {
    const QString a = file("in/a.txt"), b = file("in/b.txt");
    addTargets({a, b});
    lha->setRunning(1);
    run->run(kModeFileN, out());
    EXPECT_EQ(lha->calls(), 0);
    EXPECT_EQ(host.messages,
              (QStringList{"現在UNLHA32.DLLは使用中です", "現在UNLHA32.DLLは使用中です"}));
    EXPECT_EQ(log.lines().count("　圧縮されませんでした"), 2);
    EXPECT_EQ(log.lines().last(), "全て終了しました");
    EXPECT_EQ(targets.count(), 2);
}

TEST_F(FakeRun, CancelDuringACallStopsTheModuleAndTheRun) {
    const QString a = file("in/a.txt"), b = file("in/b.txt"), c = file("in/c.txt");
    addTargets({a, b, c});
    lha->setDelay(10000);
    QTimer::singleShot(100, run.get(), [this] { run->requestCancel(); });
    run->run(kModeFileN, out());
    EXPECT_EQ(lha->calls(), 1);
    EXPECT_EQ(log.lines(), (QStringList{shown(a), "　ＬＺＨ圧縮中です", "　キャンセルされました",
                                        "　圧縮されませんでした", "中断しました"}));
    EXPECT_EQ(targets.entries(), (QStringList{a, b, c}));
    ASSERT_FALSE(host.progressSeen.isEmpty()) << "progress reached the host during the call";
    EXPECT_EQ(host.progressSeen.first().member, "member.txt");
    EXPECT_EQ(host.progressSeen.first().archive, 1);
    EXPECT_EQ(host.progressSeen.first().archiveCount, 3);
    EXPECT_EQ(host.scrolled, QList<int>{0});
}

TEST_F(FakeRun, ProgressCarriesTheBytesOfTheWholeRun) {
    const QString a = file("in/a.txt", QByteArray(10, 'a')),
                  b = file("in/b.txt", QByteArray(20, 'b')),
                  c = file("in/c.txt", QByteArray(30, 'c'));
    addTargets({a, b, c});
    run->run(kModeFileN, out());
    ASSERT_EQ(lha->calls(), 3);
    ASSERT_FALSE(host.progressSeen.isEmpty());
    const RunProgress& last = host.progressSeen.last();
    EXPECT_EQ(last.archive, 3);
    EXPECT_EQ(last.runTotal, 60u);
    EXPECT_EQ(last.runDone, 30u) << "the first two files are done";
    EXPECT_EQ(last.archiveBytes, 30u);
}

TEST_F(FakeRun, CancelBetweenArchivesFinishesTheCurrentOneOnly) {
    const QString a = file("in/a.txt"), b = file("in/b.txt"), c = file("in/c.txt");
    addTargets({a, b, c});
    host.onYield = [this](int n) {
        if (n == 2)
            run->requestCancel();
    };
    run->run(kModeFileN, out());
    EXPECT_EQ(lha->calls(), 1);
    EXPECT_EQ(targets.entries(), (QStringList{b, c}));
    EXPECT_EQ(log.lines().last(), "中断しました");
}

TEST_F(FakeRun, ZipRestrictionsStopTheButtonsBeforeAnythingChanges) {
    const QString a = file("in/a.txt");
    addTargets({a});
    log.ListInAdd("earlier line");
    options.AshukuExe = kFormatZip;
    run->run(kModeDravo, out());
    options.AshukuExe = kFormatLzh;
    options.Ashuku = kMethodDouble;
    options.Pattern = 3;
    run->run(kModeFileN, out());
    EXPECT_EQ(host.messages,
              (QStringList{
                  "現在のZIP32J.DLL "
                  "IZIP32J.DLLでは実行できません。（通常・非圧縮のＦＩｌｅＮ以外　ＺＩＰ）",
                  "現在のZIP32J.DLL IZIP32J.DLLでは実行できません。（２重圧縮の１重目のＺＩＰ）"}));
    EXPECT_EQ(host.locks, 0);
    EXPECT_EQ(log.lines(), QStringList{"earlier line"});
    EXPECT_EQ(targets.entries(), QStringList{a});
    EXPECT_EQ(lha->calls() + zip->calls(), 0);
}

TEST_F(FakeRun, NormalModeAsksForTheNameAndRefusesNamesWithSeparators) {
    const QString a = file("in/a.txt");
    addTargets({a});
    run->run(kModeNormal, out());
    EXPECT_EQ(host.prompts, 1);
    EXPECT_EQ(lha->calls(), 0);
    EXPECT_EQ(log.lines(), QStringList{"中断しました"});

    host.name = "../escape";
    run->run(kModeNormal, out());
    EXPECT_EQ(lha->calls(), 0) << "a name with a separator never reaches a command line";
    EXPECT_EQ(log.lines(), (QStringList{shown(a), "　圧縮されませんでした", "全て終了しました"}));

    host.name = "Backup";
    run->run(kModeNormal, out());
    EXPECT_EQ(lha->commands(), (QStringList{"u -+ -a1 \"-w" + runTmp() + "\" \"" + out() +
                                            "/BACKUP.LZH\" \"@" + resp() + "\""}));
    EXPECT_EQ(targets.count(), 0);
}

TEST_F(FakeRun, DoubleCompressionCallsBothStagesAndCleansTheTemporaryFolder) {
    const QString a = file("in/a.txt");
    addTargets({a});
    options.Ashuku = kMethodDouble;
    options.Pattern = 1;
    file("tmp/A.LZH", "stale inner archive");
    run->run(kModeDravo, out());
    EXPECT_EQ(lha->commands(), (QStringList{"u -+ -a1 -z1  \"-w" + runTmp() + "\" \"" + runTmp() +
                                            "A.LZH\" \"@" + resp() + "\""}));
    EXPECT_EQ(zip->commands(),
              (QStringList{"-j -9 \"" + out() + "/A.LZH.ZIP\" \"" + runTmp() + "A.LZH\""}));
    EXPECT_FALSE(QFile::exists(runTmp() + "A.LZH"));
    EXPECT_EQ(outputs.entries(), QStringList{out() + "/A.LZH.ZIP"});
    EXPECT_EQ(log.lines(), (QStringList{shown(a), "　１重目ＬＺＨ圧縮中（非圧縮）です",
                                        "　２重目ＺＩＰ圧縮中です", "　正常に圧縮されました",
                                        "全て終了しました"}));
}

TEST_F(FakeRun, AnUpdateThatCannotExtractLeavesTheFinalArchiveAlone) {
    const QString a = file("in/a.txt");
    addTargets({a});
    options.Ashuku = kMethodDouble;
    options.Double = true;
    // The old archive lists its inner archive (in the stand-in's form).
    const QByteArray old = "0000\t3\t3\tfake\t0\tA.LZH\n";
    const QString final = file("out/A.LZH.LZH", old);
    run->run(kModeDravo, out());
    // The stand-in extracts nothing, so there is no inner archive to update.
    EXPECT_EQ(lha->commands(),
              (QStringList{"x -+ \"" + final + "\" \"" + runTmp() + "\" \"A.LZH\""}));
    EXPECT_EQ(log.lines(), (QStringList{shown(a), "　更新の為解凍します", "　圧縮されませんでした",
                                        "全て終了しました"}));
    EXPECT_EQ(targets.entries(), QStringList{a});
    QFile f(final);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), old);
}

TEST_F(FakeRun, AutomaticRunsFollowTheModeLabelsAndKeepTheList) {
    const QString a = file("in/a.txt"), b = file("in/b.txt"), n = file("in/noext");
    addTargets({a, b, n});
    EXPECT_TRUE(run->runWithoutWindows(kModeExp, out()).finished);
    EXPECT_EQ(lha->calls(), 1) << "Exp: one archive for .txt, none for the file without extension";
    EXPECT_TRUE(lha->commands().first().contains("/TXT.LZH\""));
    EXPECT_EQ(targets.count(), 3);

    lha->reset();
    EXPECT_TRUE(run->runWithoutWindows(kModeFileN, out()).finished);
    EXPECT_EQ(lha->calls(), 3);
    EXPECT_TRUE(host.scrolled.isEmpty());
    EXPECT_EQ(log.lines().last(), "全て終了しました");

    lha->reset();
    lha->setResult(32774);
    EXPECT_FALSE(run->runWithoutWindows(kModeDravo, out()).finished);
    EXPECT_EQ(log.lines().last(), "中断しました");
}

TEST_F(FakeRun, MissingZipIsReportedInsideTheRun) {
    const QString a = file("in/a.txt");
    addTargets({a});
    libraries.ZipAvailable = false;
    options.AshukuExe = kFormatZip;
    host.name = "all";
    EXPECT_TRUE(run->runWithoutWindows(kModeNormal, out()).finished);
    EXPECT_TRUE(host.messages.contains("ZIP32J.DLL・IZIP32J.DLLが存在しないため実行できません"));
    EXPECT_EQ(log.lines(), (QStringList{shown(a), "　圧縮されませんでした", "全て終了しました"}));

    log.removeAll();
    host.messages.clear();
    run->runWithoutWindows(kModeFileN, out());
    EXPECT_TRUE(host.messages.isEmpty()) << "one file at a time: only the log line";
    EXPECT_EQ(log.lines(), (QStringList{shown(a), "　圧縮されませんでした", "全て終了しました"}));
    EXPECT_EQ(zip->calls(), 0);
}

TEST_F(FakeRun, AnOutputFolderWithoutLongFormNeverBecomesTheRoot) {
    const QString a = file("in/a.txt");
    addTargets({a});
    run->run(kModeFileN, QString());
    run->run(kModeDravo, QString());
    EXPECT_EQ(lha->calls(), 0);
    EXPECT_EQ(log.lines(), (QStringList{shown(a), "　圧縮ファイル格納先が書き込みできません",
                                        "　圧縮されませんでした", "中断しました"}));
    EXPECT_EQ(targets.entries(), QStringList{a});
}

TEST_F(FakeRun, ASuccessTheArchiveDoesNotBearOutArchivesNothing) {
    // The module says every archive was made, but writes none.
    lha->setKeep(0);
    const QString a = file("x/a.txt"), b = file("x/b.txt");
    addTargets({a, b});
    RunOutcome outcome = run->run(kModeDravo, out());
    EXPECT_EQ(targets.entries(), (QStringList{a, b}));
    EXPECT_EQ(outputs.count(), 0);
    EXPECT_EQ(log.lines().count("　圧縮されていません（書庫に入っていません）：" + ShortPath(a)),
              1);
    EXPECT_EQ(log.lines().count("　圧縮されませんでした"), 2);
    EXPECT_FALSE(log.lines().contains("　正常に圧縮されました"));
    ASSERT_EQ(outcome.notArchived.size(), 2);
    EXPECT_EQ(outcome.notArchived[1].reason, "書庫に入っていません");
    EXPECT_FALSE(outcome.allArchived());

    // The same through FileN.
    outcome = run->run(kModeFileN, out());
    EXPECT_EQ(targets.count(), 2);
    EXPECT_EQ(outcome.notArchived.size(), 2);
    lha->setKeep(1);
    outcome = run->run(kModeFileN, out());
    EXPECT_TRUE(outcome.allArchived());
    EXPECT_EQ(targets.count(), 0);
}
