// tarvoline-cli load FILE.RUN|FILE.APP and tarvoline-cli loadhex FILE: the document's own
// transfers on the stored port settings, which options override for this run only.

#include <optional>
#include <ostream>

#include "commands.h"
#include "download/DocumentTransfers.h"
#include "session.h"

namespace tarvoline::cli {
namespace {

struct LoadArguments {
    std::string file;
    PortOptions port;
};

std::optional<LoadArguments> Parse(const CommandContext& context, const char* name) {
    LoadArguments parsed;
    const auto& args = context.arguments;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const OptionParse option = ParsePortOption(args, i, parsed.port);
        bool ok = option == OptionParse::Taken;
        if (option == OptionParse::NotAPortOption && a.rfind('-', 0) != 0 && parsed.file.empty()) {
            parsed.file = a;
            ok = true;
        }
        if (!ok) {
            context.err << "tarvoline-cli " << name << ": bad argument \"" << a << "\"\n";
            return std::nullopt;
        }
    }
    if (parsed.file.empty()) {
        context.err << "Usage: tarvoline-cli " << name
                    << " [--port NAME] [--baud N] [--download-baud N] FILE\n";
        return std::nullopt;
    }
    return parsed;
}

}  // namespace

int RunLoad(const CommandContext& context) {
    auto args = Parse(context, "load");
    if (!args)
        return kExitUsage;
    Session session(context, args->port);
    if (!session.Connected())
        return kExitFailure;
    bool started = TransferCpm68kFile(*session.doc, args->file);
    if (started)
        context.out << "Loaded and started " << args->file << "\n";
    return session.ExitCode(started);
}

int RunLoadHex(const CommandContext& context) {
    auto args = Parse(context, "loadhex");
    if (!args)
        return kExitUsage;
    Session session(context, args->port);
    if (!session.Connected())
        return kExitFailure;
    HexLoadOutcome outcome = TransferHexFile(*session.doc, args->file);
    if (outcome == HexLoadOutcome::Loaded) {
        context.out << "Loaded " << args->file << "\n";
        return session.ExitCode(true);
    }
    // The window says nothing when the monitor does not answer; here the exit code needs a
    // reason beside it.
    if (outcome != HexLoadOutcome::CannotOpen && outcome != HexLoadOutcome::Cancelled &&
        outcome != HexLoadOutcome::DeviceLost)
        context.err << "Hex file not loaded: " << DescribeHexLoadOutcome(outcome) << "\n";
    return session.ExitCode(false);
}

}  // namespace tarvoline::cli
