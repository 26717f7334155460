#include "engine/EventAssembler.h"

void EventAssembler::assembleEventByte(uint8_t byte) {
    if (!collecting_) {
        if ((byte & 0x80) == 0)
            return; // stray byte between events
        eventBuffer_[0] = byte;
        assembledCount_ = 1;
        // A header without payload still carries one (ignored) byte, so every event has at least two.
        int payload = eventPayloadLength(byte);
        expectedCount_ = (payload == 0 ? 1 : payload) + 1;
        collecting_ = true;
        return;
    }
    if (assembledCount_ < kMaxEventBytes)
        eventBuffer_[assembledCount_++] = byte;
    if (assembledCount_ >= expectedCount_) {
        collecting_ = false;
        if (handler_ != nullptr)
            handler_(context_, eventBuffer_, assembledCount_);
    }
}
