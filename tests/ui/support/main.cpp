// The GUI tests' program: the real application object on Qt's offscreen platform, with the
// settings store in a fresh temporary $XDG_CONFIG_HOME (set before anything reads it: the store's
// location is taken once per process).

#include "DopletApplication.h"
#include "UiTestSupport.h"

#include <QLocale>
#include <cstdlib>
#include <gtest/gtest.h>

// NOLINTBEGIN(concurrency-mt-unsafe): the environment is set before any thread starts
int main(int argc, char** argv) {
    const doplet::test::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    doplet::DopletApplication application(argc, argv);
    QLocale::setDefault(QLocale::c()); // size labels group digits with a comma
    return RUN_ALL_TESTS();
}
// NOLINTEND(concurrency-mt-unsafe)
