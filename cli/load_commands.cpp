// tarvoline-cli load FILE and tarvoline-cli loadhex FILE: the document's own transfers on the
// stored port settings, which options override for this run only. load takes a file by what
// it holds: a CP/M-68K load file (.RUN, .APP), an ELF executable, S-records or Intel HEX.

#include <optional>
#include <ostream>

#include "command_line.h"
#include "commands.h"
#include "download/DocumentTransfers.h"
#include "load_any.h"
#include "session.h"

namespace tarvoline::cli {
namespace {

struct LoadArguments {
    std::string file;
    PortOptions port;
    bool rawHeader = false;  // --raw-header: any magic but 601A and 601B is the 28-byte header
};

std::optional<LoadArguments> Parse(const CommandContext& context, const char* name,
                                   bool withRawHeader = false) {
    LoadArguments parsed;
    std::vector<std::string> files;
    const ValueOption rawHeader[] = {{"--raw-header", nullptr, &parsed.rawHeader}};
    if (!ParseArguments(context, name, context.arguments, parsed.port,
                        withRawHeader ? std::span<const ValueOption>(rawHeader)
                                      : std::span<const ValueOption>(),
                        files))
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
    auto args = Parse(context, "load", true);
    if (!args)
        return kExitUsage;
    if (RefuseDirectory(context.err, args->file))
        return kExitFailure;
    Session session(context, args->port);
    if (!session.Connected())
        return kExitFailure;
    const ProgramLoadVerdict verdict =
        TransferProgramFile(*session.doc, args->file, args->rawHeader);
    // A program loaded but not started has said so ("Loaded ...; not started: ..."): the
    // command promised a start, so that is a failure too.
    if (verdict == ProgramLoadVerdict::Started)
        context.out << "Loaded and started " << args->file << "\n";
    else if (verdict == ProgramLoadVerdict::Failed)
        ExplainUnreadable(context.err, args->file);
    return session.ExitCode(verdict == ProgramLoadVerdict::Started);
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
