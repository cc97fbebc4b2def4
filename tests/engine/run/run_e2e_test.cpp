// The run with the real archiver modules, checked by independent readers:
// every mode with every method, upper-casing, the update of double archives,
// and the lists and log afterwards.
#include "run_fixture.h"

#include "paths.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QProcess>

using namespace dravonel;
using namespace dravonel::testing;

namespace {

struct Tool {
    int status = -1;
    QString out;
};

Tool tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

// Extracts an archive with 7z into a fresh folder and returns name -> bytes.
QMap<QString, QByteArray> contents(const QString& archive, const QString& scratch) {
    QDir().mkpath(scratch);
    const Tool t = tool("7z", {"x", "-y", "-o" + scratch, archive});
    EXPECT_EQ(t.status, 0) << t.out.toStdString();
    QMap<QString, QByteArray> files;
    QDirIterator it(scratch, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        QFile f(it.next());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        files.insert(QFileInfo(f).fileName(), f.readAll());
    }
    return files;
}

// The independent readers' own checks of an archive.
void checkArchive(const QString& archive) {
    const bool zip = archive.endsWith(".ZIP", Qt::CaseInsensitive);
    const Tool seven = tool("7z", {"t", archive});
    EXPECT_EQ(seven.status, 0) << archive.toStdString() << "\n" << seven.out.toStdString();
    if (zip) {
        EXPECT_EQ(tool("unzip", {"-tqq", archive}).status, 0) << archive.toStdString();
        const Tool py = tool("python3", {"-c",
                                         "import sys,zipfile\n"
                                         "z=zipfile.ZipFile(sys.argv[1])\n"
                                         "sys.exit(0 if z.testzip() is None else 1)",
                                         archive});
        EXPECT_EQ(py.status, 0) << py.out.toStdString();
    } else {
        const Tool lha = tool("lhasa", {"t", archive});
        EXPECT_EQ(lha.status, 0) << archive.toStdString() << "\n" << lha.out.toStdString();
    }
}

class RealRun : public RunFixture {
protected:
    ModuleArchivers modules;
    std::unique_ptr<CompressionRun> run;
    int scratchCount = 0;

    void SetUp() override {
        RunFixture::SetUp();
        libraries = modules.CheckLibraries(QStringLiteral(MODULE_DIR));
        ASSERT_TRUE(libraries.LhaAvailable) << modules.lastError().toStdString();
        ASSERT_TRUE(libraries.ZipAvailable) << modules.lastError().toStdString();
        run = std::make_unique<CompressionRun>(context(modules));
    }
    QString scratch() { return dir.path() + QString("/scratch%1").arg(scratchCount++); }
    // The archive's files, checked by the readers first; a double archive is
    // opened twice.
    QMap<QString, QByteArray> open(const QString& archive, bool twice = false) {
        checkArchive(archive);
        QMap<QString, QByteArray> files = contents(archive, scratch());
        if (!twice)
            return files;
        EXPECT_EQ(files.size(), 1);
        const QString inner = scratch() + "/" + files.firstKey();
        QDir().mkpath(QFileInfo(inner).path());
        QFile f(inner);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(files.first());
        f.close();
        return open(inner);
    }
    QByteArray data(int seed, int size) {
        QByteArray b;
        for (int i = 0; i < size; ++i)
            b += char((i * seed + i / 7) % 251);
        return b;
    }
};

} // namespace

TEST_F(RealRun, EveryModeWithNormalAndStoredLzh) {
    for (int method : {kMethodNormal, kMethodStored}) {
        options.Ashuku = qint16(method);
        const QString sub = QString("m%1").arg(method);
        const QString a = file(sub + "/x/Report.txt", data(3, 20000));
        const QString b = file(sub + "/y/report.doc", data(5, 7000));
        const QString c = file(sub + "/x/memo.txt", "memo");
        const QString n = file(sub + "/x/noext", "plain");
        const QString outDir = dir.path() + "/" + sub + "/out";
        QDir().mkpath(outDir);

        addTargets({a, b, c, n});
        run->run(kModeDravo, outDir);
        EXPECT_EQ(targets.count(), 0);
        auto report = open(outDir + "/REPORT.LZH");
        EXPECT_EQ(report.keys(), (QStringList{"Report.txt", "report.doc"}));
        EXPECT_EQ(report.value("Report.txt"), data(3, 20000));
        EXPECT_EQ(open(outDir + "/NOEXT.LZH").value("noext"), "plain");

        addTargets({a, b, c, n});
        run->run(kModeExp, outDir);
        EXPECT_EQ(targets.entries(), QStringList{n}) << "no extension: left alone";
        EXPECT_EQ(open(outDir + "/TXT.LZH").keys(), (QStringList{"Report.txt", "memo.txt"}));
        EXPECT_EQ(open(outDir + "/DOC.LZH").value("report.doc"), data(5, 7000));

        targets.removeAll();
        addTargets({a, c});
        host.name = "All";
        run->run(kModeNormal, outDir);
        EXPECT_EQ(open(outDir + "/ALL.LZH").size(), 2);

        addTargets({a, b});
        run->run(kModeFileN, outDir);
        EXPECT_EQ(open(outDir + "/REPORT.TXT.LZH").value("Report.txt"), data(3, 20000));
        EXPECT_EQ(open(outDir + "/REPORT.DOC.LZH").size(), 1);
        EXPECT_EQ(log.lines().last(), "全て終了しました");
    }
    const Tool listing = tool("lhasa", {"v", dir.path() + "/m1/out/REPORT.LZH"});
    EXPECT_TRUE(listing.out.contains("-lh0-")) << "stored members" << listing.out.toStdString();
}

