#include "platform/Process.h"

#include <unistd.h>

uint32_t currentProcessId() {
    return static_cast<uint32_t>(::getpid());
}
