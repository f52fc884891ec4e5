#include "main1.h"

#include "CopyWin.h"
#include "DopletApplication.h"
#include "FileListModel.h"
#include "FolderListing.h"
#include "FolderPicker.h"
#include "FolderSettings.h"
#include "Frontend.h"
#include "MessageBoxes.h"
#include "Placement.h"
#include "Texts.h"
#include "ui_main1.h"
#include "version1.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QLocale>
#include <QMenu>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <future>
#include <utility>

namespace doplet {

// A listing made away from the windows: its list, its total and its size label's caption.
struct Listing {
    std::shared_ptr<FileList> list;
    std::uint64_t total = 0;
    std::string caption;
};

namespace {

constexpr int kFileItemHeight = 13;
constexpr qreal kHelpLineHeight = 12.5;
constexpr QPoint kPlace{344, 133}; // of the frame, on the screen

std::string NativeName(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

// Keeps the caption a listing gives its size label.
class KeptCaption final : public SizeLabels {
public:
    explicit KeptCaption(std::string& caption) : caption_(caption) {}
    void setSizeCaption(int /*label*/, const std::string& caption) override { caption_ = caption; }

private:
    std::string& caption_;
};

// Lists a root; touches no window, so it may run on any thread.
Listing ListAway(FileSystem& fs, const std::string& root, int tag, const std::string& separator) {
    Listing listing{std::make_shared<FileList>(tag), 0, std::string()};
    KeptCaption labels(listing.caption);
    ListFolder(fs, root, std::string(), *listing.list, labels, listing.total, separator);
    return listing;
}

// The user's thousands separator, read afresh for every listing; a comma where there is none.
std::string ThousandsSeparator() {
    const QString separator = QLocale().groupSeparator();
    return separator.isEmpty() ? std::string(",") : separator.toStdString();
}

// The help text's lines close enough together for all 19 to fit its box.
void FitHelpText(QTextEdit& memo) {
    memo.document()->setDocumentMargin(2);
    QTextCursor cursor(memo.document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat format;
    format.setLineHeight(kHelpLineHeight, QTextBlockFormat::FixedHeight);
    cursor.mergeBlockFormat(format);
}

} // namespace

TFmain1::TFmain1(std::shared_ptr<FileSystem> fs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFmain1>()), fs_(std::move(fs)) {
    ui->setupUi(this);
    model1_ = new FileListModel(ui->FileListBox1->property("tag").toInt(), kFileItemHeight, this);
    model2_ = new FileListModel(ui->FileListBox2->property("tag").toInt(), kFileItemHeight, this);
    ui->FileListBox1->setModel(model1_);
    ui->FileListBox2->setModel(model2_);

    // The help text sits on the tooltip background.
    QPalette memoPalette = ui->Memo1->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::ToolTipBase));
    memoPalette.setColor(QPalette::Text, memoPalette.color(QPalette::ToolTipText));
    ui->Memo1->setPalette(memoPalette);
    FitHelpText(*ui->Memo1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QString::fromUtf8(texts::kMenuInformation));
    N1->setObjectName(QStringLiteral("N1"));
    N3 = PopupMenu1->addAction(QString::fromUtf8(texts::kMenuHyphens));
    N3->setObjectName(QStringLiteral("N3"));
    N2 = PopupMenu1->addAction(QString::fromUtf8(texts::kMenuExit));
    N2->setObjectName(QStringLiteral("N2"));

    const auto on = [this](auto* sender, auto signal, void (TFmain1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { RunOperation([&] { (this->*handler)(); }); });
    };
    on(ui->BitBtn1, &QPushButton::clicked, &TFmain1::BitBtn1Click);
    on(ui->BitBtn2, &QPushButton::clicked, &TFmain1::BitBtn2Click);
    on(ui->BitBtn3, &QPushButton::clicked, &TFmain1::BitBtn3Click);
    on(ui->BitBtn4, &QPushButton::clicked, &TFmain1::BitBtn4Click);
    on(ui->BitBtn5, &QPushButton::clicked, &TFmain1::BitBtn5Click);
    on(ui->BitBtn6, &QPushButton::clicked, &TFmain1::BitBtn6Click);
    on(N1, &QAction::triggered, &TFmain1::N1Click);
    on(N2, &QAction::triggered, &TFmain1::N2Click);

