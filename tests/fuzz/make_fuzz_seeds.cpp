// Writes the seed inputs of the fuzzing harnesses with the project's own writers: .Bin files
// from the converter tests' writer and the example program, link maps, XMODEM streams built
// with the sender's block checks, terminal sessions, and settings files holding what the
// program stores. Usage: make_fuzz_seeds EXAMPLES_DIR OUTPUT_DIR (one folder per harness).

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bin_writer.h"
#include "comm/PortSettings.h"
#include "document/FirstRunDefaults.h"
#include "document/MemorySettingsStore.h"
#include "document/RecentFileList.h"
#include "download/Xmodem.h"
#include "terminal/Appearance.h"
#include "terminal/CaptureWriter.h"

namespace kit = tarvoline::postlink::testkit;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::string g_out;

void Save(const std::string& harness, const std::string& name, const Bytes& bytes) {
    const std::string dir = g_out + "/" + harness;
    ::mkdir(dir.c_str(), 0777);
    kit::SaveFile(dir + "/" + name, bytes);
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// ---- .Bin files and maps ----

void BinSeeds(const std::string& examples) {
    Save("bin_image", "demo.Bin", kit::LoadFile(examples + "/demo.Bin"));

    kit::Program plain;
    Save("bin_image", "one-configuration.Bin", kit::WriteBinFile(plain));

    kit::Program three;
    three.codeSize = 768;
    three.aboveA5 = 128;
    three.belowA5 = 96;
    kit::Configuration c1, c2, c3;
    c1.configId = 1;
    c1.loadAddress = 0x20000;
    c2.configId = 2;
    c2.loadAddress = 0x400000;
    c2.codeAddress = 0x400000;
    c2.dataAddress = 0x600000;
    c2.loadFileExt = ".APP";
    c3.configId = 3;
    c3.loadAddress = 0x8000;
    c3.codeAddress = 0x100000;
    c3.stackBase = 0x7F000;
    c3.stackSize = 0x1000;
    c3.watchdogRegister = 0xFFFA21;
    c3.mapExt = ".ZMP";
    three.configurations = {c1, c2, c3};
    three.data0 = kit::Data0Builder()
                      .Block(-96)
                      .Copy({1, 2, 3, 4, 5, 6, 7, 8, 9})
                      .Skip(7)
                      .Repeat(0xA5, 40)
                      .FillFF(12)
                      .End()
                      .Block(0)
                      .Copy({'d', 'a', 't', 'a'})
                      .End()
                      .NoData()
                      .ListAt({0, 8, 200, 1000})
                      .ListAt({-40})
                      .EmptyList()
                      .ListAt({12, 16})
                      .ListAt({})
                      .ListAt({400})
                      .Build();
    Save("bin_image", "three-configurations.Bin", kit::WriteBinFile(three));

    kit::Program steps = plain;
    steps.data0 = kit::Data0Builder()
                      .NoData()
                      .List(3, [] {
                          Bytes e = kit::Data0Builder::Step(2);
                          Append(e, kit::Data0Builder::LongStep(100));
                          Append(e, kit::Data0Builder::SetPosition(4));
                          return e;
                      }())
                      .EmptyList()
                      .EmptyList()
                      .EmptyGroup()
                      .Build();
    Save("bin_image", "relocation-steps.Bin", kit::WriteBinFile(steps));

    kit::Program raw = plain;
    raw.data0 = kit::Data0Builder()
                    .Block(-64)
                    .Raw({0x01, 0x02, 0x03, 0x04})
                    .End(0x00)
                    .NoData()
                    .EmptyGroup()
                    .EmptyGroup()
                    .Build();
    Save("bin_image", "raw-commands.Bin", kit::WriteBinFile(raw));

    // The smallest image: code alone, as long as its header.
    kit::Program small = plain;
    small.codeSize = 420;
    small.aboveA5 = 0;
    small.belowA5 = 0;
    Save("bin_image", "no-data.Bin", kit::WriteBinFile(small));

    Bytes demoMap = {0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x05, 0x00};
    Append(demoMap, kit::LoadFile(examples + "/demo.MAP"));
    Save("map_rewrite", "demo.MAP", demoMap);
    Bytes edges = {0x00, 0x40, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xF0};
    Append(edges, Text("Data: 12 before the code\nCode: -1\nCode:   7fffffff\nData: +5\n"
                       "Data: -2147483648\nData: 99999999999\nCode: 1"));
    Save("map_rewrite", "edges.MAP", edges);
}

// ---- XMODEM streams ----

// A burst of the sender: its length, then its bytes.
void Burst(Bytes& stream, const Bytes& bytes) {
    stream.push_back(static_cast<std::uint8_t>(bytes.size() >> 8));
    stream.push_back(static_cast<std::uint8_t>(bytes.size()));
    Append(stream, bytes);
}

Bytes Block(int number, const Bytes& payload, bool crc, bool large = false) {
    const std::size_t size = large ? 1024 : kXmodemBlockSize;
    Bytes data = payload;
    data.resize(size, kXmodemSub);
    Bytes block = {large ? kXmodemStx : kXmodemSoh, static_cast<std::uint8_t>(number),
                   static_cast<std::uint8_t>(~number)};
    Append(block, data);
    if (crc) {
        const std::uint16_t check = XmodemCrc16(data.data(), data.size());
        block.push_back(static_cast<std::uint8_t>(check >> 8));
        block.push_back(static_cast<std::uint8_t>(check));
    } else {
        block.push_back(XmodemChecksum(data.data(), data.size()));
    }
    return block;
}

Bytes Payload(int length, int seed) {
    Bytes bytes(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) bytes[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(i * 7 + seed);
    return bytes;
}

void XmodemSeeds() {
    const std::uint8_t crcLong = 0x01 | (7 << 2), sumLong = 7 << 2, crcShort = 0x03 | (3 << 2);
    const Bytes eot = {kXmodemEot};
    auto transfer = [&](std::uint8_t options, bool crc, std::vector<Bytes> bursts) {
        Bytes stream = {options};
        for (const Bytes& b : bursts) Burst(stream, b);
        return stream;
    };
    Save("xmodem_receive", "crc.xm",
         transfer(crcLong, true, {Block(1, Payload(128, 1), true), Block(2, Payload(40, 2), true),
                                  eot, eot}));
    Save("xmodem_receive", "checksum.xm",
         transfer(sumLong, false, {Block(1, Payload(128, 3), false),
                                   Block(2, Payload(100, 4), false), eot, eot}));
    Save("xmodem_receive", "noise-first.xm",
         transfer(crcShort, true, {Text("\r\nM8> \x04"), Block(1, Payload(60, 5), true), eot,
                                   eot}));
    Save("xmodem_receive", "large-block.xm",
         transfer(crcLong, true, {Block(1, Payload(1000, 6), true, true), eot, eot}));
    Save("xmodem_receive", "cancelled.xm",
         transfer(crcLong, true, {Block(1, Payload(128, 7), true), {kXmodemCan, kXmodemCan}}));
    Save("xmodem_receive", "repeated-block.xm",
         transfer(crcLong, true, {Block(1, Payload(128, 8), true), Block(1, Payload(128, 8), true),
                                  Block(2, Payload(128, 9), true), eot, eot}));
    Bytes damaged = Block(1, Payload(128, 10), true);
    damaged[40] ^= 0x55;
    Save("xmodem_receive", "damaged-then-good.xm",
         transfer(crcShort, true, {damaged, Block(1, Payload(128, 10), true), eot, eot}));
    Bytes cut = Block(1, Payload(128, 11), true);
    cut.resize(70);
    Save("xmodem_receive", "cut-block.xm",
         transfer(crcShort, true, {cut, Block(1, Payload(128, 11), true), eot, eot}));
    Save("xmodem_receive", "empty-file.xm", transfer(crcLong, true, {eot, eot}));
    Save("xmodem_receive", "out-of-sequence.xm",
         transfer(sumLong, false, {Block(1, Payload(128, 12), false),
                                   Block(3, Payload(128, 13), false)}));
}

// ---- terminal sessions ----

// Options, the clock, then the text in messages of the given sizes (cycled).
Bytes Session(std::uint8_t options, const std::string& text, std::vector<int> sizes) {
    Bytes out = {options, 0x17, 0x9B, 0x2D, 0x3E, 0x44, 0x10, 0x00, 0x00};
    std::size_t at = 0;
    for (std::size_t i = 0; at < text.size(); ++i) {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(sizes[i % sizes.size()]),
                                                    text.size() - at);
        out.push_back(static_cast<std::uint8_t>(n - 1));
        Append(out, Text(text.substr(at, n)));
        at += n;
    }
    return out;
}

void ReceiveRuleSeeds() {
    const std::string session =
        "\r\nViVaz monitor\r\nM8> md 20000 40\r\n"
        "020000: 48 65 6C 6C 6F 20 66 72 6F 6D 20 74 68 65 20 54  Hello from the T\r\n"
        "M8> ";
    Save("receive_rules", "monitor-session", Session(0, session, {1, 2, 64, 7}));
    Save("receive_rules", "stamped-session", Session(3, session, {64}));
    Save("receive_rules", "stamps-shown-only", Session(1, "one\ntwo\r\nthree\rfour\n\n", {3, 1}));
    Save("receive_rules", "controls",
         Session(0, std::string("bell\a here\r\nab\b\bc\b\r\n\0nul\0 kept\n\r\n\r", 34),
                 {1, 5}));
    Save("receive_rules", "long-line",
         Session(2, std::string(1100, 'x') + "\r" + std::string(1030, '\r') + "\n", {64}));
}

// ---- settings files ----

std::string EscapeKey(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == ' ') out += "%20";
        else out += c;
    }
    return out;
}

