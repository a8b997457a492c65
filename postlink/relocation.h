#pragma once

// Applies the linker's relocation lists to the image.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarvoline::postlink {

inline constexpr int kRelocationListsPerGroup = 3;

// Reads the three lists of one group at `cursor` in `data0` and adds `amounts[i]` to every
// 32-bit big-endian word that list i names, positions counted from image offset `base`.
// Leaves `cursor` after the group. Returns false, with `detail`, when an entry reads past
// DATA 0 or names a word that is not wholly inside the image.
bool ApplyRelocationGroup(std::span<const std::uint8_t> data0, std::size_t& cursor,
                          std::span<std::uint8_t> image, std::int64_t base,
                          const std::array<std::uint32_t, kRelocationListsPerGroup>& amounts,
                          std::string& detail);

}  // namespace tarvoline::postlink
