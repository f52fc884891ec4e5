#include "CopyWindowLogic.h"

#include "Texts.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace doplet::frontend {

void CopyWindowLogic::FormShow() {
    if (running_ && !worker_->stopRequested()) {
        return; // the earlier pass goes on, and this window shows it
    }
    seams_.clearLog();
    if (running_) {
        pending_ = seams_.passInput(); // the aborted pass is finishing its file
        done_ = false;
        return;
    }
    startPass(seams_.passInput());
}

void CopyWindowLogic::startPass(PassInput input) {
    seams_.clearLog();
    roots_ = {input.folder1, input.folder2};
    worker_ = seams_.startWorker(std::move(input));
    running_ = true;
    done_ = false;
}

void CopyWindowLogic::BitBtn1Click() {
    if (done_) {
        seams_.closeWindow();
        return;
    }
    const std::shared_ptr<WorkerControl> worker = worker_;
    // Held while the question is open: no file starts and no line is added.
    struct Hold {
        WorkerControl* worker;
        explicit Hold(WorkerControl* w) : worker(w) {
            if (worker != nullptr) {
                worker->hold();
            }
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold(Hold&&) = delete;
        Hold& operator=(Hold&&) = delete;
        ~Hold() {
            if (worker != nullptr) {
                worker->release();
            }
        }
    };
    bool abort = false;
    {
        const Hold hold(worker.get());
        abort = seams_.askAbort();
        if (abort && worker) {
            worker->requestStop(); // seen before the next file, once released
        }
    }
    if (abort) {
        pending_.reset();
        seams_.closeWindow();
    }
}

void CopyWindowLogic::stopPass(std::function<void()> whenEnded) {
    pending_.reset();
    if (!running_) {
        whenEnded();
        return;
    }
    whenEnded_ = std::move(whenEnded);
    worker_->requestStop();
}

void CopyWindowLogic::passStarted() {
    seams_.setButtonCaption(texts::kAbortCaption);
}

void CopyWindowLogic::passLines(const std::vector<LogLine>& lines) {
    seams_.appendLines(lines);
}

void CopyWindowLogic::passCompleted() {
    seams_.setButtonCaption(texts::kDoneCaption);
    done_ = true;
}

void CopyWindowLogic::passFailed(const std::string& errorClass, const std::string& message) {
    seams_.endWithFatal(errorClass, message);
}

void CopyWindowLogic::passWorkerEnded() {
    running_ = false;
    if (whenEnded_) { // the program is closing: no pass taken at a showing meanwhile starts
        pending_.reset();
        std::exchange(whenEnded_, nullptr)();
    } else if (pending_) {
        PassInput input = std::move(*pending_);
        pending_.reset();
        startPass(std::move(input));
    }
}

namespace {

std::filesystem::path PathOf(std::string_view utf8) {
    return {std::u8string(utf8.begin(), utf8.end())};
}

// Whether `path` is `root` or lies below it, component by component.
bool Inside(const std::filesystem::path& path, const std::filesystem::path& root) {
    auto at = path.begin();
    for (const auto& part : root) {
        if (part.empty()) {
            continue; // a trailing separator
        }
        if (at == path.end() || *at != part) {
            return false;
        }
        ++at;
    }
    return true;
}

} // namespace

int RootHolding(std::string_view target, const std::array<std::string, 2>& roots) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(PathOf(target), error);
    if (error || target.empty()) {
        return 0;
    }
    for (std::size_t i = 0; i < roots.size(); ++i) {
        const std::filesystem::path root = std::filesystem::canonical(PathOf(roots[i]), error);
        if (!error && Inside(path, root)) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

} // namespace doplet::frontend
