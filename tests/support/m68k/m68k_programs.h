#pragma once

// The bare 68000 programs that tests/support/m68k builds with the cross compiler (link a test
// with `tarvoline_m68k_programs`), and what their linker scripts promise about them.

#include <cstdint>
#include <string>

namespace tarvoline::testing {

struct M68kProgram {
    const char* name;
    std::uint32_t address;       // where its image begins
    std::uint32_t dataAddress;   // where its data segment is linked, 0 when it has none apart
    bool entryAtStart;           // _start is where the image begins
    std::uint32_t runs;          // runs after the gap fill
};

// Code, read-only text and data in one segment at 0x20000.
inline constexpr M68kProgram kOneSegment{"one_segment", 0x20000, 0, true, 1};
// Code at 0x20000 and data at 0x20400: two segments, less than 4 KiB apart, one run.
inline constexpr M68kProgram kTwoSegmentsNear{"two_segments_near", 0x20000, 0x20400, true, 1};
// Code at 0x20000 and data at 0x28000: two segments too far apart to join, two runs.
inline constexpr M68kProgram kTwoSegmentsFar{"two_segments_far", 0x20000, 0x28000, true, 2};
// One segment at 0x10000, below the monitor's own RAM: started through the staged start.
inline constexpr M68kProgram kLowAddress{"low_address", 0x10000, 0, true, 1};
// One segment at 0x100000, above the monitor's RAM (started with G); its Intel HEX needs
// extended linear address records.
inline constexpr M68kProgram kHighAddress{"high_address", 0x100000, 0, true, 1};
// A 512-byte table and the text first, _start after them: the entry is inside the image.
inline constexpr M68kProgram kEntryInside{"entry_inside", 0x20000, 0, false, 1};
// Data linked to run at 0x30000 but loaded right after the code: physical addresses are not
// the virtual ones, and the image is one run at 0x20000.
inline constexpr M68kProgram kLoadAddress{"load_address", 0x20000, 0x30000, true, 1};

inline constexpr M68kProgram kM68kPrograms[] = {kOneSegment,  kTwoSegmentsNear, kTwoSegmentsFar,
                                                kLowAddress,  kHighAddress,     kEntryInside,
                                                kLoadAddress};

// The path of one of a program's files; extension with its dot (".elf", ".s37", ".hex", ...).
inline std::string M68kProgramPath(const M68kProgram& program, const std::string& extension) {
    return std::string(TARVOLINE_M68K_PROGRAMS_DIR) + "/" + program.name + extension;
}

}  // namespace tarvoline::testing
