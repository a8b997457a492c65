// The board's RAM: a sparse 24-bit address space (the 68000's address bus has 24 lines, so
// addresses wrap at 16 MiB). Never-written bytes read as 0x00, as the monitor clears RAM at
// power-on. Not thread-safe: the board serialises access.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace vivaz {

class SparseMemory {
  public:
    static constexpr std::uint32_t kSize = 0x1000000;
    static constexpr std::uint32_t kMask = kSize - 1;

    void write(std::uint32_t address, std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> read(std::uint32_t address, std::size_t length) const;
    std::uint8_t at(std::uint32_t address) const;
    // Copies inside the board, as an overlapping memmove would.
    void move(std::uint32_t from, std::uint32_t to, std::size_t length);

    // Written address ranges [first, end), merged and in ascending order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> writtenRanges() const;
    std::size_t writtenBytes() const;
    void clear() { pages_.clear(); }

  private:
    static constexpr std::uint32_t kPageSize = 4096;
    struct Page {
        std::uint8_t bytes[kPageSize] = {};
        bool written[kPageSize] = {};
    };
    std::map<std::uint32_t, std::unique_ptr<Page>> pages_;
};

}  // namespace vivaz
