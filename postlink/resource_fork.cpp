#include "postlink/resource_fork.h"

#include "postlink/big_endian.h"

namespace tarvoline::postlink {
namespace {

// Reads of the fork go through here so that every offset taken from the file is checked
// against the file before it is followed. Positions are 64-bit: 128 plus two 32-bit offsets
// cannot wrap.
class ForkReader {
  public:
    explicit ForkReader(std::span<const std::uint8_t> file) : file_(file) {}

    bool Has(std::uint64_t position, std::uint64_t length) const {
        return position <= file_.size() && length <= file_.size() - position;
    }
    bool U16(std::uint64_t position, std::uint16_t& value) const {
        if (!Has(position, 2)) {
            return false;
        }
        value = ReadBigEndian16(file_.data() + position);
        return true;
    }
    bool U24(std::uint64_t position, std::uint32_t& value) const {
        if (!Has(position, 3)) {
            return false;
        }
        value = ReadBigEndian24(file_.data() + position);
        return true;
    }
    bool U32(std::uint64_t position, std::uint32_t& value) const {
        if (!Has(position, 4)) {
            return false;
        }
        value = ReadBigEndian32(file_.data() + position);
        return true;
    }

  private:
    std::span<const std::uint8_t> file_;
};

// The map's own header: a copy of the fork header, two handles and attributes, then the
// offsets of the type list and of the name list.
constexpr std::uint64_t kMapHeaderSize = 28;
constexpr std::uint64_t kTypeEntrySize = 8;

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0x0F]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

ResourceLookup Malformed() {
    return {LookupStatus::kMalformed, {}, 0};
}

}  // namespace

std::string CheckResourceFork(std::span<const std::uint8_t> file) {
    const ForkReader reader(file);
    const std::string size = std::to_string(file.size()) + " bytes";
    if (file.empty()) {
        return "the file is empty";
    }
    std::uint32_t dataAreaOffset = 0;
    std::uint32_t mapOffset = 0;
    if (!reader.U32(kResourceForkStart, dataAreaOffset) ||
        !reader.U32(kResourceForkStart + 4, mapOffset)) {
        return "no resource fork: it has " + size + ", too few for a fork header at byte " +
               std::to_string(kResourceForkStart);
    }
    const std::uint64_t dataArea = kResourceForkStart + std::uint64_t{dataAreaOffset};
    if (!reader.Has(dataArea, 0)) {
        return "the resource data area at " + Hex(dataArea) + " lies outside the file's " + size;
    }
    const std::uint64_t map = kResourceForkStart + std::uint64_t{mapOffset};
    if (!reader.Has(map, kMapHeaderSize)) {
        return "the resource map at " + Hex(map) + " lies outside the file's " + size;
    }
    std::uint16_t typeListOffset = 0;
    std::uint16_t typeCountField = 0;
    reader.U16(map + 24, typeListOffset);  // inside the map header, checked above
    const std::uint64_t types = map + typeListOffset;
    if (!reader.U16(types, typeCountField)) {
        return "the resource type list at " + Hex(types) + " lies outside the file's " + size;
    }
    const int typeCount = static_cast<std::int16_t>(typeCountField) + 1;
    if (typeCount > 0 && !reader.Has(types + 2, kTypeEntrySize * std::uint64_t(typeCount))) {
        return "the resource type list at " + Hex(types) + " of " + std::to_string(typeCount) +
               " types runs past the end of the file's " + size;
    }
    return {};
}

ResourceLookup FindResource(std::span<const std::uint8_t> file, std::uint32_t type,
                            std::int16_t number) {
    const ForkReader reader(file);
    std::uint32_t dataAreaOffset = 0;
    std::uint32_t mapOffset = 0;
    if (!reader.U32(kResourceForkStart, dataAreaOffset) ||
        !reader.U32(kResourceForkStart + 4, mapOffset)) {
        return Malformed();
    }
    const std::uint64_t map = kResourceForkStart + std::uint64_t{mapOffset};
    std::uint16_t typeListOffset = 0;
    std::uint16_t typeCountField = 0;
    if (!reader.U16(map + 24, typeListOffset)) {
        return Malformed();
    }
    const std::uint64_t types = map + typeListOffset;
    if (!reader.U16(types, typeCountField)) {
        return Malformed();
    }
    const int typeCount = static_cast<std::int16_t>(typeCountField) + 1;
    for (int t = 0; t < typeCount; ++t) {
        const std::uint64_t entry = types + 2 + 8 * std::uint64_t(t);
        std::uint32_t entryType = 0;
        std::uint16_t resourceCountField = 0;
        std::uint16_t referenceListOffset = 0;
        if (!reader.U32(entry, entryType) || !reader.U16(entry + 4, resourceCountField) ||
            !reader.U16(entry + 6, referenceListOffset)) {
            return Malformed();
        }
        if (entryType != type) {
            continue;
        }
        const int resourceCount = static_cast<std::int16_t>(resourceCountField) + 1;
        for (int r = 0; r < resourceCount; ++r) {
            const std::uint64_t reference = types + referenceListOffset + 12 * std::uint64_t(r);
            std::uint16_t id = 0;
            std::uint32_t dataOffset = 0;
            if (!reader.U16(reference, id) || !reader.U24(reference + 5, dataOffset)) {
                return Malformed();
            }
            if (static_cast<std::int16_t>(id) != number) {
                continue;
            }
            const std::uint64_t lengthAt =
                kResourceForkStart + std::uint64_t{dataAreaOffset} + dataOffset;
            std::uint32_t length = 0;
            if (!reader.U32(lengthAt, length) || !reader.Has(lengthAt + 4, length)) {
                return Malformed();
            }
            return {LookupStatus::kFound, file.subspan(lengthAt + 4, length), lengthAt + 4};
        }
        return {};
    }
    return {};
}

std::string ResourceName(std::uint32_t type, int number) {
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        name += static_cast<char>((type >> shift) & 0xFF);
    }
    return name + " " + std::to_string(number);
}

}  // namespace tarvoline::postlink
