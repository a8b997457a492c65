#pragma once

// Expands the compressed initialised-data blocks of DATA 0 into the image.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarvoline::postlink {

inline constexpr int kDataBlockCount = 3;

// Expands the three blocks that start at `cursor` in `data0`, each relative to image offset
// `a5Offset`, and leaves `cursor` just after the third block's end byte. Returns false, with
// `detail` saying where, when a command reads past DATA 0 or writes outside the image; the
// image is then partly written and must be discarded.
bool ExpandDataBlocks(std::span<const std::uint8_t> data0, std::size_t& cursor,
                      std::span<std::uint8_t> image, std::int64_t a5Offset, std::string& detail);

}  // namespace tarvoline::postlink
