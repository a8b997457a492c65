#include "postlink/map_rewrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "fileio/atomic_file.h"
#include "postlink/file_io.h"

namespace tarvoline::postlink {
namespace {

constexpr std::size_t kFieldWidth = 7;

void WriteField(std::string& text, std::size_t at, std::uint64_t sum) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    char field[kFieldWidth];
    for (int i = 5; i >= 0; --i) {
        field[i] = kHexDigits[sum & 0x0F];
        sum >>= 4;
    }
    field[6] = ' ';
    const std::size_t room = text.size() - at;
    text.replace(at, std::min(kFieldWidth, room), field, std::min(kFieldWidth, room));
}

}  // namespace

void RewriteMapText(std::string& text, std::uint32_t codeAddress, std::uint32_t a5Address) {
    // The text is followed by the terminating zero std::string keeps, so strtoul stops there.
    std::size_t from = 0;
    for (std::size_t tag; (tag = text.find(kCodeTag, from)) != std::string::npos;) {
        const std::size_t field = tag + kCodeTag.size();
        const unsigned long offset = std::strtoul(text.c_str() + field, nullptr, 16);
        WriteField(text, field, std::uint64_t{offset} + codeAddress);
        from = field;
    }
    // The data pass goes on from the last code field instead of the top, so a data tag that
    // comes before the last code tag is not rewritten.
    for (std::size_t tag; (tag = text.find(kDataTag, from)) != std::string::npos;) {
        const std::size_t field = tag + kDataTag.size();
        const long offset = std::strtol(text.c_str() + field, nullptr, 10);
        WriteField(text, field, static_cast<std::uint64_t>(offset) + a5Address);
        from = field;
    }
}

int RewriteMapFile(const std::string& baseName, const LoadImageHeader& header,
                   std::string_view mapExt, std::string* why) {
    const std::string input = FindFileIgnoringCase(baseName + ".MAP");
    const std::string output = baseName + std::string(mapExt);
    auto failed = [&](int error, const std::string& text) {
        if (why != nullptr) {
            *why = text;
        }
        return error;
    };
    FileContents contents = ReadWholeFile(input);
    if (contents.error == ENOENT) {
        return failed(ENOENT, "no map rewritten (" + input + " not found)");
    }
    if (contents.error != 0) {
        return failed(contents.error, "map " + output + " not written: cannot read " + input +
                                          ": " + fileio::SystemErrorText(contents.error));
    }
    std::string text;
    try {
        text.assign(reinterpret_cast<const char*>(contents.bytes.data()), contents.bytes.size());
    } catch (const std::bad_alloc&) {
        return failed(ENOMEM, "map " + output + " not written: no memory for " + input);
    }
    contents.bytes = ByteBuffer();
    RewriteMapText(text, header.codeAddress, header.a5Address);

    // A new file renamed over the old name: the output may be the map just read, or a link.
    const int error = fileio::WriteFileWhole(
        output, {std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())});
    if (error != 0) {
        return failed(error, "map " + output + " not written: " + fileio::SystemErrorText(error));
    }
    return 0;
}

}  // namespace tarvoline::postlink
