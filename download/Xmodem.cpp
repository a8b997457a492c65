#include "Xmodem.h"

std::uint16_t XmodemCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::uint8_t XmodemChecksum(const std::uint8_t* data, std::size_t length) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum += data[i];
    return static_cast<std::uint8_t>(sum);
}

std::size_t XmodemLengthWithoutPadding(const std::uint8_t* data, std::size_t length) {
    while (length > 0 && data[length - 1] == kXmodemSub)
        --length;
    return length;
}

const char* DescribeXmodemResult(XmodemResult result) {
    switch (result) {
        case XmodemResult::Ok:
            return "transfer complete";
        case XmodemResult::CannotOpen:
            return "the file cannot be opened";
        case XmodemResult::CannotCreate:
            return "the file cannot be created";
        case XmodemResult::WriteFailed:
            return "the file cannot be written";
        case XmodemResult::NoStart:
            return "the other side did not start the transfer";
        case XmodemResult::TooManyErrors:
            return "too many errors on the line";
        case XmodemResult::OutOfSequence:
            return "a block came out of sequence";
        case XmodemResult::CancelledByPeer:
            return "the other side cancelled the transfer";
        case XmodemResult::CancelledByUser:
            return "cancelled";
        case XmodemResult::LineLost:
            return "the serial device went away";
        case XmodemResult::NoAnswer:
            return "the other side gave no valid answer for a minute";
    }
    return "unknown";
}
