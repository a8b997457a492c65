// tarvoline-cli postlink-load FILE.BIN: Post Link and Load without the window. The .Bin file
// is converted; the .RUN file this conversion wrote is loaded into the board and started.

#include <ostream>

#include "commands.h"
#include "download/PostLinkCommands.h"
#include "session.h"

namespace tarvoline::cli {

int RunPostLinkLoad(const CommandContext& context) {
    PortOptions port;
    std::string file;
    const auto& args = context.arguments;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const OptionParse option = ParsePortOption(args, i, port);
        if (option == OptionParse::Taken) continue;
        if (option == OptionParse::NotAPortOption && a.rfind('-', 0) != 0 && file.empty()) {
            file = a;
            continue;
        }
        context.err << "tarvoline-cli postlink-load: bad argument \"" << a << "\"\n";
        return kExitUsage;
    }
    if (file.empty()) {
        context.err << "Usage: tarvoline-cli postlink-load [--port NAME] [--baud N] "
                       "[--download-baud N] FILE.BIN\n";
        return kExitUsage;
    }
    Session session(context, port);
    if (!session.Connected()) return kExitFailure;
    if (!PostLinkAndLoad(*session.doc, file)) return session.ExitCode(false);
    context.out << "Converted " << file << "; loaded and started its .RUN file\n";
    return session.ExitCode(true);
}

}  // namespace tarvoline::cli
