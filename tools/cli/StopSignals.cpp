#include "tools/cli/StopSignals.h"

#include "tools/cli/ConsoleProgram.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace {

#ifdef _WIN32

// Set when the program has finished; a handler of a close, logoff or shutdown waits for it.
HANDLE g_finished = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type) {
    ConsoleProgram::requestStop();
    switch (type) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Returning lets the system end the process: first give the program the time to restore. The
        // system's own time-out ends the wait if it is shorter.
        if (g_finished != nullptr)
            ::WaitForSingleObject(g_finished, 30000);
        return TRUE;
    default:
        return TRUE; // Ctrl-C and Ctrl-Break: the program stops by itself
    }
}

#else

void onSignal(int) {
    ConsoleProgram::requestStop();
}

#endif

} // namespace

void installStopSignals() {
#ifdef _WIN32
    if (g_finished == nullptr)
        g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!::SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        // Without a handler the default one ends the program at once, as before.
        return;
    }
#else
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // the handler stays installed: a second signal asks again
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
#endif
}

void stopSignalsFinished() {
#ifdef _WIN32
    if (g_finished != nullptr)
        ::SetEvent(g_finished);
#endif
}