TEST_F(RealRun, NamesKeepTheirCaseWithoutUpperCasingAndZipWorksOneFileAtATime) {
    options.UCase = false;
    const QString a = file("in/Report.txt", data(7, 5000));
    const QString j = file("in/日本語 ファイル.txt", "和文");
    addTargets({a, j});
    run->run(kModeDravo, out());
    EXPECT_EQ(open(out() + "/Report.LZH").keys(), QStringList{"Report.txt"});
    // The Japanese name is stored in Shift_JIS, which 7z and lhasa here pass
    // through as bytes: the archive is checked by them, the name by extraction.
    const QString japanese = out() + "/日本語 ファイル.LZH";
    checkArchive(japanese);
    const QString into = scratch() + "/";
    QDir().mkpath(into);
    EXPECT_EQ(modules.Unlha("x \"" + japanese + "\" \"" + into + "\""), 0);
    QFile extracted(into + "日本語 ファイル.txt");
    ASSERT_TRUE(extracted.open(QIODevice::ReadOnly));
    EXPECT_EQ(extracted.readAll(), "和文");

    options.AshukuExe = kFormatZip;
    for (int method : {kMethodNormal, kMethodStored}) {
        options.Ashuku = qint16(method);
        addTargets({a, j});
        run->run(kModeFileN, out());
        EXPECT_EQ(targets.count(), 0);
        EXPECT_EQ(open(out() + "/Report.txt.ZIP").value("Report.txt"), data(7, 5000));
        EXPECT_EQ(open(out() + "/日本語 ファイル.txt.ZIP").value("日本語 ファイル.txt"), "和文");
    }
    EXPECT_EQ(outputs.count(), 4) << "the second ZIP run lists the same archives again";
}

TEST_F(RealRun, DoubleCompressionPatternsMakeNestedArchives) {
    options.Ashuku = kMethodDouble;
    const QString a = file("in/a.txt", data(11, 30000)), b = file("in2/A.cfg", "cfg");
    for (int pattern : {0, 1}) {
        options.Pattern = qint16(pattern);
        addTargets({a, b});
        run->run(kModeDravo, out());
        const QString final = out() + (pattern == 0 ? "/A.LZH.LZH" : "/A.LZH.ZIP");
        auto files = open(final, true);
        EXPECT_EQ(files.keys(), (QStringList{"A.cfg", "a.txt"}));
        EXPECT_EQ(files.value("a.txt"), data(11, 30000));
        EXPECT_FALSE(QFile::exists(tmp() + "A.LZH")) << "inner archive removed";
        EXPECT_EQ(targets.count(), 0);
    }
    // An archive name that begins with a dot (a dot-file without its
    // extension, the extension of a name ending in a dot) gives a hidden inner
    // archive, which goes into the final archive all the same.
    const QString profile = file("in/.profile", "profile"), notes = file("in/notes.", "notes");
    for (int pattern : {0, 1}) {
        options.Pattern = qint16(pattern);
        const QString final = pattern == 0 ? "/.LZH.LZH" : "/.LZH.ZIP";
        for (auto [mode, path] : {std::pair{kModeDravo, profile}, std::pair{kModeExp, notes}}) {
            const QString o = out() + QString("/dot%1-%2").arg(pattern).arg(mode);
            QDir().mkpath(o);
            addTargets({path});
            EXPECT_TRUE(run->run(mode, o).allArchived()) << pattern << mode;
            EXPECT_EQ(open(o + final, true).value(FileNameOf(path)),
                      mode == kModeDravo ? "profile" : "notes");
        }
    }
    // Patterns with a ZIP inner archive run through the automatic run.
    for (int pattern : {2, 3}) {
        options.Pattern = qint16(pattern);
        targets.removeAll();
        addTargets({a});
        host.name = "both";
        EXPECT_TRUE(run->runWithoutWindows(kModeNormal, out()).finished);
        auto files = open(out() + (pattern == 2 ? "/BOTH.ZIP.LZH" : "/BOTH.ZIP.ZIP"), true);
        EXPECT_EQ(files.value("a.txt"), data(11, 30000));
    }
    // The buttons refuse them.
    host.messages.clear();
    run->run(kModeDravo, out());
    EXPECT_EQ(host.messages.size(), 1);
}

