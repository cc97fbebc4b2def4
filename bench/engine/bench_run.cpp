// The run's own cost per archive: AutoRun in the FileN mode over up to 1,000
// small files, with the real modules behind a timing wrapper. Prints the run's
// total time, the time spent inside the modules, and the difference per archive.
//   bench_run MODULE_DIR OUT_DIR FILE...
#include "archivers.h"
#include "host.h"
#include "memory_settings_store.h"
#include "options.h"
#include "result_log.h"
#include "run.h"
#include "settings.h"
#include "system_folders.h"
#include "target_list.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>

using namespace dravonel;
using Clock = std::chrono::steady_clock;

namespace {

class TimedArchivers : public Archivers {
public:
    explicit TimedArchivers(Archivers& inner) : inner_(inner) {}
    double seconds = 0;
    int calls = 0;
    int Unlha(const QString& c) override {
        return timed([&] { return inner_.Unlha(c); });
    }
    int Zip(const QString& c) override {
        return timed([&] { return inner_.Zip(c); });
    }
    int UnZip(const QString& c) override {
        return timed([&] { return inner_.UnZip(c); });
    }
    bool UnlhaGetRunning() override { return inner_.UnlhaGetRunning(); }
    bool ZipGetRunning() override { return inner_.ZipGetRunning(); }
    bool UnZipGetRunning() override { return inner_.UnZipGetRunning(); }
    void setProgressHandler(ProgressHandler h) override { inner_.setProgressHandler(std::move(h)); }
    int listing(ArchiverModule m, const QString& c, QByteArray& text) override {
        return inner_.listing(m, c, text);
    }

private:
    template <typename F> int timed(F f) {
        const auto start = Clock::now();
        const int rc = f();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++calls;
        return rc;
    }
    Archivers& inner_;
};

class QuietHost : public RunHost {
public:
    void showMessage(const QString& t) override { std::fprintf(stderr, "%s\n", qPrintable(t)); }
    bool askYesNo(const QString&) override { return false; }
    void lockInterface() override {}
    void unlockInterface() override {}
    void yield() override { QCoreApplication::processEvents(); }
    QString archiveName() override { return QString(); }
    QString askArchiveName() override { return QString(); }
    void scrollTargetToTop(int) override {}
    void progress(const RunProgress&) override {}
    void runFinished() override {}
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: bench_run MODULE_DIR OUT_DIR FILE...\n");
        return 2;
    }
    ModuleArchivers modules;
    const LibraryState libraries = modules.CheckLibraries(args.at(1));
    if (!libraries.LhaAvailable) {
        std::fprintf(stderr, "no LHA module in %s\n", qPrintable(args.at(1)));
        return 2;
    }
    TimedArchivers timed(modules);
    MemorySettingsStore store;
    OptionSet options;
    LoadSettings(store, options, TempFolder());
    QuietHost host;
    TargetList targets(&host);
    OutputList outputs;
    ResultLog log;
    for (const QString& f : args.mid(3))
        targets.ListInAdd(f);
    CompressionRun run(RunContext{options, libraries, timed, targets, outputs, log, host});

    const auto start = Clock::now();
    const bool finished = run.runWithoutWindows(kModeFileN, args.at(2)).finished;
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    const int n = timed.calls > 0 ? timed.calls : 1;
    std::printf("archives %d  finished %s  total %.3f s  in modules %.3f s  "
                "run's own %.3f ms per archive  module %.3f ms per archive\n",
                timed.calls, finished ? "yes" : "no", total, timed.seconds,
                (total - timed.seconds) * 1000 / n, timed.seconds * 1000 / n);
    return finished ? 0 : 1;
}
