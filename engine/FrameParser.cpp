#include "engine/FrameParser.h"

int FrameParser::deliver() {
    frameState_ = Idle;
    return handler_->onFrame(frameBuffer_, frameStored_);
}

int FrameParser::parseFrameBytes(const uint8_t* bytes, int count) {
    int result = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        switch (frameState_) {
        case Idle:
            if (byte == rz4::kShortFrame) {
                frameBuffer_[0] = byte;
                frameState_ = ShortLength;
            } else if (byte == rz4::kBlockFrame) {
                frameBuffer_[0] = byte;
                frameState_ = BlockLengthLow;
            }
            break;
        case ShortLength:
            frameBuffer_[1] = byte;
            frameDeclared_ = byte;
            frameStored_ = 2;
            frameCount_ = 0;
            if (byte == 0) {
                result = deliver();
            } else {
                frameState_ = ShortPayload;
            }
            break;
        case BlockLengthLow:
            frameBuffer_[1] = byte;
            frameDeclared_ = byte;
            frameState_ = BlockLengthHigh;
            break;
        case BlockLengthHigh:
            frameBuffer_[2] = byte;
            frameDeclared_ += byte * 256;
            frameStored_ = 3;
            frameCount_ = 0;
            if (frameDeclared_ == 0) {
                result = deliver();
            } else if (frameDeclared_ <= rz4::kMaxBlockData) {
                frameState_ = BlockData;
            } else {
                // More data than a block may carry: the frame is dropped at once and the following bytes
                // are scanned for the start of the next frame.
                frameState_ = Idle;
                handler_->onFrameDropped();
            }
            break;
        case ShortPayload:
        case BlockData:
            ++frameCount_;
            if (frameStored_ < rz4::kFrameBufferBytes) {
                frameBuffer_[frameStored_++] = byte;
            }
            if (frameCount_ >= frameDeclared_) {
                result = deliver();
            }
            break;
        }
    }
    return result;
}
