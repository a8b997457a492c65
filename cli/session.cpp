#include "session.h"

#include <unistd.h>

#include <cctype>
#include <ostream>

#include "document/LoadFailurePattern.h"
#include "download/BoardReport.h"

namespace tarvoline::cli {

bool IsNumber(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool ParseArguments(const CommandContext& context, std::string_view command,
                    std::span<const std::string> arguments, PortOptions& port,
                    std::span<const ValueOption> options, std::vector<std::string>& files) {
    std::vector<ValueOption> all(options.begin(), options.end());
    all.push_back({"--fail-pattern", &port.failPattern});
    if (!ParseCommandArguments(context, command, arguments, &port, all, files)) return false;
    if (port.failPattern) {
        const std::string& value = *port.failPattern;
        const CFailurePattern pattern(value);
        if (value.empty() || !pattern.Error().empty()) {
            UsageError(context, command,
                       "--fail-pattern " + value + ": not a regular expression: " +
                           (value.empty() ? "it is empty" : pattern.Error()));
            return false;
        }
    }
    return true;
}

Session::Session(const CommandContext& context, const PortOptions& options,
                 ITerminalView* terminalView)
    : ui(context.err, ::isatty(STDERR_FILENO) == 1), view(terminalView) {
    // In the store the document reads, never written to the file.
    for (const PortOption& o : AllPortOptions())
        if (const std::optional<std::string>& value = options.*o.into)
            store.WriteProfileString(kComSettingsSection, std::string(o.settingsKey), *value);
    if (options.failPattern)
        store.WriteProfileString(kLoadFailurePatternSection, kLoadFailurePatternEntry,
                                 *options.failPattern);
    doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
    CCliUi::StopOnInterrupt(doc.get());
    // What the board says at the end of a load (its report, bad records) is the user's to see.
    std::ostream& out = context.out;
    if (view)
        doc->AddView(view);
    else
        doc->SetBoardWordsHandler([&out](const std::string& text) {
            // The tool's own line that follows ("Loaded ...") starts on a line of its own.
            out << text << (text.back() == '\n' ? "" : "\n") << std::flush;
        });
    doc->Connect();
    if (doc->Port()) {
        const std::string refused = RefusedPortOptions(*doc->Port(), options);
        if (!refused.empty()) {
            context.err << refused;
            doc->Disconnect();
        }
    }
}

int Session::ExitCode(bool succeeded) const {
    if (CCliUi::Interrupted()) return kExitInterrupted;
    return succeeded ? kExitSuccess : kExitFailure;
}

}  // namespace tarvoline::cli
