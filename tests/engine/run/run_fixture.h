// A run with everything it needs around it: options at their defaults, the
// lists, the log, a recording host, and folders of its own.
#pragma once

#include "archivers.h"
#include "host.h"
#include "ini_settings_store.h"
#include "options.h"
#include "result_log.h"
#include "run.h"
#include "settings.h"
#include "target_list.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

namespace dravonel::testing {

class RecordingHost : public RunHost {
public:
    QStringList messages;
    QList<bool> answers; // for askYesNo, front first; empty: No
    QString name;        // the archive name
    QString typedName;   // what the prompt "types"
    int prompts = 0, locks = 0, unlocks = 0, yields = 0, finished = 0;
    QList<int> scrolled;
    QList<RunProgress> progressSeen;
    std::function<void(int)> onYield;

    void showMessage(const QString& text) override { messages << text; }
    bool askYesNo(const QString& text) override {
        messages << text;
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    void lockInterface() override { ++locks; }
    void unlockInterface() override { ++unlocks; }
    void yield() override {
        ++yields;
        if (onYield)
            onYield(yields);
    }
    QString archiveName() override { return name; }
    QString askArchiveName() override {
        ++prompts;
        if (!typedName.isEmpty())
            name = typedName;
        return name;
    }
    void scrollTargetToTop(int row) override { scrolled << row; }
    void progress(const RunProgress& p) override { progressSeen << p; }
    void runFinished() override { ++finished; }
};

class RunFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    OptionSet options;
    LibraryState libraries;
    RecordingHost host;
    TargetList targets{&host};
    OutputList outputs;
    ResultLog log;

    QString in() const { return dir.path() + "/in"; }
    QString out() const { return dir.path() + "/out"; }
    QString tmp() const { return dir.path() + "/tmp/"; }

    void SetUp() override {
        QDir(dir.path()).mkpath("in");
        QDir(dir.path()).mkpath("out");
        QDir(dir.path()).mkpath("tmp");
        QDir(dir.path()).mkpath("cfg");
        IniSettingsStore store(dir.path() + "/cfg");
        LoadSettings(store, options, tmp());
        targets.setActiveSwapFiles({});
    }

    RunContext context(Archivers& archivers) {
        return RunContext{options, libraries, archivers, targets, outputs, log, host};
    }

    // Creates a file under the fixture's folder and returns its path.
    QString file(const QString& relative, const QByteArray& data = "data") {
        const QString path = dir.path() + "/" + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        return path;
    }
    void addTargets(const QStringList& paths) {
        for (const QString& p : paths)
            ASSERT_TRUE(targets.ListInAdd(p));
    }
};

} // namespace dravonel::testing
