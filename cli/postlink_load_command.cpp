// tarvoline-cli postlink-load FILE.BIN: Post Link and Load without the window. The .Bin file
// is converted; the .RUN file this conversion wrote is loaded into the board and started.

#include <ostream>

#include "commands.h"
#include "download/PostLinkCommands.h"
#include "postlink/post_link_file.h"
#include "session.h"

namespace tarvoline::cli {

int RunPostLinkLoad(const CommandContext& context) {
    PortOptions port;
    std::vector<std::string> files;
    if (!ParseArguments(context, "postlink-load", context.arguments, port, {}, files))
        return kExitUsage;
    if (files.size() != 1) {
        UsageError(context, "postlink-load", files.empty() ? "which file?" : "one file at a time");
        return kExitUsage;
    }
    const std::string& file = files[0];
    Session session(context, port);
    if (!session.Connected()) return kExitFailure;
    if (!PostLinkAndLoad(*session.doc, file)) {
        if (!postlink::CutBinExtension(file))
            context.err << file << ": the name holds none of .BIN, .bin and .Bin\n";
        return session.ExitCode(false);
    }
    context.out << "Converted " << file << "; loaded and started its .RUN file\n";
    return session.ExitCode(true);
}

}  // namespace tarvoline::cli
