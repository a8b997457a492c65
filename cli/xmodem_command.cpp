// tarvoline-cli xmodem send FILE and tarvoline-cli xmodem receive FILE: the document's XMODEM
// commands on the stored port settings, which options override for this run only.

#include <optional>
#include <ostream>

#include "commands.h"
#include "download/XmodemCommands.h"
#include "session.h"

namespace tarvoline::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tarvoline-cli xmodem send|receive [--port NAME] [--baud N] [--download-baud N] "
    "[--timeout SECONDS] FILE\n";

struct XmodemArguments {
    bool send = false;
    std::string file;
    PortOptions port;
    XmodemTimings timings;
};

std::optional<XmodemArguments> Parse(const CommandContext& context) {
    XmodemArguments parsed;
    const auto& args = context.arguments;
    if (args.empty() || (args[0] != "send" && args[0] != "receive")) {
        context.err << kUsage;
        return std::nullopt;
    }
    parsed.send = args[0] == "send";
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const OptionParse option = ParsePortOption(args, i, parsed.port);
        bool ok = option == OptionParse::Taken;
        if (option == OptionParse::NotAPortOption && a == "--timeout") {
            // How long the other side may take to start, for both directions.
            ok = i + 1 < args.size() && IsNumber(args[++i]) && args[i].size() < 6;
            if (ok) {
                parsed.timings.startTimeoutMs = std::stoi(args[i]) * 1000;
                parsed.timings.receiveStartTimeoutMs = parsed.timings.startTimeoutMs;
            }
        } else if (option == OptionParse::NotAPortOption && a.rfind('-', 0) != 0 &&
                   parsed.file.empty()) {
            parsed.file = a;
            ok = true;
        }
        if (!ok) {
            context.err << "tarvoline-cli xmodem: bad argument \"" << a << "\"\n";
            return std::nullopt;
        }
    }
    if (parsed.file.empty()) {
        context.err << kUsage;
        return std::nullopt;
    }
    return parsed;
}

}  // namespace

int RunXmodem(const CommandContext& context) {
    auto args = Parse(context);
    if (!args)
        return kExitUsage;
    Session session(context, args->port);
    if (!session.Connected())
        return kExitFailure;
    const bool ok = args->send ? RunXmodemSend(*session.doc, args->file, args->timings)
                               : RunXmodemReceive(*session.doc, args->file, args->timings);
    return session.ExitCode(ok);
}

}  // namespace tarvoline::cli
