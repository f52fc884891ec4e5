// The program: the application, its three windows over the real file system, and the event loop
// until the main window has closed.

#include "DopletApplication.h"
#include "FileSystem.h"
#include "Windows.h"

int main(int argc, char** argv) {
    doplet::DopletApplication application(argc, argv);
    doplet::Windows windows(doplet::MakeNativeFileSystem());
    windows.Fmain1.show();
    return doplet::DopletApplication::exec();
}
