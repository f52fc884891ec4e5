#include "CopyWin.h"

#include "DopletApplication.h"
#include "LogModel.h"
#include "MessageBoxes.h"
#include "main1.h"
#include "ui_CopyWin.h"

#include <QShowEvent>
#include <utility>

namespace doplet {

namespace {

constexpr int kLogItemHeight = 12;
constexpr QPoint kPlace{298, 199}; // of the frame, on the screen

} // namespace

TFCopyWin::TFCopyWin(const TFmain1& main, std::shared_ptr<FileSystem> fs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFCopyWin>()), main_(main), fs_(std::move(fs)),
      log_(new LogModel(kLogItemHeight, this)) {
    ui->setupUi(this);
    move(kPlace);
    setAttribute(Qt::WA_QuitOnClose, false); // only the main window ends the program
    ui->ListBox1->setModel(log_);
    connect(ui->BitBtn1, &QPushButton::clicked, this,
            [this] { RunOperation([this] { BitBtn1Click(); }); });
}

TFCopyWin::~TFCopyWin() = default;

bool TFCopyWin::event(QEvent* event) {
    if (QtPassHost::IsAnnouncementsEvent(event)) {
        // Only the latest pass announces: an earlier one has ended before it started. The host
        // is held here, as applying can start the next pass and replace it.
        if (const std::shared_ptr<QtPassHost> host = FHost) {
            host->applyQueued();
        }
        return true;
    }
    return QWidget::event(event);
}

void TFCopyWin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) { // hidden to visible, not a restore from the task bar
        RunOperation([this] { FormShow(); });
    }
}

void TFCopyWin::FormShow() {
    if (FRunning && !FWorker->stopRequested()) {
        return; // the earlier pass goes on, and this window shows it
    }
    log_->clear();
    if (FRunning) {
        FPending = main_.passInput(); // the aborted pass is finishing its file
        FDone = false;
        return;
    }
    startPass(main_.passInput());
}

void TFCopyWin::startPass(PassInput input) {
    log_->clear();
    FHost = std::make_shared<QtPassHost>(this, static_cast<PassEvents&>(*this));
    FWorker = th_Copy::Start(fs_, std::move(input), FHost);
    FRunning = true;
    FDone = false;
}

void TFCopyWin::BitBtn1Click() {
    if (FDone) {
        close();
        return;
    }
    const std::shared_ptr<WorkerControl> worker = FWorker;
    if (worker) {
        worker->hold();
    }
    const bool abort =
        AskOkCancel(this, QStringLiteral("確認"), QStringLiteral("コピーを中止しますか？"));
    if (worker) {
        if (abort) {
            worker->requestStop();
        }
        worker->release();
    }
    if (abort) {
        FPending.reset();
        close();
    }
}

void TFCopyWin::stopPass(std::function<void()> whenEnded) {
    FPending.reset();
    FWhenEnded = std::move(whenEnded);
    if (FWorker) {
        FWorker->requestStop();
    }
}

void TFCopyWin::passStarted() {
    ui->BitBtn1->setText(QStringLiteral("中止"));
}

void TFCopyWin::passLines(const std::vector<LogLine>& lines) {
    const int first = log_->rowCount();
    log_->append(lines);
    // A success line selects the new last line (and so scrolls to it); a failure line leaves
    // the selection where it was.
    for (int i = static_cast<int>(lines.size()) - 1; i >= 0; --i) {
        if (!lines[static_cast<std::size_t>(i)].failed()) {
            const QModelIndex last = log_->index(first + i);
            ui->ListBox1->setCurrentIndex(last);
            ui->ListBox1->scrollTo(last);
            break;
        }
    }
}

void TFCopyWin::passCompleted() {
    ui->BitBtn1->setText(QStringLiteral("完了"));
    FDone = true;
}

void TFCopyWin::passFailed(const QString& errorClass, const QString& message) {
    if (auto* app = DopletApplication::instance()) {
        app->endWithFatal(errorClass, message);
    }
}

void TFCopyWin::passWorkerEnded() {
    FRunning = false;
    if (FPending) {
        PassInput input = std::move(*FPending);
        FPending.reset();
        RunOperation([&] { startPass(std::move(input)); });
    }
    if (FWhenEnded) {
        const std::function<void()> whenEnded = std::exchange(FWhenEnded, nullptr);
        whenEnded();
    }
}

} // namespace doplet
