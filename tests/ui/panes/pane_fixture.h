// The main window with its six panes over an in-memory store, with the boxes
// of the panes and the target list's limit message answered by the test.
#pragma once

#include "dialog_fixture.h"
#include "frmDravonel.h"
#include "host.h"
#include "mdiDir.h"
#include "mdiFile.h"
#include "mdiInFile.h"
#include "mdiOutFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace dravonel::testing {

class RecordingMessages : public MessageHost {
public:
    void showMessage(const QString& text) override { messages.append(text); }
    bool askYesNo(const QString&) override { return false; }
    QStringList messages;
};

struct PaneFixture : ProgramFixture {
    PaneFixture() { options.Filter = QStringLiteral("*.*"); }

    // Makes the main window; the panes are loaded by the test that needs them.
    void makeWindow() {
        main = std::make_unique<frmDravonel>(program);
        main->file()->list().setMessageHost(&limit);
        main->inDir()->setPrompts(prompts);
        main->outDir()->setPrompts(prompts);
        main->inFile()->setPrompts(prompts);
    }

    // Creates a file (and its folders) under the temporary folder; its path.
    QString touch(const QString& relative) {
        const QString path = tmp.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("x");
        return path;
    }
    QString folder(const QString& relative) {
        const QString path = tmp.filePath(relative);
        QDir().mkpath(path);
        return path;
    }

    QTemporaryDir tmp;
    ScriptedPrompts prompts;
    RecordingMessages limit;
    std::unique_ptr<frmDravonel> main;
};

} // namespace dravonel::testing
