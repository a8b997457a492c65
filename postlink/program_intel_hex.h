#pragma once

// Intel HEX as a program: data (00), end of file (01), extended segment address (02), start
// segment address (03), extended linear address (04), start linear address (05).

#include <cstdint>
#include <string>

#include "postlink/program_image.h"

namespace tarvoline::postlink {

// Every record's checksum and length are checked. The end-of-file record must be there (without
// it a file cut short would load as if it were whole) and only blank lines may follow it. A data
// record may not run past the end of its 64 KiB segment: what follows there is read differently
// by different tools. Two start records that disagree are refused. Lines end in LF or CR LF.
ProgramReadResult ParseIntelHexProgram(const std::uint8_t* bytes, std::size_t size,
                                       const std::string& displayName);

}  // namespace tarvoline::postlink
