#pragma once

#include "platform/PseudoTerminal.h"

#include <cstdint>
#include <string>
#include <vector>

// A scripted controller on the master side of a pseudo-terminal, for the end-to-end benchmark: it
// answers the connection handshake and, on request, sends block frames of 16-byte records. Everything
// runs on the thread that calls it (the benchmark's main thread).
class PtyController {
public:
    static constexpr uint32_t kRecordLength = 16;
    static constexpr uint32_t kMaxBlockBytes = 2032; // 127 records per block

    bool open();
    const std::string& slavePath() const { return pty_.slavePath(); }

    // Reads what the host sent within waitMs and answers every handshake request in it. Returns the
    // command code of the last packet completed, or 0 when none was.
    uint8_t serve(int waitMs);
    // Waits for the host's block request; returns the record count it asks for, or -1 on time-out.
    int awaitBlockRequest(int waitMs);
    // Builds a block frame with records records (at most 127) and returns its size in bytes.
    std::size_t buildBlock(uint32_t records);
    // Writes the last built block frame whole; false when the line fails.
    bool writeBlock();

private:
    void answer(uint8_t code);
    bool writeAll(const uint8_t* bytes, std::size_t count);

    PseudoTerminal pty_;
    uint8_t packet_[40] = {};
    std::size_t packetStored_ = 0;
    int lastRequestCount_ = -1;
    uint32_t nextRecord_ = 0;
    std::vector<uint8_t> frame_; // sized for the largest block once
    std::size_t frameSize_ = 0;
};
