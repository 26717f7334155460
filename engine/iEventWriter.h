#pragma once

#include <cstdint>

// Writes one whole engine event (2 to 32 bytes) into the engine's event pipe, as one unit that never
// interleaves with another writer's event. Implemented by CommControl; callable from any thread.
class iEventWriter {
public:
    virtual void writeEvent(const uint8_t* event, int length) = 0;
    virtual ~iEventWriter() = default;
};
