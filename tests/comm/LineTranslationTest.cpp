// The stored settings become a line configuration without any device.

#include <gtest/gtest.h>

#include "comm/LineTermios.h"
#include "comm/NetworkPortName.h"
#include "comm/PortName.h"
#include "comm/PortSettings.h"
#include "document/MemorySettingsStore.h"

namespace {

struct TranslationCase {
    const char* baud;
    const char* parity;
    const char* dataBits;
    const char* stopBits;
    const char* flow;
    DWORD wantBaud;
    int wantParity;
    int wantDataBits;
    int wantStop;
    DWORD wantFlow;
};

void PrintTo(const TranslationCase& c, std::ostream* os) {
    *os << c.baud << "/" << c.parity << "/" << c.dataBits << "/" << c.stopBits << "/" << c.flow;
}

class TranslationTest : public ::testing::TestWithParam<TranslationCase> {};

TEST_P(TranslationTest, SettingsBecomeLineValues) {
    const auto& c = GetParam();
    CPortSettings s;
    s.m_strBaudRate = c.baud;
    s.m_strParity = c.parity;
    s.m_strDataBits = c.dataBits;
    s.m_strStopBits = c.stopBits;
    s.m_strFlowControl = c.flow;
    CLineSettings line = TranslateLineSettings(s);
    EXPECT_EQ(line.baudRate, c.wantBaud);
    EXPECT_EQ(line.parityCode, c.wantParity);
    EXPECT_EQ(line.dataBits, c.wantDataBits);
    EXPECT_EQ(line.stopBitCode, c.wantStop);
    EXPECT_EQ(line.flowFlags, c.wantFlow);
}

INSTANTIATE_TEST_SUITE_P(
    OfferedAndEditedValues, TranslationTest,
    ::testing::Values(
        TranslationCase{"9600", "None", "8", "1", "None", 9600, 0, 8, 0, 0x00},
        TranslationCase{"115200", "Even", "7", "2", "Software", 115200, 2, 7, 2, 0x10},
        TranslationCase{"230400", "Odd", "8", "1", "Hardware", 230400, 1, 8, 0, 0x03},
        // Values only an edited store can hold.
        TranslationCase{"fast", "even", "eight", "1.5", "RTS", 0, 0, 0, 0, 0x03},
        TranslationCase{"19200baud", "ODD", "7bits", "2 ", "", 19200, 0, 7, 0, 0x03},
        TranslationCase{"", "Mark", "", "two", "none", 0, 0, 0, 0, 0x03},
        TranslationCase{"99999999999999", "None", "8", "1", "None", 0xFFFFFFFF, 0, 8, 0, 0}),
    [](const ::testing::TestParamInfo<TranslationCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST(LineTermiosTest, FormatSetsSizeParityStopAndAlwaysChecksParity) {
    termios t{};
    ASSERT_TRUE(ApplyLineFormat(t, kParityOdd, 7, kTwoStopBits));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS7));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_iflag & INPCK);

    ASSERT_TRUE(ApplyLineFormat(t, kParityEven, 8, kOneStopBit));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CSTOPB);

    ASSERT_TRUE(ApplyLineFormat(t, kParityNone, 8, kOneStopBit));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_TRUE(t.c_iflag & INPCK);
}

TEST(LineTermiosTest, ImpossibleValuesAreRefusedAndLeaveTheRecordAlone) {
    termios t{};
    ApplyLineFormat(t, kParityNone, 8, kOneStopBit);
    termios before = t;
    EXPECT_FALSE(ApplyLineFormat(t, kParityNone, 0, kOneStopBit));
    EXPECT_FALSE(ApplyLineFormat(t, 7, 8, kOneStopBit));
    EXPECT_FALSE(ApplyLineFormat(t, kParityNone, 8, 1));
    EXPECT_EQ(0, memcmp(&before, &t, sizeof t));
    EXPECT_FALSE(ApplyBaud(t, 0));
    EXPECT_FALSE(ApplyBaud(t, 4801));
    EXPECT_TRUE(ApplyBaud(t, 230400));
    EXPECT_EQ(cfgetospeed(&t), speed_t(B230400));
}

