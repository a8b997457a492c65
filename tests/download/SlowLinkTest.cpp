// The loaders through a link with a long round trip (a Bluetooth serial port, a board reached
// over a VPN): a delaying relay between the host and the simulated board delivers every byte
// and every line change late, in order. The host keeps its pauses and then looks on for each
// answer until its deadline, so the dialogues succeed; a monitor that does not answer still
// fails, with its message, and the line is put back.

#include <gtest/gtest.h>

#include "BoardFixture.h"
#include "DelayRelay.h"
#include "download/Cpm68kLoader.h"
#include "download/RecordLoader.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> RunFile(std::uint16_t magic, std::uint32_t textStart,
                                  const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> file(magic == kMagicLongHeader ? 36 : 28, 0);
    file[0] = static_cast<std::uint8_t>(magic >> 8);
    file[1] = static_cast<std::uint8_t>(magic);
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<std::uint8_t>(image.size() >> (24 - 8 * i));
        file[22 + i] = static_cast<std::uint8_t>(textStart >> (24 - 8 * i));
    }
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

// The board behind a relay of the given round trip; the host's port is the relay's device.
class RelayedBoard : public BoardFixture {
protected:
    RelayedBoard(int roundTripMs, vivaz::BoardOptions options = {})
        : BoardFixture(options), m_roundTripMs(roundTripMs) {}

    void SetUp() override {
        SDelayRelayOptions o;
        o.oneWay = std::chrono::milliseconds(m_roundTripMs / 2);
        relay = std::make_unique<CDelayRelay>(board.devicePath(), o);
        relay->Start();
        port = std::make_unique<CCommPort>(relay->DevicePath());
        ASSERT_TRUE(port->IsOpen());
        port->SetBaudRate(9600);
        port->SetLineFormat(kParityNone, 8, kOneStopBit);
        port->SetFlowControl(0, 100, 100, kXonChar, kXoffChar);
        ctx = std::make_unique<CTransferContext>(CTransferContext{*port, settings, ui});
        // The power-on banner, once it has crossed the relay.
        CMonitorLink(*port).LinkDrain(m_roundTripMs / 2 + 200);
        board.clearTranscript();
    }
    void TearDown() override {
        port.reset();
        relay->Stop();
    }
    // Prints the time a dialogue took, for the reader of the log.
    void Took(const char* what, Clock::time_point start) const {
        std::printf("[ figures  ] %s through a %d ms round trip: %lld ms\n", what, m_roundTripMs,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               Clock::now() - start)
                                               .count()));
    }

    int m_roundTripMs;
    std::unique_ptr<CDelayRelay> relay;
};

class SlowLink : public RelayedBoard, public ::testing::WithParamInterface<int> {
protected:
    SlowLink() : RelayedBoard(GetParam()) {}
};

TEST_P(SlowLink, AStagedStartLoadsWithLoadAndStartsThroughTheRecordLoader) {
    auto image = Pattern(1500, 5);  // two blocks
    auto path = WriteFile("staged.RUN", RunFile(kMagicLongHeader, 0x1000, image));
    const auto start = Clock::now();
    EXPECT_TRUE(LoadCpm68kFile(*ctx, path)) << Notes();
    Took("LOAD and staged start", start);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{});
    ASSERT_TRUE(board.waitForNote("program started at 00001000", std::chrono::seconds(5))) << Notes();
    EXPECT_EQ(board.memory(0x1000, image.size()), image);
    ExpectLineRestored();
}

TEST_P(SlowLink, AHexFileIsLoadedAndAnswered) {
    auto data = Pattern(600, 9);
    std::string text = S1RecordsOf(data, 0x4000, 32);
    auto path = WriteFile("slow.HEX", std::vector<std::uint8_t>(text.begin(), text.end()));
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    const auto start = Clock::now();
    LoadHexFile(*ctx, path, &outcome);
    Took("hex file", start);
    EXPECT_EQ(outcome, HexLoadOutcome::Loaded) << DescribeHexLoadOutcome(outcome) << Notes();
    EXPECT_EQ(board.memory(0x4000, data.size()), data);
    EXPECT_TRUE(board.waitForSent("M8>") && board.waitForNote("record loader: 19 records"));
    ExpectLineRestored();
}

INSTANTIATE_TEST_SUITE_P(RoundTrip, SlowLink, ::testing::Values(300, 1000),
                         [](const auto& info) { return std::to_string(info.param) + "ms"; });

class SlowLinkLoadOnly : public RelayedBoard {
protected:
    SlowLinkLoadOnly() : RelayedBoard(1000) {}
};

TEST_F(SlowLinkLoadOnly, ALoadAtItsTextStartIsStartedWithG) {
    auto image = Pattern(1100, 3);
    auto path = WriteFile("high.RUN", RunFile(kMagicShortHeader, 0x20000, image));
    const auto start = Clock::now();
    EXPECT_TRUE(LoadCpm68kFile(*ctx, path)) << Notes();
    Took("LOAD and G", start);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{});
    ASSERT_TRUE(board.waitForNote("program started at 00020000", std::chrono::seconds(5))) << Notes();
    EXPECT_EQ(board.memory(0x20000, image.size()), image);
}

class SlowLinkNoLoaderAnswer : public RelayedBoard {
protected:
    SlowLinkNoLoaderAnswer() : RelayedBoard(1000, Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults.noLoaderAnswer = true;
        return o;
    }
};

TEST_F(SlowLinkNoLoaderAnswer, AMonitorThatDoesNotAnswerStillFailsWithItsMessage) {
    auto path = WriteFile("x.HEX", std::vector<std::uint8_t>{'S', '9', '0', '3', '0', '0', '0', '0',
                                                             'F', 'C', '\r', '\n'});
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    const auto start = Clock::now();
    LoadHexFile(*ctx, path, &outcome);
    Took("an unanswered record loader", start);
    EXPECT_EQ(outcome, HexLoadOutcome::NoLoaderAnswer);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{
                              "Hex file not loaded: the monitor's record loader did not answer '%'"});
    EXPECT_EQ(board.received(), "tom8\rlo ;B3+\r");
    ExpectLineRestored();
}

}  // namespace
