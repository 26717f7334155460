#include "platform/LargeMemory.h"

// Large pages on Windows need a privilege that users do not have: the hint does nothing there.
void adviseLargePages(void*, std::size_t) {}
