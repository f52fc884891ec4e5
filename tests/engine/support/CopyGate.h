#pragma once

// A gate in the file system that holds the copies of a pass at their start, for tests that must
// act while copies are under way.

#include "FaultyFileSystem.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

namespace doplet::test {

// Holds every copy of a pass at its start until the test allows it: copy n (counted from 1) runs
// once n copies are allowed. Copies are counted as they begin, or, with `turnOf`, numbered by
// their entry: several workers begin them in any order. Declare it after what owns the file system
// it gates.
struct CopyGate {
    explicit CopyGate(FaultyFileSystem& fs, std::function<int(std::string_view)> turnOf = {}) {
        s_->turnOf = std::move(turnOf);
        // The hooks share the state, so a copy that runs after the gate has gone finds it there.
        fs.beforeCopy([s = s_](std::string_view entry, std::string_view) {
            std::unique_lock lock(s->mutex);
            const int number = s->turnOf ? (++s->started, s->turnOf(entry)) : ++s->started;
            s->changed.notify_all();
            s->changed.wait_for(lock, std::chrono::seconds(30),
                                [&] { return s->allowed >= number; });
        });
        fs.afterCopy([s = s_](std::string_view, std::string_view) {
            const std::lock_guard lock(s->mutex);
            ++s->ended;
            s->changed.notify_all();
        });
    }
    ~CopyGate() { allow(1'000'000); }

    void allow(int copies) {
        const std::lock_guard lock(s_->mutex);
        s_->allowed += copies;
        s_->changed.notify_all();
    }
    // Wait until this many copies have begun (are waiting at the gate or past it) / have ended.
    bool waitStarted(int copies) { return until(&State::started, copies); }
    bool waitEnded(int copies) { return until(&State::ended, copies); }
    [[nodiscard]] int started() const {
        const std::lock_guard lock(s_->mutex);
        return s_->started;
    }

    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        int allowed = 0, started = 0, ended = 0;
        std::function<int(std::string_view)> turnOf;
    };
    bool until(int State::*count, int copies) {
        std::unique_lock lock(s_->mutex);
        return s_->changed.wait_for(lock, std::chrono::seconds(30),
                                    [&] { return (*s_).*count >= copies; });
    }
    std::shared_ptr<State> s_ = std::make_shared<State>();
};

} // namespace doplet::test
