#include "postlink/conversion_text.h"

#include <cerrno>
#include <vector>

namespace tarvoline::postlink {
namespace {

std::string JoinWithAnd(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            text += i + 1 == items.size() ? " and " : ", ";
        }
        text += items[i];
    }
    return text;
}

}  // namespace

std::string DescribeConversion(int configId, const ConversionReport& report) {
    if (report.result == kPostLinkNoConfiguration) {
        return "no configuration " + std::to_string(configId);
    }
    std::vector<std::string> written;
    std::vector<std::string> problems;
    for (const auto* file : {&report.map, &report.sRecords, &report.loadFile}) {
        if (*file && (*file)->error == 0) {
            written.push_back((*file)->path);
        }
    }
    if (report.map && !report.map->problem.empty()) {
        problems.push_back(report.map->problem);
    } else if (report.map && report.map->error == ENOENT) {
        problems.push_back("no map rewritten (" + report.mapInputPath + " not found)");
    } else if (report.map && report.map->error != 0) {
        problems.push_back("map " + report.map->path +
                           " not written: " + SystemErrorText(report.map->error));
    }
    if (report.sRecords && report.sRecords->error != 0) {
        problems.push_back("S-record file " + report.sRecords->path +
                           " not written: " + SystemErrorText(report.sRecords->error));
    }
    std::string text;
    if (report.result != kPostLinkDone) {
        text = "failed: " +
               (!report.detail.empty()  ? report.detail
                : report.systemError != 0 ? SystemErrorText(report.systemError)
                                          : DescribePostLinkResult(report.result));
        if (!written.empty()) {
            text += "; wrote " + JoinWithAnd(written);
        }
    } else {
        text = "wrote " + JoinWithAnd(written);
    }
    for (const std::string& problem : problems) {
        text += "; " + problem;
    }
    return text;
}

}  // namespace tarvoline::postlink
