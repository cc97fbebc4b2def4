// Stand-ins for what the dialogs reach: an in-memory settings store, archiver
// modules that are never called, the main window's side, and boxes answered
// from a script.
#pragma once

#include "archivers.h"
#include "dialog_host.h"
#include "dialog_support.h"
#include "host.h"
#include "memory_settings_store.h"
#include "options.h"
#include "program.h"

#include <QStringList>

#include <functional>
#include <map>
#include <tuple>

namespace dravonel::testing {

// The in-memory store, with shortcuts to the program's own section.
class MemoryStore : public MemorySettingsStore {
public:
    QString current(const QString& key) { return read("Korvath's Soft", "Dravonel2", key, ""); }
    void setCurrent(const QString& key, const QString& value) {
        write("Korvath's Soft", "Dravonel2", key, value);
    }
};

class UnusedArchivers : public Archivers {
public:
    int Unlha(const QString&) override { return -1; }
    int Zip(const QString&) override { return -1; }
    int UnZip(const QString&) override { return -1; }
    bool UnlhaGetRunning() override { return false; }
    bool ZipGetRunning() override { return false; }
    bool UnZipGetRunning() override { return false; }
    void setProgressHandler(ProgressHandler) override {}
    int listing(ArchiverModule, const QString&, QByteArray&) override { return -1; }
};

class RecordingHost : public DialogHost {
public:
    QString inputFolder() override { return input; }
    QString outputFolder() override { return output; }
    void setOutputFolder(const QString& folder) override { outputSet.append(folder); }
    void refreshInputFolder() override { ++inputRefreshes; }
    void SetToolTipAll(bool tip) override {
        toolTipCalls.append(tip);
        if (onToolTips)
            onToolTips(tip);
    }
    void Pattern_Make() override { ++patternMakes; }
    void emptyTargetList() override { ++targetListEmptied; }

    QString input, output;
    QStringList outputSet;
    int inputRefreshes = 0;
    QList<bool> toolTipCalls;
    std::function<void(bool)> onToolTips;
    int patternMakes = 0;
    int targetListEmptied = 0;
};

// Input boxes take their answers in order; every box is recorded.
class ScriptedPrompts : public MessageHost {
public:
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& proposed) override {
        prompts.append(prompt);
        titles.append(title);
        proposals.append(proposed);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void showMessage(const QString& text) override { messages.append(text); }
    bool askYesNo(const QString& text) override {
        messages.append(text);
        return false;
    }

    QStringList answers;
    QStringList prompts, titles, proposals, messages;
};

// The program-wide state with the stored defaults of the options.
struct ProgramFixture {
    ProgramFixture() {
        options.UCase = true;
        options.AutoLog = true;
        options.Resize = true;
        options.Tip = true;
        options.Font_Name = QStringLiteral("ＭＳ 明朝");
        options.Font_Size = 10;
        libraries.LhaAvailable = true;
        libraries.ZipAvailable = true;
    }

    MemoryStore store;
    OptionSet options;
    LibraryState libraries;
    UnusedArchivers archivers;
    Program program{store, options, libraries, archivers};
    RecordingHost host;
};

} // namespace dravonel::testing
