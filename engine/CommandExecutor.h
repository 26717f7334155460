#pragma once

#include "engine/SessionFields.h"

#include <cstdint>

class DevicePacket;
class Simulator;
class iEngineReport;
class iSessionHost;

// Carries out the control commands 4..20: each becomes one packet to the controller and sets the
// session state to the reply it expects. In test mode the commands that only concern the real drive
// are skipped and StartLog / FetchLog go to the simulator; while logging, ClosedLoop and SendPid are
// held back (one slot) and sent after the next data block. Also owns the packets the logging cycle
// sends. Runs on the engine worker thread; works on the session's fields.
class CommandExecutor {
public:
    CommandExecutor(SessionFields& fields, Simulator& simulator, iEngineReport* report, iSessionHost* host);

    // event: header byte, command code, arguments. Arguments the event does not carry read as 0.
    void executeCommand(const uint8_t* event);

    // Sends the data block request for blockRecords records and waits for the block.
    void requestBlock();
    // Sends the held-back command, empties the slot and waits for its reply.
    void sendDeferredCommand();

private:
    void send(const DevicePacket& packet);
    void sendClosedLoop(uint32_t value);
    void sendPid(const uint32_t (&values)[10]);
    // Sets the state a carried-out command leaves behind.
    void setState(SessionState state) { fields_.sessionState = state; }

    SessionFields& fields_;
    Simulator& simulator_;
    iEngineReport* report_;
    iSessionHost* host_;
};
