#pragma once
// What the transfer commands of tarvoline-cli share: the port options, and the document
// opened on the user's stored settings with those options applied for this run only.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/IniSettingsStore.h"
#include "document/TarvolineDoc.h"
#include "document/UiCallQueue.h"
#include "cli_ui.h"
#include "commands.h"

namespace tarvoline::cli {

struct PortOptions {
    std::optional<std::string> port, baud, downloadBaud;
    // --fail-pattern REGEX: what in the board's report of a record load means it failed, in
    // place of the stored "Load Failure Pattern" (document/LoadFailurePattern.h).
    std::optional<std::string> failPattern;
};

// The rates the line settings offer, for --baud and --download-baud.
inline constexpr unsigned kSupportedRates[] = {1200,  2400,  9600,   19200,
                                               38400, 57600, 115200, 230400};
// "1200 2400 ... 230400": the whole list, for messages.
std::string SupportedRatesText();

// An option of a command that takes a value, beside the port options.
struct ValueOption {
    std::string_view name;  // "--until"
    std::optional<std::string>* into;
};

// Parses a command's arguments: the port options (--port NAME, --baud N, --download-baud N,
// --fail-pattern REGEX, which must compile),
// the command's own value options and its files, in any order. A bad value, an unknown
// option or a missing value is told on err naming the option ("--baud 12345: not a supported
// rate; use one of ..."), followed by the command's usage line; then false.
bool ParseArguments(const CommandContext& context, std::string_view command,
                    std::span<const std::string> arguments, PortOptions& port,
                    std::span<const ValueOption> options, std::vector<std::string>& files);
// The usage complaint of a command: "tarvoline-cli NAME: what" and its usage line.
void UsageError(const CommandContext& context, std::string_view command, const std::string& what);
bool IsNumber(const std::string& text);

// The document on the stored settings with this run's overrides, connected. Nothing is
// written to the user's settings file.
struct Session {
    CIniSettingsStore store;
    CUiCallQueue calls;
    CCliUi ui;
    std::unique_ptr<CTarvolineDoc> doc;

    // view: shown what the board sends from the connection on (the document takes its views
    // before it connects). Without one, what the board says at the end of a load goes to out
    // as it is; with one, only to the view.
    Session(const CommandContext& context, const PortOptions& options,
            ITerminalView* view = nullptr);
    ~Session() {
        CCliUi::StopOnInterrupt(nullptr);
        if (doc && view) {
            doc->StopTransfer();  // a break still held
            doc->WaitForTransfer();
            doc->Disconnect();  // no bytes reach the view once it is gone
            doc->RemoveView(view);
        }
    }
    ITerminalView* view = nullptr;
    // False when the port did not open; the reason has been printed.
    bool Connected() const { return doc->Port() != nullptr; }
    // The exit code of a command: 130 after Ctrl-C or SIGTERM, else by the result.
    int ExitCode(bool succeeded) const;
};

}  // namespace tarvoline::cli
