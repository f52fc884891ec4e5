#include "BenchHook.h"

#include "Texts.h"
#include "Windows.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QByteArray>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace doplet {

namespace {

// One line on standard output, flushed at once: bench/run reads it from a pipe.
void Report(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

QString Milliseconds(qint64 nanoseconds) {
    return QString::number(static_cast<double>(nanoseconds) / 1e6, 'f', 3);
}

// The peak resident memory so far, in KiB, as the kernel counts it (VmHWM); -1 when unknown.
long long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6));
        }
    }
    return -1;
}

// The lines of a list view of `window`; -1 when there is no such view.
int Rows(const QWidget& window, const char* name) {
    const auto* view = window.findChild<QAbstractItemView*>(QString::fromLatin1(name));
    return view != nullptr && view->model() != nullptr ? view->model()->rowCount() : -1;
}

QAbstractButton& Button(const QWidget& window, const char* name) {
    auto* button = window.findChild<QAbstractButton*>(QString::fromLatin1(name));
    Q_ASSERT(button != nullptr);
    return *button;
}

QString ShownLine(const QElapsedTimer& sinceMain, const QWidget& main) {
    const long long now = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    return QStringLiteral("DOPLET_BENCH event=shown at=%1.%2 shown_ms=%3 list1=%4 list2=%5 "
                          "vmhwm_kb=%6")
        .arg(now / 1'000'000)
        .arg(now % 1'000'000, 6, 10, QLatin1Char('0'))
        .arg(Milliseconds(sinceMain.nsecsElapsed()))
        .arg(Rows(main, "FileListBox1"))
        .arg(Rows(main, "FileListBox2"))
        .arg(PeakResidentKb());
}

// Clicks Execute and watches the pass from the interface thread: a 5 ms timer whose largest gap
// between two ticks is the longest the interface thread was kept from its events. The end is
// noticed at the first tick after the copy window's button reads "完了", so the time is at most
// one tick late.
class PassMeasurement final : public QObject {
public:
    PassMeasurement(QWidget& main, QWidget& copyWin)
        : QObject(&main), main_(main), finish_(Button(copyWin, "BitBtn1")) {
        ticker_.setTimerType(Qt::PreciseTimer);
        ticker_.setInterval(5);
        connect(&ticker_, &QTimer::timeout, this, &PassMeasurement::tick);
    }

    void start() {
        ticker_.start();
        clock_.start();
        Button(main_, "BitBtn1").click(); // Execute
    }

private:
    void tick() {
        const qint64 now = clock_.nsecsElapsed();
        maxGap_ = std::max(maxGap_, now - lastTick_);
        lastTick_ = now;
        ++ticks_;
        if (finish_.text().toStdString() == texts::kDoneCaption) {
            ticker_.stop();
            Report(QStringLiteral("DOPLET_BENCH event=pass ms=%1 lines=%2 max_stall_ms=%3 "
                                  "ticks=%4 vmhwm_kb=%5")
                       .arg(Milliseconds(now))
                       .arg(Rows(*finish_.window(), "ListBox1"))
                       .arg(Milliseconds(maxGap_))
                       .arg(ticks_)
                       .arg(PeakResidentKb()));
            main_.close(); // waits for the worker to end
            return;
        }
        if (const QWidget* box = QApplication::activeModalWidget()) {
            // Nobody answers a box here: end at once rather than wait for bench/run's timeout.
            ticker_.stop();
            const auto* message = qobject_cast<const QMessageBox*>(box);
            std::fprintf(
                stderr, "DOPLET_BENCH a box opened during the pass: %s\n",
                (message != nullptr ? message->text() : box->windowTitle()).toUtf8().constData());
            QCoreApplication::exit(1);
        }
    }

    QWidget& main_;
    QAbstractButton& finish_;
    QTimer ticker_;
    QElapsedTimer clock_;
    qint64 lastTick_ = 0;
    qint64 maxGap_ = 0;
    long long ticks_ = 0;
};

} // namespace

BenchHook::BenchHook() {
    sinceMain_.start();
    const QString mode = qEnvironmentVariable("DOPLET_BENCH_EXIT");
    if (mode == QStringLiteral("shown")) {
        mode_ = Mode::Shown;
    } else if (mode == QStringLiteral("pass")) {
        mode_ = Mode::Pass;
    }
}

void BenchHook::windowShown(Windows& windows) const {
    if (mode_ == Mode::Off) {
        return;
    }
    QTimer::singleShot(0, &windows.Fmain1, [&windows, mode = mode_, sinceMain = sinceMain_] {
        Report(ShownLine(sinceMain, windows.Fmain1));
        if (mode == Mode::Shown) {
            windows.Fmain1.close();
            return;
        }
        (new PassMeasurement(windows.Fmain1, windows.FCopyWin))->start();
    });
}

} // namespace doplet
