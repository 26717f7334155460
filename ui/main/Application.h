#pragma once

#include <functional>

class DlgMain;
struct CommandLine;

// The program's life: creates the long-lived objects in their fixed order, wires them with
// non-owning pointers, starts the heartbeat, runs the main dialog modally and takes everything apart
// again. Runs on the thread that becomes the UI thread; a QApplication must exist.
class Application {
public:
    // Called with the wired main dialog just before it runs (tests drive the dialog from here).
    using BeforeRun = std::function<void(DlgMain&)>;

    // Runs the program and returns its exit code, 0. line, when given, names the port to select,
    // whether to connect to it at once and a log to open.
    static int run(const BeforeRun& beforeRun = {}, const CommandLine* line = nullptr);
};
