#pragma once

// The copy window: each showing runs one pass and shows its log; its button aborts the pass while
// it runs (after asking) and hides the window once the pass is done. Closing the window only
// hides it; the pass goes on. The log's context menu copies all its lines to the clipboard or
// saves them to a UTF-8 text file outside both folders of the pass.
//
// Never two passes at once: a showing while the earlier pass still runs shows that pass; a
// showing while an aborted pass finishes its current file starts the new pass once the old
// worker has ended.

#include "FileSystem.h"
#include "QtPassHost.h"
#include "SyncPass.h"
#include "th_copy1.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QMenu;

namespace Ui {
class TFCopyWin;
}

namespace doplet {

class LogModel;
class TFmain1;

class TFCopyWin final : public QWidget, private PassEvents {
    Q_OBJECT

public:
    TFCopyWin(const TFmain1& main, std::shared_ptr<FileSystem> fs, QWidget* parent = nullptr);
    ~TFCopyWin() override;
    TFCopyWin(const TFCopyWin&) = delete;
    TFCopyWin& operator=(const TFCopyWin&) = delete;
    TFCopyWin(TFCopyWin&&) = delete;
    TFCopyWin& operator=(TFCopyWin&&) = delete;

    // From the start of a pass until its worker has ended, whether the window shows or not.
    [[nodiscard]] bool passRunning() const { return FRunning; }
    [[nodiscard]] bool done() const { return FDone; }
    // The control of the latest pass (null before the first).
    [[nodiscard]] const std::shared_ptr<WorkerControl>& worker() const { return FWorker; }

    // Asks the running pass to stop after its current file and starts no pending one;
    // `whenEnded` runs once its worker has ended.
    void stopPass(std::function<void()> whenEnded);

    // The first showing places the frame at its fixed place (moved onto the screen if need be);
    // later showings keep wherever the window was.
    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void BitBtn1Click();
    void startPass(PassInput input);
    void CopyAllClick();
    void SaveLogClick();
    // 1 or 2 when a save under `name` would write inside that folder of the latest pass, else 0.
    [[nodiscard]] int rootHolding(const QString& name) const;

    void passStarted() override;
    void passLines(const std::vector<LogLine>& lines) override;
    void passCompleted() override;
    void passFailed(const QString& errorClass, const QString& message) override;
    void passWorkerEnded() override;

    std::unique_ptr<Ui::TFCopyWin> ui;
    const TFmain1& main_;
    std::shared_ptr<FileSystem> fs_;
    LogModel* log_;
    QMenu* LogMenu;

    std::shared_ptr<QtPassHost> FHost; // the latest pass's side of its announcements
    std::shared_ptr<WorkerControl> FWorker;
    bool FDone = false;
    bool FRunning = false;
    bool placed_ = false;
    QStringList FRoots;                // the folder texts of the latest pass
    std::optional<PassInput> FPending; // taken at a showing, started when the old worker ends
    std::function<void()> FWhenEnded;
};

} // namespace doplet
