#include "NetworkPortName.h"

#include <cctype>

namespace {

constexpr const char* kRfc2217Scheme = "rfc2217://";
constexpr const char* kTcpScheme = "tcp://";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::optional<int> ParsePortNumber(const std::string& digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return value;
}

}  // namespace

std::string CNetworkPortName::Address() const {
    bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool IsNetworkPortName(const std::string& name) {
    return StartsWith(name, kRfc2217Scheme) || StartsWith(name, kTcpScheme);
}

std::optional<CNetworkPortName> ParseNetworkPortName(const std::string& name, std::string& error) {
    CNetworkPortName parsed;
    std::string rest;
    if (StartsWith(name, kRfc2217Scheme)) {
        parsed.protocol = NetworkProtocol::Rfc2217;
        rest = name.substr(std::string(kRfc2217Scheme).size());
    } else if (StartsWith(name, kTcpScheme)) {
        parsed.protocol = NetworkProtocol::RawTcp;
        rest = name.substr(std::string(kTcpScheme).size());
    } else {
        error = "\"" + name + "\" is not a network port: use rfc2217://HOST:PORT or tcp://HOST:PORT.";
        return std::nullopt;
    }
    std::string portText;
    if (!rest.empty() && rest.front() == '[') {
        auto close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            error = "\"" + name + "\" has no port number after the bracketed address.";
            return std::nullopt;
        }
        parsed.host = rest.substr(1, close - 1);
        portText = rest.substr(close + 2);
    } else {
        auto colon = rest.rfind(':');
        if (colon == std::string::npos) {
            error = "\"" + name + "\" has no port number: write HOST:PORT.";
            return std::nullopt;
        }
        parsed.host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
        if (parsed.host.find(':') != std::string::npos) {
            error = "\"" + name + "\": put an IPv6 address in brackets, [ADDRESS]:PORT.";
            return std::nullopt;
        }
    }
    while (!portText.empty() && portText.back() == '/') portText.pop_back();
    if (parsed.host.empty()) {
        error = "\"" + name + "\" has no host name.";
        return std::nullopt;
    }
    for (char c : parsed.host) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == '/' || c == '@') {
            error = "\"" + name + "\" has no valid host name.";
            return std::nullopt;
        }
    }
    auto port = ParsePortNumber(portText);
    if (!port) {
        error = "\"" + name + "\" has no valid port number: they run from 1 to 65535.";
        return std::nullopt;
    }
    parsed.port = *port;
    return parsed;
}
