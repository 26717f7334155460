#pragma once

class ConsoleProgram;
class Rz4Emulator;
struct CliOptions;

// astrelvo-cli tune: a TuningRun that measures the periodic error with the controller's PID as it is and
// with each --pid in turn (or searches the gains), prints a line per step and the best, and puts the PID
// read at connect back once the run is over (unless --keep), also after a stop signal or a failure;
// "restored:" and "kept:" come only once the controller confirmed the values. Returns the exit code.
// Main thread.
int runTune(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator);
