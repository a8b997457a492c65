#include "stored_port_names.h"

#include <filesystem>
#include <system_error>

#include "comm/PortName.h"
#include "comm/PortSettings.h"
#include "document/SettingsStore.h"

namespace tarvoline::cli {
namespace {

constexpr int kHighestComNumber = 255;

StoredPortName Resolved(const ISettingsStore& store, const std::string& name) {
    StoredPortName entry;
    entry.name = name;
    const CPortDevice resolved = CPortNameResolver(&store).Resolve(name);
    entry.device = resolved.device;
    entry.error = resolved.error;
    entry.bound = ComPortNumber(name) &&
                  !store.GetProfileString(kDevicesSection, name, "").empty();
    if (!entry.device.empty()) {
        std::error_code error;
        const auto target = std::filesystem::canonical(entry.device, error);
        if (!error) entry.target = target.string();
    }
    return entry;
}

}  // namespace

std::vector<StoredPortName> StoredPortNames(const ISettingsStore& store) {
    // The store lists no names; the COM names are few enough to ask for each.
    const std::string inUse = LoadPortSettings(&store).m_strComPort;
    std::vector<StoredPortName> names;
    bool inUseListed = false;
    for (int n = 1; n <= kHighestComNumber; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (store.GetProfileString(kDevicesSection, name, "").empty()) continue;
        names.push_back(Resolved(store, name));
        if (name == inUse) {
            names.back().inUse = true;
            inUseListed = true;
        }
    }
    if (!inUseListed) {
        names.push_back(Resolved(store, inUse));
        names.back().inUse = true;
    }
    return names;
}

}  // namespace tarvoline::cli
