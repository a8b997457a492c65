#include "session.h"

#include <unistd.h>

#include <cctype>
#include <ostream>

namespace tarvoline::cli {

bool IsNumber(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

OptionParse ParsePortOption(std::span<const std::string> arguments, size_t& i,
                            PortOptions& options) {
    const std::string& a = arguments[i];
    std::optional<std::string>* into = nullptr;
    bool numeric = true;
    if (a == "--port") {
        into = &options.port;
        numeric = false;
    } else if (a == "--baud") {
        into = &options.baud;
    } else if (a == "--download-baud") {
        into = &options.downloadBaud;
    } else {
        return OptionParse::NotAPortOption;
    }
    if (i + 1 >= arguments.size())
        return OptionParse::Bad;
    *into = arguments[++i];
    return !numeric || IsNumber(**into) ? OptionParse::Taken : OptionParse::Bad;
}

Session::Session(const CommandContext& context, const PortOptions& options)
    : ui(context.err, ::isatty(STDERR_FILENO) == 1) {
    const char* sec = kComSettingsSection;
    if (options.port)
        store.WriteProfileString(sec, "COM Port", *options.port);
    if (options.baud)
        store.WriteProfileString(sec, "Baud Rate", *options.baud);
    if (options.downloadBaud)
        store.WriteProfileString(sec, "Baud Rate Tv Download", *options.downloadBaud);
    doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
    CCliUi::StopOnInterrupt(doc.get());
    // What the board says at the end of a load (its report, bad records) is the user's to see.
    std::ostream& out = context.out;
    doc->SetBoardWordsHandler([&out](const std::string& text) { out << text << std::flush; });
    doc->Connect();
}

int Session::ExitCode(bool succeeded) const {
    if (CCliUi::Interrupted()) return kExitInterrupted;
    return succeeded ? kExitSuccess : kExitFailure;
}

}  // namespace tarvoline::cli
