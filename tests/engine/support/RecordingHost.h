#pragma once

// A copy window stand-in for the worker: records every announcement in the order it arrived, and
// can stop the worker inside an announcement until the test lets it go on.

#include "SyncPass.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace doplet::test {

// Generous bound for waits that must succeed; reaching it means the engine hangs.
inline constexpr std::chrono::milliseconds kHangLimit{60'000};
// How long a test watches for something that must not happen.
inline constexpr std::chrono::milliseconds kQuietPeriod{200};

// A one-shot barrier a worker stops at: the test learns that the worker arrived and opens it.
class Gate final {
public:
    void arriveAndWait(); // worker side: note the arrival, wait until the gate is open
    bool waitUntilArrived(std::chrono::milliseconds timeout);
    void open();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool arrived_ = false;
    bool open_ = false;
};

class RecordingHost final : public PassHost {
public:
    void announceStart() override;
    void announceLine(LogLine line) override;
    void announceCompletion() override { record("completion"); }
    void announceFatal(std::string errorClass, std::string message) override {
        record("fatal " + errorClass + ": " + message);
    }
    void workerEnded() override { record("ended"); }

    // "start", "line <text>", "completion", "fatal <class>: <message>", "ended", in order.
    [[nodiscard]] std::vector<std::string> events() const;
    [[nodiscard]] std::vector<std::string> lines() const;
    [[nodiscard]] bool completed() const;
    // True when any announcement came after workerEnded.
    [[nodiscard]] bool calledAfterEnd() const;

    bool waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForEnd(std::chrono::milliseconds timeout = kHangLimit) const;

    // Makes the start announcement, or the log line with this index, wait at the gate.
    Gate& blockAtStart();
    Gate& blockAtLine(std::size_t index);

private:
    // Records an event (a line's text when `line`); true when it is to wait at its gate.
    bool record(std::string event, const std::string* line = nullptr);

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
