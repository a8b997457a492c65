#include "ProgramFileLoad.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <variant>

#include "Cpm68kLoader.h"
#include "RecordLoader.h"
#include "TransferContext.h"

namespace pl = tarvoline::postlink;

namespace {

constexpr std::size_t kHeadSize = 512;

bool LooksLikeText(const std::uint8_t* head, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = head[i];
        const bool layout = c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
        if (c < 0x20 && !layout) return false;
        if (c == 0x7F) return false;
    }
    return size > 0;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

}  // namespace

LoadFileContent JudgeLoadFile(const std::uint8_t* head, std::size_t size) {
    if (size >= 2) {
        const unsigned magic = (unsigned(head[0]) << 8) | head[1];
        if (magic == kMagicShortHeader || magic == kMagicLongHeader) return LoadFileContent::LoadFile;
    }
    if (pl::DetectProgramFile(head, size) != pl::ProgramFileKind::Unknown)
        return LoadFileContent::Program;
    if (LooksLikeText(head, size)) return LoadFileContent::Text;
    return LoadFileContent::Unrecognised;
}

bool HasProgramFileName(const std::string& path) {
    for (const char* extension : {".elf", ".s19", ".s28", ".s37", ".srec", ".mot", ".hex"}) {
        const std::size_t n = std::strlen(extension);
        if (path.size() > n && strcasecmp(path.c_str() + path.size() - n, extension) == 0)
            return true;
    }
    return false;
}

ProgramLoadVerdict LoadAnyProgramFile(const CTransferContext& ctx, const std::string& path,
                                      bool rawHeader) {
    std::uint8_t head[kHeadSize];
    std::size_t size = 0;
    {
        const char* notAFile = nullptr;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(OpenFileToSend(path, notAFile),
                                                          &std::fclose);
        if (f) size = std::fread(head, 1, sizeof head, f.get());
    }
    const auto asLoadFile = [&] {
        return LoadCpm68kFile(ctx, path) ? ProgramLoadVerdict::Started : ProgramLoadVerdict::Failed;
    };
    if (size < 2) return asLoadFile();  // it names the file and says what is wrong with it
    switch (JudgeLoadFile(head, size)) {
        case LoadFileContent::LoadFile:
            return asLoadFile();
        case LoadFileContent::Program: {
            pl::ProgramReadResult read = pl::ReadProgramFile(path);
            if (const auto* error = std::get_if<pl::ProgramReadError>(&read)) {
                ctx.ShowError(error->message + "; nothing was sent.");
                return ProgramLoadVerdict::Failed;
            }
            return LoadProgramImage(ctx, std::get<pl::ProgramImage>(read), path);
        }
        case LoadFileContent::Text:
            if (rawHeader) return asLoadFile();
            ctx.ShowError(path + " is text, not a program: neither S-records, Intel HEX, an ELF "
                                 "executable nor a CP/M-68K load file; nothing was sent.");
            return ProgramLoadVerdict::Failed;
        case LoadFileContent::Unrecognised:
            if (rawHeader) return asLoadFile();
            ctx.ShowError(path + " is not a program: it begins with " +
                          Hex4((unsigned(head[0]) << 8) | head[1]) +
                          ", neither a CP/M-68K load file's 601A or 601B nor an ELF "
                          "executable's; nothing was sent.");
            return ProgramLoadVerdict::Failed;
    }
    return ProgramLoadVerdict::Failed;
}
