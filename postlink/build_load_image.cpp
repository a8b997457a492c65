#include "postlink/build_load_image.h"

#include <cerrno>
#include <cstring>

#include "postlink/big_endian.h"
#include "postlink/data_blocks.h"
#include "postlink/file_io.h"
#include "postlink/image_header.h"
#include "postlink/relocation.h"
#include "postlink/resource_fork.h"

namespace tarvoline::postlink {
namespace {

constexpr std::size_t kConfigurationTableOffsetInCode = 22;
constexpr std::size_t kConfigurationRecordSize = 64;
constexpr std::size_t kEntryAddressOffset = 10;

BuildResult Fail(PostLinkResult result, std::string detail) {
    BuildResult failure;
    failure.result = result;
    failure.detail = std::move(detail);
    return failure;
}

bool ReadFileWord(std::span<const std::uint8_t> file, std::uint64_t position,
                  std::uint32_t& value) {
    if (position > file.size() || file.size() - position < 4) {
        return false;
    }
    value = ReadBigEndian32(file.data() + position);
    return true;
}

// The configuration's own fields, before the per-configuration rules.
struct ConfigurationRecord {
    std::uint32_t loadAddress, codeAddress, auxWord12, dataAddress, auxWord20, stackBase, stackSize,
        watchdogRegister;
    Extension loadFileExt, sRecordExt, mapExt;
};

enum class TableLookup { kFound, kNone, kMalformed };

// The table is read from the file as the linker wrote it, not from the relocated image.
TableLookup FindConfiguration(std::span<const std::uint8_t> file, const ResourceLookup& code1,
                              int configId, ConfigurationRecord& record) {
    std::uint32_t tableOffset = 0;
    std::uint32_t countField = 0;
    if (!ReadFileWord(file, code1.fileOffset + kConfigurationTableOffsetInCode, tableOffset)) {
        return TableLookup::kMalformed;
    }
    const std::uint64_t table = code1.fileOffset + std::uint64_t{tableOffset};
    if (!ReadFileWord(file, table, countField)) {
        return TableLookup::kMalformed;
    }
    const int count = static_cast<std::int16_t>(countField & 0xFFFF);
    for (int i = 0; i < count; ++i) {
        const std::uint64_t at = table + 8 + kConfigurationRecordSize * std::uint64_t(i);
        std::uint32_t id = 0;
        if (!ReadFileWord(file, at, id)) {
            return TableLookup::kMalformed;
        }
        if (id != static_cast<std::uint32_t>(configId)) {
            continue;
        }
        if (at > file.size() || file.size() - at < kConfigurationRecordSize) {
            return TableLookup::kMalformed;
        }
        const std::uint8_t* r = file.data() + at;
        record.loadAddress = ReadBigEndian32(r + 4);
        record.codeAddress = ReadBigEndian32(r + 8);
        record.auxWord12 = ReadBigEndian32(r + 12);
        record.dataAddress = ReadBigEndian32(r + 16);
        record.auxWord20 = ReadBigEndian32(r + 20);
        record.stackBase = ReadBigEndian32(r + 24);
        record.stackSize = ReadBigEndian32(r + 28);
        record.watchdogRegister = ReadBigEndian32(r + 48);
        std::memcpy(record.loadFileExt.data(), r + 52, 4);
        std::memcpy(record.sRecordExt.data(), r + 56, 4);
        std::memcpy(record.mapExt.data(), r + 60, 4);
        return TableLookup::kFound;
    }
    return TableLookup::kNone;
}

// Fills the header fields whose values depend on the configuration number; false for a
// number other than 1, 2 or 3.
bool ApplyConfigurationRules(const ConfigurationRecord& record, int configId,
                             LoadImageHeader& header) {
    header.loadAddress = record.loadAddress;
    header.stackBase = record.stackBase;
    header.stackSize = record.stackSize;
    header.watchdogRegister = record.watchdogRegister;
    header.loadFileExt = record.loadFileExt;
    header.sRecordExt = record.sRecordExt;
    header.mapExt = record.mapExt;
    header.configId = static_cast<std::uint32_t>(configId);
    switch (configId) {
        case 1:  // runs where it is loaded
            header.codeAddress = record.loadAddress;
            header.auxWord12 = record.auxWord20;
            header.dataAddress = record.loadAddress + header.codeSize;
            header.auxWord20 = record.auxWord20 - header.codeSize;
            return true;
        case 2:  // code stays, data is copied to its own place
            header.codeAddress = record.codeAddress;
            header.auxWord12 = record.auxWord12;
            header.dataAddress = record.dataAddress;
            header.auxWord20 = record.auxWord20;
            return true;
        case 3:  // the whole image is copied to the code address
            header.codeAddress = record.codeAddress;
            header.auxWord12 = record.auxWord12;
            header.dataAddress = record.codeAddress + header.codeSize;
            header.auxWord20 = record.auxWord20 - header.imageSize;
            return true;
        default:
            return false;
    }
}

BuildResult MissingResource(std::uint32_t type, int number) {
    return Fail(kPostLinkResourceMissing, "the .Bin file has no " + ResourceName(type, number));
}

BuildResult MalformedResource(std::uint32_t type, int number) {
    return Fail(kPostLinkMalformedBin, "the resource map entry of " + ResourceName(type, number) +
                                           " points outside the file");
}

}  // namespace

BuildResult BuildLoadImageFromBin(std::span<const std::uint8_t> file, int configId,
                                  const std::string& fileName) {
    if (const std::string reason = CheckResourceFork(file); !reason.empty()) {
        return Fail(kPostLinkMalformedBin, fileName + " is not a linker .Bin file (" + reason + ")");
    }
    const ResourceLookup code0 = FindResource(file, kCodeType, 0);
    if (code0.status == LookupStatus::kMalformed) {
        return MalformedResource(kCodeType, 0);
    }
    if (code0.status == LookupStatus::kMissing) {
        return MissingResource(kCodeType, 0);
    }
    const ResourceLookup code1 = FindResource(file, kCodeType, 1);
    if (code1.status == LookupStatus::kMalformed) {
        return MalformedResource(kCodeType, 1);
    }
    if (code1.status == LookupStatus::kMissing) {
        return MissingResource(kCodeType, 1);
    }

    ConfigurationRecord record{};
    switch (FindConfiguration(file, code1, configId, record)) {
        case TableLookup::kMalformed:
            return Fail(kPostLinkMalformedBin, "the configuration table lies outside the file");
        case TableLookup::kNone:
            return Fail(kPostLinkNoConfiguration, "no configuration " + std::to_string(configId));
        case TableLookup::kFound:
            break;
    }

    const ResourceLookup data0 = FindResource(file, kDataType, 0);
    if (data0.status == LookupStatus::kMalformed) {
        return MalformedResource(kDataType, 0);
    }
    if (data0.status == LookupStatus::kMissing) {
        return MissingResource(kDataType, 0);
    }

    std::uint32_t aboveA5 = 0;
    std::uint32_t belowA5 = 0;
    if (!ReadFileWord(file, code0.fileOffset, aboveA5) ||
        !ReadFileWord(file, code0.fileOffset + 4, belowA5)) {
        return Fail(kPostLinkMalformedBin, "CODE 0 lies outside the file");
    }
    const std::uint64_t codeSize = code1.data.size();
    const std::uint64_t dataSize = std::uint64_t{aboveA5} + belowA5;
    const std::uint64_t imageSize = codeSize + dataSize;
    // The 68000 addresses 16 MiB: a bigger image cannot be a program for it, and the claim
    // costs nothing to make in a small file. Refused before anything is allocated or written.
    if (imageSize > kLargestImage) {
        return Fail(kPostLinkOutOfMemory, "image of " + std::to_string(imageSize) +
                                              " bytes is larger than the 16 MiB the converter accepts");
    }

    BuildResult built;
    LoadImageHeader& header = built.image.header;
    header.codeSize = static_cast<std::uint32_t>(codeSize);
    header.dataSize = static_cast<std::uint32_t>(dataSize);
    header.imageSize = static_cast<std::uint32_t>(imageSize);
    header.belowA5Size = belowA5;
    auto bytes = ByteBuffer::Allocate(static_cast<std::size_t>(imageSize));
    if (!bytes) {
        return Fail(kPostLinkOutOfMemory,
                    "no memory for an image of " + std::to_string(imageSize) + " bytes");
    }
    if (imageSize < kImageHeaderSize) {
        return Fail(kPostLinkMalformedBin, "the image is shorter than its " +
                                               std::to_string(kImageHeaderSize) + "-byte header");
    }
    if (!ApplyConfigurationRules(record, configId, header)) {
        return Fail(kPostLinkNoConfiguration, "no configuration " + std::to_string(configId));
    }
    header.a5Address = header.dataAddress + belowA5;
    // The third list of each group is for words that hold load addresses.
    const std::array<std::uint32_t, kRelocationListsPerGroup> amounts = {
        header.a5Address, header.codeAddress, header.loadAddress};

    std::span<std::uint8_t> image = bytes->span();
    std::memcpy(image.data(), code1.data.data(), code1.data.size());
    const auto a5Offset = static_cast<std::int64_t>(codeSize + belowA5);
    std::size_t cursor = 4;
    std::string detail;
    if (!ExpandDataBlocks(data0.data, cursor, image, a5Offset, detail) ||
        !ApplyRelocationGroup(data0.data, cursor, image, a5Offset, amounts, detail) ||
        !ApplyRelocationGroup(data0.data, cursor, image, 0, amounts, detail)) {
        return Fail(kPostLinkMalformedBin, std::move(detail));
    }
    header.entryAddress = ReadBigEndian32(image.data() + kEntryAddressOffset);
    if (!ClearUpToSignature(image)) {
        return Fail(kPostLinkNoSignature,
                    "the image does not contain \"" + std::string(kImageSignature) + "\"");
    }
    CompleteHeader(header);
    WriteImageHeader(header, image);
    built.image.bytes = std::move(*bytes);
    return built;
}

BuildResult BuildLoadImage(const std::string& baseName, int configId) {
    const std::string path = FindFileIgnoringCase(baseName + ".Bin");
    FileContents contents = ReadWholeFile(path);
    if (contents.error == ENOMEM) {
        return Fail(kPostLinkOutOfMemory, "no memory to read " + path);
    }
    if (contents.error != 0) {
        return Fail(kPostLinkCannotOpenBin,
                    "cannot open " + path + ": " + SystemErrorText(contents.error));
    }
    return BuildLoadImageFromBin(contents.bytes.span(), configId, path);
}

}  // namespace tarvoline::postlink
