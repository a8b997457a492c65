// The loaders on a board that runs at the real line rate both ways: the host's writes return
// before the bytes are on the wire, and the board answers only once they have arrived, with
// and without a USB adapter's latency timer between the board and the host.

#include <gtest/gtest.h>


#include "BoardFixture.h"
#include "download/Cpm68kLoader.h"
#include "download/RecordLoader.h"

namespace {

class PacedLine : public BoardFixture, public ::testing::WithParamInterface<int> {
protected:
    PacedLine() : BoardFixture(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.pace = true;
        o.latencyMs = GetParam();
        return o;
    }
    void SetUp() override {
        settings.m_strDownloadBaudRate = "115200";
        BoardFixture::SetUp();
    }
};

std::vector<std::uint8_t> ShortHeaderFile(std::uint32_t textStart,
                                          const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> file(28, 0);
    file[0] = 0x60;
    file[1] = 0x1A;
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<std::uint8_t>(image.size() >> (24 - 8 * i));
        file[22 + i] = static_cast<std::uint8_t>(textStart >> (24 - 8 * i));
    }
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

TEST_P(PacedLine, ALoadOfSeveralBlocksArrivesWholeAndStarts) {
    auto image = Pattern(5 * 1024 + 300, 7);
    auto path = WriteFile("paced.RUN", ShortHeaderFile(0x20000, image));
    EXPECT_TRUE(LoadCpm68kFile(*ctx, path));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{}) << Notes();
    EXPECT_EQ(board.memory(0x20000, image.size()), image);
    EXPECT_EQ(ui.logs.at(0)->steps, 6);
    ASSERT_TRUE(board.waitForNote("start")) << Notes();
    EXPECT_EQ(board.lastStart(), 0x20000u);
    ExpectLineRestored();
}

TEST_P(PacedLine, AHexFileLongerThanTheLoadersQuietTimeIsLoadedAndAnswered) {
    // About 12 KB: two seconds on the wire at 57600, four times the loader's 500 ms drain.
    auto data = Pattern(5600, 3);
    std::string text = S1RecordsOf(data, 0x4000, 32);
    ASSERT_GT(text.size(), 11000u);
    auto path = WriteFile("paced.HEX", std::vector<std::uint8_t>(text.begin(), text.end()));
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    EXPECT_EQ(LoadHexFile(*ctx, path, &outcome), 1);
    EXPECT_EQ(outcome, HexLoadOutcome::Loaded) << DescribeHexLoadOutcome(outcome) << Notes();
    EXPECT_EQ(board.memory(0x4000, data.size()), data);
    EXPECT_EQ(ReceivedEndingWith('%').back(), '%') << Notes();
    ExpectLineRestored();
}

INSTANTIATE_TEST_SUITE_P(Latency, PacedLine, ::testing::Values(0, 16),
                         [](const auto& info) { return std::to_string(info.param) + "ms"; });

}  // namespace
