// The in-process serial line that the built-in emulator sits on: opening it by name, bytes in order both
// ways across the queue's wrap-around, a wire's loss while nobody listens, hang-up and room to write.

#include "platform/LoopbackLine.h"
#include "platform/SerialLines.h"
#include "platform/SerialPort.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads until count bytes have arrived, the line breaks or timeoutMs passes without a byte.
Bytes readBytes(iSerialLine& line, std::size_t count, int timeoutMs = 2000) {
    Event never;
    Bytes all;
    std::uint8_t buffer[700];
    while (all.size() < count) {
        const IoResult got = line.readWait(buffer, sizeof buffer, never, timeoutMs);
        if (got.status != IoStatus::Data)
            break;
        all.insert(all.end(), buffer, buffer + got.count);
    }
    return all;
}

struct Published {
    std::shared_ptr<LoopbackLine> line = std::make_shared<LoopbackLine>();
    std::string name = LoopbackLine::publish(line);
    ~Published() { LoopbackLine::withdraw(name); }
};

} // namespace

TEST(LoopbackLine, OpensByNameOnceAtATime) {
    Published p;
    int error = -1;
    auto host = openSerialLine(p.name, error);
    ASSERT_TRUE(host);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(host->isOpen());

    struct Case {
        std::string path;
        int error;
    };
    const Case cases[] = {
        {p.name, kSerialErrorBusy},                // held by the first host
        {"loopback:999999", kSerialErrorNotFound}, // never published
        {"", kSerialErrorNotFound},                // no path at all
        {std::string(LoopbackLine::kNamePrefix), kSerialErrorNotFound},
    };
    for (const Case& c : cases) {
        int e = 0;
        EXPECT_FALSE(openSerialLine(c.path, e)) << c.path;
        EXPECT_EQ(e, c.error) << c.path;
    }

    host->close();
    EXPECT_FALSE(host->isOpen());
    auto again = openSerialLine(p.name, error);
    EXPECT_TRUE(again) << "a closed host end frees the line";

    again.reset();
    LoopbackLine::withdraw(p.name);
    EXPECT_FALSE(openSerialLine(p.name, error));
    EXPECT_EQ(error, kSerialErrorNotFound);
}

TEST(LoopbackLine, BytesArriveInOrderBothWaysAcrossTheWrapAround) {
    Published p;
    int error = 0;
    auto host = openSerialLine(p.name, error);
    ASSERT_TRUE(host);
    iSerialLine& device = p.line->deviceEnd();

    // Three queue lengths and an odd piece size: the ring wraps at changing offsets, and a writer
    // that finds the queue full waits for the reader.
    const std::size_t total = 3 * LoopbackLine::kQueueBytes + 123;
    Bytes sent(total);
    for (std::size_t i = 0; i < total; ++i)
        sent[i] = static_cast<std::uint8_t>(i * 7 + i / 251);

    for (int direction = 0; direction < 2; ++direction) {
        iSerialLine& from = direction == 0 ? device : *host;
        iSerialLine& to = direction == 0 ? *host : device;
        bool written = false;
        Thread writer;
        ASSERT_TRUE(writer.start([&] {
            written = true;
            for (std::size_t at = 0; at < total && written; at += 997) {
                const std::size_t n = std::min<std::size_t>(997, total - at);
                written = from.writeAll(sent.data() + at, n, 5000);
            }
        }));
        const Bytes got = readBytes(to, total);
        ASSERT_TRUE(writer.join(10000));
        EXPECT_TRUE(written) << direction;
        EXPECT_EQ(got, sent) << direction;
    }
}

TEST(LoopbackLine, WhatTheDeviceSendsWithoutAHostIsLostAndOpeningStartsEmpty) {
    Published p;
    iSerialLine& device = p.line->deviceEnd();
    const std::uint8_t early[3] = {1, 2, 3};
    EXPECT_EQ(device.writeSome(early, 3, 0), 3); // taken, as a wire takes bytes nobody hears

    int error = 0;
    auto host = openSerialLine(p.name, error);
    ASSERT_TRUE(host);
    Event never;
    std::uint8_t buffer[8];
    EXPECT_EQ(host->readWait(buffer, sizeof buffer, never, 50).status, IoStatus::Timeout);

    // Bytes still queued when the host closes are gone for the next host.
    const std::uint8_t late[2] = {4, 5};
    EXPECT_EQ(device.writeSome(late, 2, 0), 2);
    host->close();
    EXPECT_EQ(host->writeSome(late, 2, 0), -1);
    EXPECT_EQ(host->readWait(buffer, sizeof buffer, never, 0).status, IoStatus::Broken);
    host = openSerialLine(p.name, error);
    ASSERT_TRUE(host);
    EXPECT_EQ(host->readWait(buffer, sizeof buffer, never, 50).status, IoStatus::Timeout);
}

TEST(LoopbackLine, HangUpDeliversWhatWasSentThenBreaks) {
    Published p;
    int error = 0;
    auto host = openSerialLine(p.name, error);
    ASSERT_TRUE(host);
    const std::uint8_t last[4] = {'U', 2, 9, 9};
    ASSERT_EQ(p.line->deviceEnd().writeSome(last, 4, 0), 4);
    p.line->hangUp();

    EXPECT_EQ(readBytes(*host, 4), Bytes(last, last + 4));
    Event never;
    std::uint8_t buffer[8];
    EXPECT_EQ(host->readWait(buffer, sizeof buffer, never, 1000).status, IoStatus::Broken);
    EXPECT_EQ(host->writeSome(last, 1, 0), -1);
    host.reset();
    EXPECT_FALSE(openSerialLine(p.name, error)) << "a line that hung up cannot be opened again";
    EXPECT_EQ(error, kSerialErrorNotFound);
}

TEST(LoopbackLine, StopAndRoomToWriteEndAWait) {
    Published p;
    int error = 0;
    auto host = openSerialLine(p.name, error);
    ASSERT_TRUE(host);
    iSerialLine& device = p.line->deviceEnd();
    Event stop(Event::Reset::Auto);
    std::uint8_t buffer[64];

    EXPECT_EQ(device.readWait(buffer, sizeof buffer, stop, 0, true).status, IoStatus::Writable);

    // Fill the queue to the host: no room now, and a bounded write takes nothing.
    const Bytes block(LoopbackLine::kQueueBytes, 0x55);
    ASSERT_EQ(device.writeSome(block.data(), block.size(), 0), static_cast<long>(block.size()));
    EXPECT_EQ(device.writeSome(block.data(), 1, 30), 0);
    EXPECT_EQ(device.readWait(buffer, sizeof buffer, stop, 30, true).status, IoStatus::Timeout);

    // The host reads a little: room again.
    ASSERT_EQ(host->readWait(buffer, sizeof buffer, stop, 0).status, IoStatus::Data);
    EXPECT_EQ(device.readWait(buffer, sizeof buffer, stop, 1000, true).status, IoStatus::Writable);

    // The stop event wins over waiting bytes; the bytes stay.
    const std::uint8_t packet[3] = {0xAA, 1, 1};
    ASSERT_EQ(host->writeSome(packet, 3, 0), 3);
    stop.set();
    EXPECT_EQ(device.readWait(buffer, sizeof buffer, stop, 1000).status, IoStatus::Stopped);
    const IoResult got = device.readWait(buffer, sizeof buffer, stop, 1000);
    EXPECT_EQ(got.status, IoStatus::Data);
    EXPECT_EQ(got.count, 3);
}
