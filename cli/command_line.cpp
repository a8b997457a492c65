#include "command_line.h"

#include <getopt.h>

#include <ostream>

namespace tarvoline::cli {
namespace {

// getopt_long's codes: a line option with a letter answers that letter; the others count
// from here.
constexpr int kFirstPortCode = 256;
constexpr int kFirstOwnCode = 512;

std::string_view UsageOf(std::string_view command) {
    for (const Command& c : AllCommands())
        if (c.name == command) return c.arguments;
    return {};
}

// "unknown option --frobnicate", or for an abbreviation of several: "ambiguous option --d
// (--download-baud --databits)".
std::string Unknown(const std::string& written, const std::vector<std::pair<int, std::string>>& names) {
    std::string candidates;
    for (const auto& [code, name] : names)
        if (written.size() > 2 && name.starts_with(written)) candidates += " " + name;
    if (candidates.find(' ', 1) != std::string::npos)
        return "ambiguous option " + written + " (" + candidates.substr(1) + ")";
    return "unknown option " + written;
}

}  // namespace

void UsageError(const CommandContext& context, std::string_view command, const std::string& what) {
    context.err << "tarvoline-cli " << command << ": " << what << "\n"
                << "Usage: tarvoline-cli " << command << " " << UsageOf(command) << "\n";
}

bool ParseCommandArguments(const CommandContext& context, std::string_view command,
                           std::span<const std::string> arguments, PortOptions* port,
                           std::span<const ValueOption> options, std::vector<std::string>& files) {
    // getopt_long's table, and for each of its codes the option's name as --help spells it.
    std::vector<option> table;
    std::vector<std::pair<int, std::string>> names;
    std::string letters = ":";  // ':' first: a missing value is told apart from an unknown option
    const std::span<const PortOption> portOptions =
        port ? AllPortOptions() : std::span<const PortOption>();
    std::vector<std::string> longNames;
    longNames.reserve(portOptions.size() + options.size());
    for (size_t i = 0; i < portOptions.size(); ++i) {
        const PortOption& o = portOptions[i];
        const int code = o.letter ? o.letter : kFirstPortCode + static_cast<int>(i);
        if (o.letter) (letters += o.letter) += ':';
        longNames.emplace_back(o.name);
        names.emplace_back(code, "--" + longNames.back());
    }
    for (size_t i = 0; i < options.size(); ++i) {
        longNames.emplace_back(options[i].name.substr(2));  // without its "--"
        names.emplace_back(kFirstOwnCode + static_cast<int>(i), std::string(options[i].name));
    }
    for (size_t i = 0; i < longNames.size(); ++i) {
        const bool own = i >= portOptions.size();
        const bool takesValue = !own || options[i - portOptions.size()].into != nullptr;
        table.push_back({longNames[i].c_str(), takesValue ? required_argument : no_argument,
                         nullptr, names[i].first});
    }
    table.push_back({nullptr, 0, nullptr, 0});
    const auto nameOf = [&](int code) {
        for (const auto& [c, name] : names)
            if (c == code) return name;
        return std::string("-") + static_cast<char>(code);
    };

    std::vector<std::string> words{"tarvoline-cli"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    opterr = 0;  // the messages are ours
    optind = 0;  // a fresh scan
    for (;;) {
        const int code = getopt_long(argc, argv.data(), letters.c_str(), table.data(), nullptr);
        if (code == -1) break;
        if (code == ':') {
            UsageError(context, command, nameOf(optopt) + " needs a value");
            return false;
        }
        if (code == '?') {
            const std::string written = argv[optind - 1] ? argv[optind - 1] : "";
            if (optopt != 0 && written.starts_with("--"))
                UsageError(context, command, nameOf(optopt) + " takes no value");
            else if (optopt != 0)
                UsageError(context, command, "unknown option -" + std::string(1, char(optopt)));
            else
                UsageError(context, command, Unknown(written.substr(0, written.find('=')), names));
            return false;
        }
        const std::string value = optarg ? optarg : "";
        if (code >= kFirstOwnCode) {
            const ValueOption& o = options[static_cast<size_t>(code - kFirstOwnCode)];
            if (o.into) *o.into = value;
            if (o.flag) *o.flag = true;
            continue;
        }
        for (size_t i = 0; i < portOptions.size(); ++i) {
            const PortOption& o = portOptions[i];
            if (code != (o.letter ? o.letter : kFirstPortCode + static_cast<int>(i))) continue;
            const std::optional<std::string> stored = StoredChoice(o, value);
            if (!stored) {
                UsageError(context, command,
                           "--" + std::string(o.name) + " " + value + ": not " +
                               std::string(o.notA) + "; use one of " + ChoicesText(o));
                return false;
            }
            (*port).*o.into = *stored;
        }
    }
    // getopt_long has moved the files behind the options, in their order.
    for (int i = optind; i < argc; ++i) files.emplace_back(argv[static_cast<size_t>(i)]);
    return true;
}

}  // namespace tarvoline::cli
