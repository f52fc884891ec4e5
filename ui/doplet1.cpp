// The program: the application, its three windows over the real file system, and the event loop
// until the main window has closed.

#include "BenchHook.h"
#include "DopletApplication.h"
#include "FileSystem.h"
#include "Windows.h"

int main(int argc, char** argv) {
    const doplet::BenchHook bench; // a measuring aid for bench/run; idle unless asked for
    doplet::DopletApplication application(argc, argv);
    doplet::Windows windows(doplet::MakeNativeFileSystem());
    windows.Fmain1.show();
    bench.windowShown(windows);
    return doplet::DopletApplication::exec();
}
