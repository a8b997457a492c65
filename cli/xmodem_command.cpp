// tarvoline-cli xmodem send FILE and tarvoline-cli xmodem receive FILE: the document's XMODEM
// commands on the stored port settings, which options override for this run only.

#include <optional>
#include <ostream>

#include "commands.h"
#include "download/XmodemCommands.h"
#include "session.h"

namespace tarvoline::cli {
namespace {

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
        UsageError(context, "xmodem",
                   args.empty() ? "send or receive?" : args[0] + ": expected send or receive");
        return std::nullopt;
    }
    parsed.send = args[0] == "send";
    std::optional<std::string> timeout;
    const ValueOption options[] = {{"--timeout", &timeout}};
    std::vector<std::string> files;
    if (!ParseArguments(context, "xmodem", std::span(args).subspan(1), parsed.port, options,
                        files))
        return std::nullopt;
    if (timeout) {
        // How long the other side may take to start, for both directions.
        if (!IsNumber(*timeout) || timeout->size() > 5) {
            UsageError(context, "xmodem",
                       "--timeout " + *timeout + ": not a number of seconds (0 to 99999)");
            return std::nullopt;
        }
        parsed.timings.startTimeoutMs = std::stoi(*timeout) * 1000;
        parsed.timings.receiveStartTimeoutMs = parsed.timings.startTimeoutMs;
    }
    if (files.size() != 1) {
        UsageError(context, "xmodem", files.empty() ? "which file?" : "one file at a time");
        return std::nullopt;
    }
    parsed.file = files[0];
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
