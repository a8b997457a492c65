#include "memory.h"

namespace vivaz {

void SparseMemory::write(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
        const std::uint32_t a = address & kMask;
        auto& page = pages_[a / kPageSize];
        if (!page) {
            page = std::make_unique<Page>();
        }
        page->bytes[a % kPageSize] = b;
        page->written[a % kPageSize] = true;
        ++address;
    }
}

std::uint8_t SparseMemory::at(std::uint32_t address) const {
    const std::uint32_t a = address & kMask;
    const auto it = pages_.find(a / kPageSize);
    return it == pages_.end() ? 0 : it->second->bytes[a % kPageSize];
}

std::vector<std::uint8_t> SparseMemory::read(std::uint32_t address, std::size_t length) const {
    std::vector<std::uint8_t> out(length);
    for (std::size_t i = 0; i < length; ++i) {
        out[i] = at(address + static_cast<std::uint32_t>(i));
    }
    return out;
}

void SparseMemory::move(std::uint32_t from, std::uint32_t to, std::size_t length) {
    const auto bytes = read(from, length);
    write(to, bytes);
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> SparseMemory::writtenRanges() const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    for (const auto& [index, page] : pages_) {
        for (std::uint32_t i = 0; i < kPageSize; ++i) {
            if (!page->written[i]) {
                continue;
            }
            const std::uint32_t a = index * kPageSize + i;
            if (!ranges.empty() && ranges.back().second == a) {
                ranges.back().second = a + 1;
            } else {
                ranges.emplace_back(a, a + 1);
            }
        }
    }
    return ranges;
}

std::size_t SparseMemory::writtenBytes() const {
    std::size_t n = 0;
    for (const auto& [first, end] : writtenRanges()) {
        n += end - first;
    }
    return n;
}

}  // namespace vivaz
