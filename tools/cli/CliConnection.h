#pragma once

class ConsoleProgram;
class Rz4Emulator;
struct CliOptions;

// Connects as the options say: the test mode, the built-in emulator (when given) or the device path.
// Returns true once the controller (or the test mode) is ready; otherwise the reason is on stderr.
// When interruptible, a stop request (Ctrl-C) ends the wait. Main thread.
bool connectController(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator,
                       bool interruptible = true);

// Closes the connection and waits (bounded) until the engine says so. Nothing to do in test mode.
void disconnectController(ConsoleProgram& session, const CliOptions& options);
