#include "postlink/relocation.h"

#include "postlink/big_endian.h"

namespace tarvoline::postlink {
namespace {

bool ReadListCount(std::span<const std::uint8_t> data0, std::size_t& cursor, std::int32_t& count) {
    if (cursor > data0.size() || data0.size() - cursor < 4) {
        return false;
    }
    count = static_cast<std::int32_t>(ReadBigEndian32(data0.data() + cursor));
    cursor += 4;
    return true;
}

// Moves `position` by one entry; false when the entry runs past DATA 0.
bool ReadEntry(std::span<const std::uint8_t> data0, std::size_t& cursor, std::int64_t& position) {
    const std::size_t left = cursor <= data0.size() ? data0.size() - cursor : 0;
    if (left < 1) {
        return false;
    }
    const std::uint8_t* entry = data0.data() + cursor;
    if (entry[0] & 0x80) {
        // Seven-bit signed step in words.
        const int step = static_cast<std::int8_t>(entry[0] << 1) / 2;
        position += std::int64_t{step} * 2;
        cursor += 1;
    } else if (entry[0] & 0x40) {
        if (left < 2) {
            return false;
        }
        const int raw = ((entry[0] & 0x3F) << 8) | entry[1];
        const int step = raw >= 0x2000 ? raw - 0x4000 : raw;
        position += std::int64_t{step} * 2;
        cursor += 2;
    } else {
        if (left < 4) {
            return false;
        }
        position = std::int64_t{ReadBigEndian32(entry) & 0x3FFFFFFF} * 2;
        cursor += 4;
    }
    return true;
}

}  // namespace

bool ApplyRelocationGroup(std::span<const std::uint8_t> data0, std::size_t& cursor,
                          std::span<std::uint8_t> image, std::int64_t base,
                          const std::array<std::uint32_t, kRelocationListsPerGroup>& amounts,
                          std::string& detail) {
    const auto imageSize = static_cast<std::int64_t>(image.size());
    for (std::uint32_t amount : amounts) {
        std::int32_t count = 0;
        if (!ReadListCount(data0, cursor, count)) {
            detail = "a relocation list runs past the end of DATA 0";
            return false;
        }
        std::int64_t position = 0;
        for (std::int32_t i = 0; i < count; ++i) {
            if (!ReadEntry(data0, cursor, position)) {
                detail = "a relocation list runs past the end of DATA 0";
                return false;
            }
            const std::int64_t at = base + position;
            if (at < 0 || at > imageSize - 4) {
                detail = "a relocation names a word outside the image, at image offset " +
                         std::to_string(at);
                return false;
            }
            std::uint8_t* word = image.data() + at;
            WriteBigEndian32(word, ReadBigEndian32(word) + amount);
        }
    }
    return true;
}

}  // namespace tarvoline::postlink