// The INI text of a store, its values in the order they were written.
std::string IniText(const CMemorySettingsStore& store) {
    std::string text, section;
    for (const std::string& written : store.WriteLog()) {
        const auto slash = written.find('/');
        const std::string s = written.substr(0, slash), entry = written.substr(slash + 1);
        const auto value = store.Find(s, entry);
        if (!value) continue;
        if (s != section) {
            text += (text.empty() ? "[" : "\n[") + EscapeKey(s) + "]\n";
            section = s;
        }
        text += EscapeKey(entry) + "=";
        if (const int* i = std::get_if<int>(&*value)) {
            text += std::to_string(*i);
        } else {
            const std::string& v = std::get<std::string>(*value);
            const bool quote = v.find_first_of(",;\"\\ ") != std::string::npos;
            if (quote) text += '"';
            for (char c : v) {
                if (c == '"' || c == '\\') text += '\\';
                text += c;
            }
            if (quote) text += '"';
        }
        text += "\n";
    }
    return text;
}

void SettingsSeeds() {
    CMemorySettingsStore first;
    WriteFirstRunDefaults(first);
    Save("settings", "first-run.conf", Text(IniText(first)));

    CMemorySettingsStore used;
    WriteFirstRunDefaults(used);
    CPortSettings port;
    port.m_strComPort = "COM4";
    port.m_strBaudRate = "115200";
    port.m_strParity = "Even";
    port.m_strDataBits = "7";
    port.m_strStopBits = "2";
    port.m_strFlowControl = "Hardware";
    port.m_bLocalEcho = 1;
    StorePortSettings(used, port);
    used.WriteProfileString("Devices", "COM4", "/dev/serial/by-id/usb-Board_Serial-if00");
    CFontSettings font;
    font.m_strFaceName = "DejaVu Sans Mono";
    font.m_nSize = 120;
    font.m_bBold = 1;
    font.m_color = 0x00336699;
    font.Write(used);
    CCaptureSettings capture;
    capture.m_strPathName = "/home/user/logs/board, \"first\".txt";
    capture.m_nWriteMode = 1;
    capture.Write(used);
    CRecentFileList recent(&used);
    recent.Add("/home/user/work/demo.RUN");
    recent.Add("/home/user/R&D/second.APP");
    used.WriteProfileInt("Text", "Time Stamps", 1);
    Save("settings", "in-use.conf", Text(IniText(used)));

    Save("settings", "hand-edited.conf",
         Text("; edited by hand\n# comment\n[COM%20Settings]\nCOM%20Port = /dev/ttyUSB0\n"
              "Baud%20Rate=\"9600\"\nData Bits=  8  \r\nLocal%20Echo=-1\n[Font]\nSize=2147483647\n"
              "Face%20Name=\"Courier\\tNew\\n\"\nColor=-16777216\n[Window]\nX%20Size=99999\n"
              "[Recent File List]\nFile1=/a\nFile2=/a\nFile4=/d&&e\n[broken\nno equals sign\n"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: make_fuzz_seeds EXAMPLES_DIR OUTPUT_DIR\n");
        return 2;
    }
    g_out = argv[2];
    // The capture path stored by the first-run defaults lies in the home folder: a fixed one
    // keeps the seeds the same on every machine.
    ::setenv("HOME", "/home/user", 1);
    ::mkdir(g_out.c_str(), 0777);
    BinSeeds(argv[1]);
    XmodemSeeds();
    ReceiveRuleSeeds();
    SettingsSeeds();
    std::printf("wrote the seeds under %s\n", g_out.c_str());
    return 0;
}
