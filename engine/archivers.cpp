#include "archivers.h"

#include "arc_module.h"
#include "paths.h"

#include <QFileInfo>
#include <QLibrary>

#include <algorithm>
#include <thread>

namespace dravonel {

namespace {

// Forwards a module's progress to the installed handler.
int progressTrampoline(void* user, const char* member, unsigned long long done,
                       unsigned long long total) {
    const auto* handler = static_cast<const ProgressHandler*>(user);
    if (!handler || !*handler)
        return 0;
    return (*handler)(Utf8Name(member ? member : ""), done, total) ? 1 : 0;
}

} // namespace

struct ModuleArchivers::Module {
    QLibrary library;
    ArcCommandFn call = nullptr;
    ArcRunningFn running = nullptr;
    ArcVersionFn version = nullptr;
    ArcSetProgressFn setProgress = nullptr;
    ArcRunFn run = nullptr; // optional: calls side by side

    // Loads `file` and resolves the operations named after `stem` ("Unlha",
    // "Zip", "UnZip"). Returns false with `error` set when any step fails.
    bool load(const QString& file, const char* stem, QString& error) {
        library.setFileName(file);
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!library.load()) {
            error = library.errorString();
            return false;
        }
        const QByteArray s(stem);
        call = reinterpret_cast<ArcCommandFn>(library.resolve(s.constData()));
        running = reinterpret_cast<ArcRunningFn>(library.resolve((s + "GetRunning").constData()));
        version = reinterpret_cast<ArcVersionFn>(library.resolve((s + "GetVersion").constData()));
        setProgress =
            reinterpret_cast<ArcSetProgressFn>(library.resolve((s + "SetProgress").constData()));
        run = reinterpret_cast<ArcRunFn>(library.resolve((s + "Run").constData()));
        if (!call || !running || !version || !setProgress) {
            error = file + QStringLiteral(": an operation is missing");
            library.unload();
            return false;
        }
        return true;
    }

    int invoke(const QString& commandLine, const ProgressHandler* handler) {
        const QByteArray line = commandLine.toUtf8();
        setProgress(progressTrampoline, const_cast<ProgressHandler*>(handler));
        const int rc = call(nullptr, line.constData(), nullptr, 0);
        setProgress(nullptr, nullptr);
        return rc;
    }

    // A call whose text comes back in a buffer, grown to the size the module
    // asks for.
    int invokeForText(const QString& commandLine, QByteArray& text) {
        const QByteArray line = commandLine.toUtf8();
        qsizetype size = 64 * 1024;
        for (int attempt = 0; attempt < 4; ++attempt) {
            text = QByteArray(size, '\0');
            const int rc = run ? run(nullptr, line.constData(), text.data(),
                                     static_cast<unsigned long>(text.size()), nullptr, nullptr)
                               : call(nullptr, line.constData(), text.data(),
                                      static_cast<unsigned long>(text.size()));
            if (rc != ARC_ERR_OUTPUT_SMALL) {
                text.truncate(qsizetype(qstrnlen(text.constData(), size_t(text.size()))));
                return rc;
            }
            bool ok = false;
            const qsizetype needed = QByteArray(text.constData()).toLongLong(&ok);
            if (!ok || needed <= size || needed > (qsizetype(1) << 30))
                return rc;
            size = needed;
        }
        return ARC_ERR_OUTPUT_SMALL;
    }

    int invokeWith(const QString& commandLine, const ProgressHandler& handler) {
        const QByteArray line = commandLine.toUtf8();
        return run(nullptr, line.constData(), nullptr, 0, progressTrampoline,
                   const_cast<ProgressHandler*>(&handler));
    }
};

ModuleArchivers::ModuleArchivers() = default;
ModuleArchivers::~ModuleArchivers() = default;

