#include "serial_ports.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tarvoline::cli {
namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, without its line end; nothing when it cannot be read.
std::optional<std::string> ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// The USB device above a tty in the device tree: the first folder upwards from the tty's
// device (a USB serial port, or a CDC ACM interface) that has idVendor and idProduct.
std::optional<UsbDevice> UsbDeviceOf(const SerialRoots& roots, const std::string& kernelName) {
    std::error_code error;
    const fs::path sys = fs::weakly_canonical(roots.sys, error);
    fs::path dir = fs::canonical(fs::path(roots.sys) / "class/tty" / kernelName / "device", error);
    if (error) return std::nullopt;
    for (; dir.has_relative_path() && dir != sys; dir = dir.parent_path()) {
        const auto vendor = ReadAttribute(dir / "idVendor");
        const auto product = ReadAttribute(dir / "idProduct");
        if (!vendor || !product) continue;
        UsbDevice usb;
        usb.vendorId = *vendor;
        usb.productId = *product;
        usb.manufacturer = ReadAttribute(dir / "manufacturer").value_or("");
        usb.product = ReadAttribute(dir / "product").value_or("");
        usb.serial = ReadAttribute(dir / "serial").value_or("");
        return usb;
    }
    return std::nullopt;
}

// A ttyS name is made for every port the serial driver could have; only those whose port type
// is known have a UART behind them. The type 0 is the driver's "unknown". When sysfs does not
// tell, the port is listed: better one too many than a real port hidden.
bool HasUart(const SerialRoots& roots, const std::string& kernelName) {
    const auto type = ReadAttribute(fs::path(roots.sys) / "class/tty" / kernelName / "type");
    return !type || *type != "0";
}

// "ttyUSB12" with prefix "ttyUSB": 12; nothing for another name.
std::optional<unsigned long> NumberAfter(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    if (name.size() - prefix.size() > 9) return std::nullopt;
    for (size_t i = prefix.size(); i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
    return std::stoul(name.substr(prefix.size()));
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    return names;
}

}  // namespace

SerialPorts ListSerialPorts(const SerialRoots& roots) {
    SerialPorts ports;
    std::vector<std::string> byId = NamesIn(roots.byId);
    std::sort(byId.begin(), byId.end());
    for (const std::string& name : byId) {
        SerialDevice entry;
        entry.path = (fs::path(roots.byId) / name).string();
        std::error_code error;
        const fs::path target = fs::canonical(entry.path, error);
        if (!error) {
            entry.device = target.string();
            entry.usb = UsbDeviceOf(roots, target.filename().string());
        }
        ports.byId.push_back(std::move(entry));
    }

    const std::vector<std::string> inDev = NamesIn(roots.dev);
    for (const std::string prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        std::vector<std::pair<unsigned long, std::string>> found;
        for (const std::string& name : inDev)
            if (const auto number = NumberAfter(name, prefix)) found.emplace_back(*number, name);
        std::sort(found.begin(), found.end());
        for (const auto& [number, name] : found) {
            if (prefix == std::string("ttyS") && !HasUart(roots, name)) continue;
            SerialDevice entry;
            entry.path = (fs::path(roots.dev) / name).string();
            entry.usb = UsbDeviceOf(roots, name);
            ports.devices.push_back(std::move(entry));
        }
    }
    return ports;
}

}  // namespace tarvoline::cli
