#pragma once

#include "platform/iSerialLine.h"

#include <memory>
#include <string>

// A pseudo-terminal pair set raw on both ends (115200 8N1, no echo, no CR/LF translation, no signals
// from data bytes): the master plays a serial peer, the slave is opened by path like any serial
// device. Windows has none: open() fails there. Owned by whoever plays the peer.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Whether this platform has pseudo-terminals.
    static bool supported();

    // Creates the pair. masterLine() needs a non-blocking master. False when the OS gives none.
    bool open(bool nonBlockingMaster = false);
    void close();

    // The master's descriptor (-1 when closed), for peers that drive it directly.
    int master() const;
    // The master as a serial line (opened non-blocking); null when closed.
    iSerialLine* masterLine();
    const std::string& slavePath() const { return slavePath_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    std::string slavePath_;
};
