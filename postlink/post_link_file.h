#pragma once

// The post-link operation that the front ends share: cut the chosen path at its .BIN
// extension and convert configurations 1, 2 and 3 in turn.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "postlink/convert.h"

namespace tarvoline::postlink {

inline constexpr std::string_view kInvalidBinFileMessage = "Invalid .BIN file!";
inline constexpr std::string_view kPostLinkCaption = "Tarvoline PostLink";
inline constexpr int kConfigurationCount = 3;

// The path before the first ".BIN"; failing that before the first ".bin", then ".Bin".
// nullopt when it holds none of them. An occurrence in a directory name counts.
std::optional<std::string> CutBinExtension(std::string_view path);

// What a front end sees of the operation. The progress calls match a progress window
// (caption, status line, range, step, position); every call has a no-op default so that a
// front end overrides only what it shows.
class PostLinkObserver {
  public:
    virtual ~PostLinkObserver() = default;
    virtual void SetCaption(std::string_view caption) {}
    virtual void SetStatus(std::string_view status) {}
    virtual void SetRange(int low, int high) {}
    virtual void SetStep(int step) {}
    virtual void SetPosition(int position) {}
    virtual void StepIt() {}
    virtual void Close() {}
    // After each conversion, before its progress step.
    virtual void ConfigurationDone(int configId, const ConversionReport& report) {}
};

struct ConfigurationOutcome {
    int configId = 0;
    ConversionReport report;
};

struct PostLinkRun {
    std::optional<std::string> basePath;         // nullopt: the path was refused
    std::vector<ConfigurationOutcome> outcomes;  // the conversions that ran, in order

    // The series ended on a failure (anything but done or "no such configuration").
    bool Failed() const;
    // At least one configuration wrote its files.
    bool AnyConverted() const;
};

// True when the series goes on after this result: done, or the file has no such
// configuration. A failure of the system never counts as either.
bool ContinuesSeries(const ConversionReport& report);

PostLinkRun PostLinkFile(std::string_view path, PostLinkObserver& observer);
PostLinkRun PostLinkFile(std::string_view path);

}  // namespace tarvoline::postlink
