#pragma once

#include "rz4/Rz4Protocol.h"

#include <cstdint>

// One packet from the host to the controller: rz4::kPacketStart, a length byte equal to the number of bytes
// after it, the controller command number and the command's fields (u16 and u32 little-endian). Built on the
// stack in a fixed buffer by one of the shape builders below; a byte field keeps the low 8 bits of its
// argument, a word field the low 16 bits. Used on the engine worker thread only.
class DevicePacket {
public:
    // Command number only (the handshake queries).
    static DevicePacket query(uint8_t command);
    // Command number and one to four single-byte fields.
    static DevicePacket withBytes(uint8_t command, uint32_t b1);
    static DevicePacket withBytes(uint8_t command, uint32_t b1, uint32_t b2);
    static DevicePacket withBytes(uint8_t command, uint32_t b1, uint32_t b2, uint32_t b3);
    static DevicePacket withBytes(uint8_t command, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4);
    // b1, w1 (the data block request).
    static DevicePacket withByteAndWord(uint8_t command, uint32_t b1, uint32_t w1);
    // b1, b2, w1.
    static DevicePacket withBytesAndWord(uint8_t command, uint32_t b1, uint32_t b2, uint32_t w1);
    // b1, b2, d1, d2.
    static DevicePacket withBytesAndLongs(uint8_t command, uint32_t b1, uint32_t b2, uint32_t d1,
                                          uint32_t d2);
    // b1, then ten words.
    static DevicePacket withWords(uint8_t command, uint32_t b1, const uint16_t (&words)[10]);
    // b1, b2, b3, w1, w2, then six longs.
    static DevicePacket withWordsAndLongs(uint8_t command, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t w1,
                                          uint32_t w2, const uint32_t (&longs)[6]);

    const uint8_t* data() const { return bytes_; }
    int size() const { return size_; }

private:
    explicit DevicePacket(uint8_t command);
    void putByte(uint32_t value);
    void putWord(uint32_t value);
    void putLong(uint32_t value);

    uint8_t bytes_[rz4::kMaxPacketBytes] = {};
    int size_ = 0;
};
