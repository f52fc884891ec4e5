#pragma once

// The copy window's states and its button, free of any toolkit: each showing runs one pass, the
// button aborts the pass while it runs (after asking, the worker held meanwhile) and closes the
// window once the pass is done. Each window program plugs in its own list, button, question box
// and worker start through CopyWindowSeams.
//
// Never two passes at once: a showing while the earlier pass still runs shows that pass; a
// showing while an aborted pass finishes its current file starts the new pass once the old
// worker has ended.

#include "PassAnnouncements.h"
#include "SyncPass.h"
#include "th_copy1.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace doplet::frontend {

// What the logic asks of the window program, on the interface thread.
class CopyWindowSeams {
public:
    CopyWindowSeams() = default;
    CopyWindowSeams(const CopyWindowSeams&) = delete;
    CopyWindowSeams& operator=(const CopyWindowSeams&) = delete;
    CopyWindowSeams(CopyWindowSeams&&) = delete;
    CopyWindowSeams& operator=(CopyWindowSeams&&) = delete;
    virtual ~CopyWindowSeams() = default;

    // The main window's folder texts and lists as they stand.
    virtual PassInput passInput() = 0;
    // Starts a worker on the input whose announcements reach the logic's PassEvents.
    virtual std::shared_ptr<WorkerControl> startWorker(PassInput input) = 0;
    virtual void clearLog() = 0;
    virtual void appendLines(const std::vector<LogLine>& lines) = 0;
    virtual void setButtonCaption(std::string_view caption) = 0;
    // The abort question; true for OK.
    virtual bool askAbort() = 0;
    virtual void closeWindow() = 0; // hides it
    // A failure escaped the pass: the program shows it and ends.
    virtual void endWithFatal(const std::string& errorClass, const std::string& message) = 0;
};

class CopyWindowLogic final : public PassEvents {
public:
    explicit CopyWindowLogic(CopyWindowSeams& seams) : seams_(seams) {}

    // The window turned from hidden to visible.
    void FormShow();
    // The window's one button: close when done, else the abort question.
    void BitBtn1Click();
    // Asks the running pass to stop after its current file and starts no pending one;
    // `whenEnded` runs once its worker has ended (at once when none runs).
    void stopPass(std::function<void()> whenEnded);

    // From the start of a pass until its worker has ended, whether the window shows or not.
    [[nodiscard]] bool passRunning() const { return running_; }
    [[nodiscard]] bool done() const { return done_; }
    // The control of the latest pass (null before the first).
    [[nodiscard]] const std::shared_ptr<WorkerControl>& worker() const { return worker_; }
    // The folder texts of the latest pass.
    [[nodiscard]] const std::array<std::string, 2>& roots() const { return roots_; }

    void passStarted() override;
    void passLines(const std::vector<LogLine>& lines) override;
    void passCompleted() override;
    void passFailed(const std::string& errorClass, const std::string& message) override;
    void passWorkerEnded() override;

private:
    void startPass(PassInput input);

    CopyWindowSeams& seams_;
    std::shared_ptr<WorkerControl> worker_;
    bool done_ = false;
    bool running_ = false;
    std::array<std::string, 2> roots_;
    std::optional<PassInput> pending_; // taken at a showing, started when the old worker ends
    std::function<void()> whenEnded_;
};

// 1 or 2 when a file written as `target` (UTF-8) would lie inside that folder (links followed),
// else 0: a log saved inside either folder of a pass would be copied to the other side by the
// next pass.
int RootHolding(std::string_view target, const std::array<std::string, 2>& roots);

} // namespace doplet::frontend
