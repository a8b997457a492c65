// Any bytes as a program file (ELF, S-records or Intel HEX, as the first bytes say): a refusal
// names the file; an accepted image holds the promises of program_image.h (runs ascending,
// never empty, apart by more than the gap-fill limit, inside the 68000's address space).
// Nothing touches the disk.

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "postlink/program_image.h"

using namespace tarvoline::postlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name = "fuzz.prog";
    const ProgramReadResult result = ParseProgram(data, size, name);
    if (const auto* error = std::get_if<ProgramReadError>(&result)) {
        if (error->message.rfind(name + ": ", 0) != 0 || error->message.size() <= name.size() + 2)
            __builtin_trap();
        return 0;
    }
    const ProgramImage& image = std::get<ProgramImage>(result);
    if (DetectProgramFile(data, size) == ProgramFileKind::Unknown) __builtin_trap();
    if (image.runs.empty()) __builtin_trap();
    if (image.entry >= kProgramAddressLimit || (image.hasEntry && image.entry == 0))
        __builtin_trap();
    std::uint64_t previousEnd = 0;
    for (std::size_t i = 0; i < image.runs.size(); ++i) {
        const ProgramRun& run = image.runs[i];
        if (run.bytes.empty()) __builtin_trap();
        if (i > 0 && run.address <= previousEnd + kProgramGapFillLimit) __builtin_trap();
        previousEnd = std::uint64_t{run.address} + run.bytes.size();
        if (previousEnd > kProgramAddressLimit) __builtin_trap();
    }
    return 0;
}
