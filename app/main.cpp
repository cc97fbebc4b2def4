// Dravonel2: start-up and shutdown of the program.
#include "archivers.h"
#include "ini_settings_store.h"
#include "message_box.h"
#include "messages.h"
#include "options.h"
#include "settings.h"
#include "system_folders.h"
#include "termination.h"

#include <QApplication>
#include <QMainWindow>
#include <QWidget>

using namespace dravonel;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dravonel2"));
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app, [] {
        // Leave whatever modal loop is running, then the main loop.
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        QApplication::quit();
    });

    IniSettingsStore store;
    OptionSet options;
    LoadSettings(store, options, TempFolder());

    ModuleArchivers archivers;
    const LibraryState libraries = archivers.CheckLibraries(SystemFolder());
    if (!libraries.LhaAvailable) {
        showMessage(nullptr, resDravonel(205));
        return 1;
    }

    QMainWindow window;
    window.setWindowTitle(resDravonel(9999));
    window.resize(640, 480);
    window.show();
    const int status = app.exec();

    SaveSettings(store, options);
    store.sync();
    return status;
}
