#pragma once

#include <cstdint>

class DataTransfer;
class iSessionHost;

// The engine's session logic: dispatcher, handshake state machine, logging cycle, command executor and
// test-mode simulator. Lives inside CommControl and runs on the engine worker thread only.
// (Placeholder: the state machine is filled in separately.)
class Session {
public:
    Session(DataTransfer* transfer, iSessionHost* host) : transfer_(transfer), host_(host) {}

    // Called once per complete engine event: header byte at event[0], payload from event[1].
    void onEngineEvent(const uint8_t* event) { (void)event; }

private:
    DataTransfer* transfer_;
    iSessionHost* host_;
};
