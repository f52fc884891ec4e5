#pragma once

// The worker that runs one pass on a thread of its own, and the control block through which the
// copy window holds, releases and stops it.

#include "FileSystem.h"
#include "SyncPass.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace doplet {

// Shared by the window and the worker, so it stays safe to use after the worker has ended:
// holding, releasing or stopping an ended worker does nothing.
class WorkerControl final {
public:
    // Interface side. The stop request is set once and never cleared.
    void hold();
    void release();
    void requestStop();
    [[nodiscard]] bool stopRequested() const;
    [[nodiscard]] bool isHeld() const;
    [[nodiscard]] bool finished() const;
    // For tests and benchmarks only: the window never waits for a worker.
    bool waitUntilFinished(std::chrono::milliseconds timeout);

    // Worker side: waits, without spinning, while the hold is set.
    void waitWhileHeld();
    void markFinished();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    // Mirrors held_ so that the worker's check before every file costs no lock while not held.
    std::atomic<bool> heldFlag_{false};
    bool finished_ = false;
    std::atomic<bool> stop_{false};
};

class th_Copy final {
public:
    // Starts a pass on a new thread at once, copying `workers` files at a time. The worker frees
    // itself when its body returns.
    static std::shared_ptr<WorkerControl> Start(std::shared_ptr<FileSystem> fs, PassInput input,
                                                std::shared_ptr<PassHost> host,
                                                unsigned workers = DefaultWorkers());

    th_Copy(const th_Copy&) = delete;
    th_Copy& operator=(const th_Copy&) = delete;
    th_Copy(th_Copy&&) = delete;
    th_Copy& operator=(th_Copy&&) = delete;

private:
    th_Copy(std::shared_ptr<FileSystem> fs, PassInput input, std::shared_ptr<PassHost> host,
            std::shared_ptr<WorkerControl> control, unsigned workers);
    ~th_Copy() = default;

    // The thread body: the whole pass (RunPass), then the end announcement.
    void Execute();

    std::shared_ptr<FileSystem> fs_;
    PassInput input_;
    std::shared_ptr<PassHost> host_;
    std::shared_ptr<WorkerControl> control_;
    unsigned workers_;
};

} // namespace doplet
