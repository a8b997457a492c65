#pragma once

// Motorola S-records as a program: S1/S2/S3 data, S5/S6 record counts, S7/S8/S9 start address.

#include <cstdint>
#include <string>

#include "postlink/program_image.h"

namespace tarvoline::postlink {

// Every record's checksum and length are checked, and so is a count record against the data
// records before it. S0 header records are checked and otherwise ignored. The end record
// (S7/S8/S9) must be there: without it a file cut short would load as if it were whole.
// Nothing but blank lines may follow it. Lines end in LF or CR LF.
ProgramReadResult ParseSRecordProgram(const std::uint8_t* bytes, std::size_t size,
                                      const std::string& displayName);

}  // namespace tarvoline::postlink
