#pragma once

#include <cstddef>

// Asks the system to back a large block of memory (a whole night's samples, a long transform's buffer)
// with large pages where it can, before the block is first written: far fewer page faults for the same
// bytes. Only a hint: nothing changes where the system has no such pages.
void adviseLargePages(void* block, std::size_t bytes);
