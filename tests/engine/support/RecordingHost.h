#pragma once

// A copy window stand-in for the worker: records every announcement in the order it arrived, and
// can run a test's own step inside each announcement (to hold the worker there).

#include "SyncPass.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace doplet::test {

// Generous bound for waits that must succeed; reaching it means the engine hangs.
inline constexpr std::chrono::milliseconds kHangLimit{60'000};
// How long a test watches for something that must not happen.
inline constexpr std::chrono::milliseconds kQuietPeriod{200};

class RecordingHost final : public PassHost {
public:
    void announceStart() override { record("start"); }
    void announceLine(LogLine line) override { record("line " + line.text(), true); }
    void announceCompletion() override { record("completion"); }
    void announceFatal(std::string errorClass, std::string message) override {
        record("fatal " + errorClass + ": " + message);
    }
    void workerEnded() override { record("ended"); }

    // "start", "line <text>", "completion", "fatal <class>: <message>", "ended", in order.
    [[nodiscard]] std::vector<std::string> events() const { return locked(events_); }
    [[nodiscard]] std::vector<std::string> lines() const { return locked(lines_); }
    [[nodiscard]] bool completed() const {
        const std::vector<std::string> seen = events();
        return std::find(seen.begin(), seen.end(), "completion") != seen.end();
    }

    bool waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
    }
    bool waitForEnd(std::chrono::milliseconds timeout = kHangLimit) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return ended_; });
    }

    // Runs on the worker's thread after each announcement is recorded; set before the worker
    // starts.
    std::function<void()> onEvent;

private:
    template <typename T> T locked(const T& value) const {
        const std::lock_guard lock(mutex_);
        return value;
    }
    void record(std::string event, bool isLine = false) {
        {
            const std::lock_guard lock(mutex_);
            ended_ = ended_ || event == "ended";
            if (isLine) {
                lines_.push_back(event.substr(5));
            }
            events_.push_back(std::move(event));
            changed_.notify_all();
        }
        if (onEvent) {
            onEvent();
        }
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<std::string> lines_;
    bool ended_ = false;
};

} // namespace doplet::test
