#pragma once

#include <cstdint>
#include <string>

namespace tarvoline::postlink {

// The outcome of one conversion: 0 done, 1 to 7 the converter's own codes. It never holds a
// system error number: those overlap the codes (EPERM is 1, EIO 5), so a failure of the system
// is carried beside the code as its errno (ConversionReport::systemError) and only code 7
// says that one happened.
using PostLinkResult = std::uint16_t;

inline constexpr PostLinkResult kPostLinkDone = 0;
inline constexpr PostLinkResult kPostLinkOutOfMemory = 1;
inline constexpr PostLinkResult kPostLinkCannotOpenBin = 2;
inline constexpr PostLinkResult kPostLinkResourceMissing = 3;
inline constexpr PostLinkResult kPostLinkNoSignature = 4;
inline constexpr PostLinkResult kPostLinkNoConfiguration = 5;
// Not a resource fork, or offsets, lengths, commands or relocations that point outside the
// file or the image, or an image too short for its header. Nothing is written.
inline constexpr PostLinkResult kPostLinkMalformedBin = 6;
// The load file could not be written; the errno is kept beside the code. The old file of that
// name, if any, is as it was.
inline constexpr PostLinkResult kPostLinkCannotWriteLoadFile = 7;

// The texts shown to the user for the converter's codes.
std::string DescribePostLinkResult(PostLinkResult result);

// strerror(errno) without the thread-safety caveats of strerror.
std::string SystemErrorText(int error);

}  // namespace tarvoline::postlink
