// Any bytes as a .Bin file: every configuration is built in memory, and a built image is made
// into what the converter writes from it (load-file header, S-records, rewritten map), so the
// reader and the image builder meet files no linker wrote. Nothing touches the disk.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "postlink/build_load_image.h"
#include "postlink/load_file.h"
#include "postlink/map_rewrite.h"
#include "postlink/post_link_file.h"
#include "postlink/srecord.h"

using namespace tarvoline::postlink;

namespace {

// The S-records of a big image take long to format and tell nothing new about the reader.
constexpr std::size_t kLargestFormattedImage = 256 * 1024;

constexpr std::string_view kMap =
    "  main            Code: 000010\tsize 000120\r\n"
    "  counter         Data: -64    \tsize 8\r\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bin(data, size);
    for (int configId = 1; configId <= kConfigurationCount; ++configId) {
        const BuildResult built = BuildLoadImageFromBin(bin, configId);
        // Every failure says what was wrong, and the code is one of the converter's own.
        if (built.result != kPostLinkDone) {
            if (built.detail.empty() || built.result > kPostLinkMalformedBin) __builtin_trap();
            if (DescribePostLinkResult(built.result).empty()) __builtin_trap();
            continue;
        }
        const LoadImage& image = built.image;
        const std::size_t imageSize = image.bytes.size();
        if (imageSize != image.header.imageSize || imageSize < kImageHeaderSize ||
            imageSize > kLargestImage ||
            image.header.codeSize + std::uint64_t{image.header.dataSize} != imageSize) {
            __builtin_trap();
        }
        const LoadFileHeader fileHeader = MakeLoadFileHeader(image.header);
        if (fileHeader.size != kShortLoadHeaderSize && fileHeader.size != kLongLoadHeaderSize)
            __builtin_trap();
        if (ExtensionText(image.header.loadFileExt).size() > 4) __builtin_trap();
        if (imageSize <= kLargestFormattedImage) {
            const auto records = FormatSRecords(image.bytes.span(), image.header.loadAddress);
            if (!records || records->empty()) __builtin_trap();
        }
        std::string map(kMap);
        RewriteMapText(map, image.header.codeAddress, image.header.a5Address);
        if (map.size() != kMap.size()) __builtin_trap();
    }
    return 0;
}
