#pragma once
// A port opened on a simulated board at the user's settings, with a recording user interface
// whose progress windows log what they were told.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "RecordingUi.h"
#include "comm/CommPort.h"
#include "download/TransferContext.h"
#include "simulated_board.h"

struct CProgressLog {
    std::vector<std::string> captions, statuses;
    int lower = -1, upper = -1, step = 0, steps = 0, pos = -1;
    bool closed = false;
    int cancelAfterSteps = -1;  // the user presses Cancel after this many steps
};

class CLoggedProgress : public IProgressWindow {
public:
    explicit CLoggedProgress(CProgressLog& log) : m_log(log) {}
    ~CLoggedProgress() override { m_log.closed = true; }
    void SetWindowText(const std::string& c) override { m_log.captions.push_back(c); }
    void SetStatus(const std::string& s) override { m_log.statuses.push_back(s); }
    void SetRange(int lower, int upper) override {
        m_log.lower = lower;
        m_log.upper = upper;
    }
    void SetStep(int step) override { m_log.step = step; }
    void SetPos(int pos) override { m_log.pos = pos; }
    void StepIt() override { ++m_log.steps; }
    bool CancelRequested() const override {
        return m_log.cancelAfterSteps >= 0 && m_log.steps >= m_log.cancelAfterSteps;
    }

private:
    CProgressLog& m_log;
};

class CTransferUi : public CRecordingUi {
public:
    std::unique_ptr<IProgressWindow> CreateProgressWindow() override {
        logs.emplace_back(std::make_unique<CProgressLog>());
        logs.back()->cancelAfterSteps = cancelAfterSteps;
        return std::make_unique<CLoggedProgress>(*logs.back());
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& m : messages) t.push_back(m.text);
        return t;
    }
    std::vector<std::unique_ptr<CProgressLog>> logs;
    int cancelAfterSteps = -1;
};

class BoardFixture : public ::testing::Test {
protected:
    explicit BoardFixture(vivaz::BoardOptions options = {}) : board(options) {}

    void SetUp() override {
        port = std::make_unique<CCommPort>(board.devicePath());
        ASSERT_TRUE(port->IsOpen());
        // The user's line, as the document applies it.
        port->SetBaudRate(9600);
        port->SetLineFormat(kParityNone, 8, kOneStopBit);
        port->SetFlowControl(0, 100, 100, kXonChar, kXoffChar);
        ctx = std::make_unique<CTransferContext>(CTransferContext{*port, settings, ui});
        // The banner and prompt of power-on are not part of any dialogue.
        CMonitorLink(*port).LinkDrain(50);
        board.clearTranscript();
    }

    // What the board noted, for failure messages.
    std::string Notes() const {
        std::string all;
        for (const auto& n : board.notes()) all += "\n  board: " + n;
        return all;
    }

    // What the board has received once it has seen the host's last byte (the board reads on
    // its own thread, a moment after the host's write returns).
    std::string ReceivedEndingWith(char last) {
        for (int i = 0; i < 200; ++i) {
            std::string r = board.received();
            if (!r.empty() && r.back() == last) return r;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return board.received();
    }

    void ExpectLineRestored() {
        CLineConfig cfg;
        ASSERT_TRUE(port->GetState(cfg));
        EXPECT_EQ(cfgetospeed(&cfg.tio), speed_t(B9600));
        EXPECT_FALSE(cfg.tio.c_cflag & CSTOPB);
        CCommTimeouts t;
        ASSERT_TRUE(port->GetTimeouts(t));
        EXPECT_EQ(t.ReadIntervalTimeout, kMaxDword);
        EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
    }

    std::string TempPath(const std::string& name) {
        // A parameterised test's name holds a '/'.
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(test.begin(), test.end(), '/', '-');
        return ::testing::TempDir() + "/" + test + "-" + name;
    }
    std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::string path = TempPath(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    vivaz::testing::SimulatedBoard board;
    CPortSettings settings;
    CTransferUi ui;
    std::unique_ptr<CCommPort> port;
    std::unique_ptr<CTransferContext> ctx;
};

inline std::vector<std::uint8_t> Pattern(size_t size, unsigned seed = 1) {
    std::vector<std::uint8_t> v(size);
    unsigned x = seed;
    for (auto& b : v) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return v;
}

// One Motorola record with a 16-bit address (S0, S1, S9), CR LF ended, checksum computed.
inline std::string SRecord16(const char* type, std::uint16_t address, const std::uint8_t* bytes,
                             size_t n) {
    unsigned sum = unsigned(n + 3) + (address >> 8) + (address & 0xFF);
    char buf[8];
    std::string r = type;
    std::snprintf(buf, sizeof buf, "%02X%04X", unsigned(n + 3), address);
    r += buf;
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        r += buf;
        sum += bytes[i];
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", ~sum & 0xFF);
    return r + buf;
}

// S1 records of at most perRecord data bytes for data at an address, and an S9 end record.
inline std::string S1RecordsOf(const std::vector<std::uint8_t>& data, std::uint16_t address,
                               size_t perRecord) {
    std::string text;
    for (size_t at = 0; at < data.size(); at += perRecord)
        text += SRecord16("S1", static_cast<std::uint16_t>(address + at), &data[at],
                          std::min(perRecord, data.size() - at));
    return text + SRecord16("S9", 0, nullptr, 0);
}