LibraryState ModuleArchivers::CheckLibraries(const QString& systemFolder) {
    LibraryState state;
    lha_.reset();
    zip_.reset();
    unzip_.reset();
    lastError_.clear();
    const QString folder =
        systemFolder.endsWith(QLatin1Char('/')) ? systemFolder : systemFolder + QLatin1Char('/');
    auto present = [&folder](const QString& name) {
        return !folder.isEmpty() && QFileInfo(folder + name).isFile();
    };

    if (present(kLhaModule)) {
        auto lha = std::make_unique<Module>();
        if (lha->load(folder + kLhaModule, "Unlha", lastError_)) {
            state.LhaAvailable = true;
            state.LhaVersion = lha->version();
            lha_ = std::move(lha);
        }
    }

    if (present(kZipCoreModule) && present(kZipModule) && present(kUnZipModule)) {
        auto zip = std::make_unique<Module>();
        auto unzip = std::make_unique<Module>();
        if (zip->load(folder + kZipModule, "Zip", lastError_) &&
            unzip->load(folder + kUnZipModule, "UnZip", lastError_)) {
            state.ZipAvailable = true;
            state.ZipVersion = zip->version();
            state.UnZipVersion = unzip->version();
            zip_ = std::move(zip);
            unzip_ = std::move(unzip);
        }
    }
    return state;
}

QString ModuleArchivers::withThreads(ArchiverModule which, const QString& commandLine) const {
    // Without the switch a module takes one thread per core, at most four
    // (unlha32.h, zip32j.h): the switch goes only where it takes fewer.
    const int threads = threadsPerCall_;
    const int byDefault = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    if (threads <= 0 || threads >= byDefault || which == ArchiverModule::UnZip)
        return commandLine;
    const QString option = QStringLiteral("-mt%1").arg(threads);
    if (which == ArchiverModule::Zip)
        return option + QLatin1Char(' ') + commandLine;
    // LHA: after the command word, before every name.
    const qsizetype blank = commandLine.indexOf(QLatin1Char(' '));
    return blank < 0 ? commandLine
                     : commandLine.left(blank + 1) + option + QLatin1Char(' ') +
                           commandLine.mid(blank + 1);
}

int ModuleArchivers::Unlha(const QString& commandLine) {
    return lha_ ? lha_->invoke(withThreads(ArchiverModule::Lha, commandLine), &handler_) : -1;
}

int ModuleArchivers::Zip(const QString& commandLine) {
    return zip_ ? zip_->invoke(withThreads(ArchiverModule::Zip, commandLine), &handler_) : -1;
}

int ModuleArchivers::UnZip(const QString& commandLine) {
    return unzip_ ? unzip_->invoke(commandLine, &handler_) : -1;
}

bool ModuleArchivers::UnlhaGetRunning() {
    return lha_ && lha_->running() != 0;
}
bool ModuleArchivers::ZipGetRunning() {
    return zip_ && zip_->running() != 0;
}
bool ModuleArchivers::UnZipGetRunning() {
    return unzip_ && unzip_->running() != 0;
}

void ModuleArchivers::setProgressHandler(ProgressHandler handler) {
    handler_ = std::move(handler);
}

int ModuleArchivers::listing(ArchiverModule which, const QString& commandLine, QByteArray& text) {
    Module* m = module(which);
    return m ? m->invokeForText(commandLine, text) : -1;
}

ModuleArchivers::Module* ModuleArchivers::module(ArchiverModule which) const {
    switch (which) {
    case ArchiverModule::Lha:
        return lha_.get();
    case ArchiverModule::Zip:
        return zip_.get();
    case ArchiverModule::UnZip:
        return unzip_.get();
    }
    return nullptr;
}

bool ModuleArchivers::canRunSideBySide(ArchiverModule which) const {
    const Module* m = module(which);
    return m && m->run;
}

int ModuleArchivers::runSideBySide(ArchiverModule which, const QString& commandLine,
                                   const ProgressHandler& handler) {
    Module* m = module(which);
    return m && m->run ? m->invokeWith(withThreads(which, commandLine), handler) : -1;
}

} // namespace dravonel
