#pragma once

#include <cstdint>

// Writes one whole engine event (2 to 32 bytes) into the engine's event pipe, as one unit that never
// interleaves with another writer's event. Implemented by CommControl; callable from any thread.
class iEventWriter {
public:
    virtual void writeEvent(const uint8_t* event, int length) = 0;
    // Whether serial data may be written now without eating into the room kept for commands and
    // ticks. The serial reader waits while it is false, leaving the bytes in the port's queue.
    virtual bool roomForSerialData() const { return true; }
    virtual ~iEventWriter() = default;
};
