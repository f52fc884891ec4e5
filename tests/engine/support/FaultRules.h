#pragma once

// Calls a test makes fail, shared by the Linux system-call layer and the Win32 one: for each kind
// of call, after how many calls it fails, how often and with which error, and a hook run just
// before every call. Each layer passes its calls through hit(), from any thread; a hook may run
// on several threads at once and must look after its own state.

#include <array>
#include <cstddef>
#include <functional>
#include <mutex>
#include <tuple>
#include <utility>

namespace doplet::test {

// `Kind`: an enum whose last member is Count; `Error`: the platform's error number, which
// `SetError` sets as the failing call's; `Args`: what the hook gets.
template <typename Kind, typename Error, void (*SetError)(Error), typename... Args>
class FaultRules {
public:
    // After `skip` calls of `kind` went through, the next `times` fail with `error`.
    void fail(Kind kind, Error error, int skip = 0, int times = 1 << 30) {
        const std::lock_guard lock(mutex_);
        std::tie(at(kind).error, at(kind).skip, at(kind).times) = std::tuple(error, skip, times);
    }
    // Runs `hook` just before every call of `kind`.
    void before(Kind kind, std::function<void(Args...)> hook) {
        const std::lock_guard lock(mutex_);
        at(kind).hook = std::move(hook);
    }
    // How many calls of `kind` there were since the last reset.
    [[nodiscard]] int count(Kind kind) {
        const std::lock_guard lock(mutex_);
        return at(kind).count;
    }
    // Back to plain calls; forgets the counts.
    void reset() {
        const std::lock_guard lock(mutex_);
        rules_ = {};
    }
    // Counts a call of `kind` and runs its hook; true, with the error set, when it is to fail.
    bool hit(Kind kind, Args... args) {
        Rule& rule = at(kind);
        std::unique_lock lock(mutex_);
        const int seen = rule.count++;
        if (rule.hook) { // unlocked: a hook makes calls of its own, or waits for other threads
            lock.unlock();
            rule.hook(args...);
            lock.lock();
        }
        if (rule.error == 0 || seen < rule.skip || rule.times <= 0) {
            return false;
        }
        --rule.times;
        SetError(rule.error);
        return true;
    }

private:
    struct Rule {
        Error error{};
        int skip = 0, times = 0, count = 0;
        std::function<void(Args...)> hook;
    };
    Rule& at(Kind kind) { return rules_[static_cast<std::size_t>(kind)]; }
    std::array<Rule, static_cast<std::size_t>(Kind::Count)> rules_{};
    std::mutex mutex_;
};

} // namespace doplet::test
