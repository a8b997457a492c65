// The binary LOAD against the simulated board: what arrives in its memory, the messages of
// every failure in order, and the line back at the user's rate and format on every way out.

#include <gtest/gtest.h>

#include "BoardFixture.h"
#include "download/DownloadImage.h"

namespace {

class LoadProtocol : public BoardFixture {
protected:
    explicit LoadProtocol(vivaz::BoardOptions o = {}) : BoardFixture(o) {}
    std::int16_t Load(const std::vector<std::uint8_t>& image, std::uint32_t address) {
        auto n = static_cast<std::int32_t>(image.size());
        return DownloadImage(*ctx, image.data(), n, address, n);
    }
};

TEST_F(LoadProtocol, AnImageArrivesWholeInBlocksOfAtMost1024) {
    for (size_t length : {size_t(1024), size_t(1025), size_t(3000)}) {
        auto image = Pattern(length, static_cast<unsigned>(length));
        ui.logs.clear();
        ASSERT_EQ(Load(image, 0x20000), 0) << length;
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(board.memory(0x20000, length), image) << length;
        const CProgressLog& p = *ui.logs.at(0);
        EXPECT_EQ(p.captions, std::vector<std::string>{"Sending CPM68K File"});
        int blocks = static_cast<int>((length + 1023) / 1024);
        EXPECT_EQ(p.lower, 0);
        EXPECT_EQ(p.upper, blocks);
        EXPECT_EQ(p.steps, blocks);
        EXPECT_EQ(p.step, 1);
        EXPECT_EQ(p.pos, 0);
        EXPECT_TRUE(p.closed);
        ExpectLineRestored();
    }
    // 1025 bytes: a block of 1024, then one of 1 byte.
    EXPECT_NE(board.received().find(std::string("\x04\x00", 2)), std::string::npos);
    EXPECT_NE(board.received().find(std::string("\x00\x01", 2) + char(Pattern(1025, 1025)[1024])),
              std::string::npos);
}

TEST_F(LoadProtocol, AnEmptyImageSendsNoBlockAndStillEnds) {
    std::vector<std::uint8_t> none;
    EXPECT_EQ(Load(none, 0x1000), 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.logs.at(0)->upper, 1);
    EXPECT_EQ(ui.logs.at(0)->steps, 0);
    EXPECT_NE(board.received().find("LOAD 0001C200 00001000 00000000\r"), std::string::npos);
    ExpectLineRestored();
}

TEST_F(LoadProtocol, TheStatusLineNamesCountAddressAndRate) {
    settings.m_strDownloadBaudRate = "57600";
    auto image = Pattern(4660);
    ASSERT_EQ(Load(image, 0x20000), 0);
    EXPECT_EQ(ui.logs.at(0)->statuses, std::vector<std::string>{"4660 Bytes to 20000 @ 57600 Baud"});
    EXPECT_NE(board.received().find("LOAD 0000E100 00020000 00001234\r"), std::string::npos);
    EXPECT_EQ(board.memory(0x20000, 4660), image);
}

TEST_F(LoadProtocol, CancelBetweenBlocksStopsSendingAndLeavesTheBoardAtItsPrompt) {
    ui.cancelAfterSteps = 1;
    auto image = Pattern(5000);
    EXPECT_EQ(Load(image, 0x30000), -1);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Transfer cancelled"});
    EXPECT_EQ(ui.logs.at(0)->steps, 1);
    EXPECT_EQ(board.memory(0x30000, 1024), std::vector<std::uint8_t>(image.begin(), image.begin() + 1024));
    EXPECT_EQ(board.memory(0x30000 + 1024, 1), std::vector<std::uint8_t>{0});
    ExpectLineRestored();
    // The board listens at the normal rate again.
    EXPECT_TRUE(CMonitorLink(*port).WakeMonitor());
}

struct FaultCase {
    const char* name;
    vivaz::Faults faults;
    std::vector<std::string> messages;  // empty: the load succeeds
};

// Test lists name a case by its name, not by its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class LoadFaults : public LoadProtocol, public ::testing::WithParamInterface<FaultCase> {
protected:
    LoadFaults() : LoadProtocol(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults = GetParam().faults;
        return o;
    }
};

TEST_P(LoadFaults, TheHostCopesOrSaysWhy) {
    const FaultCase& c = GetParam();
    auto image = Pattern(2500);
    std::int16_t result = Load(image, 0x10000);
    EXPECT_EQ(ui.Texts(), c.messages);
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.title, "Error");
        EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    }
    if (c.messages.empty()) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(board.memory(0x10000, image.size()), image);
    } else {
        EXPECT_EQ(result, -1);
    }
    EXPECT_TRUE(ui.logs.at(0)->closed);
    ExpectLineRestored();
}

vivaz::Faults With(auto change) {
    vivaz::Faults f;
    change(f);
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Board, LoadFaults,
    ::testing::Values(
        FaultCase{"EchoedCommand", With([](auto& f) { f.echoLoadCommand = true; }), {}},
        FaultCase{"WaitRequest", With([](auto& f) { f.waitRequests = 1; }), {}},
        FaultCase{"KeepGoing", With([](auto& f) { f.keepGoing = 2; }), {}},
        FaultCase{"PromptEndsInSpace", With([](auto& f) { f.promptEnd = vivaz::PromptEnd::Space; }), {}},
        // Line noise where a block request is due is no request.
        FaultCase{"NoiseOnRateChange",
                  With([](auto& f) { f.noise = {0x00, 0xFF}; }),
                  {"0 reply expecting '='", "### ViVazLoad Error"}},
        FaultCase{"Silent",
                  With([](auto& f) { f.silent = true; }),
                  {"### Protocol Error (timeout expecting monitor >)"}},
        FaultCase{"NoGoAhead",
                  With([](auto& f) { f.noGoAhead = true; }),
                  {"### Protocol Error (timeout expecting initial +)", "### ViVazLoad Error"}},
        // A late answer is waited for up to the read interval of 2.5 s.
        FaultCase{"SecondBlockRequestASecondLate",
                  With([](auto& f) {
                      f.lateBlock = 2;
                      f.lateMs = 1000;
                  }),
                  {}},
        FaultCase{"SecondBlockRequestThreeSecondsLate",
                  With([](auto& f) {
                      f.lateBlock = 2;
                      f.lateMs = 3000;
                  }),
                  {"=timeout,reply=-1,rem=1476", "### ViVazLoad Error"}},
        FaultCase{"WrongRequestByte",
                  With([](auto& f) {
                      f.requestByte = 0xC8;
                      f.requestBlock = 1;
                  }),
                  {"-56 reply expecting '='", "### ViVazLoad Error"}},
        FaultCase{"NoCompletion",
                  With([](auto& f) { f.noCompletion = true; }),
                  {"### Protocol Error (timeout expecting -)", "### ViVazLoad Error"}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
