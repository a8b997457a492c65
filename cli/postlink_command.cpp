// tarvoline-cli postlink FILE.BIN: converts every configuration of a .Bin file, as the
// window's Post Link command does, and says for each what happened.

#include <ostream>

#include "command_line.h"
#include "commands.h"
#include "postlink/conversion_text.h"
#include "postlink/post_link_file.h"

namespace tarvoline::cli {
namespace {

using postlink::ConfigurationOutcome;
using postlink::PostLinkRun;

// Prints as each configuration finishes, so a slow conversion shows its progress.
class LinePrinter : public postlink::PostLinkObserver {
  public:
    explicit LinePrinter(std::ostream& out) : out_(out) {}
    void ConfigurationDone(int configId, const postlink::ConversionReport& report) override {
        out_ << "configuration " << configId << ": "
             << postlink::DescribeConversion(configId, report) << std::endl;
    }

  private:
    std::ostream& out_;
};

}  // namespace

int RunPostLink(const CommandContext& context) {
    std::vector<std::string> files;
    if (!ParseCommandArguments(context, "postlink", context.arguments, nullptr, {}, files))
        return kExitUsage;
    if (files.size() != 1) {
        UsageError(context, "postlink", files.empty() ? "which file?" : "one file at a time");
        return kExitUsage;
    }
    const std::string& path = files[0];
    LinePrinter printer(context.out);
    const PostLinkRun run = postlink::PostLinkFile(path, printer);
    if (!run.basePath) {
        context.err << postlink::kInvalidBinFileMessage << "\n"
                    << path << ": the name holds none of .BIN, .bin and .Bin\n";
        return kExitFailure;
    }
    if (run.Failed()) {
        const ConfigurationOutcome& last = run.outcomes.back();
        for (int configId = last.configId + 1; configId <= postlink::kConfigurationCount;
             ++configId) {
            context.out << "configuration " << configId << ": not converted after the failure\n";
        }
        context.err << "tarvoline-cli: post link of " << path << " failed at configuration "
                    << last.configId << "\n";
        return kExitFailure;
    }
    if (!run.AnyConverted()) {
        context.err << "tarvoline-cli: " << path << " has no configuration 1, 2 or 3\n";
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace tarvoline::cli
