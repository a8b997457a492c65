#include "session.h"

#include <unistd.h>

#include <algorithm>
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

std::string SupportedRatesText() {
    std::string text;
    for (unsigned rate : kSupportedRates) {
        if (!text.empty()) text += ' ';
        text += std::to_string(rate);
    }
    return text;
}

namespace {

bool IsSupportedRate(const std::string& text) {
    if (!IsNumber(text) || text.size() > 7) return false;
    const unsigned rate = static_cast<unsigned>(std::stoul(text));
    return std::find(std::begin(kSupportedRates), std::end(kSupportedRates), rate) !=
           std::end(kSupportedRates);
}

std::string_view UsageOf(std::string_view command) {
    for (const Command& c : AllCommands())
        if (c.name == command) return c.arguments;
    return {};
}

}  // namespace

void UsageError(const CommandContext& context, std::string_view command, const std::string& what) {
    context.err << "tarvoline-cli " << command << ": " << what << "\n"
                << "Usage: tarvoline-cli " << command << " " << UsageOf(command) << "\n";
}

bool ParseArguments(const CommandContext& context, std::string_view command,
                    std::span<const std::string> arguments, PortOptions& port,
                    std::span<const ValueOption> options, std::vector<std::string>& files) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        std::optional<std::string>* into = nullptr;
        bool rate = false;
        if (a == "--port") {
            into = &port.port;
        } else if (a == "--fail-pattern") {
            into = &port.failPattern;
        } else if (a == "--baud" || a == "--download-baud") {
            into = a == "--baud" ? &port.baud : &port.downloadBaud;
            rate = true;
        } else {
            for (const ValueOption& o : options)
                if (a == o.name) into = o.into;
        }
        if (!into) {
            // "-" alone and anything not starting with '-' are files.
            if (a.size() > 1 && a[0] == '-') {
                UsageError(context, command, "unknown option " + a);
                return false;
            }
            files.push_back(a);
            continue;
        }
        if (i + 1 >= arguments.size()) {
            UsageError(context, command, a + " needs a value");
            return false;
        }
        const std::string& value = arguments[++i];
        if (rate && !IsSupportedRate(value)) {
            UsageError(context, command,
                       a + " " + value + ": not a supported rate; use one of " +
                           SupportedRatesText());
            return false;
        }
        if (into == &port.failPattern) {
            const CFailurePattern pattern(value);
            if (value.empty() || !pattern.Error().empty()) {
                UsageError(context, command,
                           a + " " + value + ": not a regular expression: " +
                               (value.empty() ? "it is empty" : pattern.Error()));
                return false;
            }
        }
        *into = value;
    }
    return true;
}

Session::Session(const CommandContext& context, const PortOptions& options,
                 ITerminalView* terminalView)
    : ui(context.err, ::isatty(STDERR_FILENO) == 1), view(terminalView) {
    const char* sec = kComSettingsSection;
    if (options.port)
        store.WriteProfileString(sec, "COM Port", *options.port);
    if (options.baud)
        store.WriteProfileString(sec, "Baud Rate", *options.baud);
    if (options.downloadBaud)
        store.WriteProfileString(sec, "Baud Rate Tv Download", *options.downloadBaud);
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
}

int Session::ExitCode(bool succeeded) const {
    if (CCliUi::Interrupted()) return kExitInterrupted;
    return succeeded ? kExitSuccess : kExitFailure;
}

}  // namespace tarvoline::cli
