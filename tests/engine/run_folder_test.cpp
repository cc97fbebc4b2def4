#include "run_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dravonel;

namespace {

void write(const QString& path, const QByteArray& bytes = "keep") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

// Dates a folder an hour back.
void age(const QString& path) {
    const time_t then = std::time(nullptr) - 3600;
    const timeval times[2] = {{then, 0}, {then, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}

// A run made by a child process that is then killed: its folder stays, with
// its lock free. Returns the folder.
QString killedRunFolder(const QString& base) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        RunFolder run;
        const QByteArray path = run.create(base, QString()) ? QFile::encodeName(run.path()) : "";
        ::write(pipeFds[1], path.constData(), size_t(path.size()));
        ::close(pipeFds[1]);
        ::pause();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
    ::close(pipeFds[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return got > 0 ? QFile::decodeName(QByteArray(buffer, int(got))) : QString();
}

} // namespace

TEST(RunFolderSweep, RemovesOnlyFoldersTheProgramMadeAndNoLiveRunHolds) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString base = tmp.path() + "/";
    // The user's folders, whatever they are called, survive with their files;
    // a folder of the run's own name pattern without the program's mark (a
    // lock file alone, or the mark in another letter case) is the user's too,
    // and so is one holding files of both names that the program did not make
    // there (extracted from an archive, say).
    const QStringList users{"run-2024-results", "New-Project", "RUN-x",
                            "new-old",          "run-abc123",  "new-Ab12Cd",
                            "RUN-ABC123",       "run-Zz9yY8",  "run-Ex7rac"};
    for (const QString& name : users) {
        ASSERT_TRUE(QDir(base).mkdir(name));
        write(base + name + "/notes.txt");
    }
    write(base + "run-abc123/.lock", "");
    write(base + "new-Ab12Cd/.lock", "");
    write(base + "run-Zz9yY8/.lock", "");
    write(base + "run-Zz9yY8/.DRAVONEL2-RUN", "");
    write(base + "run-Ex7rac/.lock", "");
    write(base + "run-Ex7rac/.dravonel2-run", "");
    for (const QString& name : users)
        age(base + name);

    const QString killed = killedRunFolder(base);
    ASSERT_TRUE(killed.startsWith(base + "run-")) << killed.toStdString();
    RunFolder live;
    ASSERT_TRUE(live.create(base, QString()));

    RunFolder next;
    ASSERT_TRUE(next.create(base, QString()));
    for (const QString& name : users)
        EXPECT_TRUE(QFile::exists(base + name + "/notes.txt")) << name.toStdString();
    EXPECT_FALSE(QFile::exists(killed)) << "the killed run's folder is removed";
    EXPECT_TRUE(QFile::exists(live.path())) << "a live run's folder stays";
}
