// What every archiver module shares: the exported-symbol macro, the progress
// callback type, and the per-module call state (running flag, progress hook).
#pragma once

#include "results.h"

#include <atomic>
#include <mutex>
#include <new>
#include <system_error>

namespace arc {

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

// One per module: whether a call is in progress and which hook is installed.
class ModuleState {
public:
    void setProgress(ArcProgressFn fn, void* user) {
        std::lock_guard<std::mutex> lock(mutex_);
        fn_ = fn;
        user_ = user;
    }
    Progress makeProgress(unsigned long long total) {
        std::lock_guard<std::mutex> lock(mutex_);
        return Progress(fn_, user_, total);
    }
    int running() const { return running_.load() ? 1 : 0; }

    // One call of the module's operation: a second call while one is in
    // progress is refused, a given output buffer is emptied, a missing command
    // line is refused, and a failure to allocate memory or to start a helper
    // thread becomes a result code instead of an exception across the C border.
    template <typename Run>
    int call(const char* cmdLine, char* output, unsigned long outputSize, Run&& run);

    // Marks a call as running for the lifetime of the guard; `acquired()` is
    // false when another call was already in progress.
    class Guard {
    public:
        explicit Guard(ModuleState& state) : state_(state) {
            bool expected = false;
            acquired_ = state_.running_.compare_exchange_strong(expected, true);
        }
        ~Guard() {
            if (acquired_)
                state_.running_.store(false);
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        bool acquired() const { return acquired_; }

    private:
        ModuleState& state_;
        bool acquired_ = false;
    };

private:
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    ArcProgressFn fn_ = nullptr;
    void* user_ = nullptr;
};

template <typename Run>
int ModuleState::call(const char* cmdLine, char* output, unsigned long outputSize, Run&& run) {
    Guard guard(*this);
    if (!guard.acquired())
        return kErrAlreadyRunning;
    if (output && outputSize > 0)
        output[0] = '\0';
    if (!cmdLine)
        return kErrCommand;
    try {
        return run(cmdLine);
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    } catch (const std::system_error&) {
        return kErrNoMemory;
    }
}

} // namespace arc
