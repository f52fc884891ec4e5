#include "th_copy1.h"

#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <typeinfo>
#include <utility>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#endif

namespace doplet {

void WorkerControl::hold() {
    const std::lock_guard lock(mutex_);
    held_ = !finished_;
    heldFlag_.store(held_);
}

void WorkerControl::release() {
    {
        const std::lock_guard lock(mutex_);
        held_ = false;
        heldFlag_.store(false);
    }
    changed_.notify_all();
}

void WorkerControl::requestStop() {
    stop_.store(true);
}

bool WorkerControl::stopRequested() const {
    return stop_.load();
}

bool WorkerControl::isHeld() const {
    return heldFlag_.load(); // held_, without the lock: the workers look before every entry
}

bool WorkerControl::finished() const {
    const std::lock_guard lock(mutex_);
    return finished_;
}

bool WorkerControl::waitUntilFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return finished_; });
}

void WorkerControl::waitWhileHeld() {
    if (!heldFlag_.load()) {
        return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !held_; });
}

void WorkerControl::markFinished() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

namespace {

std::string ClassNameOf(const std::exception& error) {
    const char* name = typeid(error).name();
#if __has_include(<cxxabi.h>)
    int status = 0;
    char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status == 0 && readable != nullptr) {
        std::string result(readable);
        std::free(readable); // NOLINT(cppcoreguidelines-no-malloc): allocated by the demangler
        return result;
    }
#endif
    return name;
}

} // namespace

th_Copy::th_Copy(std::shared_ptr<FileSystem> fs, PassInput input, std::shared_ptr<PassHost> host,
                 std::shared_ptr<WorkerControl> control, unsigned workers)
    : fs_(std::move(fs)), input_(std::move(input)), host_(std::move(host)),
      control_(std::move(control)), workers_(workers) {}

std::shared_ptr<WorkerControl> th_Copy::Start(std::shared_ptr<FileSystem> fs, PassInput input,
                                              std::shared_ptr<PassHost> host, unsigned workers) {
    auto control = std::make_shared<WorkerControl>();
    auto* worker = new th_Copy(std::move(fs), std::move(input), std::move(host), control, workers);
    try {
        std::thread([worker] { worker->Execute(); }).detach();
    } catch (...) {
        delete worker;
        throw;
    }
    return control;
}

void th_Copy::Execute() {
    try {
        RunPass(*fs_, input_, *host_, *control_, workers_);
    } catch (const std::exception& error) {
        host_->announceFatal(ClassNameOf(error), error.what());
    } catch (...) {
        host_->announceFatal("Exception", "");
    }
    host_->workerEnded();
    const std::shared_ptr<WorkerControl> control = control_;
    delete this; // the worker releases itself when its body returns
    control->markFinished();
}

} // namespace doplet
