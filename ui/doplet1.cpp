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

#ifndef DOPLET_VERSION
#define DOPLET_VERSION "unknown"
#endif

namespace {

// --help and --version print and end the program before anything needs a display. The options
// Qt's window system takes are let through to it.
void HandleCommandLine(int argc, char** argv) {
    const QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(DOPLET_VERSION));
    QTranslator qtTexts; // "Usage:", "Displays help ..." in the user's language
    if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qtTexts);
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Doplet: ２つのフォルダーのファイルを比較し、新しい方を古い方に上書きします。\n"
        "Keeps two folders in step: the newer copy of every file overwrites the older one.\n"
        "コマンドラインからの同期 / pass from the command line: doplet-sync --help"));
    parser.addHelpOption();
    parser.addVersionOption();
    for (const char* name : {"platform", "display", "style", "stylesheet", "geometry",
                             "qwindowgeometry", "platformtheme", "plugin"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    parser.process(core);
}

} // namespace

int main(int argc, char** argv) {
    HandleCommandLine(argc, argv);
    const doplet::BenchHook bench; // a measuring aid for bench/run; idle unless asked for
    doplet::DopletApplication application(argc, argv);
    doplet::Windows windows(doplet::MakeNativeFileSystem());
    windows.Fmain1.show();
    bench.windowShown(windows);
    return doplet::DopletApplication::exec();
}