    RunOperation([this] { FormCreate(); });
}

TFmain1::~TFmain1() = default;

void TFmain1::attachWindows(TFCopyWin* copyWin, TFVersion1* version) {
    copyWin_ = copyWin;
    version_ = version;
}

PassInput TFmain1::passInput() const {
    return PassInput{NativeName(ui->Edit1->text()), NativeName(ui->Edit2->text()), model1_->list(),
                     model2_->list()};
}

void TFmain1::setVisible(bool visible) {
    if (visible && !placed_) {
        placed_ = true;
        PlaceFrame(*this, FixedPlace(kPlace));
    }
    QWidget::setVisible(visible);
}

void TFmain1::FormCreate() {
    QString text1 = ui->Edit1->text();
    QString text2 = ui->Edit2->text();
    {
        // A value loaded before a failure still reaches its box.
        const auto apply = qScopeGuard([&] {
            ui->Edit1->setText(text1);
            ui->Edit2->setText(text2);
        });
        LoadFolderSettings(text1, text2);
    }
    FFolder1 = ui->Edit1->text();
    FFolder2 = ui->Edit2->text();
    // Both folders are listed at once, folder 2 on a thread of its own, and shown in order.
    const std::string separator = ThousandsSeparator();
    auto second = std::async(std::launch::async, ListAway, std::ref(*fs_), NativeName(FFolder2),
                             model2_->tag(), separator);
    showListing(ListAway(*fs_, NativeName(FFolder1), model1_->tag(), separator), *model1_);
    showListing(second.get(), *model2_);
}

void TFmain1::FormClose() {
    SaveFolderSettings(ui->Edit1->text(), ui->Edit2->text());
}

void TFmain1::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (copyWin_ != nullptr && copyWin_->passRunning()) {
        // Never end in the middle of a copy: the pass stops after its current file, then the
        // window closes for good.
        copyWin_->stopPass([this] { close(); });
        return;
    }
    if (RunOperation([this] { FormClose(); })) {
        event->accept();
    }
}

void TFmain1::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->popup(event->globalPos());
}

void TFmain1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ui->Panel3->resize(width(), ui->Panel3->height()); // the header band follows the width
}

void TFmain1::BitBtn1Click() {
    const frontend::ExecuteCheck check = frontend::CheckExecute(
        [this](const std::string& folder) { return fs_->directoryExists(folder); },
        NativeName(ui->Edit1->text()), NativeName(ui->Edit2->text()));
    if (check != frontend::ExecuteCheck::Ready) {
        ShowMessage(this, QString::fromUtf8(texts::kErrorCaption),
                    QString::fromUtf8(frontend::ExecuteMessage(check)));
        return;
    }
    showWindow(copyWin_);
}

void TFmain1::BitBtn2Click() {
    if (OpenDialog2 == nullptr) {
        OpenDialog2 = MakeFolderDialog(this, QString::fromUtf8(texts::kFolder2Title));
    }
    pickFolder(*OpenDialog2, FFolder2, *ui->Edit2, *model2_);
}

void TFmain1::BitBtn3Click() {
    close();
}

void TFmain1::BitBtn4Click() {
    if (OpenDialog1 == nullptr) {
        OpenDialog1 = MakeFolderDialog(this, QString::fromUtf8(texts::kFolder1Title));
    }
    pickFolder(*OpenDialog1, FFolder1, *ui->Edit1, *model1_);
}

void TFmain1::BitBtn5Click() {
    FFolder1 = ui->Edit1->text();
    listFolder(FFolder1, *model1_);
}

void TFmain1::BitBtn6Click() {
    FFolder2 = ui->Edit2->text();
    listFolder(FFolder2, *model2_);
}

void TFmain1::N1Click() {
    showWindow(version_);
}

void TFmain1::N2Click() {
    close();
}

void TFmain1::listFolder(const QString& root, FileListModel& model) {
    model.setList(nullptr);
    showListing(ListAway(*fs_, NativeName(root), model.tag(), ThousandsSeparator()), model);
}

void TFmain1::showListing(Listing listing, FileListModel& model) {
    QLabel* label = model.tag() == 1 ? ui->LSize1 : ui->LSize2;
    label->setText(QString::fromStdString(listing.caption));
    label->adjustSize();
    FTotalSize = listing.total;
    model.setList(std::move(listing.list));
}

void TFmain1::pickFolder(QFileDialog& dialog, QString& folder, QLineEdit& edit,
                         FileListModel& model) {
    const std::optional<QString> picked = PickFolder(dialog);
    if (!picked) {
        return;
    }
    folder = *picked;
    edit.setText(folder);
    listFolder(folder, model);
}

void TFmain1::showWindow(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    window->show(); // a hidden window shows (and runs its show step); a visible one is raised
    window->raise();
    window->activateWindow();
}

} // namespace doplet
