#include "tools/bench/PtyController.h"

#include "engine/LittleEndian.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

bool PtyController::open() {
    if (!pty_.open())
        return false;
    frame_.assign(3 + 1 + kMaxBlockBytes, 0);
    return true;
}

uint8_t PtyController::serve(int waitMs) {
    pollfd fd{pty_.master(), POLLIN, 0};
    if (::poll(&fd, 1, waitMs) <= 0 || (fd.revents & POLLIN) == 0)
        return 0;
    uint8_t in[512];
    const ssize_t n = ::read(pty_.master(), in, sizeof in);
    uint8_t last = 0;
    for (ssize_t i = 0; i < n; ++i) {
        const uint8_t b = in[i];
        if (packetStored_ == 0) {
            if (b == 0xAA)
                packet_[packetStored_++] = b;
            continue;
        }
        if (packetStored_ == 1 && (b == 0 || b > sizeof packet_ - 2)) {
            packetStored_ = 0;
            continue;
        }
        packet_[packetStored_++] = b;
        if (packetStored_ >= 2 && packetStored_ == static_cast<std::size_t>(packet_[1]) + 2) {
            last = packet_[2];
            if (last == kBlockRequest)
                lastRequestCount_ = packetStored_ >= 6 ? packet_[4] | packet_[5] << 8 : 0;
            else
                answer(last);
            packetStored_ = 0;
        }
    }
    return last;
}

int PtyController::awaitBlockRequest(int waitMs) {
    lastRequestCount_ = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (lastRequestCount_ < 0 && std::chrono::steady_clock::now() < deadline)
        serve(10);
    return lastRequestCount_;
}

void PtyController::answer(uint8_t code) {
    // Every reply is a short frame; fields the host does not read stay zero.
    uint8_t reply[26] = {'U', 24, code};
    switch (code) {
    case 1: // identity: exactly five payload bytes, code 1, hardware version
        reply[1] = 5;
        putLe32(reply + 3, 0x02010000);
        writeAll(reply, 7);
        return;
    case 3: // link information: the largest block at bytes 16..19
        putLe32(reply + 16, kMaxBlockBytes);
        break;
    case 23: // encoder width
        reply[5] = 25;
        break;
    case 82: // record format
        reply[3] = kRecordLength;
        break;
    default:
        break;
    }
    writeAll(reply, sizeof reply);
}

std::size_t PtyController::buildBlock(uint32_t records) {
    const uint32_t fit = kMaxBlockBytes / kRecordLength;
    if (records > fit)
        records = fit;
    const uint32_t declared = 1 + records * kRecordLength;
    frame_[0] = 'R';
    frame_[1] = static_cast<uint8_t>(declared);
    frame_[2] = static_cast<uint8_t>(declared >> 8);
    frame_[3] = kBlockRequest;
    for (uint32_t r = 0; r < records; ++r, ++nextRecord_) {
        uint8_t* out = frame_.data() + 4 + r * kRecordLength;
        putLe32(out, nextRecord_);
        putLe32(out + 4, nextRecord_ * 37u % 2000u);
        putLe32(out + 8, nextRecord_ * 37u % 2000u + 4000u);
        putLe32(out + 12, 0x02000400u);
    }
    frameSize_ = 3 + declared;
    return frameSize_;
}

bool PtyController::writeBlock() {
    return writeAll(frame_.data(), frameSize_);
}

bool PtyController::writeAll(const uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(pty_.master(), bytes, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd fd{pty_.master(), POLLOUT, 0};
                ::poll(&fd, 1, 100);
                continue;
            }
            return false;
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}
