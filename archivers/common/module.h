// What every archiver module shares: the progress reporting of one call and the
// per-module call state (calls in progress, progress hooks).
#pragma once

#include "results.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>

namespace arc {

// One member's line of a listing (arc_module.h): `crc` in `crcDigits`
// hexadecimal digits, `name` the whole stored path as UTF-8.
std::string listingLine(uint32_t crc, int crcDigits, uint64_t size, uint64_t packed,
                        const std::string& method, long long mtime, const std::string& name);

// Progress reporting for one call: forwards to the installed hook.
class Progress {
public:
    Progress(ArcProgressFn fn, void* user, unsigned long long total)
        : fn_(fn), user_(user), total_(total) {}

    // Reports progress; returns true when the caller asked to cancel.
    bool report(const char* member, unsigned long long done) {
        if (cancelled_)
            return true;
        if (fn_ && fn_(user_, member, done, total_) != 0)
            cancelled_ = true;
        return cancelled_;
    }
    bool cancelled() const { return cancelled_; }
    void setTotal(unsigned long long total) { total_ = total; }
    unsigned long long total() const { return total_; }

private:
    ArcProgressFn fn_;
    void* user_;
    unsigned long long total_;
    bool cancelled_ = false;
};

// The hook a call brought with it, for the thread the call runs on.
struct CallHook {
    bool active = false;
    ArcProgressFn fn = nullptr;
    void* user = nullptr;
};

// One per module: how many calls are in progress and which hook the plain
// operation reports to.
class ModuleState {
public:
    void setProgress(ArcProgressFn fn, void* user) {
        std::lock_guard<std::mutex> lock(mutex_);
        fn_ = fn;
        user_ = user;
    }
    // The progress of the call running on this thread: its own hook when it
    // came with one, the installed hook otherwise.
    Progress makeProgress(unsigned long long total) {
        if (callHook_.active)
            return Progress(callHook_.fn, callHook_.user, total);
        std::lock_guard<std::mutex> lock(mutex_);
        return Progress(fn_, user_, total);
    }
    int running() const { return calls_.load() > 0 ? 1 : 0; }

    // One call of the plain operation: refused while any call is in progress,
    // reports to the installed hook.
    template <typename Run>
    int call(const char* cmdLine, char* output, unsigned long outputSize, Run&& run) {
        Guard guard(*this, true);
        if (!guard.acquired())
            return kErrAlreadyRunning;
        return runGuarded(cmdLine, output, outputSize, run);
    }

    // One call with a hook of its own (null: no progress). Such calls run side
    // by side on as many threads as the caller likes.
    template <typename Run>
    int callWithHook(ArcProgressFn fn, void* user, const char* cmdLine, char* output,
                     unsigned long outputSize, Run&& run) {
        Guard guard(*this, false);
        callHook_ = CallHook{true, fn, user};
        const int rc = runGuarded(cmdLine, output, outputSize, run);
        callHook_ = CallHook{};
        return rc;
    }

private:
    // Counts a call for its lifetime; an exclusive guard is not acquired when
    // another call is already in progress.
    class Guard {
    public:
        Guard(ModuleState& state, bool exclusive) : state_(state) {
            int none = 0;
            acquired_ = exclusive ? state_.calls_.compare_exchange_strong(none, 1)
                                  : (state_.calls_.fetch_add(1), true);
        }
        ~Guard() {
            if (acquired_)
                state_.calls_.fetch_sub(1);
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        bool acquired() const { return acquired_; }

    private:
        ModuleState& state_;
        bool acquired_ = false;
    };

    // A given output buffer is emptied, a missing command line is refused,
    // and a failure to allocate memory or to start a helper thread becomes a
    // result code instead of an exception across the C border. The text a
    // call hands back goes into the buffer when it fits, else the call
    // returns kErrOutputSmall with the size it needs there.
    template <typename Run>
    static int runGuarded(const char* cmdLine, char* output, unsigned long outputSize, Run& run) {
        if (output && outputSize > 0)
            output[0] = '\0';
        if (!cmdLine)
            return kErrCommand;
        try {
            std::string text;
            const int rc = run(cmdLine, text);
            if (text.empty())
                return rc;
            if (output && text.size() < outputSize) {
                std::memcpy(output, text.c_str(), text.size() + 1);
                return rc;
            }
            const std::string needed = std::to_string(text.size() + 1);
            if (output && needed.size() < outputSize)
                std::memcpy(output, needed.c_str(), needed.size() + 1);
            return kErrOutputSmall;
        } catch (const std::bad_alloc&) {
            return kErrNoMemory;
        } catch (const std::system_error&) {
            return kErrNoMemory;
        }
    }

    static inline thread_local CallHook callHook_;
    std::atomic<int> calls_{0};
    std::mutex mutex_;
    ArcProgressFn fn_ = nullptr;
    void* user_ = nullptr;
};

} // namespace arc

// Defines the five exports of a module (ARC_MODULE_FUNCTIONS in arc_module.h)
// over its call state STATE and its function RUN, which carries out one
// command line: int RUN(const char* cmdLine, std::string& output).
#define ARC_MODULE_EXPORTS(NAME, STATE, RUN, VERSION)                                              \
    ARC_EXPORT int NAME(void*, const char* cmdLine, char* output, unsigned long outputSize) {      \
        return (STATE).call(cmdLine, output, outputSize, RUN);                                     \
    }                                                                                              \
    ARC_EXPORT int NAME##Run(void*, const char* cmdLine, char* output, unsigned long outputSize,   \
                             ArcProgressFn progress, void* user) {                                 \
        return (STATE).callWithHook(progress, user, cmdLine, output, outputSize, RUN);             \
    }                                                                                              \
    ARC_EXPORT int NAME##GetRunning(void) {                                                        \
        return (STATE).running();                                                                  \
    }                                                                                              \
    ARC_EXPORT unsigned short NAME##GetVersion(void) {                                             \
        return (VERSION);                                                                          \
    }                                                                                              \
    ARC_EXPORT void NAME##SetProgress(ArcProgressFn fn, void* user) {                              \
        (STATE).setProgress(fn, user);                                                             \
    }
