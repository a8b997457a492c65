#pragma once

// One configuration of a .Bin file to its three output files.

#include <optional>
#include <string>

#include "postlink/postlink_result.h"

namespace tarvoline::postlink {

// One output file and how writing it went: 0 written, else errno (ENOMEM: no memory).
struct OutputFile {
    std::string path;
    int error = 0;
};

struct ConversionReport {
    PostLinkResult result = kPostLinkDone;
    // `result` is an errno, not a converter code; the two ranges overlap.
    bool systemError = false;
    std::string detail;  // on failure: what was wrong, naming the file or the place
    // The outputs in the order they are written; a file that was not attempted is empty.
    // Failures of the map and S-record files do not stop the conversion.
    std::optional<OutputFile> map;
    std::string mapInputPath;  // the map that was read, or looked for
    std::optional<OutputFile> sRecords;
    std::optional<OutputFile> loadFile;
};

// Converts configuration `configId` of base + ".Bin": writes base + the configuration's map,
// S-record and load-file extensions, replacing files of those names.
ConversionReport ConvertBinFileWithReport(const std::string& baseName, int configId);

inline PostLinkResult ConvertBinFile(const std::string& baseName, int configId) {
    return ConvertBinFileWithReport(baseName, configId).result;
}

}  // namespace tarvoline::postlink
