#include "model/store/Marker.h"

#include "engine/EngineEvent.h"
#include "rz4/ByteReader.h"
#include "rz4/Rz4Protocol.h"

#include <cstdio>
#include <cstring>

namespace {

// snprintf's count bounded to what the buffer holds.
int written(int n, int capacity) {
    if (n < 0)
        return 0;
    return n < capacity ? n : capacity - 1;
}

} // namespace

int formatMarkerLabel(char* buffer, int capacity, const uint8_t* command, uint32_t length) {
    if (buffer == nullptr || capacity < 1)
        return 0;
    buffer[0] = '\0';
    if (command == nullptr || length == 0)
        return 0;
    const ByteReader a(command + 1, static_cast<int>(length) - 1); // the arguments
    const auto u = [](uint32_t v) { return static_cast<unsigned>(v); };
    int n = -1;
    switch (command[0]) {
    case CmdStoreParameters:
        n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "EEPROM store");
        break;
    case CmdSetEncoderCalibration:
        n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Encoder %s, offset %d",
                          (a.byte(0) & 1u) != 0 ? "reverse" : "normal", static_cast<int32_t>(a.longAt(1)));
        break;
    case CmdTracking:
        n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Tracking %s",
                          a.byte(0) != 0 ? "on" : "off");
        break;
    case CmdTrackingRate:
    case CmdTrackingSpecial:
        n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Tracking %s %u%s",
                          command[0] == CmdTrackingRate ? "rate" : "special", u(a.byte(0)),
                          a.byte(1) != 0 ? ", flag" : "");
        break;
    case CmdWriteParam16:
        if (a.byte(0) == rz4::kParamMotorCurrent)
            n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Current %u mA", u(a.word(1)));
        else
            n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Param%u %u", u(a.byte(0)),
                              u(a.word(1)));
        break;
    case CmdWriteParam8:
        // Parameter 128 is signed; the others are shown as sent.
        if (a.byte(0) == rz4::kParam128)
            n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Param128 %d",
                              static_cast<int>(static_cast<int8_t>(a.byte(1))));
        else
            n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Param%u %u", u(a.byte(0)),
                              u(a.byte(1)));
        break;
    case CmdClosedLoop:
        if (a.byte(0) == 1 || a.byte(0) == 2)
            n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Closed loop %s",
                              a.byte(0) == 1 ? "on" : "off");
        else
            n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Closed loop %u", u(a.byte(0)));
        break;
    case CmdSendPid:
        n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "PID %u/%u/%u", u(a.word(0)),
                          u(a.word(2)), u(a.word(4)));
        break;
    case CmdSendAux:
        n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Aux mode %u", u(a.byte(0)));
        break;
    case CmdDevice40:
        n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Command 40: %u", u(a.byte(0)));
        break;
    default:
        n = std::snprintf(buffer, static_cast<std::size_t>(capacity), "Command %u", u(command[0]));
        break;
    }
    return written(n, capacity);
}

Marker makeMarker(uint32_t sample, const uint8_t* command, uint32_t length) {
    Marker marker;
    marker.sample = sample;
    if (command == nullptr || length == 0)
        return marker;
    marker.command = command[0];
    const uint32_t arguments = length - 1 < Marker::kMaxArguments ? length - 1 : Marker::kMaxArguments;
    marker.argumentCount = static_cast<uint8_t>(arguments);
    if (arguments > 0)
        std::memcpy(marker.arguments, command + 1, arguments);
    formatMarkerLabel(marker.label, Marker::kLabelSize, command, length);
    return marker;
}
