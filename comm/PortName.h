#pragma once
// How a port name becomes a device. "COMn" (n from 1 to 255) is the name users see and the
// store keeps; the device behind it is the "Devices"/"COMn" setting when present, else
// /dev/ttyS<n-1>. A name starting with '/' is a device path and is used as it is, and so is a
// network port, "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (see NetworkPortName.h).

#include <map>
#include <optional>
#include <string>

class ISettingsStore;

inline constexpr const char* kDevicesSection = "Devices";

// The port number of a "COMn" name, or nothing when the name has no such form.
std::optional<int> ComPortNumber(const std::string& name);

struct CPortDevice {
    std::string device;  // empty when the name cannot be resolved
    std::string error;   // why, in words, when it cannot
};

class CPortNameResolver {
public:
    explicit CPortNameResolver(const ISettingsStore* store = nullptr) : m_store(store) {}
    // Binds a name to a device for this run only, without storing it.
    void Bind(const std::string& name, const std::string& device) { m_bound[name] = device; }
    CPortDevice Resolve(const std::string& name) const;

private:
    const ISettingsStore* m_store;
    std::map<std::string, std::string> m_bound;
};
