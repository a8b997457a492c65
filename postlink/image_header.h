#pragma once

// The start-up header at the front of the image: the signature search that clears its room,
// and the header bytes themselves.

#include <cstdint>
#include <span>

#include "postlink/load_image.h"

namespace tarvoline::postlink {

// Scans from offset 0, zeroing every byte it passes, until the whole signature has matched.
// A byte that breaks a partial match is not tried again as a first character. Returns false
// when the signature is not found (the image is then all zero up to its end).
bool ClearUpToSignature(std::span<std::uint8_t> image);

// Fills the header's derived fields from the configuration-specific ones already set.
void CompleteHeader(LoadImageHeader& header);

// Writes the 324-byte header over the front of the image (at least kImageHeaderSize bytes):
// the entry block, the fields big-endian, the signature, the start-up routine. Bytes 177 and
// 178 are left as the signature search left them.
void WriteImageHeader(const LoadImageHeader& header, std::span<std::uint8_t> image);

}  // namespace tarvoline::postlink
