#pragma once

// Checks of S-record files against the image they describe, with the srecord tools.

#include <cstdint>
#include <string>

#include "bin_writer.h"

namespace tarvoline::postlink::testkit {

// srec_info accepts the file with no warning but the absent header record, srec_cat turns
// the records from `loadAddress` back into exactly `image`, and the records before the image,
// down to the 256-byte boundary, hold 0xFF. Adds failures to the running test.
void ExpectSRecordFileHolds(const std::string& path, const Bytes& image, std::uint32_t loadAddress);

}  // namespace tarvoline::postlink::testkit
