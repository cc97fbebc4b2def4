// Dravonel2: the program's entry.
#include "archivers.h"
#include "batch.h"
#include "frmDravonel.h"
#include "ini_settings_store.h"
#include "options.h"
#include "program.h"
#include "system_folders.h"
#include "termination.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>
#include <QStringList>

#include <cstdio>

using namespace dravonel;

namespace {

// The window's arguments as the rest of the program takes them: "/U" alone as
// it is, every other argument made absolute against the current folder, so a
// name typed in a terminal means the same file to the target list and to a job.
QStringList windowArguments(const QStringList& arguments) {
    if (arguments.size() == 1 && arguments.first().toUpper() == QLatin1String("/U"))
        return arguments;
    QStringList absolute;
    for (const QString& a : arguments)
        absolute << (a.isEmpty() ? a : QFileInfo(a).absoluteFilePath());
    return absolute;
}

} // namespace

int main(int argc, char* argv[]) {
    const QString first = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (first == QLatin1String("--help") || first == QLatin1String("--version")) {
        const QByteArray text =
            (first == QLatin1String("--help") ? usageText() : versionText() + '\n').toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return 0;
    }
    if (first == QLatin1String("--batch")) {
        // No display needed: the batch run is QtCore only.
        QCoreApplication app(argc, argv);
        return runBatch(app.arguments().mid(1));
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dravonel2"));
    // The stored default face is the Windows one; a Japanese face of this
    // desktop stands in for it.
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"),
                               {QStringLiteral("IPAMincho"), QStringLiteral("IPAexMincho"),
                                QStringLiteral("Noto Serif CJK JP"), QStringLiteral("IPAGothic")});
    TerminationWatcher termination;

    IniSettingsStore store;
    OptionSet options;
    LibraryState libraries;
    ModuleArchivers modules;
    Program program{store, options, libraries, modules};
    program.tempFolder = TempFolder;
    program.checkLibraries = [&modules] { return modules.CheckLibraries(SystemFolder()); };

    frmDravonel window(program);
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &window, [&window] {
        // Leave whatever modal loop is running, then close the window the
        // normal way, so the settings are saved.
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        if (window.isVisible())
            window.close();
        else
            QApplication::quit();
    });

    const int status = window.MDIForm_Load(windowArguments(app.arguments().mid(1)));
    store.sync();
    if (status != frmDravonel::kGoOn)
        return status;
    window.show();
    const int result = app.exec();
    store.sync();
    return result;
}
