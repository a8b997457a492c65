#pragma once
// What the transfer commands of tarvoline-cli share: the port options, and the document
// opened on the user's stored settings with those options applied for this run only.

#include <memory>
#include <optional>
#include <string>

#include "document/IniSettingsStore.h"
#include "document/TarvolineDoc.h"
#include "document/UiCallQueue.h"
#include "cli_ui.h"
#include "commands.h"

namespace tarvoline::cli {

struct PortOptions {
    std::optional<std::string> port, baud, downloadBaud;
};

enum class OptionParse { Taken, NotAPortOption, Bad };

// Takes --port NAME, --baud N or --download-baud N at arguments[i] (moving i past a value).
OptionParse ParsePortOption(std::span<const std::string> arguments, size_t& i,
                            PortOptions& options);
bool IsNumber(const std::string& text);

// The document on the stored settings with this run's overrides, connected. Nothing is
// written to the user's settings file.
struct Session {
    CIniSettingsStore store;
    CUiCallQueue calls;
    CCliUi ui;
    std::unique_ptr<CTarvolineDoc> doc;

    Session(const CommandContext& context, const PortOptions& options);
    ~Session() { CCliUi::StopOnInterrupt(nullptr); }
    // False when the port did not open; the reason has been printed.
    bool Connected() const { return doc->Port() != nullptr; }
    // The exit code of a command: 130 after Ctrl-C or SIGTERM, else by the result.
    int ExitCode(bool succeeded) const;
};

}  // namespace tarvoline::cli
