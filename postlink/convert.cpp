#include "postlink/convert.h"

#include "fileio/atomic_file.h"
#include "postlink/build_load_image.h"
#include "postlink/file_io.h"
#include "postlink/load_file.h"
#include "postlink/map_rewrite.h"
#include "postlink/srecord.h"

namespace tarvoline::postlink {

ConversionReport ConvertBinFileWithReport(const std::string& baseName, int configId) {
    ConversionReport report;
    BuildResult built = BuildLoadImage(baseName, configId);
    if (built.result != kPostLinkDone) {
        report.result = built.result;
        report.detail = std::move(built.detail);
        return report;
    }
    const LoadImage& image = built.image;
    const LoadImageHeader& header = image.header;

    const std::string mapPath = baseName + std::string(ExtensionText(header.mapExt));
    std::string mapProblem;
    const int mapResult =
        RewriteMapFile(baseName, header, ExtensionText(header.mapExt), &mapProblem);
    report.map = OutputFile{mapPath, mapResult, mapResult != 0 ? mapProblem : std::string()};
    report.mapInputPath = FindFileIgnoringCase(baseName + ".MAP");

    const std::string sRecordPath = baseName + std::string(ExtensionText(header.sRecordExt));
    {
        std::optional<std::string> text = FormatSRecords(image.bytes.span(), header.loadAddress);
        if (!text) {
            report.result = kPostLinkOutOfMemory;
            report.detail = "no memory for the S-record text";
            return report;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text->data());
        report.sRecords =
            OutputFile{sRecordPath, fileio::WriteFileWhole(sRecordPath, {{bytes, text->size()}}), {}};
    }

    const std::string loadPath = baseName + std::string(ExtensionText(header.loadFileExt));
    const int loadResult = WriteLoadFile(loadPath, image);
    report.loadFile = OutputFile{loadPath, loadResult, {}};
    if (loadResult != 0) {
        report.result = kPostLinkCannotWriteLoadFile;
        report.systemError = loadResult;
        report.detail = "cannot write " + loadPath + ": " + SystemErrorText(loadResult);
    }
    return report;
}

}  // namespace tarvoline::postlink
