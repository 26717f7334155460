#pragma once

// What a waiting read on a pipe or a serial line came back with.
enum class IoStatus {
    Data,     // count bytes were read
    Stopped,  // the stop event was signalled
    Timeout,  // nothing within the time-out
    Writable, // the caller asked to wake for room to write, and there is room
    Broken,   // the line failed or the peer hung up; it will not deliver again
};

struct IoResult {
    IoStatus status = IoStatus::Timeout;
    long count = 0;
};
