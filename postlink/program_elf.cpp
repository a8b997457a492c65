#include "postlink/program_elf.h"

#include <elf.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "postlink/big_endian.h"
#include "postlink/program_runs.h"

namespace tarvoline::postlink {
namespace {

// The file is in the 68000's byte order whatever the host's: every field is read through these,
// at its offset in the <elf.h> structure.
std::uint16_t Half(const std::uint8_t* structure, std::size_t offset) {
    return ReadBigEndian16(structure + offset);
}

std::uint32_t Word(const std::uint8_t* structure, std::size_t offset) {
    return ReadBigEndian32(structure + offset);
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string TypeName(std::uint16_t type) {
    switch (type) {
        case ET_NONE:
            return "ET_NONE";
        case ET_REL:
            return "ET_REL, a relocatable object: link it into an executable first";
        case ET_DYN:
            return "ET_DYN, a shared object or position-independent executable: link it "
                   "with -static and -no-pie at a fixed address";
        case ET_CORE:
            return "ET_CORE, a core dump";
        default:
            return std::to_string(type);
    }
}

}  // namespace

ProgramReadResult ParseElfProgram(const std::uint8_t* bytes, std::size_t size,
                                  const std::string& displayName) {
    auto fail = [&](const std::string& where, const std::string& what) {
        return ProgramReadError{displayName + ": " + where + ": " + what};
    };
    const std::string header = "ELF header";
    if (size < SELFMAG || std::memcmp(bytes, ELFMAG, SELFMAG) != 0) {
        return fail(header, "no ELF magic number");
    }
    if (size < sizeof(Elf32_Ehdr)) {
        return fail(header, "truncated: the file has " + std::to_string(size) +
                                " bytes, the header " + std::to_string(sizeof(Elf32_Ehdr)));
    }
    if (bytes[EI_CLASS] == ELFCLASS64) {
        return fail(header, "a 64-bit ELF file (ELFCLASS64); the 68000's programs are 32-bit");
    }
    if (bytes[EI_CLASS] != ELFCLASS32) {
        return fail(header, "unknown class " + std::to_string(bytes[EI_CLASS]) +
                                " (neither 32- nor 64-bit)");
    }
    if (bytes[EI_DATA] == ELFDATA2LSB) {
        return fail(header, "little-endian (ELFDATA2LSB); the 68000's programs are big-endian");
    }
    if (bytes[EI_DATA] != ELFDATA2MSB) {
        return fail(header, "unknown byte order " + std::to_string(bytes[EI_DATA]));
    }
    const std::uint16_t machine = Half(bytes, offsetof(Elf32_Ehdr, e_machine));
    if (machine != EM_68K) {
        return fail(header, "machine " + std::to_string(machine) +
                                (machine == EM_386 ? " (EM_386)" : "") +
                                ", not the 68000 family's EM_68K (" + std::to_string(EM_68K) + ")");
    }
    const std::uint16_t type = Half(bytes, offsetof(Elf32_Ehdr, e_type));
    if (type != ET_EXEC) {
        return fail(header, "not an executable (type " + TypeName(type) + ")");
    }
    const std::uint32_t entry = Word(bytes, offsetof(Elf32_Ehdr, e_entry));
    if (entry >= kProgramAddressLimit) {
        return fail(header, "entry " + FormatProgramAddress(entry) +
                                " is beyond the 68000's 24-bit address space");
    }
    const std::uint32_t tableOffset = Word(bytes, offsetof(Elf32_Ehdr, e_phoff));
    const std::uint16_t entrySize = Half(bytes, offsetof(Elf32_Ehdr, e_phentsize));
    const std::uint16_t count = Half(bytes, offsetof(Elf32_Ehdr, e_phnum));
    if (count == 0 || tableOffset == 0) {
        return fail(header, "no program headers, so nothing to load");
    }
    if (count == PN_XNUM) {
        return fail(header, "more program headers than the header can count (PN_XNUM)");
    }
    if (entrySize < sizeof(Elf32_Phdr)) {
        return fail(header, "program headers of " + std::to_string(entrySize) +
                                " bytes, fewer than the " + std::to_string(sizeof(Elf32_Phdr)) +
                                " of a 32-bit program header");
    }
    const std::uint64_t tableEnd = std::uint64_t{tableOffset} + std::uint64_t{count} * entrySize;
    if (tableEnd > size) {
        return fail("program header table",
                    std::to_string(count) + (count == 1 ? " header of " : " headers of ") +
                        std::to_string(entrySize) + " bytes at file offset " + Hex(tableOffset) +
                        " lie outside the file (" + std::to_string(size) + " bytes)");
    }

    ProgramImage image;
    image.format = ProgramFormat::Elf;
    image.entry = entry;
    image.hasEntry = entry != 0;
    ProgramRunCollector collector;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* segment = bytes + tableOffset + std::size_t{i} * entrySize;
        if (Word(segment, offsetof(Elf32_Phdr, p_type)) != PT_LOAD) {
            continue;
        }
        const std::string where = "program header " + std::to_string(i + 1) + " of " +
                                  std::to_string(count) + " (PT_LOAD)";
        const std::uint32_t offset = Word(segment, offsetof(Elf32_Phdr, p_offset));
        const std::uint32_t address = Word(segment, offsetof(Elf32_Phdr, p_paddr));
        const std::uint32_t fileSize = Word(segment, offsetof(Elf32_Phdr, p_filesz));
        const std::uint32_t memorySize = Word(segment, offsetof(Elf32_Phdr, p_memsz));
        if (fileSize == 0) {
            continue;  // only .bss, which the program clears itself
        }
        if (std::uint64_t{offset} + fileSize > size) {
            return fail(where, "its " + std::to_string(fileSize) + " bytes at file offset " +
                                   Hex(offset) + " lie outside the file (" + std::to_string(size) +
                                   " bytes)");
        }
        if (fileSize > memorySize) {
            return fail(where, "its file size " + Hex(fileSize) + " exceeds its memory size " +
                                   Hex(memorySize));
        }
        if (std::uint64_t{address} + fileSize > 0x100000000ull) {
            return fail(where, "its bytes at " + FormatProgramAddress(address) +
                                   " wrap past the end of the 32-bit address space");
        }
        if (auto error = collector.Add(address, {bytes + offset, fileSize}, where)) {
            return ProgramReadError{displayName + ": " + *error};
        }
    }
    if (collector.empty()) {
        return ProgramReadError{displayName + ": no loadable segment with bytes in the file"};
    }
    return collector.FinishInto(std::move(image), displayName);
}

}  // namespace tarvoline::postlink
