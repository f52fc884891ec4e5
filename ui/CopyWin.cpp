#include "CopyWin.h"

#include "DopletApplication.h"
#include "LogModel.h"
#include "MessageBoxes.h"
#include "Placement.h"
#include "main1.h"
#include "ui_CopyWin.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QSaveFile>
#include <QShowEvent>
#include <QStandardPaths>
#include <stdexcept>
#include <utility>

namespace doplet {

namespace {

constexpr int kLogItemHeight = 12;
constexpr QPoint kPlace{298, 199}; // of the frame, on the screen

// The canonical path a save under `name` writes (an existing link's target); empty when its
// folder does not exist.
QString CanonicalTarget(const QString& name) {
    const QFileInfo info(name);
    if (info.exists()) {
        return info.canonicalFilePath();
    }
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(info.fileName());
}

// Whether the canonical `path` is the folder `root` or lies below it.
bool Inside(const QString& path, const QString& root) {
    QString canonical = QFileInfo(root).canonicalFilePath();
    if (path.isEmpty() || canonical.isEmpty()) {
        return false;
    }
    if (!canonical.endsWith(u'/')) {
        canonical += u'/';
    }
    return (path + u'/').startsWith(canonical);
}

} // namespace

TFCopyWin::TFCopyWin(const TFmain1& main, std::shared_ptr<FileSystem> fs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFCopyWin>()), main_(main), fs_(std::move(fs)),
      log_(new LogModel(kLogItemHeight, this)) {
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false); // only the main window ends the program
    ui->ListBox1->setModel(log_);
    ui->ListBox1->setItemDelegate(new LogLineDelegate(ui->ListBox1));
    connect(ui->BitBtn1, &QPushButton::clicked, this,
            [this] { RunOperation([this] { BitBtn1Click(); }); });

    LogMenu = new QMenu(this);
    LogMenu->setObjectName(QStringLiteral("LogMenu"));
    QAction* copyAll = LogMenu->addAction(QStringLiteral("すべてコピー"));
    copyAll->setObjectName(QStringLiteral("CopyAll"));
    QAction* saveLog = LogMenu->addAction(QStringLiteral("ログを保存..."));
    saveLog->setObjectName(QStringLiteral("SaveLog"));
    connect(copyAll, &QAction::triggered, this,
            [this] { RunOperation([this] { CopyAllClick(); }); });
    connect(saveLog, &QAction::triggered, this,
            [this] { RunOperation([this] { SaveLogClick(); }); });
    ui->ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->ListBox1, &QWidget::customContextMenuRequested, this, [=, this](QPoint at) {
        const bool any = log_->rowCount() > 0;
        copyAll->setEnabled(any);
        saveLog->setEnabled(any);
        LogMenu->popup(ui->ListBox1->viewport()->mapToGlobal(at));
    });
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

void TFCopyWin::setVisible(bool visible) {
    if (visible && !placed_) {
        placed_ = true;
        PlaceFrame(*this, FixedPlace(kPlace));
    }
    QWidget::setVisible(visible);
}

void TFCopyWin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) { // hidden to visible, not a restore from the task bar
        // The button has the keyboard on every showing: Space or Enter asks the abort question.
        ui->BitBtn1->setFocus(Qt::OtherFocusReason);
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
    FRoots = {QFile::decodeName(QByteArray::fromStdString(input.folder1)),
              QFile::decodeName(QByteArray::fromStdString(input.folder2))};
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

void TFCopyWin::CopyAllClick() {
    QGuiApplication::clipboard()->setText(log_->text());
}

int TFCopyWin::rootHolding(const QString& name) const {
    const QString path = CanonicalTarget(name);
    for (int i = 0; i < FRoots.size(); ++i) {
        if (Inside(path, FRoots[i])) {
            return i + 1;
        }
    }
    return 0;
}

// A log saved inside either folder would be copied to the other side by the next pass: the
// dialog opens in the documents folder (or home, or the temporary folder) and refuses the roots.
void TFCopyWin::SaveLogClick() {
    QString folder;
    for (const auto location : {QStandardPaths::DocumentsLocation, QStandardPaths::HomeLocation,
                                QStandardPaths::TempLocation}) {
        folder = QStandardPaths::writableLocation(location);
        if (QFileInfo(folder).isDir() && rootHolding(folder) == 0) {
            break;
        }
    }
    QString name = QDir(folder).filePath(
        QDateTime::currentDateTime().toString(QStringLiteral("'doplet-'yyyy-MM-dd-HHmm'.log'")));
    for (;;) {
        name = QFileDialog::getSaveFileName(this, QStringLiteral("ログを保存"), name, QString(),
                                            nullptr, QFileDialog::DontUseNativeDialog);
        if (name.isEmpty()) {
            return; // cancelled
        }
        const int root = rootHolding(name);
        if (root == 0) {
            break;
        }
        ShowMessage(this, QStringLiteral("ログを保存"),
                    QStringLiteral("ログはフォルダー%1の中には保存できません（次の実行でもう一方に"
                                   "コピーされます）。別の場所を選んでください。")
                        .arg(QChar(root == 1 ? u'１' : u'２')));
        name = QDir(folder).filePath(QFileInfo(name).fileName());
    }
    // Written whole or not at all: a failed save leaves an existing file as it was.
    QSaveFile file(name);
    const QByteArray bytes = log_->text().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw std::runtime_error(QStringLiteral("ログを %1 に保存できませんでした: %2")
                                     .arg(QDir::toNativeSeparators(name), file.errorString())
                                     .toStdString());
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
