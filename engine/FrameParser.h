#pragma once

#include "engine/iFrameHandler.h"
#include "rz4/Rz4Protocol.h"

#include <cstdint>

// Cuts the controller's byte stream into frames: short frames 'U', L, L payload bytes (L 0..255) and
// block frames 'R', N low, N high, N data bytes (N 0..2048). Bytes outside a frame that are neither
// 'U' nor 'R' are skipped. Keeps its state across calls, so a frame may span any number of calls.
// Owned by the engine worker thread.
class FrameParser {
public:
    enum State : int32_t {
        Idle = 0,
        ShortLength = 1,
        ShortPayload = 2,
        BlockLengthLow = 3,
        BlockLengthHigh = 4,
        BlockData = 5,
    };

    explicit FrameParser(iFrameHandler* handler) : handler_(handler) {}

    // Feeds count bytes. Hands every frame completed on the way to the handler, in order, and returns
    // the handler's result for the last of them, or 0 when no frame was completed.
    int parseFrameBytes(const uint8_t* bytes, int count);

    State state() const { return frameState_; }

    // Forgets a frame in progress: a new connection must not complete a frame that the previous one
    // cut off (its first replies would be swallowed as the rest of that frame).
    void reset() {
        frameState_ = Idle;
        frameStored_ = 0;
        frameDeclared_ = 0;
        frameCount_ = 0;
    }

private:
    int deliver();

    iFrameHandler* handler_;
    State frameState_ = Idle;
    int32_t frameStored_ = 0;   // bytes of the current frame in frameBuffer_, header included
    int32_t frameDeclared_ = 0; // L of a short frame, N of a block frame
    int32_t frameCount_ = 0;    // payload or data bytes received so far
    uint8_t frameBuffer_[rz4::kFrameBufferBytes] = {};
};
