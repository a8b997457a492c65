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
#include "command_line.h"
#include "commands.h"
#include "port_options.h"

namespace tarvoline::cli {

// Parses a command's arguments: the line options (-p/--port NAME, -b/--baud RATE,
// --download-baud RATE, --databits, --parity, --stopbits, --flow), --fail-pattern REGEX
// (which must compile), the command's own options and its files, in any order
// (command_line.h).
bool ParseArguments(const CommandContext& context, std::string_view command,
                    std::span<const std::string> arguments, PortOptions& port,
                    std::span<const ValueOption> options, std::vector<std::string>& files);
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
    // False when the port did not open or did not take a line option of this run; the reason
    // has been printed.
    bool Connected() const { return doc->Port() != nullptr; }
    // The exit code of a command: 130 after Ctrl-C or SIGTERM, else by the result.
    int ExitCode(bool succeeded) const;
};

}  // namespace tarvoline::cli
