#pragma once

// The copy window: each showing runs one pass and shows its log; its button aborts the pass while
// it runs (after asking) and hides the window once the pass is done (frontend::CopyWindowLogic).
// Closing the window only hides it; the pass goes on. The log's context menu copies all its lines
// to the clipboard or saves them to a UTF-8 text file outside both folders of the pass.

#include "CopyWindowLogic.h"
#include "FileSystem.h"
#include "QtPassHost.h"
#include "SyncPass.h"
#include "th_copy1.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <utility>

class QMenu;

namespace Ui {
class TFCopyWin;
}

namespace doplet {

class LogModel;
class TFmain1;

class TFCopyWin final : public QWidget, private frontend::CopyWindowSeams {
    Q_OBJECT

public:
    TFCopyWin(const TFmain1& main, std::shared_ptr<FileSystem> fs, QWidget* parent = nullptr);
    ~TFCopyWin() override;
    TFCopyWin(const TFCopyWin&) = delete;
    TFCopyWin& operator=(const TFCopyWin&) = delete;
    TFCopyWin(TFCopyWin&&) = delete;
    TFCopyWin& operator=(TFCopyWin&&) = delete;

    // From the start of a pass until its worker has ended, whether the window shows or not.
    [[nodiscard]] bool passRunning() const { return logic_.passRunning(); }
    [[nodiscard]] bool done() const { return logic_.done(); }
    // The control of the latest pass (null before the first).
    [[nodiscard]] const std::shared_ptr<WorkerControl>& worker() const { return logic_.worker(); }

    // Asks the running pass to stop after its current file and starts no pending one;
    // `whenEnded` runs once its worker has ended (at once when none runs).
    void stopPass(std::function<void()> whenEnded) { logic_.stopPass(std::move(whenEnded)); }

    // The first showing places the frame at its fixed place (moved onto the screen if need be);
    // later showings keep wherever the window was.
    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CopyAllClick();
    void SaveLogClick();
    // 1 or 2 when a save under `name` would write inside that folder of the latest pass, else 0.
    [[nodiscard]] int rootHolding(const QString& name) const;

    PassInput passInput() override;
    std::shared_ptr<WorkerControl> startWorker(PassInput input) override;
    void clearLog() override;
    void appendLines(const std::vector<LogLine>& lines) override;
    void setButtonCaption(std::string_view caption) override;
    bool askAbort() override;
    void closeWindow() override;
    void endWithFatal(const std::string& errorClass, const std::string& message) override;

    std::unique_ptr<Ui::TFCopyWin> ui;
    const TFmain1& main_;
    std::shared_ptr<FileSystem> fs_;
    LogModel* log_;
    QMenu* LogMenu;

    frontend::CopyWindowLogic logic_{*this};
    // The latest pass's side of its announcements.
    std::shared_ptr<frontend::AnnouncementQueue> FHost;
    bool placed_ = false;
};

} // namespace doplet
