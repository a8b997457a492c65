// tarvoline-cli ports: the listing of the serial devices, on a /dev and /sys tree of the test's
// own (USB adapters with their sysfs words, ttyS ports with and without a UART) and a by-id
// name that leads to a real pseudo-terminal; the port names the window stored; the JSON for
// scripts; and the program itself on the user's settings.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "CliProcess.h"
#include "Pty.h"
#include "cli/json_writer.h"
#include "cli/ports_report.h"
#include "cli/serial_ports.h"
#include "cli/stored_port_names.h"
#include "document/MemorySettingsStore.h"

namespace {

namespace fs = std::filesystem;
using namespace tarvoline::cli;

void WriteText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

void Link(const fs::path& link, const std::string& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

// A machine with: an FTDI adapter on ttyUSB0 behind a root hub, two more ttyUSB without sysfs
// words, an ACM board giving only its product, ttyS0 with a UART, ttyS1 without one (type 0),
// ttyS3 that sysfs says nothing of; by-id names for the adapter, for a pseudo-terminal and
// for an unplugged device.
class SerialTree : public ::testing::Test {
protected:
    SerialTree() {
        root = fs::path(::testing::TempDir()) / ("ports-" + std::to_string(::getpid()));
        fs::remove_all(root);
        roots = {(root / "dev/serial/by-id").string(), (root / "dev").string(),
                 (root / "sys").string()};
        for (const char* name : {"ttyUSB0", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1",
                                 "ttyS3", "tty0", "ttyUSBx", "console"})
            WriteText(root / "dev" / name, "");

        const fs::path hub = root / "sys/devices/pci0000:00/usb1";
        WriteText(hub / "idVendor", "1d6b");
        WriteText(hub / "idProduct", "0002");
        const fs::path ftdi = hub / "1-1";
        WriteText(ftdi / "idVendor", "0403");
        WriteText(ftdi / "idProduct", "6001");
        WriteText(ftdi / "manufacturer", "FTDI");
        WriteText(ftdi / "product", "FT232R USB UART");
        WriteText(ftdi / "serial", "A10K");
        fs::create_directories(ftdi / "1-1:1.0/ttyUSB0/tty/ttyUSB0");
        Link(ftdi / "1-1:1.0/ttyUSB0/tty/ttyUSB0/device", "../../../ttyUSB0");
        Link(root / "sys/class/tty/ttyUSB0",
             "../../devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0");
        const fs::path acm = hub / "1-2";
        WriteText(acm / "idVendor", "2341");
        WriteText(acm / "idProduct", "0043");
        WriteText(acm / "product", "Board");
        fs::create_directories(acm / "1-2:1.0/tty/ttyACM0");
        Link(acm / "1-2:1.0/tty/ttyACM0/device", "../../../1-2:1.0");
        Link(root / "sys/class/tty/ttyACM0", "../../devices/pci0000:00/usb1/1-2/1-2:1.0/tty/ttyACM0");
        WriteText(root / "sys/class/tty/ttyS0/type", "4");
        WriteText(root / "sys/class/tty/ttyS1/type", "0");

        Link(root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0", "../../ttyUSB0");
        Link(root / "dev/serial/by-id/usb-gone-if00", "../../ttyUSB9");
        // A name with a quote and a backslash, as a device's own strings may make one.
        ptyName = "usb-Odd_\"Board\\-if00";
        Link(root / "dev/serial/by-id" / ptyName, pty.SlavePath());
    }
    ~SerialTree() override { fs::remove_all(root); }

    std::string Dev(const std::string& name) const { return (root / "dev" / name).string(); }
    std::string ById(const std::string& name) const { return roots.byId + "/" + name; }

    fs::path root;
    SerialRoots roots;
    CTestPty pty;
    std::string ptyName;
};

TEST_F(SerialTree, ByIdNamesComeFirstWithTheirDevicesAndUsbWords) {
    const SerialPorts ports = ListSerialPorts(roots);
    ASSERT_EQ(ports.byId.size(), 3u);
    // By name: "usb-FTDI..." < "usb-Odd..." < "usb-gone..." in byte order.
    EXPECT_EQ(ports.byId[0].path, ById("usb-FTDI_FT232R_USB_UART_A10K-if00-port0"));
    EXPECT_EQ(ports.byId[0].device, fs::canonical(Dev("ttyUSB0")).string());
    ASSERT_TRUE(ports.byId[0].usb);
    EXPECT_EQ(ports.byId[0].usb->vendorId, "0403");  // the adapter, not the hub above it
    EXPECT_EQ(ports.byId[0].usb->productId, "6001");
    EXPECT_EQ(ports.byId[0].usb->manufacturer, "FTDI");
    EXPECT_EQ(ports.byId[0].usb->product, "FT232R USB UART");
    EXPECT_EQ(ports.byId[0].usb->serial, "A10K");

    EXPECT_EQ(ports.byId[1].path, ById(ptyName));
    EXPECT_EQ(ports.byId[1].device, fs::canonical(pty.SlavePath()).string());
    EXPECT_FALSE(ports.byId[1].usb);

    EXPECT_EQ(ports.byId[2].path, ById("usb-gone-if00"));
    EXPECT_EQ(ports.byId[2].device, "");  // leads nowhere
}

TEST_F(SerialTree, DevicesAreTheAdaptersAndTheUartsInNumberOrder) {
    const SerialPorts ports = ListSerialPorts(roots);
    std::vector<std::string> paths;
    for (const SerialDevice& d : ports.devices) paths.push_back(d.path);
    EXPECT_EQ(paths, (std::vector<std::string>{Dev("ttyUSB0"), Dev("ttyUSB2"), Dev("ttyUSB10"),
                                                Dev("ttyACM0"), Dev("ttyS0"), Dev("ttyS3")}));
    ASSERT_TRUE(ports.devices[0].usb);
    EXPECT_EQ(ports.devices[0].usb->serial, "A10K");
    EXPECT_FALSE(ports.devices[1].usb);
    ASSERT_TRUE(ports.devices[3].usb);
    EXPECT_EQ(ports.devices[3].usb->vendorId, "2341");
    EXPECT_EQ(ports.devices[3].usb->product, "Board");
    EXPECT_EQ(ports.devices[3].usb->manufacturer, "");
    EXPECT_FALSE(ports.devices[4].usb);
}

TEST_F(SerialTree, NoTreeAtAllListsNothing) {
    const SerialPorts ports =
        ListSerialPorts({(root / "none/by-id").string(), (root / "none").string(),
                         (root / "none/sys").string()});
    EXPECT_TRUE(ports.byId.empty());
    EXPECT_TRUE(ports.devices.empty());
}

TEST_F(SerialTree, StoredNamesResolveAsAConnectionWouldAndMissingOnesAreMarked) {
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM3", ById(ptyName));
    store.WriteProfileString("Devices", "COM12", "/dev/tarvoline-missing");
    store.WriteProfileString("COM Settings", "COM Port", "COM7");
    const std::vector<StoredPortName> names = StoredPortNames(store);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].name, "COM3");
    EXPECT_EQ(names[0].device, ById(ptyName));
    EXPECT_EQ(names[0].target, fs::canonical(pty.SlavePath()).string());
    EXPECT_TRUE(names[0].bound);
    EXPECT_FALSE(names[0].inUse);
    EXPECT_EQ(names[1].name, "COM12");
    EXPECT_EQ(names[1].target, "");
    EXPECT_EQ(names[2].name, "COM7");  // the port in use, resolved by its number
    EXPECT_EQ(names[2].device, "/dev/ttyS6");
    EXPECT_FALSE(names[2].bound);
    EXPECT_TRUE(names[2].inUse);

    std::ostringstream text;
    WritePortsText(text, ListSerialPorts(roots), names);
    const std::string shown = text.str();
    EXPECT_NE(shown.find("By id:\n  " + ById("usb-FTDI_FT232R_USB_UART_A10K-if00-port0") + " -> " +
                         fs::canonical(Dev("ttyUSB0")).string() +
                         "  USB 0403:6001 FTDI FT232R USB UART, serial A10K\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("  " + ById("usb-gone-if00") + " -> (missing)\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Devices:\n  " + Dev("ttyUSB0") + "  USB 0403:6001"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Port names:\n  COM3 -> " + ById(ptyName) + " -> " +
                         fs::canonical(pty.SlavePath()).string() + "\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("  COM12 -> /dev/tarvoline-missing (missing)\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("  COM7 -> /dev/ttyS6"), std::string::npos) << shown;
    EXPECT_NE(shown.find("(the default for COM7) (in use)\n"), std::string::npos) << shown;
}

TEST_F(SerialTree, JsonNamesEveryFieldWithItsStringsEscaped) {
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM3", "/dev/tarvoline-missing");
    store.WriteProfileString("COM Settings", "COM Port", "COM3");
    std::ostringstream out;
    WritePortsJson(out, ListSerialPorts(roots), StoredPortNames(store));
    const std::string json = out.str();
    const std::string ftdi = "{\"path\":" + JsonString(ById("usb-FTDI_FT232R_USB_UART_A10K-if00-port0")) +
                             ",\"device\":" + JsonString(fs::canonical(Dev("ttyUSB0")).string()) +
                             ",\"usb\":{\"vendor_id\":\"0403\",\"product_id\":\"6001\","
                             "\"manufacturer\":\"FTDI\",\"product\":\"FT232R USB UART\","
                             "\"serial\":\"A10K\"}}";
    EXPECT_EQ(json.rfind("{\"by_id\":[" + ftdi + ",", 0), 0u) << json;
    EXPECT_NE(json.find("usb-Odd_\\\"Board\\\\-if00\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"path\":" + JsonString(ById("usb-gone-if00")) + ",\"device\":null,\"usb\":null}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("],\"devices\":[{\"path\":"), std::string::npos) << json;
    EXPECT_NE(json.find("{\"path\":" + JsonString(Dev("ttyS3")) + ",\"usb\":null}]"), std::string::npos)
        << json;
    EXPECT_NE(json.find(",\"port_names\":[{\"name\":\"COM3\",\"device\":\"/dev/tarvoline-missing\","
                        "\"target\":null,\"present\":false,\"bound\":true,\"in_use\":true}]}\n"),
              std::string::npos)
        << json;
}

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "\"\""},
        {"plain /dev/ttyUSB0", "\"plain /dev/ttyUSB0\""},
        {"a\"b", "\"a\\\"b\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"tab\there", "\"tab\\there\""},
        {"line\nend\r", "\"line\\nend\\r\""},
        {std::string("\x01\x1f", 2), "\"\\u0001\\u001f\""},
        {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},  // UTF-8 as it is
        {"slash/", "\"slash/\""},
    };
    for (const auto& [text, json] : cases) EXPECT_EQ(JsonString(text), json) << text;
}

