#pragma once

#include <cstdint>
#include <string>

namespace tarvoline::postlink {

// The outcome of one conversion: 0 done, 1 to 6 the converter's own failures, any other value
// the system error number (errno) of a failed open or write of an output file.
using PostLinkResult = std::uint16_t;

inline constexpr PostLinkResult kPostLinkDone = 0;
inline constexpr PostLinkResult kPostLinkOutOfMemory = 1;
inline constexpr PostLinkResult kPostLinkCannotOpenBin = 2;
inline constexpr PostLinkResult kPostLinkResourceMissing = 3;
inline constexpr PostLinkResult kPostLinkNoSignature = 4;
inline constexpr PostLinkResult kPostLinkNoConfiguration = 5;
// Offsets, lengths, commands or relocations that point outside the file or the image, or an
// image too short for its header. Nothing is written.
inline constexpr PostLinkResult kPostLinkMalformedBin = 6;

// The texts shown to the user for the converter's own codes, and strerror for the others.
// `isSystemError` tells an errno from a converter code, since the two ranges overlap.
std::string DescribePostLinkResult(PostLinkResult result, bool isSystemError);

// strerror(errno) without the thread-safety caveats of strerror.
std::string SystemErrorText(int error);

}  // namespace tarvoline::postlink
