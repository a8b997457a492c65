#pragma once

// Builds the absolute image of one configuration from a .Bin file.

#include <cstdint>
#include <span>
#include <string>

#include "postlink/load_image.h"
#include "postlink/postlink_result.h"

namespace tarvoline::postlink {

struct BuildResult {
    PostLinkResult result = kPostLinkDone;
    std::string detail;  // on failure: what was wrong and where, for the user
    LoadImage image;     // valid when result is kPostLinkDone
};

// Reads base + ".Bin" (found ignoring case) and builds the image for configuration
// `configId` (1, 2 or 3). Results 1 to 6; nothing is kept between calls.
BuildResult BuildLoadImage(const std::string& baseName, int configId);

// The same from the bytes of a .Bin file already in memory; `fileName` names it in messages
// ("X is not a linker .Bin file (...)" for bytes that hold no resource fork).
BuildResult BuildLoadImageFromBin(std::span<const std::uint8_t> binFile, int configId,
                                  const std::string& fileName = "the file");

}  // namespace tarvoline::postlink
