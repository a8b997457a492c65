// tarvoline-cli load FILE.RUN|FILE.APP and tarvoline-cli loadhex FILE: the document's own
// transfers on the stored port settings, which options override for this run only.

#include <optional>
#include <ostream>

#include "commands.h"
#include "download/DocumentTransfers.h"
#include "load_any.h"
#include "session.h"

namespace tarvoline::cli {
namespace {

struct LoadArguments {
    std::string file;
    PortOptions port;
};

std::optional<LoadArguments> Parse(const CommandContext& context, const char* name) {
    LoadArguments parsed;
    std::vector<std::string> files;
    if (!ParseArguments(context, name, context.arguments, parsed.port, {}, files))
        return std::nullopt;
    if (files.size() != 1) {
        UsageError(context, name, files.empty() ? "which file?" : "one file at a time");
        return std::nullopt;
    }
    parsed.file = files[0];
    return parsed;
}

}  // namespace

int RunLoad(const CommandContext& context) {
    auto args = Parse(context, "load");
    if (!args)
        return kExitUsage;
    if (RefuseDirectory(context.err, args->file))
        return kExitFailure;
    Session session(context, args->port);
    if (!session.Connected())
        return kExitFailure;
    bool started = TransferCpm68kFile(*session.doc, args->file);
    if (started)
        context.out << "Loaded and started " << args->file << "\n";
    else
        ExplainUnreadable(context.err, args->file);
    return session.ExitCode(started);
}

int RunLoadHex(const CommandContext& context) {
    auto args = Parse(context, "loadhex");
    if (!args)
        return kExitUsage;
    if (RefuseDirectory(context.err, args->file))
        return kExitFailure;
    Session session(context, args->port);
    if (!session.Connected())
        return kExitFailure;
    HexLoadOutcome outcome = TransferHexFile(*session.doc, args->file);
    if (outcome == HexLoadOutcome::Loaded) {
        context.out << "Loaded " << args->file << "\n";
        return session.ExitCode(true);
    }
    if (outcome == HexLoadOutcome::CannotOpen) ExplainUnreadable(context.err, args->file);
    // The loader has told every failure of its dialogue (the board's line among them) on
    // standard error, and the document a lost device; only a transfer that never ran is left.
    if (outcome == HexLoadOutcome::NotConnected)
        context.err << "Hex file not loaded: " << DescribeHexLoadOutcome(outcome) << "\n";
    return session.ExitCode(false);
}

}  // namespace tarvoline::cli
