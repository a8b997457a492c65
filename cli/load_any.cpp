#include "load_any.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "document/TarvolineDoc.h"
#include "download/DocumentTransfers.h"
#include "download/PostLinkCommands.h"
#include "download/ProgramFileLoad.h"
#include "download/RecordLoader.h"
#include "postlink/program_image.h"

namespace tarvoline::cli {
namespace {

bool IsDirectory(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EndsWith(const std::string& path, const char* extension) {
    const size_t n = std::strlen(extension);
    return path.size() >= n && strcasecmp(path.c_str() + path.size() - n, extension) == 0;
}

}  // namespace

bool RefuseDirectory(std::ostream& err, const std::string& path) {
    if (!IsDirectory(path)) return false;
    err << path << ": it is a directory\n";
    return true;
}

void ExplainUnreadable(std::ostream& err, const std::string& path) {
    if (RefuseDirectory(err, path)) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    err << path << ": " << std::strerror(errno) << "\n";
}

LoadKind KindOfFile(const std::string& path) {
    if (EndsWith(path, ".bin")) return LoadKind::PostLinkAndLoad;
    for (const char* program : {".run", ".app", ".elf", ".s19", ".s28", ".s37", ".srec", ".mot"})
        if (EndsWith(path, program)) return LoadKind::ProgramFile;
    // A linker's output often has no extension at all: its magic tells.
    std::uint8_t head[64];
    std::size_t size = 0;
    const char* notAFile = nullptr;
    if (std::FILE* f = OpenFileToSend(path, notAFile)) {
        size = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    }
    // Intel HEX goes by LOAD, binary at the download rate, not as text at 57600 with two
    // characters a byte. S-record text under another name (a .hex of the classic tools) still
    // goes to the record loader, with its start rules.
    const auto kind = tarvoline::postlink::DetectProgramFile(head, size);
    if (kind == tarvoline::postlink::ProgramFileKind::Elf ||
        kind == tarvoline::postlink::ProgramFileKind::IntelHex ||
        JudgeLoadFile(head, size) == LoadFileContent::LoadFile)
        return LoadKind::ProgramFile;
    return LoadKind::HexFile;
}

bool LoadAnyFile(CTarvolineDoc& doc, const std::string& path, bool startHex, std::ostream& err) {
    if (RefuseDirectory(err, path)) return false;
    switch (KindOfFile(path)) {
        case LoadKind::PostLinkAndLoad:
            if (PostLinkAndLoad(doc, path)) return true;
            ExplainUnreadable(err, path);
            return false;
        case LoadKind::ProgramFile:
            switch (TransferProgramFile(doc, path)) {
                case ProgramLoadVerdict::Started:
                    return true;
                case ProgramLoadVerdict::NotStarted:  // it has said so
                    return false;
                case ProgramLoadVerdict::Failed:
                    ExplainUnreadable(err, path);
                    return false;
            }
            return false;
        case LoadKind::HexFile: {
            const HexLoadOutcome outcome = TransferHexFile(doc, path);
            if (outcome == HexLoadOutcome::Loaded) {
                static const unsigned char kGo[] = {'G', '\r'};
                return !startHex || doc.SendBlock(kGo, 2);
            }
            if (outcome == HexLoadOutcome::CannotOpen) ExplainUnreadable(err, path);
            // The loader has told its own failures; only a transfer that never ran is left.
            if (outcome == HexLoadOutcome::NotConnected)
                err << "Hex file not loaded: " << DescribeHexLoadOutcome(outcome) << "\n";
            return false;
        }
    }
    return false;
}

}  // namespace tarvoline::cli
