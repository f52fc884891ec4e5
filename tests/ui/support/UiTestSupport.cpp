#include "UiTestSupport.h"

#include "Windows.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <chrono>
#include <utility>

namespace doplet::test {

namespace {

constexpr std::chrono::seconds kGateLimit{30};

QStringList LinesOf(const QAbstractItemModel* model) {
    QStringList lines;
    for (int row = 0; model != nullptr && row < model->rowCount(); ++row) {
        lines << model->index(row, 0).data().toString();
    }
    return lines;
}

} // namespace

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

ModalAnswer::ModalAnswer(std::function<void(QWidget*)> act) : act_(std::move(act)) {
    connect(&timer_, &QTimer::timeout, this, &ModalAnswer::poll);
    timer_.start(10);
}

ModalAnswer::ModalAnswer(QMessageBox::StandardButton button)
    : ModalAnswer([button](QWidget* window) {
          auto* box = qobject_cast<QMessageBox*>(window);
          ASSERT_NE(box, nullptr);
          ASSERT_NE(box->button(button), nullptr);
          QTest::mouseClick(box->button(button), Qt::LeftButton);
      }) {}

bool ModalAnswer::wait(int timeoutMs) const {
    return WaitFor([this] { return answered_; }, timeoutMs);
}

void ModalAnswer::poll() {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr || !window->isVisible()) {
        return;
    }
    timer_.stop();
    caption_ = window->windowTitle();
    applicationModal_ = window->windowModality() == Qt::ApplicationModal;
    if (const auto* box = qobject_cast<QMessageBox*>(window)) {
        text_ = box->text();
        icon_ = box->icon();
    }
    act_(window);
    answered_ = true;
}

ModalWatchdog::ModalWatchdog() {
    connect(&timer_, &QTimer::timeout, this, [this] {
        QWidget* window = QApplication::activeModalWidget();
        ticks_ = window != nullptr && window == seen_ ? ticks_ + 1 : 0;
        seen_ = window;
        if (ticks_ >= 60) {
            ADD_FAILURE() << "nobody answered the modal window \""
                          << window->windowTitle().toStdString() << "\"";
            window->close();
            ticks_ = 0;
        }
    });
    timer_.start(500);
}

CopyGate::CopyGate(FaultyFileSystem& fs) : state_(std::make_shared<State>()) {
    // The hooks share the state, so a copy that runs after the gate has gone finds it still there.
    fs.beforeCopy([state = state_](std::string_view, std::string_view) {
        std::unique_lock lock(state->mutex);
        const int number = ++state->started;
        state->changed.notify_all();
        state->changed.wait_for(lock, kGateLimit, [&] { return state->allowed >= number; });
    });
    fs.afterCopy([state = state_](std::string_view, std::string_view) {
        {
            const std::lock_guard lock(state->mutex);
            ++state->ended;
        }
        state->changed.notify_all();
    });
}

CopyGate::~CopyGate() {
    allowAll();
}

void CopyGate::allow(int copies) {
    {
        const std::lock_guard lock(state_->mutex);
        state_->allowed += copies;
    }
    state_->changed.notify_all();
}

void CopyGate::allowAll() {
    allow(1'000'000);
}

bool CopyGate::waitStarted(int copies) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, kGateLimit, [&] { return state_->started >= copies; });
}

bool CopyGate::waitEnded(int copies) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, kGateLimit, [&] { return state_->ended >= copies; });
}

int CopyGate::started() const {
    const std::lock_guard lock(state_->mutex);
    return state_->started;
}

Program::Program()
    : fs(std::make_shared<FaultyFileSystem>()), windows(std::make_unique<Windows>(fs)),
      main(&windows->Fmain1), copyWin(&windows->FCopyWin), version(&windows->FVersion1) {
    main->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(main));
}

Program::~Program() {
    finishPasses();
}

void Program::finishPasses() {
    if (const std::shared_ptr<WorkerControl>& worker = copyWin->worker()) {
        worker->release();
        EXPECT_TRUE(worker->waitUntilFinished(std::chrono::milliseconds(60'000)));
    }
    // Let the last announcements arrive before the windows go.
    WaitFor([this] { return !copyWin->passRunning(); }, 2'000);
    QCoreApplication::processEvents();
}

void Program::click(QWidget* window, const char* button) const {
    auto* target = Child<QPushButton>(window, button);
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::LeftButton);
}

void Program::execute() const {
    click(main, "BitBtn1");
    EXPECT_TRUE(WaitFor([this] { return copyWin->isVisible(); }));
}

QStringList Program::fileList(int which) const {
    const char* name = which == 1 ? "FileListBox1" : "FileListBox2";
    return LinesOf(Child<QListView>(main, name)->model());
}

QStringList Program::log() const {
    return LinesOf(Child<QListView>(copyWin, "ListBox1")->model());
}

QString Program::text(QWidget* window, const char* name) const {
    const QObject* child = window->findChild<QObject*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child == nullptr ? QString() : child->property("text").toString();
}

bool Program::waitDone() const {
    return WaitFor([this] { return copyWin->done(); });
}

QString ChooseFromContextMenu(QWidget* window, QWidget* target, const char* menu,
                              const char* action) {
    auto* popup = Child<QMenu>(window, menu);
    auto* entry = Child<QAction>(window, action);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            target->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(target, &event);
    if (popup == nullptr || entry == nullptr || !WaitFor([popup] { return popup->isVisible(); })) {
        ADD_FAILURE() << "no context menu " << menu;
        return {};
    }
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(entry).center());
    return entry->text();
}

void ConfirmFileName(QWidget* window, const QString& name) {
    auto* dialog = qobject_cast<QFileDialog*>(window);
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(name);
    static_cast<QDialog*>(dialog)->accept(); // the dialog's own checks run, as on its button
}

int CountPixels(const QImage& image, const std::function<bool(const QColor&)>& test) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += test(image.pixelColor(x, y)) ? 1 : 0;
        }
    }
    return count;
}

QString FolderText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path)) + u'/';
}

void StoreFolders(const QString& text1, const QString& text2) {
    StoreValue("CODE1", text1);
    StoreValue("CODE2", text2);
}

void StoreValue(const char* key, const QVariant& value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "QuillBarrow", "doplet");
    store.setValue(QStringLiteral("main1/") + QString::fromLatin1(key), value);
    store.sync();
    ASSERT_EQ(store.status(), QSettings::NoError);
}

std::optional<QString> StoredFolder(const char* key) {
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, "QuillBarrow", "doplet");
    const QString name = QStringLiteral("main1/") + QString::fromLatin1(key);
    if (!store.contains(name)) {
        return std::nullopt;
    }
    return store.value(name).toString();
}

void ClearSettings() {
    QDir(QFile::decodeName(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/QuillBarrow"))
        .removeRecursively();
}

QString SettingsFile() {
    return QFile::decodeName(qgetenv("XDG_CONFIG_HOME")) +
           QStringLiteral("/QuillBarrow/doplet.conf");
}

} // namespace doplet::test
