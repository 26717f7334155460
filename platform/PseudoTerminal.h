#pragma once

#include "platform/FileHandle.h"

#include <string>

// A pseudo-terminal pair set raw on both ends (115200 8N1, no echo, no CR/LF translation, no signals from
// data bytes): the master plays a serial peer, the slave is opened by path like any serial device.
// Owned by whoever plays the peer.
class PseudoTerminal {
public:
    // Creates the pair. False when the OS gives none.
    bool open();
    void close();

    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }

private:
    FileHandle master_;
    FileHandle slave_; // kept open so that the line does not hang up while no host has it open
    std::string slavePath_;
};
