#pragma once

#include "engine/SessionFields.h"

#include <cstdint>

class DevicePacket;
class Simulator;
class iEngineReport;
class iSessionHost;

// Carries out the control commands 4..20: each becomes one packet to the controller and sets the
// session state to the reply it expects. In test mode the commands that only concern the real drive
// are skipped and StartLog / FetchLog go to the simulator. While the logging cycle runs, every command
// that changes the controller is held back (HeldCommands) and sent after a data block, one per block,
// so that the polling goes on; each such change, and one sent at once while logging, leaves a marker
// in the record stream where it took effect (a PID sent at once while not logging is reported too, as
// what the controller now holds). Also owns the packets the logging cycle sends. Runs on
// the engine worker thread; works on the session's fields.
class CommandExecutor {
public:
    CommandExecutor(SessionFields& fields, Simulator& simulator, iEngineReport* report, iSessionHost* host);

    // event: header byte, command code, arguments. Arguments the event does not carry read as 0.
    void executeCommand(const uint8_t* event);

    // Sends the data block request for blockRecords records and waits for the block.
    void requestBlock();
    // Sends the oldest held-back command. Returns true when the controller answers it: the state is then
    // AwaitDeferredAck. Otherwise its marker is written and the caller goes on with the cycle.
    bool sendHeldCommand();
    // The answer to the command sent by sendHeldCommand has come: reports it and writes its marker.
    void heldCommandAnswered();

    // Whether the controller answers this command with a short frame.
    static bool answered(uint8_t code);

private:
    void send(const DevicePacket& packet);
    // Whether the logging cycle runs: logging, and the session between log start and block requests.
    bool cycleRunning() const;
    // Holds event back until the next block; says so when it replaced a waiting one of its kind.
    void hold(const uint8_t* event);
    // Sends the packet of a command that changes the controller (and, for the encoder calibration, keeps
    // the new calibration). Leaves the session state alone.
    void sendCommandPacket(const uint8_t* event);
    // Carries out a command at once: its packet, and the state it leaves behind.
    void carryOut(const uint8_t* event);
    // Sends every held-back command at once, oldest first (the cycle has ended).
    void sendAllHeld();
    void writeMarker(const uint8_t* event);
    // Sets the state a carried-out command leaves behind.
    void setState(SessionState state) { fields_.sessionState = state; }

    SessionFields& fields_;
    Simulator& simulator_;
    iEngineReport* report_;
    iSessionHost* host_;
};
