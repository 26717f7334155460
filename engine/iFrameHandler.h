#pragma once

#include <cstdint>

// Receives each complete controller frame from FrameParser, from its first byte ('U' or 'R'); length is
// the number of bytes the frame really holds. Returns the session's step result (0 nothing further, 1
// handshake completed, 2 close the session). Called on the engine worker thread.
class iFrameHandler {
public:
    virtual int onFrame(const uint8_t* frame, int length) = 0;
    // A block frame declaring more data than a block may carry was dropped unread.
    virtual void onFrameDropped() {}
    virtual ~iFrameHandler() = default;
};
