// Dravonel2: the program's entry.
#include "archivers.h"
#include "batch.h"
#include "dialog_support.h"
#include "drawn_icons.h"
#include "extract.h"
#include "frmDravonel.h"
#include "ini_settings_store.h"
#include "options.h"
#include "paths.h"
#include "program.h"
#include "system_folders.h"
#include "terminal_text.h"
#include "termination.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QStringList>
#include <QTranslator>

#include <cstdio>

using namespace dravonel;

namespace {

// The window's arguments as the rest of the program takes them: "/U" alone as
// it is, every other argument made absolute against the current folder, so a
// name typed in a terminal means the same file to the target list and to a job.
// The first "--" names no file: it ends the words the program takes as its own,
// so that files of any name can follow it.
QStringList windowArguments(const QStringList& arguments) {
    if (arguments.size() == 1 && arguments.first().toUpper() == QLatin1String("/U"))
        return arguments;
    const qsizetype end = arguments.indexOf(QLatin1String("--"));
    QStringList absolute;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (i != end)
            absolute << AbsolutePath(arguments.at(i));
    }
    return absolute;
}

// Picks the window system before Qt does, since Qt ends the process when it
// cannot reach one: Wayland where the session has it (X as the fallback), else
// X. A platform chosen in QT_QPA_PLATFORM is kept. Returns why there is no
// display to show the window on, or "".
QString chooseDisplay() {
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool x = !qEnvironmentVariableIsEmpty("DISPLAY");
    const QString chosen = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (chosen.isEmpty()) {
        if (wayland)
            qputenv("QT_QPA_PLATFORM", x ? "wayland;xcb" : "wayland");
        return wayland || x ? QString() : QStringLiteral("DISPLAY and WAYLAND_DISPLAY are unset");
    }
    QStringList needed; // the display variables of the platforms named, all unset
    for (const QString& entry : chosen.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString platform = entry.section(QLatin1Char(':'), 0, 0);
        if (platform.startsWith(QLatin1String("wayland")) && !wayland)
            needed << QStringLiteral("WAYLAND_DISPLAY");
        else if (platform == QLatin1String("xcb") && !x)
            needed << QStringLiteral("DISPLAY");
        else
            return QString(); // reachable, or a platform without a display server (offscreen)
    }
    if (needed.isEmpty()) // names no platform at all: Qt's own default
        return QString();
    return QStringLiteral("QT_QPA_PLATFORM=%1 needs %2, which is unset")
        .arg(chosen, needed.join(QStringLiteral(" or ")));
}

// The window's command line is files and "/U"; these four words are taken
// wherever they stand before "--", print their text and need no display.
bool printedHelpOrVersion(const QStringList& arguments) {
    // A first "--" ends them (indexOf gives -1, all of them, without one).
    for (const QString& a : arguments.mid(0, arguments.indexOf(QLatin1String("--")))) {
        const bool help = a == QLatin1String("-h") || a == QLatin1String("--help");
        if (help || a == QLatin1String("-V") || a == QLatin1String("--version")) {
            printHelpOrVersion(help);
            return true;
        }
    }
    return false;
}

// The application's name, icon and desktop entry, Qt's own texts in Japanese
// (loaded into `qtTranslation`, which must outlive the application's windows)
// and the stand-ins for the stored Windows font face.
void joinDesktop(QTranslator& qtTranslation) {
    QApplication::setApplicationName(QStringLiteral("Dravonel2"));
    // The Wayland application id names the desktop entry, so the desktop shows
    // its name and icon for the window (on X the entry's StartupWMClass does).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.korvath.Dravonel2"));
    // Every window shows the program's own icon (on X, where the desktop
    // entry does not name it).
    QApplication::setWindowIcon(programIcon());
    // Qt's own dialogs and buttons speak the program's language, whatever the
    // locale.
    if (!loadQtJapanese(qtTranslation))
        std::fputs("dravonel2: Qt's Japanese translation (qtbase_ja) is not installed; Qt's "
                   "dialogs stay in English\n",
                   stderr);
    // The stored default face is the Windows one; a Japanese face of this
    // desktop stands in for it.
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"),
                               {QStringLiteral("IPAMincho"), QStringLiteral("IPAexMincho"),
                                QStringLiteral("Noto Serif CJK JP"), QStringLiteral("IPAGothic")});
}

// The arguments after the program's name, each as DecodeOutsideName gives it:
// a name that is not UTF-8 keeps its bytes, so it is never taken for another
// file's and is shown as it is.
QStringList decodedArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << DecodeOutsideName(QByteArray(argv[i]));
    return arguments;
}

} // namespace

int main(int argc, char* argv[]) {
    const QStringList arguments = decodedArguments(argc, argv);
    if (arguments.value(0) == QLatin1String("--batch")) {
        // No display needed: the batch run is QtCore only.
        QCoreApplication app(argc, argv);
        return runBatch(decodedArguments(argc, argv));
    }
    if (isReadingCommand(arguments.value(0))) {
        // Listing, testing and extracting need no display either.
        QCoreApplication app(argc, argv);
        return runReading(decodedArguments(argc, argv));
    }
    if (printedHelpOrVersion(arguments))
        return 0;
    const QString noDisplay = chooseDisplay();
    if (!noDisplay.isEmpty()) {
        // The platform named comes from the environment: shown escaped.
        printTerminalLine(stderr, QStringLiteral("dravonel2: no display to show the window on "
                                                 "(%1); archive without one with --batch (see "
                                                 "--help)")
                                      .arg(noDisplay));
        return 1;
    }

    QApplication app(argc, argv);
    QTranslator qtTranslation;
    joinDesktop(qtTranslation);
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

    // Qt has taken its own options (such as -platform) out of argv by now.
    const int status = window.MDIForm_Load(windowArguments(decodedArguments(argc, argv)));
    store.sync();
    if (status != frmDravonel::kGoOn)
        return status;
    window.show();
    const int result = app.exec();
    store.sync();
    return result;
}
