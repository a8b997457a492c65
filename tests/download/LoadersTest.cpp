// The CP/M-68K loader and the hex loader against the simulated board.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "BoardFixture.h"
#include "download/Cpm68kLoader.h"
#include "download/RecordLoader.h"

namespace {

void Put32(std::vector<std::uint8_t>& v, size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::vector<std::uint8_t> LoadFile(std::uint16_t magic, std::uint32_t textStart,
                                   std::uint32_t textSize, std::uint32_t dataSize,
                                   const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> file(magic == kMagicLongHeader ? 36 : 28, 0);
    file[0] = static_cast<std::uint8_t>(magic >> 8);
    file[1] = static_cast<std::uint8_t>(magic);
    Put32(file, 2, textSize);
    Put32(file, 6, dataSize);
    Put32(file, 22, textStart);
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

TEST(StagedStartRecords, ThirtyNineCharactersWithTheirChecksums) {
    CLoadFileHeader h;
    h.magic = kMagicLongHeader;
    h.textStart = 0x1000;
    h.textSize = 0x200;
    h.dataSize = 0x100;
    EXPECT_EQ(BuildStagedStartRecords(h), "S204001000EB\rS204001300E8\rS804000000FB\r");
    EXPECT_EQ(BuildStagedStartRecords(h).size(), 39u);
    h.textStart = 0xFF123456;  // only the low 24 bits are written
    EXPECT_EQ(BuildStagedStartRecords(h).substr(0, 12), "S2041234565F");
    char buffer[16];
    EXPECT_STREQ(FormatHexDigits(0xABCDEF12, buffer, 6), "CDEF12");
    EXPECT_STREQ(FormatHexDigits(0x5, buffer, 2), "05");
}

class Loaders : public BoardFixture {};

TEST_F(Loaders, AShortHeaderFileLoadsAtItsTextStartAndStarts) {
    auto image = Pattern(1500);
    auto path = WriteFile("a.RUN", LoadFile(kMagicShortHeader, 0x1000, 1500, 0, image));
    EXPECT_TRUE(LoadCpm68kFile(*ctx, path));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(board.memory(0x1000, image.size()), image);
    ASSERT_TRUE(board.waitForNote("start"));
    EXPECT_EQ(board.lastStart(), 0x1000u);
    EXPECT_EQ(ReceivedEndingWith('G').back(), 'G');
    ExpectLineRestored();
}

TEST_F(Loaders, ALongHeaderFileHighInMemoryLoadsThereAndStarts) {
    auto image = Pattern(3000);
    auto path = WriteFile("b.APP", LoadFile(kMagicLongHeader, 0x40000, 2000, 1000, image));
    EXPECT_TRUE(LoadCpm68kFile(*ctx, path));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(board.memory(0x40000, image.size()), image);
    ASSERT_TRUE(board.waitForNote("start"));
    EXPECT_EQ(board.lastStart(), 0x40000u);
    EXPECT_EQ(board.received().find("S204"), std::string::npos);
}

TEST_F(Loaders, ALongHeaderFileLowInMemoryIsStagedThenMovedByRecords) {
    auto image = Pattern(0x300);
    auto path = WriteFile("c.RUN", LoadFile(kMagicLongHeader, 0x1000, 0x200, 0x100, image));
    EXPECT_TRUE(LoadCpm68kFile(*ctx, path));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(board.memory(0x2D0000, image.size()), image);
    std::string received = ReceivedEndingWith('%');
    EXPECT_NE(received.find(std::string("\x08mo\x0A\x0D", 5)), std::string::npos);
    EXPECT_NE(received.find("lo ;3\r"), std::string::npos);
    EXPECT_NE(received.find("S204001000EB\rS204001300E8\rS804000000FB\r"), std::string::npos);
    EXPECT_EQ(received.back(), '%') << Notes();
    ASSERT_TRUE(board.waitForNote("start"));
    EXPECT_EQ(board.lastStart(), 0x1000u);
    EXPECT_EQ(board.memory(0x1000, image.size()), image);
    ExpectLineRestored();
}

TEST_F(Loaders, LoadFilesThatCannotBeReadAreRefusedBeforeAnythingIsSent) {
    EXPECT_FALSE(LoadCpm68kFile(*ctx, TempPath("missing.RUN")));
    auto shortFile = WriteFile("short.RUN", std::vector<std::uint8_t>{0x60, 0x1B, 0, 0, 0, 1});
    EXPECT_FALSE(LoadCpm68kFile(*ctx, shortFile));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Can't open CPM68K file!");
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_NE(ui.messages[1].text.find("shorter than its header"), std::string::npos);
    EXPECT_EQ(board.received(), "");
}

// S1 records for data at an address, CR LF ended, padded with an S0 record to exactly size.
std::string HexFileOf(const std::vector<std::uint8_t>& data, std::uint16_t address, size_t size) {
    const std::string body = S1RecordsOf(data, address, 16);
    size_t pad = (size - body.size() - 12) / 2;
    std::vector<std::uint8_t> filler(pad, 'x');
    return SRecord16("S0", 0, filler.data(), pad) + body;
}

TEST_F(Loaders, AHexFileOf2048BytesGoesOutInTwoPiecesUnchanged) {
    auto data = Pattern(640);
    std::string text = HexFileOf(data, 0x4000, 2048);
    ASSERT_EQ(text.size(), 2048u);
    auto path = WriteFile("a.HEX", std::vector<std::uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(LoadHexFile(*ctx, path), 1);
    EXPECT_TRUE(ui.messages.empty());
    const CProgressLog& p = *ui.logs.at(0);
    EXPECT_EQ(p.captions, std::vector<std::string>{"Sending HEX File"});
    EXPECT_EQ(p.statuses, std::vector<std::string>{"..."});
    EXPECT_EQ(p.upper, 2);
    EXPECT_EQ(p.steps, 2);
    EXPECT_EQ(board.memory(0x4000, data.size()), data);
    std::string received = ReceivedEndingWith('%');
    EXPECT_NE(received.find("tom8\rlo ;B3+\r" + text + "%"), std::string::npos) << Notes();
    ExpectLineRestored();
}

TEST_F(Loaders, AnEmptyHexFileStillRunsTheDialogue) {
    auto path = WriteFile("empty.HEX", {});
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    EXPECT_EQ(LoadHexFile(*ctx, path, &outcome), 1);
    // The board says it got no end record: that is no load.
    EXPECT_EQ(outcome, HexLoadOutcome::BoardReportedFailure);
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Hex file not loaded, the board reported: no end record"});
    EXPECT_EQ(ui.logs.at(0)->upper, 1);
    EXPECT_EQ(ui.logs.at(0)->steps, 0);
    // The closing '%' still takes the board back to its prompt.
    EXPECT_NE(ReceivedEndingWith('%').find("tom8\rlo ;B3+\r%"), std::string::npos) << Notes();
    ExpectLineRestored();
}

TEST_F(Loaders, AMissingHexFileIsReportedAndTheLineUntouched) {
    EXPECT_EQ(LoadHexFile(*ctx, TempPath("none.HEX")), 1);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Can't open hex file!"});
    EXPECT_EQ(board.received(), "");
    EXPECT_TRUE(ui.logs.empty());
}

// A directory or a named pipe handed to a loader (a build script's wrong argument, a planted
// pipe) is refused at once by name; a pipe is never waited on for a writer.
TEST_F(Loaders, ADirectoryOrANamedPipeIsRefusedByNameWithoutWaiting) {
    const std::string dir = TempPath("program.RUN");
    const std::string pipe = TempPath("pipe.HEX");
    ::rmdir(dir.c_str());  // left by an earlier run
    ::unlink(pipe.c_str());
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // Should an open wait for a writer after all, this writer frees it and the test fails
    // instead of hanging.
    std::atomic<bool> done{false}, rescued{false};
    std::thread rescuer([&] {
        for (int i = 0; i < 200 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (done) return;
        rescued = true;
        ::close(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK));
    });
    EXPECT_FALSE(LoadCpm68kFile(*ctx, dir));
    HexLoadOutcome outcome = HexLoadOutcome::Loaded;
    LoadHexFile(*ctx, dir, &outcome);
    EXPECT_EQ(outcome, HexLoadOutcome::CannotOpen);
    EXPECT_FALSE(LoadCpm68kFile(*ctx, pipe));
    LoadHexFile(*ctx, pipe, &outcome);
    EXPECT_EQ(outcome, HexLoadOutcome::CannotOpen);
    done = true;
    rescuer.join();
    EXPECT_FALSE(rescued);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{
                              dir + ": it is a directory; nothing was sent.",
                              dir + ": it is a directory; nothing was sent.",
                              pipe + ": it is not a regular file; nothing was sent.",
                              pipe + ": it is not a regular file; nothing was sent."}));
    EXPECT_EQ(board.received(), "");
    EXPECT_TRUE(ui.logs.empty());
}

class GtBoard : public BoardFixture {
protected:
    GtBoard() : BoardFixture(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults.promptEnd = vivaz::PromptEnd::CrLf;
        return o;
    }
};

TEST_F(GtBoard, AMonitorNotAnsweringTom8WithAPromptGetsNothingMore) {
    auto path = WriteFile("x.HEX", {'S', '9', '0', '3', '0', '0', '0', '0', 'F', 'C', '\r', '\n'});
    EXPECT_EQ(LoadHexFile(*ctx, path), 1);
    // The window says which answer did not come.
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{
                              "Hex file not loaded: the monitor did not answer \"tom8\" with its prompt"});
    EXPECT_EQ(board.received(), "tom8\r");
    ExpectLineRestored();
}

}  // namespace
