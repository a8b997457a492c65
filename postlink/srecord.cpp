#include "postlink/srecord.h"

#include <algorithm>
#include <new>

namespace tarvoline::postlink {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

class RecordWriter {
  public:
    explicit RecordWriter(std::string& text) : text_(text) {}

    // One record from at most 32 bytes: `fill` bytes of 0xFF, then `data`.
    void Data(std::uint32_t address, std::size_t fill, std::span<const std::uint8_t> data) {
        const auto count = static_cast<std::uint8_t>(fill + data.size() + 4);
        Begin("S2", count, address);
        for (std::size_t i = 0; i < fill; ++i) {
            Byte(0xFF);
        }
        for (std::uint8_t byte : data) {
            Byte(byte);
        }
        End();
    }

    void Termination(std::uint32_t address) {
        Begin("S8", 4, address);
        End();
    }

  private:
    void Begin(const char* type, std::uint8_t count, std::uint32_t address) {
        text_ += type;
        sum_ = 0;
        Byte(count);
        Byte(static_cast<std::uint8_t>(address >> 16));
        Byte(static_cast<std::uint8_t>(address >> 8));
        Byte(static_cast<std::uint8_t>(address));
    }

    void Byte(std::uint8_t value) {
        sum_ += value;
        const char digits[2] = {kHexDigits[value >> 4], kHexDigits[value & 0x0F]};
        text_.append(digits, 2);
    }

    void End() {
        const auto checksum = static_cast<std::uint8_t>(~sum_);
        const char tail[4] = {kHexDigits[checksum >> 4], kHexDigits[checksum & 0x0F], '\r', '\n'};
        text_.append(tail, 4);
    }

    std::string& text_;
    std::uint8_t sum_ = 0;
};

}  // namespace

std::optional<std::string> FormatSRecords(std::span<const std::uint8_t> image,
                                          std::uint32_t loadAddress) {
    constexpr std::size_t kLongestRecord = 2 + 2 * (1 + 3 + kSRecordDataBytes + 1) + 2;
    std::uint32_t address = loadAddress & ~std::uint32_t{0xFF};
    std::size_t fill = loadAddress & 0xFF;
    std::string text;
    try {
        text.reserve((fill + image.size()) / kSRecordDataBytes * kLongestRecord +
                     3 * kLongestRecord);
        RecordWriter writer(text);
        // Whole lines of 0xFF up to the line that holds the first image byte.
        while (fill > kSRecordDataBytes) {
            writer.Data(address, kSRecordDataBytes, {});
            address += kSRecordDataBytes;
            fill -= kSRecordDataBytes;
        }
        std::size_t sent = 0;
        while (sent < image.size()) {
            const std::size_t count = std::min(image.size() - sent, kSRecordDataBytes);
            // The first record leads with the fill; if the image is shorter than it, the
            // record is all fill.
            const std::size_t lead = std::min(fill, count);
            const std::size_t take = count - lead;
            writer.Data(address, lead, image.subspan(sent, take));
            address += static_cast<std::uint32_t>(count);
            sent += take;
            fill = 0;
        }
        writer.Termination(loadAddress);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return text;
}

}  // namespace tarvoline::postlink
