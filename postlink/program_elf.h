#pragma once

// An ELF executable as a program: 32-bit, big-endian, for the 68000 family (EM_68K), of type
// ET_EXEC. Its PT_LOAD segments' file bytes go to their physical addresses (p_paddr, where the
// linker put them to be loaded); what a segment holds beyond its file bytes (.bss) is not sent,
// the program clears it. The entry is e_entry.

#include <cstdint>
#include <string>

#include "postlink/program_image.h"

namespace tarvoline::postlink {

ProgramReadResult ParseElfProgram(const std::uint8_t* bytes, std::size_t size,
                                  const std::string& displayName);

}  // namespace tarvoline::postlink
