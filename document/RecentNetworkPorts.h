#pragma once
// The network ports used last ("rfc2217://rack7:7416", "tcp://bench:4001"), most recent first,
// which the Communication Settings dialog offers in its device box. Kept in the "Devices"
// section as "Recent Network Port 1" to "Recent Network Port 4".

#include <string>
#include <vector>

class ISettingsStore;

inline constexpr const char* kRecentNetworkPortEntry = "Recent Network Port";
inline constexpr int kRecentNetworkPorts = 4;

// The stored list; names that are no network port (an edited file) are passed over.
std::vector<std::string> ReadRecentNetworkPorts(const ISettingsStore* store);
// Puts name first, once; a name that is no network port changes nothing.
void RememberNetworkPort(ISettingsStore* store, const std::string& name);
