// The program: the application, its three windows over the real file system, and the event loop
// until the main window has closed.

#include "BenchHook.h"
#include "DopletApplication.h"
#include "FileSystem.h"
#include "Windows.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#ifndef DOPLET_VERSION
#define DOPLET_VERSION "unknown"
#endif

namespace {

// Whether messages are to be Japanese: the first of LC_ALL, LC_MESSAGES and LANG that is set
// says so, as for doplet-sync (on Windows, the user's language).
bool PrefersJapanese() {
#ifdef Q_OS_WIN
    return QLocale::system().language() == QLocale::Japanese;
#else
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty()) {
            return value.startsWith(QStringLiteral("ja"));
        }
    }
    return false;
#endif
}

// Qt's messages while the application reaches the window system, held back: when that fails
// with a platform that needs a display (Qt's default one, X11 or Wayland), the program says so in
// one sentence and ends with status 1 instead of Qt's abort. Otherwise they are passed on.
struct HeldMessages {
    struct Message {
        QtMsgType type;
        const char* category;
        QString text;
    };
    QtMessageHandler qt = nullptr;
    std::vector<Message> messages;

    static HeldMessages& instance() {
        static HeldMessages held;
        return held;
    }
    static void hold(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        HeldMessages& held = instance();
        held.messages.push_back({type, context.category, text});
        if (type != QtFatalMsg) {
            return;
        }
        const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
        if (platform.isEmpty() || platform.contains(QStringLiteral("xcb")) ||
            platform.contains(QStringLiteral("wayland"))) {
            const QString sentence =
                PrefersJapanese()
                    ? QStringLiteral("doplet: 画面 (DISPLAY=\"%1\", WAYLAND_DISPLAY=\"%2\") に"
                                     "接続できないため、ウィンドウを開けません（ウィンドウなしの"
                                     "同期は doplet-sync で行えます）。")
                    : QStringLiteral("doplet: cannot open its window, as no display can be "
                                     "reached (DISPLAY=\"%1\", WAYLAND_DISPLAY=\"%2\"); "
                                     "doplet-sync runs a pass without one.");
            std::fputs(qUtf8Printable(sentence.arg(qEnvironmentVariable("DISPLAY"),
                                                   qEnvironmentVariable("WAYLAND_DISPLAY")) +
                                      u'\n'),
                       stderr);
            std::_Exit(1);
        }
        held.release(); // Qt aborts after this one
    }
    void release() {
        qInstallMessageHandler(qt);
        for (const Message& message : std::exchange(messages, {})) {
            qt(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category),
               message.text);
        }
    }
};

// --help and --version print and end the program before anything needs a display. The options
// Qt's window system takes are let through to it.
void HandleCommandLine(int argc, char** argv) {
    const QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(DOPLET_VERSION));
    // Qt's own texts ("Usage:", "Options:", the parser's errors) in the user's language. Its
    // Japanese catalogue lacks the help option's text, so both options carry texts of our own.
    const bool japanese = PrefersJapanese();
    QTranslator qtTexts;
    if (japanese &&
        qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qtTexts);
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        japanese ? QStringLiteral("Doplet: ２つのフォルダーのファイルを比較し、新しい方を古い方に"
                                  "上書きします。\nコマンドラインからの同期: doplet-sync --help")
                 : QStringLiteral("Doplet: keeps two folders in step: the newer copy of every "
                                  "file overwrites the older one.\n"
                                  "A pass from the command line: doplet-sync --help"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  japanese
                                      ? QStringLiteral("このヘルプを表示します。")
                                      : QStringLiteral("Displays help on commandline options."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     japanese ? QStringLiteral("バージョン情報を表示します。")
                                              : QStringLiteral("Displays version information."));
    parser.addOption(help);
    parser.addOption(version);
    for (const char* name : {"platform", "display", "style", "stylesheet", "geometry",
                             "qwindowgeometry", "platformtheme", "plugin"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    parser.process(core);
    if (parser.isSet(help)) {
        parser.showHelp(0);
    }
    if (parser.isSet(version)) {
        parser.showVersion();
    }
}

} // namespace

int main(int argc, char** argv) {
    HandleCommandLine(argc, argv);
    const doplet::BenchHook bench; // a measuring aid for bench/run; idle unless asked for
    HeldMessages::instance().qt = qInstallMessageHandler(&HeldMessages::hold);
    doplet::DopletApplication application(argc, argv);
    HeldMessages::instance().release();
    doplet::Windows windows(doplet::MakeNativeFileSystem());
    windows.Fmain1.show();
    bench.windowShown(windows);
    return doplet::DopletApplication::exec();
}