TEST(LineTermiosTest, FlowControlFlagsMapToHandshakes) {
    CLineConfig cfg;
    ApplyFlowControl(cfg, kFlowXonXoff, 100, 100, kXonChar, kXoffChar);
    EXPECT_TRUE(cfg.tio.c_iflag & IXON);
    EXPECT_TRUE(cfg.tio.c_iflag & IXOFF);
    EXPECT_FALSE(cfg.tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(cfg.dsrDtrHandshake);
    EXPECT_EQ(cfg.tio.c_cc[VSTART], 0x11);
    EXPECT_EQ(cfg.tio.c_cc[VSTOP], 0x13);
    EXPECT_EQ(cfg.xonLimit, 100);
    EXPECT_EQ(cfg.xoffLimit, 100);
    // Binary line: no translation of CR, no echo, NUL kept.
    EXPECT_FALSE(cfg.tio.c_iflag & (ICRNL | IGNCR | INLCR));
    EXPECT_FALSE(cfg.tio.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(cfg.tio.c_oflag & OPOST);

    ApplyFlowControl(cfg, kFlowDsrDtr | kFlowCtsRts, 100, 100, kXonChar, kXoffChar);
    EXPECT_TRUE(cfg.tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(cfg.dsrDtrHandshake);
    EXPECT_FALSE(cfg.tio.c_iflag & (IXON | IXOFF));

    ApplyFlowControl(cfg, 0, 100, 100, kXonChar, kXoffChar);
    EXPECT_FALSE(cfg.tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(cfg.dsrDtrHandshake);
    EXPECT_FALSE(cfg.tio.c_iflag & (IXON | IXOFF));
}

TEST(PortSettingsTest, LoadTakesDefaultsAndStoredValues) {
    EXPECT_EQ(LoadPortSettings(nullptr), CPortSettings{});
    CMemorySettingsStore store;
    CPortSettings fresh = LoadPortSettings(&store);
    EXPECT_EQ(fresh.m_strComPort, "COM3");
    EXPECT_EQ(fresh.m_strBaudRate, "9600");
    EXPECT_EQ(fresh.m_strDownloadBaudRate, "115200");

    store.WriteProfileString("COM Settings", "COM Port", "COM12");
    store.WriteProfileInt("COM Settings", "Local Echo", 1);
    CPortSettings s = LoadPortSettings(&store);
    EXPECT_EQ(s.m_strComPort, "COM12");
    EXPECT_EQ(s.m_bLocalEcho, 1);

    store.ClearWriteLog();
    StorePortSettings(store, s);
    std::vector<std::string> want = {
        "COM Settings/COM Port",  "COM Settings/Baud Rate", "COM Settings/Baud Rate Tv Download",
        "COM Settings/Parity",    "COM Settings/Data Bits", "COM Settings/Stop Bits",
        "COM Settings/Flow Control", "COM Settings/Local Echo", "COM Settings/Send CRLF"};
    EXPECT_EQ(store.WriteLog(), want);
}

TEST(PortNameTest, ComNumbersResolveToDevices) {
    CMemorySettingsStore store;
    CPortNameResolver names(&store);
    EXPECT_EQ(names.Resolve("COM1").device, "/dev/ttyS0");
    EXPECT_EQ(names.Resolve("COM3").device, "/dev/ttyS2");
    EXPECT_EQ(names.Resolve("COM255").device, "/dev/ttyS254");
    EXPECT_EQ(names.Resolve("/dev/ttyUSB0").device, "/dev/ttyUSB0");

    store.WriteProfileString("Devices", "COM3", "/dev/serial/by-id/usb-board");
    EXPECT_EQ(names.Resolve("COM3").device, "/dev/serial/by-id/usb-board");
    names.Bind("COM3", "/dev/ttyACM0");  // this run only
    EXPECT_EQ(names.Resolve("COM3").device, "/dev/ttyACM0");
    EXPECT_EQ(store.GetProfileString("Devices", "COM3", ""), "/dev/serial/by-id/usb-board");
}

TEST(PortNameTest, BadNamesSayWhy) {
    CPortNameResolver names;
    for (const char* bad : {"COM0", "COM256", "COM99999999999"}) {
        CPortDevice d = names.Resolve(bad);
        EXPECT_TRUE(d.device.empty()) << bad;
        EXPECT_NE(d.error.find("1 to 255"), std::string::npos) << d.error;
    }
    for (const char* bad : {"COMX", "com3", "", "COM"}) {
        CPortDevice d = names.Resolve(bad);
        EXPECT_TRUE(d.device.empty()) << bad;
        EXPECT_FALSE(d.error.empty()) << bad;
    }
}

TEST(PortNameTest, NetworkAddressesAreTheirOwnDevices) {
    CMemorySettingsStore store;
    CPortNameResolver names(&store);
    EXPECT_EQ(names.Resolve("rfc2217://rack7:7416").device, "rfc2217://rack7:7416");
    EXPECT_EQ(names.Resolve("tcp://127.0.0.1:2000").device, "tcp://127.0.0.1:2000");
    store.WriteProfileString("Devices", "COM3", "rfc2217://[::1]:7416");
    EXPECT_EQ(names.Resolve("COM3").device, "rfc2217://[::1]:7416");

    std::string error;
    auto v6 = ParseNetworkPortName("rfc2217://[::1]:7416", error);
    ASSERT_TRUE(v6) << error;
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->port, 7416);
    EXPECT_EQ(v6->Address(), "[::1]:7416");
    auto raw = ParseNetworkPortName("tcp://rack7:2000", error);
    ASSERT_TRUE(raw) << error;
    EXPECT_EQ(raw->protocol, NetworkProtocol::RawTcp);
    EXPECT_EQ(raw->Address(), "rack7:2000");

    for (const char* bad : {"rfc2217://rack7", "rfc2217://:7416", "tcp://rack7:0", "tcp://rack7:65536",
                            "tcp://rack7:x", "rfc2217://::1:7416", "rfc2217://[::1]7416",
                            "tcp://ra ck:1"}) {
        CPortDevice d = names.Resolve(bad);
        EXPECT_TRUE(d.device.empty()) << bad;
        EXPECT_NE(d.error.find(bad), std::string::npos) << d.error;
    }
}

}  // namespace
