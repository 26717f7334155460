#pragma once

// The console's requests to stop: SIGINT, SIGTERM and SIGHUP (a dropped SSH session) on POSIX, and
// Ctrl-C, Ctrl-Break, closing the console, logoff and shutdown on Windows. Each asks ConsoleProgram to
// stop, however often it comes; the program goes on, so that a command can put back what it changed.
// SIGPIPE is ignored, so that output nobody reads any more fails a write instead of ending the program.
// On Windows the system ends the process once the handler of a close, logoff or shutdown returns: it
// waits (bounded by the system) until stopSignalsFinished(). Main thread.
void installStopSignals();
// The program has put back what it changed and is about to end.
void stopSignalsFinished();