// The program itself, on the user's settings file as the window writes it.
TEST(CliPorts, ListsTheStoredNamesFromTheSettingsFile) {
    CTestPty pty;
    CCliProcess cli;
    std::ofstream(cli.dir + "/config/Hollowbrook Works/Tarvoline.conf")
        << "[COM%20Settings]\nCOM%20Port=COM4\n[Devices]\nCOM4=" << pty.SlavePath()
        << "\nCOM9=/dev/tarvoline-missing\n";
    cli.Start({"ports"});
    ASSERT_EQ(cli.Wait(), 0) << cli.Err();
    const std::string out = cli.Out();
    EXPECT_EQ(out.rfind("By id:\n", 0), 0u) << out;
    EXPECT_NE(out.find("Port names:\n  COM4 -> " + pty.SlavePath() + " (in use)\n"
                       "  COM9 -> /dev/tarvoline-missing (missing)\n"),
              std::string::npos)
        << out;

    cli.Start({"ports", "--json"});
    ASSERT_EQ(cli.Wait(), 0) << cli.Err();
    EXPECT_NE(cli.Out().find("\"port_names\":[{\"name\":\"COM4\",\"device\":\"" + pty.SlavePath() +
                             "\",\"target\":\"" + pty.SlavePath() + "\",\"present\":true"),
              std::string::npos)
        << cli.Out();

    cli.Start({"ports", "--jsn"});
    EXPECT_EQ(cli.Wait(), 2);
    EXPECT_NE(cli.Err().find("tarvoline-cli ports: unknown option --jsn\n"), std::string::npos)
        << cli.Err();
}

}  // namespace
