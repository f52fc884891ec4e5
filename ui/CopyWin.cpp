#include "CopyWin.h"

#include "DopletApplication.h"
#include "Frontend.h"
#include "LogModel.h"
#include "MessageBoxes.h"
#include "Placement.h"
#include "Texts.h"
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

QString Shown(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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
            [this] { RunOperation([this] { logic_.BitBtn1Click(); }); });

    LogMenu = new QMenu(this);
    LogMenu->setObjectName(QStringLiteral("LogMenu"));
    QAction* copyAll = LogMenu->addAction(Shown(texts::kCopyAll));
    copyAll->setObjectName(QStringLiteral("CopyAll"));
    QAction* saveLog = LogMenu->addAction(Shown(texts::kSaveLogItem));
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
    if (IsAnnouncementsEvent(event)) {
        // Only the latest pass announces: an earlier one has ended before it started. The host
        // is held here, as applying can start the next pass and replace it.
        if (const std::shared_ptr<frontend::AnnouncementQueue> host = FHost) {
            ApplyQueued(*host, this);
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
        RunOperation([this] { logic_.FormShow(); });
    }
}

void TFCopyWin::CopyAllClick() {
    QGuiApplication::clipboard()->setText(log_->text());
}

int TFCopyWin::rootHolding(const QString& name) const {
    return frontend::RootHolding(QFile::encodeName(name).toStdString(), logic_.roots());
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
        name = QFileDialog::getSaveFileName(this, Shown(texts::kSaveLogCaption), name, QString(),
                                            nullptr, QFileDialog::DontUseNativeDialog);
        if (name.isEmpty()) {
            return; // cancelled
        }
        const int root = rootHolding(name);
        if (root == 0) {
            break;
        }
        ShowMessage(this, Shown(texts::kSaveLogCaption),
                    Shown(frontend::Format(texts::kSaveLogInside, root == 1 ? "１" : "２")));
        name = QDir(folder).filePath(QFileInfo(name).fileName());
    }
    // Written whole or not at all: a failed save leaves an existing file as it was.
    QSaveFile file(name);
    const QByteArray bytes = log_->text().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw std::runtime_error(
            frontend::Format(texts::kSaveLogFailed, QDir::toNativeSeparators(name).toStdString()) +
            file.errorString().toStdString());
    }
}

PassInput TFCopyWin::passInput() {
    return main_.passInput();
}

std::shared_ptr<WorkerControl> TFCopyWin::startWorker(PassInput input) {
    FHost = MakeQtPassHost(this, logic_);
    return th_Copy::Start(fs_, std::move(input), FHost);
}

void TFCopyWin::clearLog() {
    log_->clear();
}

void TFCopyWin::appendLines(const std::vector<LogLine>& lines) {
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

void TFCopyWin::setButtonCaption(std::string_view caption) {
    ui->BitBtn1->setText(Shown(caption));
}

bool TFCopyWin::askAbort() {
    return AskOkCancel(this, Shown(texts::kConfirmCaption), Shown(texts::kAskAbort));
}

void TFCopyWin::closeWindow() {
    close();
}

void TFCopyWin::endWithFatal(const std::string& errorClass, const std::string& message) {
    if (auto* app = DopletApplication::instance()) {
        app->endWithFatal(QString::fromStdString(errorClass), QString::fromStdString(message));
    }
}

} // namespace doplet
