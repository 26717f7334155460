#include "engine/HeldCommands.h"

#include <cstring>

bool HeldCommands::holds(uint8_t code) {
    switch (code) {
    case CmdStoreParameters:
    case CmdSetEncoderCalibration:
    case CmdTracking:
    case CmdTrackingRate:
    case CmdTrackingSpecial:
    case CmdWriteParam16:
    case CmdWriteParam8:
    case CmdClosedLoop:
    case CmdSendPid:
    case CmdSendAux:
    case CmdDevice40:
        return true;
    default:
        return false;
    }
}

uint16_t HeldCommands::kindOf(const uint8_t* event) {
    const uint8_t code = event[1];
    // The parameter index is the first argument; an event without it writes index 0.
    const uint8_t index = eventPayloadLength(event[0]) >= 2 ? event[2] : 0;
    switch (code) {
    case CmdTrackingRate:
    case CmdTrackingSpecial:
        return CmdTracking;
    case CmdWriteParam16:
        return static_cast<uint16_t>(0x100 | index);
    case CmdWriteParam8:
        return static_cast<uint16_t>(0x200 | index);
    default:
        return code;
    }
}

void HeldCommands::removeAt(int index) {
    if (index < 0 || index >= count_)
        return;
    std::memmove(&entries_[index], &entries_[index + 1],
                 static_cast<std::size_t>(count_ - index - 1) * sizeof(Entry));
    --count_;
}

bool HeldCommands::add(const uint8_t* event) {
    const int length = eventPayloadLength(event[0]);
    if (length == 0 || !holds(event[1]))
        return false;
    const uint16_t kind = kindOf(event);
    bool replaced = false;
    for (int i = 0; i < count_; ++i) {
        if (entries_[i].kind == kind) {
            removeAt(i);
            replaced = true;
            break;
        }
    }
    // Every kind has its own place, so after a replacement or for a new kind there is always room.
    if (count_ >= kCapacity)
        return replaced;
    Entry& entry = entries_[count_++];
    entry.kind = kind;
    std::memset(entry.event, 0, sizeof entry.event);
    std::memcpy(entry.event, event, static_cast<std::size_t>(1 + length));
    return replaced;
}

bool HeldCommands::takeOldest(uint8_t (&out)[kMaxEventBytes]) {
    if (count_ == 0)
        return false;
    std::memcpy(out, entries_[0].event, sizeof out);
    removeAt(0);
    return true;
}
