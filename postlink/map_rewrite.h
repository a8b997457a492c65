#pragma once

// Rewrites the linker's map so that code and data locations read as absolute addresses.

#include <cstdint>
#include <string>
#include <string_view>

#include "postlink/load_image.h"

namespace tarvoline::postlink {

inline constexpr std::string_view kCodeTag = "Code: ";
inline constexpr std::string_view kDataTag = "Data: ";

// Adds `codeAddress` to the hexadecimal number after each "Code: " and then `a5Address` to
// the signed decimal number after each "Data: " that follows the last code tag. Each field
// becomes six upper-case hexadecimal digits (the low 24 bits of the sum) and a blank; a
// field near the end of the text is cut short rather than written past it. Numbers are read
// as strtoul/strtol read them, so leading blanks and signs behave the same.
void RewriteMapText(std::string& text, std::uint32_t codeAddress, std::uint32_t a5Address);

// Reads base + ".MAP" (found ignoring case), rewrites it for `header` and writes it to base +
// `mapExt`, whole or not at all. Returns 0 or the errno of the failed step, ENOMEM when out
// of memory: always an errno, never a converter code. On failure any older output is as it
// was, and `why`, when given, says in words which file failed and the system's reason.
int RewriteMapFile(const std::string& baseName, const LoadImageHeader& header,
                   std::string_view mapExt, std::string* why = nullptr);

}  // namespace tarvoline::postlink
