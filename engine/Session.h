#pragma once

#include <cstdint>

class iEngineReport;
class iSessionHost;

// The engine's session logic: dispatcher, handshake state machine, logging cycle, command executor and
// test-mode simulator. Lives inside CommControl and runs on the engine worker thread only.
// (Placeholder: the state machine is filled in separately.)
class Session {
public:
    Session(iEngineReport* report, iSessionHost* host) : report_(report), host_(host) {}

    // Called once per complete engine event: header byte at event[0], payload from event[1].
    void onEngineEvent(const uint8_t* event) { (void)event; }

private:
    iEngineReport* report_;
    iSessionHost* host_;
};
