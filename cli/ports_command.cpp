// tarvoline-cli ports: the serial devices present and the port names the window has stored,
// for people or, with --json, for scripts.

#include <ostream>
#include <string>

#include "commands.h"
#include "document/IniSettingsStore.h"
#include "ports_report.h"
#include "session.h"

namespace tarvoline::cli {

int RunPorts(const CommandContext& context) {
    bool json = false;
    for (const std::string& a : context.arguments) {
        if (a == "--json") {
            json = true;
        } else {
            UsageError(context, "ports",
                       (a.size() > 1 && a[0] == '-' ? "unknown option " : "takes no argument: ") + a);
            return kExitUsage;
        }
    }
    const CIniSettingsStore store;
    const SerialPorts ports = ListSerialPorts();
    const std::vector<StoredPortName> names = StoredPortNames(store);
    if (json)
        WritePortsJson(context.out, ports, names);
    else
        WritePortsText(context.out, ports, names);
    context.out.flush();
    if (!context.out) {
        context.err << "tarvoline-cli ports: standard output is gone\n";
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace tarvoline::cli
