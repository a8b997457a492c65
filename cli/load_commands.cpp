// tarvoline-cli load FILE.RUN|FILE.APP and tarvoline-cli loadhex FILE: the document's own
// transfers on the stored port settings, which options override for this run only.

#include <unistd.h>

#include <cctype>
#include <optional>
#include <ostream>

#include "app/IniSettingsStore.h"
#include "app/TarvolineDoc.h"
#include "app/UiCallQueue.h"
#include "cli_ui.h"
#include "commands.h"
#include "download/DocumentTransfers.h"

namespace tarvoline::cli {
namespace {

struct LoadArguments {
    std::string file;
    std::optional<std::string> port, baud, downloadBaud;
};

bool IsNumber(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::optional<LoadArguments> Parse(const CommandContext& context, const char* name) {
    LoadArguments parsed;
    const auto& args = context.arguments;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (a == "--port")
            ok = value(parsed.port);
        else if (a == "--baud")
            ok = value(parsed.baud) && IsNumber(*parsed.baud);
        else if (a == "--download-baud")
            ok = value(parsed.downloadBaud) && IsNumber(*parsed.downloadBaud);
        else if (!a.empty() && a[0] == '-')
            ok = false;
        else if (parsed.file.empty())
            parsed.file = a;
        else
            ok = false;
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

// The document on the stored settings with this run's overrides, connected; null when the
// port did not open (the reason has been printed).
struct Session {
    CIniSettingsStore store;
    CUiCallQueue calls;
    CCliUi ui;
    std::unique_ptr<CTarvolineDoc> doc;

    Session(const CommandContext& context, const LoadArguments& args)
        : ui(context.err, ::isatty(STDERR_FILENO) == 1) {
        const char* sec = kComSettingsSection;
        if (args.port) store.WriteProfileString(sec, "COM Port", *args.port);
        if (args.baud) store.WriteProfileString(sec, "Baud Rate", *args.baud);
        if (args.downloadBaud) store.WriteProfileString(sec, "Baud Rate Tv Download", *args.downloadBaud);
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        doc->Connect();
    }
    bool Connected() const { return doc->Port() != nullptr; }
};

}  // namespace

int RunLoad(const CommandContext& context) {
    auto args = Parse(context, "load");
    if (!args) return kExitUsage;
    Session session(context, *args);
    if (!session.Connected()) return kExitFailure;
    bool started = TransferCpm68kFile(*session.doc, args->file);
    if (started) context.out << "Loaded and started " << args->file << "\n";
    return started ? kExitSuccess : kExitFailure;
}

int RunLoadHex(const CommandContext& context) {
    auto args = Parse(context, "loadhex");
    if (!args) return kExitUsage;
    Session session(context, *args);
    if (!session.Connected()) return kExitFailure;
    HexLoadOutcome outcome = TransferHexFile(*session.doc, args->file);
    if (outcome == HexLoadOutcome::Loaded) {
        context.out << "Loaded " << args->file << "\n";
        return kExitSuccess;
    }
    // The window says nothing when the monitor does not answer; here the exit code needs a
    // reason beside it.
    if (outcome != HexLoadOutcome::CannotOpen && outcome != HexLoadOutcome::Cancelled)
        context.err << "Hex file not loaded: " << DescribeHexLoadOutcome(outcome) << "\n";
    return kExitFailure;
}

}  // namespace tarvoline::cli