TEST_F(RealRun, UpdatingADoubleArchiveKeepsTheOldMembers) {
    options.Ashuku = kMethodDouble;
    options.Double = true;
    for (int pattern : {0, 1}) {
        options.Pattern = qint16(pattern);
        const QString sub = QString("p%1").arg(pattern);
        const QString first = file(sub + "/one/doc.txt", "first");
        const QString second = file(sub + "/two/doc.md", "second");
        addTargets({first});
        run->run(kModeDravo, out());
        // The update comes within the same second: the bytes decide.
        addTargets({second});
        run->run(kModeDravo, out());
        EXPECT_TRUE(log.lines().contains("　更新の為解凍します"));
        const QString final = out() + (pattern == 0 ? "/DOC.LZH.LZH" : "/DOC.LZH.ZIP");
        auto files = open(final, true);
        EXPECT_EQ(files.value("doc.txt"), "first") << pattern;
        EXPECT_EQ(files.value("doc.md"), "second") << pattern;
        EXPECT_FALSE(QFile::exists(tmp() + "DOC.LZH"));
        QFile::remove(final);
    }
}

TEST_F(RealRun, ProblemsInTheRunAreLoggedAndNothingIsLeftHalfWritten) {
    const QString a = file("in/a.txt", "aaa"), b = file("in/b.txt", "bbb");
    addTargets({a, b});
    QFile::remove(b); // vanishes before the run
    run->run(kModeFileN, out());
    EXPECT_EQ(targets.entries(), QStringList{b}) << "the vanished file stays listed";
    EXPECT_TRUE(QFile::exists(out() + "/A.TXT.LZH"));
    EXPECT_FALSE(QFile::exists(out() + "/B.TXT.LZH"));
    EXPECT_EQ(log.lines().count("　圧縮されませんでした"), 1);

    // An output folder that cannot be written stops the run.
    if (::geteuid() != 0) {
        QFile::setPermissions(out(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        targets.removeAll();
        addTargets({a});
        run->run(kModeDravo, out());
        EXPECT_TRUE(log.lines().contains("　圧縮ファイル格納先が書き込みできません"));
        EXPECT_EQ(log.lines().last(), "中断しました");
    }
    targets.removeAll();
    addTargets({a});
    run->run(kModeDravo, dir.path() + "/no/such/folder");
    EXPECT_TRUE(log.lines().contains("　圧縮ファイル格納先が書き込みできません"));
    EXPECT_EQ(log.lines().last(), "中断しました");
    EXPECT_EQ(targets.entries(), QStringList{a});
}

TEST_F(RealRun, APipeOrDeviceOnTheListIsNeverReadOnlyNamedUnreadable) {
    // A link to /dev/null stands for every file that is no regular file: the
    // proof would wait for a writer of a pipe, or read /dev/zero for ever.
    const QString a = file("in/a.txt", "aaa"), device = in() + "/device";
    ASSERT_TRUE(QFile::link("/dev/null", device));
    addTargets({a, device});
    host.name = "ALL";
    const RunOutcome outcome = run->run(kModeNormal, out());
    EXPECT_EQ(targets.entries(), QStringList{device});
    ASSERT_EQ(outcome.notArchived.size(), 1);
    EXPECT_EQ(outcome.notArchived[0].reason, "ファイルを読めません");
}

TEST_F(RealRun, ArchivesMadeSideBySideAreReportedAsOneAtATimeWouldReportThem) {
    QStringList files;
    for (int i = 0; i < 16; ++i)
        files << file(QString("in/f%1.txt").arg(i, 2, 10, QChar('0')),
                      data(i + 2, 2000 + 30000 * (i % 4)));
    const QString vanished = file("in/gone.txt");
    files.insert(5, vanished);
    // A second file of an earlier one's name is refused: its archive is taken.
    files.insert(2, file("in/sub/f01.txt", QByteArray(200000, 'x')));
    struct Seen {
        QStringList log, outputs, left;
    };
    for (int format : {kFormatLzh, kFormatZip}) {
        options.AshukuExe = qint16(format);
        QMap<int, Seen> seen;
        for (int width : {1, 3}) {
            RunContext c = context(modules);
            c.archivesInFlight = width;
            CompressionRun r(c);
            const QString o = out() + QString("/%1-%2").arg(format).arg(width);
            QDir().mkpath(o);
            outputs.removeAll();
            addTargets(files);
            QFile::remove(vanished);
            r.run(kModeFileN, o);
            file("in/gone.txt");
            Seen& s = seen[width];
            s.log = log.lines();
            for (int i = 0; i < outputs.count(); ++i)
                s.outputs << QFileInfo(outputs.entry(i)).fileName();
            s.left = targets.entries();
            targets.removeAll();
        }
        EXPECT_EQ(seen[3].log, seen[1].log);
        EXPECT_EQ(seen[3].outputs, seen[1].outputs);
        EXPECT_EQ(seen[3].left, seen[1].left);
        EXPECT_EQ(seen[3].outputs.size(), 16);
        const QString o = out() + QString("/%1-3/").arg(format);
        const QString same = QString("F01.TXT") + (format == kFormatZip ? ".ZIP" : ".LZH");
        EXPECT_EQ(open(o + same), open(out() + QString("/%1-1/").arg(format) + same));
        for (int i : {0, 3, 15}) {
            const QString name = QFileInfo(files[i < 2 ? i : i < 5 ? i + 1 : i + 2]).fileName();
            EXPECT_EQ(
                open(o + name.toUpper() + (format == kFormatZip ? ".ZIP" : ".LZH")).value(name),
                data(i + 2, 2000 + 30000 * (i % 4)));
        }
    }

    // A cancel stops the archives in flight: what is in the folder is listed
    // and whole, and the run ends interrupted.
    options.AshukuExe = kFormatLzh;
    RunContext c = context(modules);
    c.archivesInFlight = 2;
    CompressionRun r(c);
    outputs.removeAll();
    addTargets(files);
    const int yieldsBefore = host.yields;
    host.onYield = [&r, yieldsBefore](int n) {
        if (n - yieldsBefore == 4)
            r.requestCancel();
    };
    const QString o = out() + "/cancelled";
    QDir().mkpath(o);
    r.run(kModeFileN, o);
    host.onYield = nullptr;
    EXPECT_EQ(log.lines().last(), "中断しました");
    QStringList listed;
    for (int i = 0; i < outputs.count(); ++i)
        listed << QFileInfo(outputs.entry(i)).fileName();
    EXPECT_LT(listed.size(), 4);
    listed.sort();
    EXPECT_EQ(QDir(o).entryList(QDir::Files | QDir::Hidden, QDir::Name), listed);
    for (const QString& name : listed)
        checkArchive(o + "/" + name);
}

TEST_F(RealRun, AFileCountsAsArchivedOnlyWhenItsArchiveHoldsItsBytes) {
    // Two files of one name from two folders: the first is archived, the
    // second is named and stays listed, in one archive a file and in one for
    // all of them alike, and for both formats.
    const QString first = file("in/A/memo.txt", "from A"), second = file("in/B/memo.txt", "B!");
    for (RunMode mode : {kModeFileN, kModeDravo, kModeNormal}) {
        for (int format : {kFormatLzh, kFormatZip}) {
            if (format == kFormatZip && mode != kModeFileN)
                continue;
            options.AshukuExe = qint16(format);
            host.name = "ALL";
            const QString o = out() + QString("/%1-%2").arg(mode).arg(format);
            QDir().mkpath(o);
            addTargets({first, second});
            const RunOutcome outcome = run->run(mode, o);
            EXPECT_EQ(targets.entries(), QStringList{second}) << mode;
            ASSERT_EQ(outcome.notArchived.size(), 1) << mode;
            EXPECT_EQ(outcome.notArchived[0].reason, "同じ名前のファイルが先に入っています");
            EXPECT_TRUE(log.lines().contains("　圧縮されていません（同じ名前のファイルが先に入って"
                                             "います）：" +
                                             ShortPath(second)));
            ASSERT_EQ(outputs.count(), 1) << mode;
            EXPECT_EQ(open(outputs.entry(0)).value("memo.txt"), "from A") << mode;
            targets.removeAll();
            outputs.removeAll();
        }
    }

    // Names at the file system's limit: an archive of a 255-byte name is made
    // and updated (its temporary name beside it stays short enough); a file
    // whose archive name would be longer is refused and the run goes on.
    options.AshukuExe = kFormatLzh;
    const QString fits = file("in/" + QString(251, 'f'), "fits"),
                  tooLong = file("in/" + QString(252, 'g'), "too long"),
                  after = file("in/after.txt", "after");
    addTargets({tooLong, fits, after});
    run->run(kModeFileN, out());
    EXPECT_EQ(targets.entries(), QStringList{tooLong});
    EXPECT_TRUE(
        log.lines().contains("　圧縮されていません（書庫名が長すぎます）：" + ShortPath(tooLong)));
    file("in/" + QString(251, 'f'), "fits, edited");
    targets.removeAll();
    addTargets({fits});
    EXPECT_TRUE(run->run(kModeFileN, out()).allArchived());
    EXPECT_EQ(open(out() + "/" + QString(251, 'F') + ".LZH").value(QString(251, 'f')),
              "fits, edited");

    // So is a file whose archive's whole path would be longer than the kernel
    // takes (4095 bytes), in an output folder deep enough for shorter ones.
    QString deep = out();
    while (deep.size() < 3850)
        deep += "/" + QString(150, 'd');
    deep += "/" + QString(4060 - deep.size() - 1, 'e');
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString longName = file("in/" + QString(40, 'l') + ".txt"),
                  shortName = file("in/a.txt", "short");
    for (const int method : {kMethodNormal, kMethodDouble}) {
        options.Ashuku = qint16(method);
        targets.removeAll();
        addTargets({longName, shortName});
        const RunOutcome outcome =
            run->run(method == kMethodDouble ? kModeDravo : kModeFileN, deep);
        EXPECT_TRUE(outcome.finished) << method;
        EXPECT_EQ(targets.entries(), QStringList{longName}) << method;
        ASSERT_EQ(outcome.notArchived.size(), 1);
        EXPECT_EQ(outcome.notArchived[0].reason, "書庫名が長すぎます");
    }
    EXPECT_EQ(QDir(deep).entryList(QDir::Files), (QStringList{"A.LZH.LZH", "A.TXT.LZH"}));
}

TEST_F(RealRun, DoubleArchivesTakeNewBytesWhateverTheTimesOfTheirInnerArchives) {
    options.Ashuku = kMethodDouble;
    options.Double = true;
    options.Pattern = 0;
    const QString doc = file("in/doc.txt", "one");
    addTargets({doc});
    ASSERT_TRUE(run->run(kModeDravo, out()).allArchived());
    // The inner archive's member in the final one is dated a year ahead.
    const QString final = out() + "/DOC.LZH.LZH";
    const QString staged = dir.path() + "/staged/";
    QDir().mkpath(staged);
    ASSERT_EQ(modules.Unlha("x \"" + final + "\" \"" + staged + "\""), 0);
    QFile inner(staged + "DOC.LZH");
    ASSERT_TRUE(inner.open(QIODevice::ReadWrite));
    inner.setFileTime(QDateTime::currentDateTime().addYears(1), QFileDevice::FileModificationTime);
    inner.close();
    ASSERT_EQ(modules.Unlha("a \"" + final + "\" \"" + staged + "DOC.LZH\""), 0);
    // Edited within the same second, then again.
    for (const QByteArray& text : {QByteArray("two"), QByteArray("three")}) {
        file("in/doc.txt", text);
        addTargets({doc});
        EXPECT_TRUE(run->run(kModeDravo, out()).allArchived()) << text.constData();
        EXPECT_EQ(open(final, true).value("doc.txt"), text);
    }
}

TEST_F(RealRun, TheInnerArchiveIsTheMemberOfItsWholeNameAndOthersAreKept) {
    // Someone's DOC.LZH.ZIP holds a sub/DOC.LZH of its own, but no DOC.LZH.
    const QString final = out() + "/DOC.LZH.ZIP";
    const Tool made = tool("python3", {"-c",
                                       "import sys,zipfile\n"
                                       "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                                       "  z.writestr('sub/DOC.LZH', b'not ours')\n",
                                       final});
    ASSERT_EQ(made.status, 0) << made.out.toStdString();
    options.Ashuku = kMethodDouble;
    options.Double = true;
    options.Pattern = 1;
    addTargets({file("in/doc.txt", "new")});
    EXPECT_TRUE(run->run(kModeDravo, out()).allArchived());
    const Tool listed = tool("unzip", {"-Z1", final});
    EXPECT_EQ(listed.out.split('\n', Qt::SkipEmptyParts), (QStringList{"sub/DOC.LZH", "DOC.LZH"}));
    const Tool kept = tool("unzip", {"-p", final, "sub/DOC.LZH"});
    EXPECT_EQ(kept.out, "not ours");
}
