#include "ports_report.h"

#include <ostream>
#include <string>

#include "comm/PortName.h"
#include "json_writer.h"

namespace tarvoline::cli {
namespace {

// "USB 0403:6001 FTDI FT232R USB UART, serial A10K"
std::string UsbText(const UsbDevice& usb) {
    std::string text = "USB " + usb.vendorId + ":" + usb.productId;
    if (!usb.manufacturer.empty()) text += " " + usb.manufacturer;
    if (!usb.product.empty()) text += " " + usb.product;
    if (!usb.serial.empty()) text += ", serial " + usb.serial;
    return text;
}

void WriteUsbJson(CJsonWriter& json, const std::optional<UsbDevice>& usb) {
    json.Key("usb");
    if (!usb) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Key("vendor_id");
    json.String(usb->vendorId);
    json.Key("product_id");
    json.String(usb->productId);
    json.Key("manufacturer");
    json.String(usb->manufacturer);
    json.Key("product");
    json.String(usb->product);
    json.Key("serial");
    json.String(usb->serial);
    json.EndObject();
}

void StringOrNull(CJsonWriter& json, const std::string& text) {
    if (text.empty())
        json.Null();
    else
        json.String(text);
}

}  // namespace

void WritePortsText(std::ostream& out, const SerialPorts& ports,
                    const std::vector<StoredPortName>& names) {
    out << "By id:\n";
    if (ports.byId.empty()) out << "  none\n";
    for (const SerialDevice& d : ports.byId) {
        out << "  " << d.path << " -> " << (d.device.empty() ? "(missing)" : d.device);
        if (d.usb) out << "  " << UsbText(*d.usb);
        out << "\n";
    }
    out << "Devices:\n";
    if (ports.devices.empty()) out << "  none\n";
    for (const SerialDevice& d : ports.devices) {
        out << "  " << d.path;
        if (d.usb) out << "  " << UsbText(*d.usb);
        out << "\n";
    }
    out << "Port names:\n";
    for (const StoredPortName& n : names) {
        out << "  " << n.name;
        if (n.device.empty()) {
            out << ": " << n.error;
        } else {
            out << " -> " << n.device;
            if (n.target.empty())
                out << " (missing)";
            else if (n.target != n.device)
                out << " -> " << n.target;
        }
        if (!n.bound && ComPortNumber(n.name)) out << " (the default for " << n.name << ")";
        if (n.inUse) out << " (in use)";
        out << "\n";
    }
}

void WritePortsJson(std::ostream& out, const SerialPorts& ports,
                    const std::vector<StoredPortName>& names) {
    CJsonWriter json(out);
    json.BeginObject();
    json.Key("by_id");
    json.BeginArray();
    for (const SerialDevice& d : ports.byId) {
        json.BeginObject();
        json.Key("path");
        json.String(d.path);
        json.Key("device");
        StringOrNull(json, d.device);
        WriteUsbJson(json, d.usb);
        json.EndObject();
    }
    json.EndArray();
    json.Key("devices");
    json.BeginArray();
    for (const SerialDevice& d : ports.devices) {
        json.BeginObject();
        json.Key("path");
        json.String(d.path);
        WriteUsbJson(json, d.usb);
        json.EndObject();
    }
    json.EndArray();
    json.Key("port_names");
    json.BeginArray();
    for (const StoredPortName& n : names) {
        json.BeginObject();
        json.Key("name");
        json.String(n.name);
        json.Key("device");
        StringOrNull(json, n.device);
        json.Key("target");
        StringOrNull(json, n.target);
        json.Key("present");
        json.Bool(!n.target.empty());
        json.Key("bound");
        json.Bool(n.bound);
        json.Key("in_use");
        json.Bool(n.inUse);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    out << "\n";
}

}  // namespace tarvoline::cli
