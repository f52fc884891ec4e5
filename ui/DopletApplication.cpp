#include "DopletApplication.h"

#include "Fonts.h"
#include "MessageBoxes.h"

#include <QEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>
#include <utility>

// Outside any namespace, as Qt's resource initialisation requires.
static void InitResources() {
    Q_INIT_RESOURCE(doplet);
}

namespace {

QEvent::Type OperationEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

namespace doplet {

namespace {

class OperationRunner final : public QObject {
public:
    explicit OperationRunner(const std::function<void()>& operation) : operation_(operation) {}

    [[nodiscard]] bool completed() const { return completed_; }

protected:
    bool event(QEvent* event) override {
        if (event->type() != OperationEventType()) {
            return QObject::event(event);
        }
        operation_();
        completed_ = true;
        return true;
    }

private:
    const std::function<void()>& operation_;
    bool completed_ = false;
};

} // namespace

DopletApplication::DopletApplication(int& argc, char** argv)
    : QApplication(argc, argv), fatalExit_([](int code) { QCoreApplication::exit(code); }) {
    InitResources();
    InstallFontSubstitutions();
    // The interface is Japanese: so are Qt's own texts in the folder picker and message boxes.
    auto* qtTexts = new QTranslator(this);
    if (qtTexts->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(qtTexts);
    }
    setWindowIcon(QIcon(QStringLiteral(":/doplet.png")));
}

DopletApplication* DopletApplication::instance() {
    return qobject_cast<DopletApplication*>(QCoreApplication::instance());
}

bool DopletApplication::notify(QObject* receiver, QEvent* event) {
    QString failure;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    ShowErrorBox(failure);
    return false;
}

void DopletApplication::endWithFatal(const QString& errorClass, const QString& message) {
    ShowFatalBox(errorClass, QFileInfo(applicationFilePath()).fileName(), message);
    fatalExit_(1);
}

bool RunOperation(const std::function<void()>& operation) {
    OperationRunner runner(operation);
    QEvent event(OperationEventType());
    QCoreApplication::sendEvent(&runner, &event);
    return runner.completed();
}

} // namespace doplet
