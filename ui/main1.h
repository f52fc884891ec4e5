#pragma once

// The main window: the two folder columns with their listings and size labels, Execute, the help
// text and Exit. It is the program's main window: closing it saves the folder texts and ends the
// program.

#include "FileSystem.h"
#include "SyncPass.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

class QAction;
class QFileDialog;
class QLineEdit;
class QMenu;

namespace Ui {
class TFmain1;
}

namespace doplet {

class FileListModel;
struct Listing;
class TFCopyWin;
class TFVersion1;

class TFmain1 final : public QWidget {
    Q_OBJECT

public:
    // Runs the creation step: loads the folder texts and lists both folders.
    explicit TFmain1(std::shared_ptr<FileSystem> fs, QWidget* parent = nullptr);
    ~TFmain1() override;
    TFmain1(const TFmain1&) = delete;
    TFmain1& operator=(const TFmain1&) = delete;
    TFmain1(TFmain1&&) = delete;
    TFmain1& operator=(TFmain1&&) = delete;

    // The copy and about windows, created after this one.
    void attachWindows(TFCopyWin* copyWin, TFVersion1* version);

    // What a pass starts from: the folder texts as they stand and the lists as last listed.
    [[nodiscard]] PassInput passInput() const;

    // The first showing places the frame at its fixed place (moved onto the screen if need be).
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void BitBtn1Click(); // Execute
    void BitBtn2Click(); // pick folder 2
    void BitBtn3Click(); // Exit
    void BitBtn4Click(); // pick folder 1
    void BitBtn5Click(); // relist folder 1
    void BitBtn6Click(); // relist folder 2
    void N1Click();      // about window
    void N2Click();      // Exit

    // Empties the list, then lists the root into it and sets its size label.
    void listFolder(const QString& root, FileListModel& model);
    // Puts a listing into its list and its size label.
    void showListing(Listing listing, FileListModel& model);
    // Runs the dialog; on a confirmed name puts its folder part into the box and lists it.
    void pickFolder(QFileDialog& dialog, QString& folder, QLineEdit& edit, FileListModel& model);
    void showWindow(QWidget* window);

    std::unique_ptr<Ui::TFmain1> ui;
    std::shared_ptr<FileSystem> fs_;
    FileListModel* model1_;
    FileListModel* model2_;
    QMenu* PopupMenu1;
    QAction* N1;
    QAction* N2;
    QAction* N3;
    QFileDialog* OpenDialog1 = nullptr; // made at the first pick, then kept
    QFileDialog* OpenDialog2 = nullptr;
    TFCopyWin* copyWin_ = nullptr;
    TFVersion1* version_ = nullptr;

    QString FFolder1;
    QString FFolder2;
    std::uint64_t FTotalSize = 0;
    bool placed_ = false;
};

} // namespace doplet
