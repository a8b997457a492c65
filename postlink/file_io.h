#pragma once

// Whole-file reads with the system error number as the outcome, and the name lookup of the
// inputs. Outputs are written through fileio/atomic_file.h.

#include <cstdint>
#include <string>

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
// A folder gives EISDIR. Anything else that is not a regular file (a FIFO, a device) reads as
// empty instead of blocking: the inputs lie in folders others may write to.
FileContents ReadWholeFile(const std::string& path);

}  // namespace tarvoline::postlink
