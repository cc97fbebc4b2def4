// The program's side of the archiver modules: which are there, their versions,
// and the calls the run makes.
//
// The modules are shared objects in the system folder: libunlha32.so (LHA),
// libzip32j.so with its companion libizip32j.so (ZIP), and libunzip32.so (ZIP
// extraction). Only the files in that folder count; a module found elsewhere on
// the library path is treated as missing.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>

namespace dravonel {

// Set once at start-up by CheckLibraries.
struct LibraryState {
    bool LhaAvailable = false;
    quint16 LhaVersion = 0;
    bool ZipAvailable = false;
    quint16 ZipVersion = 0;
    quint16 UnZipVersion = 0;
};

// Progress of a module call: member, bytes done, total bytes of the call.
// Returning true asks the module to cancel the call (it then returns 32800).
using ProgressHandler = std::function<bool(const QString& member, quint64 done, quint64 total)>;

// The modules a run calls.
enum class ArchiverModule { Lha, Zip, UnZip };

// The calls the run makes. Command lines are passed as UTF-8.
class Archivers {
public:
    virtual ~Archivers() = default;
    virtual int Unlha(const QString& commandLine) = 0;
    virtual int Zip(const QString& commandLine) = 0;
    virtual int UnZip(const QString& commandLine) = 0;
    virtual bool UnlhaGetRunning() = 0;
    virtual bool ZipGetRunning() = 0;
    virtual bool UnZipGetRunning() = 0;
    // Installs the handler for the calls that follow (none: no progress).
    virtual void setProgressHandler(ProgressHandler handler) = 0;
    // Runs a command that hands back text (a listing) into `text`, without
    // progress, from any thread and beside other calls where the module
    // allows; returns the module's result code.
    virtual int listing(ArchiverModule module, const QString& commandLine, QByteArray& text) = 0;

    // Whether `module` takes calls side by side, each with a handler of its
    // own; only then may runSideBySide be used, from any thread.
    virtual bool canRunSideBySide(ArchiverModule) const { return false; }
    virtual int runSideBySide(ArchiverModule, const QString& /*commandLine*/,
                              const ProgressHandler& /*handler*/) {
        return -1;
    }
    // The most threads each archive-making call that follows may use, the
    // calling thread included (the modules' -mt switch, added where it takes
    // fewer than the modules would by themselves), so that the calls in
    // flight together stay within the run's thread budget; 0 leaves it to the
    // modules.
    virtual void setThreadsPerCall(int /*threads*/) {}
};

inline const QString kLhaModule = QStringLiteral("libunlha32.so");
inline const QString kZipModule = QStringLiteral("libzip32j.so");
inline const QString kZipCoreModule = QStringLiteral("libizip32j.so");
inline const QString kUnZipModule = QStringLiteral("libunzip32.so");

// The modules loaded from one folder. A call to a module that is not loaded
// returns -1 (the program's own "library missing" marker).
class ModuleArchivers : public Archivers {
public:
    ModuleArchivers();
    ~ModuleArchivers() override;

    // Looks for the modules in `systemFolder` and loads those that are there.
    // LHA: the file must exist and load with its operations; otherwise LHA is
    // unavailable. ZIP: the ZIP module, its companion and the extractor must
    // all exist and load; otherwise ZIP is unavailable (LHA is not affected).
    LibraryState CheckLibraries(const QString& systemFolder);

    int Unlha(const QString& commandLine) override;
    int Zip(const QString& commandLine) override;
    int UnZip(const QString& commandLine) override;
    bool UnlhaGetRunning() override;
    bool ZipGetRunning() override;
    bool UnZipGetRunning() override;
    void setProgressHandler(ProgressHandler handler) override;
    int listing(ArchiverModule module, const QString& commandLine, QByteArray& text) override;
    bool canRunSideBySide(ArchiverModule module) const override;
    int runSideBySide(ArchiverModule module, const QString& commandLine,
                      const ProgressHandler& handler) override;
    void setThreadsPerCall(int threads) override { threadsPerCall_ = threads; }

    // Why the last CheckLibraries found a module unusable (for diagnostics).
    QString lastError() const { return lastError_; }

private:
    struct Module;
    Module* module(ArchiverModule which) const;
    // The command line with the thread switch of an archive-making module.
    QString withThreads(ArchiverModule which, const QString& commandLine) const;
    std::unique_ptr<Module> lha_, zip_, unzip_;
    std::atomic<int> threadsPerCall_{0};
    ProgressHandler handler_;
    QString lastError_;
};

} // namespace dravonel
