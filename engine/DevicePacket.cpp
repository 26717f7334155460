#include "engine/DevicePacket.h"

DevicePacket::DevicePacket(uint8_t command) {
    bytes_[0] = rz4::kPacketStart;
    bytes_[1] = 1;
    bytes_[2] = command;
    size_ = 3;
}

// Every put keeps the length byte equal to the number of bytes after it. The shapes in use fill at
// most 34 bytes; a put beyond the buffer is dropped rather than written past it.
void DevicePacket::putByte(uint32_t value) {
    if (size_ >= rz4::kMaxPacketBytes) {
        return;
    }
    bytes_[size_++] = static_cast<uint8_t>(value & 0xFF);
    bytes_[1] = static_cast<uint8_t>(size_ - 2);
}

void DevicePacket::putWord(uint32_t value) {
    putByte(value);
    putByte(value >> 8);
}

void DevicePacket::putLong(uint32_t value) {
    putWord(value);
    putWord(value >> 16);
}

DevicePacket DevicePacket::query(uint8_t command) {
    return DevicePacket(command);
}

DevicePacket DevicePacket::withBytes(uint8_t command, uint32_t b1) {
    DevicePacket packet(command);
    packet.putByte(b1);
    return packet;
}

DevicePacket DevicePacket::withBytes(uint8_t command, uint32_t b1, uint32_t b2) {
    DevicePacket packet = withBytes(command, b1);
    packet.putByte(b2);
    return packet;
}

DevicePacket DevicePacket::withBytes(uint8_t command, uint32_t b1, uint32_t b2, uint32_t b3) {
    DevicePacket packet = withBytes(command, b1, b2);
    packet.putByte(b3);
    return packet;
}

DevicePacket DevicePacket::withBytes(uint8_t command, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4) {
    DevicePacket packet = withBytes(command, b1, b2, b3);
    packet.putByte(b4);
    return packet;
}

DevicePacket DevicePacket::withByteAndWord(uint8_t command, uint32_t b1, uint32_t w1) {
    DevicePacket packet = withBytes(command, b1);
    packet.putWord(w1);
    return packet;
}

DevicePacket DevicePacket::withBytesAndWord(uint8_t command, uint32_t b1, uint32_t b2, uint32_t w1) {
    DevicePacket packet = withBytes(command, b1, b2);
    packet.putWord(w1);
    return packet;
}

DevicePacket DevicePacket::withBytesAndLongs(uint8_t command, uint32_t b1, uint32_t b2, uint32_t d1,
                                             uint32_t d2) {
    DevicePacket packet = withBytes(command, b1, b2);
    packet.putLong(d1);
    packet.putLong(d2);
    return packet;
}

DevicePacket DevicePacket::withWords(uint8_t command, uint32_t b1, const uint16_t (&words)[10]) {
    DevicePacket packet = withBytes(command, b1);
    for (uint16_t word : words) {
        packet.putWord(word);
    }
    return packet;
}

DevicePacket DevicePacket::withWordsAndLongs(uint8_t command, uint32_t b1, uint32_t b2, uint32_t b3,
                                             uint32_t w1, uint32_t w2, const uint32_t (&longs)[6]) {
    DevicePacket packet = withBytes(command, b1, b2, b3);
    packet.putWord(w1);
    packet.putWord(w2);
    for (uint32_t value : longs) {
        packet.putLong(value);
    }
    return packet;
}
