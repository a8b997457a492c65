#pragma once
// Writing the board's text to our own output, which may be a terminal, a pipe or a file, and
// may be non-blocking (the terminal's descriptor is shared with the keyboard).

#include <string>

namespace tarvoline::cli {

// Writes all of out to fd, waiting while the reader is slow. False when the write failed or
// the reader took nothing for 5 s (it is gone): what is left is dropped, never waited on.
bool WriteAllBounded(int fd, const std::string& out);

}  // namespace tarvoline::cli
