#include "RecentNetworkPorts.h"

#include <algorithm>

#include "comm/NetworkPortName.h"
#include "comm/PortName.h"
#include "SettingsStore.h"

namespace {

std::string EntryName(int index) { return std::string(kRecentNetworkPortEntry) + " " + std::to_string(index + 1); }

bool WellFormed(const std::string& name) {
    std::string error;
    return ParseNetworkPortName(name, error).has_value();
}

}  // namespace

std::vector<std::string> ReadRecentNetworkPorts(const ISettingsStore* store) {
    std::vector<std::string> names;
    if (!store) return names;
    for (int i = 0; i < kRecentNetworkPorts; ++i) {
        const std::string name = store->GetProfileString(kDevicesSection, EntryName(i), "");
        if (WellFormed(name) && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

void RememberNetworkPort(ISettingsStore* store, const std::string& name) {
    if (!store || !WellFormed(name)) return;
    std::vector<std::string> names = ReadRecentNetworkPorts(store);
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
    names.insert(names.begin(), name);
    if (names.size() > static_cast<size_t>(kRecentNetworkPorts)) names.resize(kRecentNetworkPorts);
    for (int i = 0; i < kRecentNetworkPorts; ++i)
        store->WriteProfileString(kDevicesSection, EntryName(i),
                                  i < static_cast<int>(names.size()) ? names[i] : std::string());
}
