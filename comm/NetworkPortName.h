#pragma once
// Ports on the network: "rfc2217://HOST:PORT" (a serial port served over telnet with the
// COM-PORT-OPTION, which carries the line settings and break) and "tcp://HOST:PORT" (raw bytes;
// the far side keeps its own line settings). HOST may be a name, an IPv4 address or an IPv6
// address in brackets.

#include <optional>
#include <string>

enum class NetworkProtocol { Rfc2217, RawTcp };

struct CNetworkPortName {
    NetworkProtocol protocol = NetworkProtocol::Rfc2217;
    std::string host;  // without the brackets of an IPv6 address
    int port = 0;      // 1 to 65535
    // "rack7:7416", "[::1]:7416": what messages and notices call it.
    std::string Address() const;
};

// True when the name asks for a network port (it starts with one of the two schemes), whether
// or not the rest is well formed.
bool IsNetworkPortName(const std::string& name);

// The parts of a network port name, or nothing with the reason in error.
std::optional<CNetworkPortName> ParseNetworkPortName(const std::string& name, std::string& error);
