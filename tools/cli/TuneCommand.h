#pragma once

class ConsoleProgram;
class Rz4Emulator;
struct CliOptions;

// astrelvo-cli tune: measures the periodic error with the controller's PID as it is and with each
// --pid in turn, prints a line per step and the best, and puts the PID read at connect back (unless
// --keep), also after Ctrl-C or a failure while the link works. Returns the exit code. Main thread.
int runTune(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator);
