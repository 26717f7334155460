#pragma once

#include <cstdint>

// What the session logic needs from the engine's transport. Implemented by CommControl; tests use a
// fake. All calls come from the engine worker thread.
class iSessionHost {
public:
    // Opens the port with this number (1..255) and starts the serial reader thread. The reader tags a
    // failure notice with generation. False when the port cannot be opened.
    virtual bool openPort(uint32_t port, uint8_t generation) = 0;
    // Stops the reader (bounded wait), purges and closes the port. Harmless when nothing is open.
    virtual void closePort() = 0;
    // Writes one packet; false when no port is open or the write does not finish within 1000 ms.
    virtual bool writePort(const uint8_t* bytes, int count) = 0;
    // Pauses the worker thread (the 500 ms settle time after opening a port).
    virtual void pause(int milliseconds) = 0;
    virtual ~iSessionHost() = default;
};
