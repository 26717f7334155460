#pragma once

#include "engine/EngineEvent.h"

#include <cstdint>

// The commands that change the controller, held back while the logging cycle runs and sent one after each
// data block in the order they were issued. There is one entry per kind of command: closed loop, PID, aux,
// tracking (start/stop, rate and special mode together), encoder calibration, EEPROM store, command 40,
// and each parameter index of the 16-bit and of the 8-bit parameter write. A later command of a kind that
// already waits replaces the waiting one and moves to the end of the order. The storage has room for
// every kind at once, so no command is ever refused. Fixed size; part of the session's fields, owned by
// the engine worker thread.
class HeldCommands {
public:
    static constexpr int kFixedKinds = 7;
    static constexpr int kCapacity = kFixedKinds + 2 * 256;

    // Whether commands with this code are held back while the logging cycle runs.
    static bool holds(uint8_t code);

    // Queues the command event (header, code, arguments; the header's length says how many bytes there
    // are). Returns true when a waiting command of the same kind was replaced. Events of other codes are
    // not taken (false).
    bool add(const uint8_t* event);
    // Moves the oldest waiting command into out (header first, the bytes after its payload zeroed);
    // false when none waits.
    bool takeOldest(uint8_t (&out)[kMaxEventBytes]);
    void clear() { count_ = 0; }
    int count() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The code of the i-th waiting command, oldest first; 0 outside 0..count()-1.
    uint8_t codeAt(int i) const { return i >= 0 && i < count_ ? entries_[i].event[1] : 0; }

private:
    struct Entry {
        uint16_t kind;
        uint8_t event[kMaxEventBytes];
    };

    // A number per kind: the code (tracking commands share one), or the code with the parameter index.
    static uint16_t kindOf(const uint8_t* event);
    void removeAt(int index);

    Entry entries_[kCapacity];
    int count_ = 0;
};
