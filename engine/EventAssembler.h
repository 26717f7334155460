#pragma once

#include "engine/EngineEvent.h"

#include <cstdint>

// Cuts the event pipe's byte stream back into engine events. A header byte (bit 7 set) starts an
// event of L payload bytes, or of exactly one ignored byte when L is 0; bytes with bit 7 clear outside
// an event are dropped, which realigns the stream. Each complete event goes to the handler.
// Owned by the engine worker thread.
class EventAssembler {
public:
    // event points at the header byte; length is 2 to 32. The buffer is reused for the next event.
    using Handler = void (*)(void* context, const uint8_t* event, int length);

    EventAssembler(Handler handler, void* context) : handler_(handler), context_(context) {}
    EventAssembler(const EventAssembler&) = delete;
    EventAssembler& operator=(const EventAssembler&) = delete;

    void assembleEventByte(uint8_t byte);

private:
    Handler handler_;
    void* context_;
    bool collecting_ = false;
    int assembledCount_ = 0; // bytes of the current event in eventBuffer_, header included
    int expectedCount_ = 0;  // count at which the event is complete: 2 to 32
    uint8_t eventBuffer_[kMaxEventBytes] = {};
};
