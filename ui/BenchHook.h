#pragma once

// A measuring aid for bench/run (see bench/README.md, "The program's benchmark hooks"). With the
// environment variable DOPLET_BENCH_EXIT set, the program reports on standard output how long the
// main window took to show ("shown"), or how a pass started by Execute went ("pass"), and then
// closes its main window the ordinary way. Without the variable it does nothing at all.

#include <QElapsedTimer>

namespace doplet {

struct Windows;

class BenchHook {
public:
    // Made first thing in main(): reads DOPLET_BENCH_EXIT once and starts the clock.
    BenchHook();

    // Right after the main window's show(): the report follows once the event loop is idle.
    void windowShown(Windows& windows) const;

private:
    enum class Mode { Off, Shown, Pass };

    Mode mode_ = Mode::Off;
    QElapsedTimer sinceMain_;
};

} // namespace doplet
