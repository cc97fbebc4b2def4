#include "archivers.h"

#include <gtest/gtest.h>

#include <QLibrary>

#include <atomic>
#include <thread>

using namespace dravonel;

namespace {

QString fakes(const char* set) {
    return QStringLiteral(FAKE_MODULES "/") + set;
}

// Resolves a control of a fake module already loaded by the binding.
template <typename Fn> Fn control(const char* set, const char* file, const char* name) {
    QLibrary lib(fakes(set) + "/" + file);
    EXPECT_TRUE(lib.load()) << lib.errorString().toStdString();
    return reinterpret_cast<Fn>(lib.resolve(name));
}

} // namespace

TEST(CheckLibraries, AllModulesPresentGiveTheirVersions) {
    ModuleArchivers modules;
    const LibraryState s = modules.CheckLibraries(fakes("complete"));
    EXPECT_TRUE(s.LhaAvailable);
    EXPECT_EQ(s.LhaVersion, 123);
    EXPECT_TRUE(s.ZipAvailable);
    EXPECT_EQ(s.ZipVersion, 145);
    EXPECT_EQ(s.UnZipVersion, 167);
}

TEST(CheckLibraries, MissingBrokenOrIncompleteModulesCountAsMissing) {
    ModuleArchivers modules;
    LibraryState s = modules.CheckLibraries(fakes("nothing-here"));
    EXPECT_FALSE(s.LhaAvailable);
    EXPECT_FALSE(s.ZipAvailable);
    EXPECT_EQ(modules.Unlha("u x"), -1);
    EXPECT_EQ(modules.Zip("-j x"), -1);
    EXPECT_FALSE(modules.UnlhaGetRunning());

    s = modules.CheckLibraries(fakes("broken"));
    EXPECT_FALSE(s.LhaAvailable);
    EXPECT_EQ(s.LhaVersion, 0);

    s = modules.CheckLibraries(fakes("partial"));
    EXPECT_FALSE(s.LhaAvailable) << "a module without all its operations is unusable";

    s = modules.CheckLibraries(fakes("noizip"));
    EXPECT_TRUE(s.LhaAvailable);
    EXPECT_FALSE(s.ZipAvailable) << "the ZIP module needs its companion beside it";
    EXPECT_EQ(s.ZipVersion, 0);

    s = modules.CheckLibraries(QString());
    EXPECT_FALSE(s.LhaAvailable) << "no folder: nothing is looked up elsewhere";
}

TEST(ModuleCalls, PassUtf8CommandLinesReportBusyAndForwardProgress) {
    ModuleArchivers modules;
    ASSERT_TRUE(modules.CheckLibraries(fakes("complete")).LhaAvailable);
    auto command = control<const char* (*)(int)>("complete", "libunlha32.so", "UnlhaFakeCommand");
    auto calls = control<int (*)()>("complete", "libunlha32.so", "UnlhaFakeCalls");
    auto setResult = control<void (*)(int)>("complete", "libunlha32.so", "UnlhaFakeSetResult");
    auto setRunning = control<void (*)(int)>("complete", "libunzip32.so", "UnZipFakeSetRunning");
    ASSERT_TRUE(command && calls && setResult && setRunning);

    setResult(3);
    const QString line = QStringLiteral("u -+ -a1 \"-w/tmp/\" \"/o/日本.LZH\" \"@/tmp/R\"");
    EXPECT_EQ(modules.Unlha(line), 3);
    EXPECT_EQ(QString::fromUtf8(command(calls() - 1)), line);

    setRunning(1);
    EXPECT_TRUE(modules.UnZipGetRunning());
    EXPECT_FALSE(modules.ZipGetRunning());
    setRunning(0);

    std::atomic<int> seen{0};
    modules.setProgressHandler([&seen](const QString& member, quint64 done, quint64 total) {
        EXPECT_EQ(member, "member.txt");
        EXPECT_EQ(done, 50u);
        EXPECT_EQ(total, 100u);
        ++seen;
        return true; // cancel
    });
    EXPECT_EQ(modules.Zip("-j -S -9  \"/o/a.ZIP\" \"/f\""), 32800);
    EXPECT_EQ(seen.load(), 1);
    modules.setProgressHandler(nullptr);
    setResult(0);
    EXPECT_EQ(modules.Unlha("x"), 0);
}

TEST(ModuleCalls, ArchiveMakingCallsCarryTheThreadsPerCall) {
    ModuleArchivers modules;
    ASSERT_TRUE(modules.CheckLibraries(fakes("complete")).ZipAvailable);
    auto lha = control<const char* (*)(int)>("complete", "libunlha32.so", "UnlhaFakeCommand");
    auto lhaCalls = control<int (*)()>("complete", "libunlha32.so", "UnlhaFakeCalls");
    auto zip = control<const char* (*)(int)>("complete", "libzip32j.so", "ZipFakeCommand");
    auto zipCalls = control<int (*)()>("complete", "libzip32j.so", "ZipFakeCalls");
    ASSERT_TRUE(lha && lhaCalls && zip && zipCalls);

    // One thread a call: fewer than the modules take by themselves on any
    // machine of more than one core.
    modules.setThreadsPerCall(1);
    modules.Unlha("u -+ \"/o/-mt.LZH\" \"@/tmp/R\"");
    const bool several = std::thread::hardware_concurrency() > 1;
    EXPECT_STREQ(lha(lhaCalls() - 1), several ? "u -mt1 -+ \"/o/-mt.LZH\" \"@/tmp/R\""
                                              : "u -+ \"/o/-mt.LZH\" \"@/tmp/R\"");
    modules.Zip("-j -S -9  \"/o/a.ZIP\" -- \"/f\"");
    EXPECT_STREQ(zip(zipCalls() - 1), several ? "-mt1 -j -S -9  \"/o/a.ZIP\" -- \"/f\""
                                              : "-j -S -9  \"/o/a.ZIP\" -- \"/f\"");
    // As many as the modules take anyway, or none given: no switch.
    for (int threads : {64, 0}) {
        modules.setThreadsPerCall(threads);
        modules.Unlha("u -+ \"/o/A.LZH\"");
        EXPECT_STREQ(lha(lhaCalls() - 1), "u -+ \"/o/A.LZH\"");
    }
}
