#include "postlink/load_file.h"

#include "postlink/big_endian.h"
#include "fileio/atomic_file.h"

namespace tarvoline::postlink {

LoadFileHeader MakeLoadFileHeader(const LoadImageHeader& header) {
    LoadFileHeader file;
    std::uint8_t* p = file.bytes.data();
    // Only configuration 1 runs where it is loaded; the loader needs the data address of the
    // others, which only the longer header carries.
    const bool contiguous = header.configId == 1;
    WriteBigEndian16(p, contiguous ? kLoadFileMagicContiguous : kLoadFileMagicSplit);
    WriteBigEndian32(p + 2, header.codeSize);
    WriteBigEndian32(p + 6, header.dataSize);
    WriteBigEndian32(p + 22, header.loadAddress);
    WriteBigEndian16(p + 26, 1);
    if (contiguous) {
        file.size = kShortLoadHeaderSize;
    } else {
        WriteBigEndian32(p + 28, header.dataAddress);
        file.size = kLongLoadHeaderSize;
    }
    return file;
}

int WriteLoadFile(const std::string& path, const LoadImage& image) {
    const LoadFileHeader header = MakeLoadFileHeader(image.header);
    return fileio::WriteFileWhole(path, {header.span(), image.bytes.span()});
}

}  // namespace tarvoline::postlink
