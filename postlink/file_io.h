#pragma once

// Whole-file reads and writes with the system error number as the outcome.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "postlink/byte_buffer.h"

namespace tarvoline::postlink {

// The path of an existing file whose name matches `path`'s file name, ignoring ASCII case, in
// `path`'s directory. The exact name wins; among other matches the lowest in byte order, so
// the choice does not depend on directory order. Returns `path` itself when nothing matches.
std::string FindFileIgnoringCase(const std::string& path);

struct FileContents {
    int error = 0;  // errno of the failed open or read, ENOMEM when no buffer; 0 on success
    ByteBuffer bytes;
};

// Reads the whole file into a zero-filled buffer of its length (one spare zero byte follows).
FileContents ReadWholeFile(const std::string& path);

// Replaces `path` with the concatenation of `parts`; returns 0 or errno. Stops at the first
// part that cannot be written, so the file then holds what was written before it.
int WriteWholeFile(const std::string& path,
                   std::initializer_list<std::span<const std::uint8_t>> parts);

}  // namespace tarvoline::postlink
