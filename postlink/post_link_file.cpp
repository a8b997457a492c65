#include "postlink/post_link_file.h"

namespace tarvoline::postlink {

std::optional<std::string> CutBinExtension(std::string_view path) {
    for (std::string_view extension : {".BIN", ".bin", ".Bin"}) {
        const std::size_t at = path.find(extension);
        if (at != std::string_view::npos) {
            return std::string(path.substr(0, at));
        }
    }
    return std::nullopt;
}

bool ContinuesSeries(const ConversionReport& report) {
    return report.systemError == 0 &&
           (report.result == kPostLinkDone || report.result == kPostLinkNoConfiguration);
}

bool PostLinkRun::Failed() const {
    return !outcomes.empty() && !ContinuesSeries(outcomes.back().report);
}

bool PostLinkRun::AnyConverted() const {
    for (const ConfigurationOutcome& outcome : outcomes) {
        if (outcome.report.result == kPostLinkDone && outcome.report.systemError == 0) {
            return true;
        }
    }
    return false;
}

PostLinkRun PostLinkFile(std::string_view path, PostLinkObserver& observer) {
    PostLinkRun run;
    run.basePath = CutBinExtension(path);
    if (!run.basePath) {
        return run;
    }
    observer.SetCaption(kPostLinkCaption);
    observer.SetStatus(*run.basePath);
    observer.SetRange(0, kConfigurationCount);
    observer.SetStep(1);
    observer.SetPosition(0);
    for (int configId = 1; configId <= kConfigurationCount; ++configId) {
        ConversionReport report = ConvertBinFileWithReport(*run.basePath, configId);
        observer.ConfigurationDone(configId, report);
        observer.StepIt();
        const bool goOn = ContinuesSeries(report);
        run.outcomes.push_back({configId, std::move(report)});
        if (!goOn) {
            break;
        }
    }
    observer.StepIt();
    observer.Close();
    return run;
}

PostLinkRun PostLinkFile(std::string_view path) {
    PostLinkObserver silent;
    return PostLinkFile(path, silent);
}

}  // namespace tarvoline::postlink
