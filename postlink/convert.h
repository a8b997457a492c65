#pragma once

// One configuration of a .Bin file to its three output files.

#include <optional>
#include <string>

#include "postlink/postlink_result.h"

namespace tarvoline::postlink {

// One output file and how writing it went: 0 written, else errno (ENOMEM: no memory). A file
// that was not written is as it was before.
struct OutputFile {
    std::string path;
    int error = 0;
    std::string problem;  // on failure, when known: what failed, naming the file, in words
};

struct ConversionReport {
    PostLinkResult result = kPostLinkDone;  // 0 or a converter code, never an errno
    // The errno behind kPostLinkCannotWriteLoadFile, else 0. Kept apart from `result`, since
    // the numbers of the two overlap.
    int systemError = 0;
    std::string detail;  // on failure: what was wrong, naming the file or the place
    // The outputs in the order they are written; a file that was not attempted is empty.
    // Failures of the map and S-record files do not stop the conversion.
    std::optional<OutputFile> map;
    std::string mapInputPath;  // the map that was read, or looked for
    std::optional<OutputFile> sRecords;
    std::optional<OutputFile> loadFile;
};

// Converts configuration `configId` of base + ".Bin": writes base + the configuration's map,
// S-record and load-file extensions, replacing files of those names. Each is written whole or
// not at all; a symbolic link of such a name is replaced, not followed.
ConversionReport ConvertBinFileWithReport(const std::string& baseName, int configId);

inline PostLinkResult ConvertBinFile(const std::string& baseName, int configId) {
    return ConvertBinFileWithReport(baseName, configId).result;
}

}  // namespace tarvoline::postlink
