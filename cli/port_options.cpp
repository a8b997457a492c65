#include "port_options.h"

#include <termios.h>

#include <algorithm>
#include <cctype>

#include "comm/CommPort.h"
#include "comm/LineTermios.h"
#include "comm/PortSettings.h"

namespace tarvoline::cli {
namespace {

std::vector<Choice> RateChoices() {
    std::vector<Choice> rates;
    for (unsigned rate : kOfferedBaudRates)
        rates.push_back({std::to_string(rate), std::to_string(rate)});
    return rates;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The word of the choice stored as `stored`; the stored text itself when none is.
std::string WordOf(const PortOption& option, const std::string& stored) {
    for (const Choice& c : option.choices)
        if (c.stored == stored) return c.word;
    return stored;
}

// The value of an option as the line shows it, in the option's own words.
std::string OnTheLine(std::string_view name, const termios& tio) {
    if (name == "baud") return std::to_string(SpeedToBaud(cfgetospeed(&tio)));
    if (name == "databits") return (tio.c_cflag & CSIZE) == CS7 ? "7" : (tio.c_cflag & CSIZE) == CS8 ? "8" : "?";
    if (name == "parity")
        return !(tio.c_cflag & PARENB) ? "none" : (tio.c_cflag & PARODD) ? "odd" : "even";
    if (name == "stopbits") return (tio.c_cflag & CSTOPB) ? "2" : "1";
    if (name == "flow") {
        if (tio.c_cflag & CRTSCTS) return "hardware";
        return (tio.c_iflag & IXON) ? "xonxoff" : "none";
    }
    return {};
}

}  // namespace

std::span<const PortOption> AllPortOptions() {
    static const PortOption kOptions[] = {
        {"port", 'p', "NAME", "COM Port", &PortOptions::port, "", {},
         "the port, e.g. COM1 or a device such as /dev/ttyUSB0"},
        {"baud", 'b', "RATE", "Baud Rate", &PortOptions::baud, "a supported rate", RateChoices(),
         "the terminal's rate, one of"},
        {"download-baud", 0, "RATE", "Baud Rate Tv Download", &PortOptions::downloadBaud,
         "a supported rate", RateChoices(), "the rate of LOAD's blocks, from the same list"},
        {"databits", 0, "7|8", "Data Bits", &PortOptions::dataBits, "a number of data bits",
         {{"7", "7"}, {"8", "8"}}, "data bits"},
        {"parity", 0, "none|odd|even", "Parity", &PortOptions::parity, "a parity",
         {{"none", "None"}, {"odd", "Odd"}, {"even", "Even"}}, "parity"},
        {"stopbits", 0, "1|2", "Stop Bits", &PortOptions::stopBits, "a number of stop bits",
         {{"1", "1"}, {"2", "2"}}, "stop bits"},
        {"flow", 0, "none|xonxoff|hardware", "Flow Control", &PortOptions::flow,
         "a flow control", {{"none", "None"}, {"xonxoff", "Software"}, {"hardware", "Hardware"}},
         "flow control: XON/XOFF or RTS/CTS"},
    };
    return kOptions;
}

std::string ChoicesText(const PortOption& option) {
    std::string text;
    for (const Choice& c : option.choices) {
        if (!text.empty()) text += ' ';
        text += c.word;
    }
    return text;
}

std::optional<std::string> StoredChoice(const PortOption& option, const std::string& value) {
    if (option.choices.empty()) return value;
    // A rate is a number: 09600 is 9600.
    const bool numeric = !value.empty() && value.size() < 8 &&
                         std::all_of(value.begin(), value.end(),
                                     [](unsigned char c) { return std::isdigit(c); });
    for (const Choice& c : option.choices) {
        if (Lower(value) == c.word) return c.stored;
        if (numeric && std::isdigit(static_cast<unsigned char>(c.word[0])) &&
            std::stoul(value) == std::stoul(c.word))
            return c.stored;
    }
    return std::nullopt;
}

std::string PortOptionsHelp() {
    constexpr size_t kColumn = 36;
    std::string help =
        "Line options, for this run only (nothing is stored; each defaults to the stored\n"
        "setting; a value follows as the next word or after '=': -b 9600, --baud=9600):\n";
    for (const PortOption& o : AllPortOptions()) {
        std::string head = o.letter ? std::string("  -") + o.letter + ", " : std::string(6, ' ');
        head += "--" + std::string(o.name) + " " + std::string(o.valueName);
        head.resize(std::max(head.size() + 1, kColumn), ' ');
        help += head + std::string(o.help) + "\n";
        if (o.name == "baud") help += std::string(kColumn, ' ') + ChoicesText(o) + "\n";
    }
    help += "A value the device cannot take (a pseudo-terminal has no parity and always 8 data\n"
            "bits) ends the run with exit 1, naming the option.\n";
    return help;
}

std::string RefusedPortOptions(CCommPort& port, const PortOptions& options) {
    CLineConfig line;
    if (!port.GetState(line)) return {};
    std::string refused;
    for (const PortOption& o : AllPortOptions()) {
        const std::optional<std::string>& asked = options.*o.into;
        // The port is what was opened; LOAD's rate is set only for its blocks.
        if (!asked || o.name == "port" || o.name == "download-baud") continue;
        const std::string want = WordOf(o, *asked), is = OnTheLine(o.name, line.tio);
        if (o.name == "baud" ? std::stoul(want) != std::stoul(is) : want != is)
            refused += port.DeviceName() + " did not take --" + std::string(o.name) + " " + want +
                       "; the line stays at " + is + "\n";
    }
    return refused;
}

}  // namespace tarvoline::cli
