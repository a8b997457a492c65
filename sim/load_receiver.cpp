#include "load_receiver.h"

#include <cstdio>

namespace vivaz {

namespace {

std::string hexByte(std::uint8_t b) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

}  // namespace

LoadReceiver::LoadReceiver(SparseMemory& memory, std::uint32_t address, std::uint32_t count)
    : memory_(memory), address_(address), count_(count) {
    nextBlockOrEnd();
}

void LoadReceiver::nextBlockOrEnd() {
    requested_ = false;
    phase_ = blockDue() ? Phase::LengthHigh : Phase::End1;
}

LoadReceiver::Event LoadReceiver::failWith(std::string message) {
    phase_ = Phase::Failed;
    error_ = std::move(message);
    return Event::Error;
}

LoadReceiver::Event LoadReceiver::feed(std::uint8_t byte) {
    const std::string block = "block " + std::to_string(blocks_ + 1);
    switch (phase_) {
        case Phase::LengthHigh:
            if (!requested_) {
                return failWith(block + ": byte " + hexByte(byte) + " before the block request");
            }
            blockLength_ = std::uint32_t{byte} << 8;
            phase_ = Phase::LengthLow;
            return Event::None;
        case Phase::LengthLow:
            blockLength_ |= byte;
            if (blockLength_ == 0) {
                return failWith("data ended after " + std::to_string(received_) + " of " +
                                std::to_string(count_) + " bytes");
            }
            if (blockLength_ > kMaxBlock) {
                return failWith(block + ": length " + std::to_string(blockLength_) +
                                " is over 1024");
            }
            if (blockLength_ > count_ - received_) {
                return failWith(block + ": length " + std::to_string(blockLength_) +
                                " overruns the count (" + std::to_string(count_ - received_) +
                                " bytes left)");
            }
            inBlock_ = 0;
            phase_ = Phase::Data;
            return Event::None;
        case Phase::Data:
            memory_.write(address_ + received_, std::span<const std::uint8_t>(&byte, 1));
            ++received_;
            if (++inBlock_ == blockLength_) {
                phase_ = Phase::Trailer1;
            }
            return Event::None;
        case Phase::Trailer1:
        case Phase::Trailer2:
            if (byte != 0) {
                return failWith(block + ": trailer byte " + hexByte(byte) + ", expected 00");
            }
            if (phase_ == Phase::Trailer1) {
                phase_ = Phase::Trailer2;
                return Event::None;
            }
            ++blocks_;
            nextBlockOrEnd();
            return Event::BlockComplete;
        case Phase::End1:
        case Phase::End2:
            if (byte != 0) {
                return failWith("byte " + hexByte(byte) + " after the last block, expected 00 00");
            }
            if (phase_ == Phase::End1) {
                phase_ = Phase::End2;
                return Event::None;
            }
            phase_ = Phase::Done;
            return Event::EndOfData;
        case Phase::Done:
            return failWith("byte " + hexByte(byte) + " after the end of data");
        case Phase::Failed:
            return Event::Error;
    }
    return Event::None;
}

}  // namespace vivaz
