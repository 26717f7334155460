#include "tools/bench/PtyController.h"

#include "rz4/LittleEndian.h"
#include "rz4/Rz4Protocol.h"

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
            if (b == rz4::kPacketStart)
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
            if (last == rz4::CommandBlockRequest)
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
    namespace reply = rz4::reply;
    uint8_t frame[26] = {rz4::kShortFrame, 24, code};
    switch (code) {
    case rz4::QueryIdentity: // exactly five payload bytes: the code and the hardware version
        frame[reply::kLength] = reply::kIdentityLength;
        putLe32(frame + reply::kHardwareVersion, 0x02010000);
        writeAll(frame, 2 + reply::kIdentityLength);
        return;
    case rz4::QueryLinkInfo:
        putLe32(frame + reply::kMaxBlockBytes, kMaxBlockBytes);
        break;
    case rz4::QueryEncoderBits:
        frame[reply::kEncoderBits] = 25;
        break;
    case rz4::QueryRecordFormat:
        frame[reply::kRecordLength] = kRecordLength;
        break;
    default:
        break;
    }
    writeAll(frame, sizeof frame);
}

std::size_t PtyController::buildBlock(uint32_t records) {
    const uint32_t fit = kMaxBlockBytes / kRecordLength;
    if (records > fit)
        records = fit;
    const uint32_t declared = 1 + records * kRecordLength;
    frame_[0] = rz4::kBlockFrame;
    putLe16(frame_.data() + rz4::reply::kBlockLength, declared);
    frame_[rz4::reply::kBlockMarker] = rz4::CommandBlockRequest;
    for (uint32_t r = 0; r < records; ++r, ++nextRecord_) {
        uint8_t* out = frame_.data() + rz4::reply::kBlockRecords + r * kRecordLength;
        putLe32(out + rz4::kRecordTimestampOffset, nextRecord_);
        putLe32(out + rz4::kRecordPositionOffset, nextRecord_ * 37u % 2000u);
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
