#pragma once
// What tarvoline-cli ports prints: the serial devices present and the stored port names, as
// lines for people or as one JSON object for scripts.

#include <iosfwd>
#include <vector>

#include "serial_ports.h"
#include "stored_port_names.h"

namespace tarvoline::cli {

void WritePortsText(std::ostream& out, const SerialPorts& ports,
                    const std::vector<StoredPortName>& names);

// {"by_id": [{"path", "device" (null: leads nowhere), "usb"}],
//  "devices": [{"path", "usb"}],
//  "port_names": [{"name", "device" (null: cannot resolve), "target" (null: missing),
//                  "present", "bound", "in_use"}]}
// where "usb" is null or {"vendor_id", "product_id", "manufacturer", "product", "serial"}.
void WritePortsJson(std::ostream& out, const SerialPorts& ports,
                    const std::vector<StoredPortName>& names);

}  // namespace tarvoline::cli
