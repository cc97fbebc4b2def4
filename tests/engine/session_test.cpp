// The session without windows: the folder rule (what is opened, what was
// given), the stored folder keys, and a job read into it.
#include "host.h"
#include "job_file.h"
#include "memory_settings_store.h"
#include "paths.h"
#include "session.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace dravonel;

namespace {

using Folder = Session::Folder;

class SessionTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Session session;
    MemorySettingsStore store;

    QString folder(const QString& name) {
        QDir(dir.path()).mkpath(name);
        return LongPath(dir.filePath(name));
    }
    void stored(const QString& key, const QString& value) {
        store.write(kStoreApplication, kStoreSection, key, value);
    }
    QString storedValue(const QString& key) {
        return store.read(kStoreApplication, kStoreSection, key, "<absent>");
    }
};

} // namespace

TEST_F(SessionTest, AFolderThatCannotBeListedOpensTheCurrentFolderAndSaysSo) {
    int set = 0;
    QObject::connect(&session, &Session::folderSet, [&set](Folder which) {
        EXPECT_EQ(which, Folder::Out);
        ++set;
    });
    const QString out = folder("out");
    session.setFolder(Folder::Out, out + "/../out");
    EXPECT_EQ(session.outputFolder(), out);
    EXPECT_TRUE(session.openedGivenFolder(Folder::Out));
    session.setOutputFolder(out);
    EXPECT_EQ(set, 2) << "the same folder again is signalled too";

    const QString missing = dir.filePath("missing");
    session.setOutputFolder(missing);
    EXPECT_EQ(session.outputFolder(), LongPath(QDir::currentPath()));
    EXPECT_FALSE(session.openedGivenFolder(Folder::Out));
    EXPECT_EQ(session.givenFolder(Folder::Out), missing);
    EXPECT_EQ(session.inputFolder(), "") << "the other folder is untouched";

    QString listed;
    QObject::connect(&session, &Session::folderListed,
                     [&listed](Folder, const QString& path) { listed = path; });
    session.noteFolderListed(Folder::In, out);
    EXPECT_EQ(session.inputFolder(), out);
    EXPECT_EQ(listed, out);
}

TEST_F(SessionTest, StoredFoldersOpenTheDefaultInForceElseTheLastAndAreWrittenBack) {
    const QString byDefault = folder("default"), last = folder("last");
    stored("Dir_Out", byDefault);
    stored("OldDir_Out", last);
    session.loadFolder(Folder::Out, store);
    EXPECT_EQ(session.outputFolder(), byDefault);
    stored("Dir_Out_Yuko", "False");
    session.loadFolder(Folder::Out, store);
    EXPECT_EQ(session.outputFolder(), last);
    EXPECT_FALSE(session.folderDefault(Folder::Out).inForce);

    session.setOutputFolder(byDefault);
    session.folderDefault(Folder::Out).inForce = true;
    session.saveFolder(Folder::Out, store);
    EXPECT_EQ(storedValue("Dir_Out"), byDefault);
    EXPECT_EQ(storedValue("Dir_Out_Yuko"), "True");
    EXPECT_EQ(storedValue("OldDir_Out"), byDefault);
    EXPECT_EQ(storedValue("Dir_In"), "<absent>");
}

TEST_F(SessionTest, AJobFileFillsTheSessionAndIsWrittenFromIt) {
    const QString in = folder("in"), out = folder("out");
    const QString a = dir.filePath("in/a.txt");
    QFile file(a);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ParsedJob job;
    job.inputFolder = in;
    job.outputFolder = out;
    job.archiveName = QStringLiteral("name");
    // A blank line, as a hand-edited job may end with, is no file left out.
    job.entries = QStringList{a, QString()};
    QStringList refused;
    ASSERT_TRUE(applyJob(job, session, &refused));
    EXPECT_EQ(refused, QStringList());
    EXPECT_EQ(session.inputFolder(), in);
    EXPECT_EQ(session.outputFolder(), out);
    EXPECT_EQ(session.archiveName(), "name");
    EXPECT_EQ(session.targets().entries(), QStringList{a});

    struct Silent : MessageHost {
        void showMessage(const QString&) override {}
        bool askYesNo(const QString&) override { return false; }
    } host;
    const QString path = dir.filePath("job.DVF");
    ASSERT_TRUE(WriteJobFile(path, session, host));
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()),
              QString("Dravonel2 DVF FILE\r\nINDIR=%1\r\nOUTDIR=%2\r\nFILENAME=name\r\n%3\r\n")
                  .arg(in, out, a));
}
