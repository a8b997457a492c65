#include "PortName.h"

#include <algorithm>
#include <cctype>

#include "NetworkPortName.h"
#include "document/SettingsStore.h"

std::optional<int> ComPortNumber(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return std::nullopt;
    long n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
        n = std::min(n * 10 + (name[i] - '0'), 1000000L);  // large enough to be out of range
    }
    return static_cast<int>(n);
}

CPortDevice CPortNameResolver::Resolve(const std::string& name) const {
    if (auto it = m_bound.find(name); it != m_bound.end()) return {it->second, {}};
    if (!name.empty() && name.front() == '/') return {name, {}};
    if (IsNetworkPortName(name)) {
        std::string error;
        if (!ParseNetworkPortName(name, error)) return {{}, error};
        return {name, {}};
    }
    auto number = ComPortNumber(name);
    if (!number) {
        return {{}, "\"" + name + "\" is not a port name: use COM1 to COM255, a device path, "
                    "rfc2217://HOST:PORT or tcp://HOST:PORT."};
    }
    if (*number < 1 || *number > 255) {
        return {{}, "\"" + name + "\" is not a port: port numbers run from 1 to 255."};
    }
    if (m_store) {
        std::string bound = m_store->GetProfileString(kDevicesSection, name, "");
        if (!bound.empty()) return {bound, {}};
    }
    return {"/dev/ttyS" + std::to_string(*number - 1), {}};
}
