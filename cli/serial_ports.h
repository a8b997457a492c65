#pragma once
// The serial devices present, as the kernel tells them: the stable names under
// /dev/serial/by-id and the devices they lead to, then the USB adapters (ttyUSB, ttyACM) and
// the ttyS ports with a UART behind them, each with the USB device it belongs to when sysfs
// names one. Nothing is opened: opening a port raises DTR and RTS, which resets some boards.

#include <optional>
#include <string>
#include <vector>

namespace tarvoline::cli {

// Where the listing looks; other folders only in tests, which build a tree of their own.
struct SerialRoots {
    std::string byId = "/dev/serial/by-id";
    std::string dev = "/dev";
    std::string sys = "/sys";
};

// The USB device's own words from sysfs (idVendor, idProduct, manufacturer, product, serial);
// a string the device does not give is empty.
struct UsbDevice {
    std::string vendorId, productId, manufacturer, product, serial;
};

struct SerialDevice {
    std::string path;    // /dev/serial/by-id/NAME, or /dev/ttyUSB0
    std::string device;  // a by-id name: the device it leads to; empty when it leads nowhere
    std::optional<UsbDevice> usb;
};

struct SerialPorts {
    std::vector<SerialDevice> byId;     // by name
    std::vector<SerialDevice> devices;  // ttyUSB, then ttyACM, then ttyS, each by number
};

SerialPorts ListSerialPorts(const SerialRoots& roots = {});

}  // namespace tarvoline::cli
