#pragma once

// A program as today's toolchains leave it (an ELF executable, Motorola S-records or Intel
// HEX), read into the runs of bytes the board must hold and the address it starts at.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tarvoline::postlink {

// Runs closer than this are joined, the gap filled with zeros, so a program goes as one LOAD
// where it can.
inline constexpr std::uint32_t kProgramGapFillLimit = 4096;

// The 68000 has 24 address lines: a byte or an entry at or above this address would land
// somewhere else on the board (the address wraps), so such a file is refused. It also bounds
// what a file can make the reader allocate (16 MiB).
inline constexpr std::uint32_t kProgramAddressLimit = 0x1000000;

enum class ProgramFormat { Elf, SRecords, IntelHex };

struct ProgramRun {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;  // never empty
};

struct ProgramImage {
    ProgramFormat format = ProgramFormat::Elf;
    std::vector<ProgramRun> runs;  // ascending, not overlapping, gaps above kProgramGapFillLimit
    std::uint32_t entry = 0;
    bool hasEntry = false;  // false for record files without a start record
};
// An entry address of 0 counts as none in all three formats: the ELF header says so, record
// files write a start record of 0 when they know no start, and on the 68000 address 0 holds the
// reset vectors, never code.

// Why a file was refused: the file, the record or header, and what is wrong, in words.
struct ProgramReadError {
    std::string message;
};

using ProgramReadResult = std::variant<ProgramImage, ProgramReadError>;

// What the first bytes of a file say it is; Unknown when none of the three. Nothing is skipped
// before them (no byte-order mark, no blank lines): ELF's magic, 'S' and a digit for S-records,
// ':' and a hexadecimal digit for Intel HEX.
enum class ProgramFileKind { Unknown, Elf, SRecords, IntelHex };
ProgramFileKind DetectProgramFile(const std::uint8_t* head, std::size_t size);

// Reads a program file of any of the three kinds. displayName names the file in messages.
ProgramReadResult ReadProgramFile(const std::string& path);
ProgramReadResult ParseProgram(const std::uint8_t* bytes, std::size_t size,
                               const std::string& displayName);

}  // namespace tarvoline::postlink
