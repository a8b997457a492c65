#include "postlink/program_image.h"

#include <elf.h>

#include <cerrno>
#include <cstring>

#include "postlink/file_io.h"
#include "postlink/postlink_result.h"
#include "postlink/program_elf.h"
#include "postlink/program_intel_hex.h"
#include "postlink/program_record_text.h"
#include "postlink/program_srecords.h"

namespace tarvoline::postlink {
namespace {

bool IsHexDigit(std::uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

ProgramFileKind DetectProgramFile(const std::uint8_t* head, std::size_t size) {
    if (size >= SELFMAG && std::memcmp(head, ELFMAG, SELFMAG) == 0) {
        return ProgramFileKind::Elf;
    }
    if (size >= 2 && head[0] == 'S' && head[1] >= '0' && head[1] <= '9') {
        return ProgramFileKind::SRecords;
    }
    if (size >= 2 && head[0] == ':' && IsHexDigit(head[1])) {
        return ProgramFileKind::IntelHex;
    }
    return ProgramFileKind::Unknown;
}

ProgramReadResult ParseProgram(const std::uint8_t* bytes, std::size_t size,
                               const std::string& displayName) {
    switch (DetectProgramFile(bytes, size)) {
    case ProgramFileKind::Elf: return ParseElfProgram(bytes, size, displayName);
    case ProgramFileKind::SRecords: return ParseSRecordProgram(bytes, size, displayName);
    case ProgramFileKind::IntelHex: return ParseIntelHexProgram(bytes, size, displayName);
    case ProgramFileKind::Unknown: break;
    }
    if (size == 0) {
        return ProgramReadError{displayName + ": empty file, not a program"};
    }
    std::string begins = DescribeCharacter(static_cast<char>(bytes[0]));
    if (size >= 2) {
        begins += " " + DescribeCharacter(static_cast<char>(bytes[1]));
    }
    return ProgramReadError{displayName +
                            ": not a program file: neither an ELF executable nor S-records nor "
                            "Intel HEX (it begins with " + begins + ")"};
}

ProgramReadResult ReadProgramFile(const std::string& path) {
    FileContents contents = ReadWholeFile(path);
    if (contents.error == ENOMEM) {
        return ProgramReadError{"no memory to read " + path};
    }
    if (contents.error != 0) {
        return ProgramReadError{"cannot open " + path + ": " + SystemErrorText(contents.error)};
    }
    return ParseProgram(contents.bytes.data(), contents.bytes.size(), path);
}

}  // namespace tarvoline::postlink
