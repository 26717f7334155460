#pragma once

class ConsoleProgram;
class Rz4Emulator;
struct CliOptions;

// astrelvo-cli backup: writes the controller's settings (SettingsFile) to the --output file or to
// standard output. Returns the exit code. Main thread.
int runBackup(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator);

// astrelvo-cli restore: checks the settings file whole before anything is sent, sends its writable
// settings (the motor current only to a controller that reports its maximum), stores them in EEPROM
// with --store, connects again and prints each setting that reads back differently. Returns the exit
// code (3 when any does). Main thread.
int runRestore(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator);
