#pragma once

#include <cstdint>

// Implemented by the main dialog: posts (code, argument) to the UI thread and returns at once.
// Called from the engine's worker thread.
class iWMUserSender {
public:
    virtual bool PostUserMessage(uint32_t code, intptr_t argument) = 0;
    virtual ~iWMUserSender() = default;
};
