#pragma once

// A copy window stand-in for the worker: records every announcement in the order it arrived, and
// can stop the worker inside an announcement until the test lets it go on.

#include "SyncPass.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace doplet::test {

// Generous bound for waits that must succeed; reaching it means the engine hangs.
inline constexpr std::chrono::milliseconds kHangLimit{60'000};
// How long a test watches for something that must not happen.
inline constexpr std::chrono::milliseconds kQuietPeriod{200};

// A one-shot barrier a worker stops at: the test learns that the worker arrived and opens it.
class Gate final {
public:
    void arriveAndWait() { // worker side: note the arrival, wait until the gate is open
        std::unique_lock lock(mutex_);
        arrived_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    bool waitUntilArrived(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return arrived_; });
    }
    void open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool arrived_ = false;
    bool open_ = false;
};

class RecordingHost final : public PassHost {
public:
    void announceStart() override {
        if (record("start")) {
            startGate_.arriveAndWait();
        }
    }
    void announceLine(LogLine line) override {
        const std::string text = line.text();
        if (record("line " + text, &text)) {
            lineGate_.arriveAndWait();
        }
    }
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
    // True when any announcement came after workerEnded.
    [[nodiscard]] bool calledAfterEnd() const { return locked(afterEnd_); }

    bool waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
    }
    bool waitForEnd(std::chrono::milliseconds timeout = kHangLimit) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return ended_; });
    }

    // Makes the start announcement, or the log line with this index, wait at the gate.
    Gate& blockAtStart() {
        const std::lock_guard lock(mutex_);
        blockStart_ = true;
        return startGate_;
    }
    Gate& blockAtLine(std::size_t index) {
        const std::lock_guard lock(mutex_);
        blockLine_ = index;
        return lineGate_;
    }

private:
    template <typename T> T locked(const T& value) const {
        const std::lock_guard lock(mutex_);
        return value;
    }
    // Records an event (a line's text when `line`); true when it is to wait at its gate.
    bool record(std::string event, const std::string* line = nullptr) {
        const std::lock_guard lock(mutex_);
        afterEnd_ = afterEnd_ || ended_;
        ended_ = ended_ || event == "ended";
        const bool block =
            line != nullptr ? blockLine_ == lines_.size() : event == "start" && blockStart_;
        if (line != nullptr) {
            lines_.push_back(*line);
        }
        events_.push_back(std::move(event));
        changed_.notify_all();
        return block;
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<std::string> lines_;
    bool ended_ = false;
    bool afterEnd_ = false;
    Gate startGate_;
    bool blockStart_ = false;
    Gate lineGate_;
    std::size_t blockLine_ = SIZE_MAX;
};

} // namespace doplet::test
