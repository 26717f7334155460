#include "platform/Process.h"

#include <windows.h>

uint32_t currentProcessId() {
    return static_cast<uint32_t>(::GetCurrentProcessId());
}
