// Any text as a link map: the first eight bytes are the code and A5 addresses (big-endian),
// the rest the map. The rewrite works on the text in memory, as RewriteMapFile does after
// reading the file.

#include <cstddef>
#include <cstdint>
#include <string>

#include "postlink/big_endian.h"
#include "postlink/map_rewrite.h"

using namespace tarvoline::postlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    const std::uint32_t codeAddress = ReadBigEndian32(data);
    const std::uint32_t a5Address = ReadBigEndian32(data + 4);
    const std::string original(reinterpret_cast<const char*>(data + 8), size - 8);
    std::string text = original;
    RewriteMapText(text, codeAddress, a5Address);
    // Fields are overwritten in place: the length never changes, and a text without a tag is
    // left alone.
    if (text.size() != original.size()) __builtin_trap();
    if (original.find(kCodeTag) == std::string::npos &&
        original.find(kDataTag) == std::string::npos && text != original) {
        __builtin_trap();
    }
    return 0;
}
