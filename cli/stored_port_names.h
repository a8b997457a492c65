#pragma once
// The port names the window has stored: every "COMn" bound to a device under "Devices", and
// the port in use ("COM Port"), each with the device it resolves to as a connection would
// resolve it, and whether that device is there.

#include <string>
#include <vector>

class ISettingsStore;

namespace tarvoline::cli {

struct StoredPortName {
    std::string name;      // "COM3", or a device path stored as the port in use
    std::string device;    // what the name resolves to ("Devices"/"COMn", else /dev/ttyS<n-1>)
    std::string target;    // the device file at the end of its links; empty when missing
    bool bound = false;    // the device comes from a "Devices" entry
    bool inUse = false;    // the stored "COM Port", the one the commands use by default
    std::string error;     // why the name resolves to nothing, when it does not
};

std::vector<StoredPortName> StoredPortNames(const ISettingsStore& store);

}  // namespace tarvoline::cli
