// Every dialogue's result is checked and told: the board's report of a record load judged by
// the failure pattern, a staged start whose records were not taken, a device that goes away
// in the middle of the record loader.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "BoardFixture.h"
#include "Pty.h"
#include "document/LoadFailurePattern.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "download/BoardReport.h"
#include "download/Cpm68kLoader.h"
#include "download/DocumentTransfers.h"
#include "download/RecordLoader.h"

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A staged program: long header, text start 0x1000, so it is loaded high and moved by records.
std::vector<std::uint8_t> StagedFile(const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> file(36, 0);
    file[0] = 0x60;
    file[1] = 0x1B;
    file[4] = static_cast<std::uint8_t>(image.size() >> 8);
    file[5] = static_cast<std::uint8_t>(image.size());
    file[24] = 0x10;  // text start 0x00001000
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

TEST(LoadFailurePattern, TheDefaultMatchesTheBoardsReportsOfTroubleOnly) {
    const CFailurePattern pattern(kDefaultLoadFailurePattern);
    ASSERT_EQ(pattern.Error(), "");
    for (const char* trouble :
         {"line 3: checksum F4, computed F3", "no end record", "2 records, 00000020 bytes loaded, 1 bad",
          "12 records, 000000C0 bytes loaded, 10 bad", "17 byte(s) garbled (not at 57600 baud)",
          "LINE 9: RECORD TOO SHORT", "Checksum error in record 4"})
        EXPECT_EQ(pattern.FirstMatchingLine(std::string("\r\n") + trouble + "\r\n%"), trouble);
    for (const char* clean : {"12 records, 000000C0 bytes loaded, 0 bad", "0 records, 00000000 bytes loaded, 0 bad",
                              "%", "M8>"})
        EXPECT_EQ(pattern.FirstMatchingLine(clean), std::nullopt) << clean;
    // The first line that matches is the one told.
    EXPECT_EQ(pattern.FirstMatchingLine("\r\nline 1: x\r\nline 2: y\r\n1 records, 0 bad\r\n%"), "line 1: x");
    // A stored pattern replaces the default; an empty one is the default.
    CMemorySettingsStore store;
    EXPECT_EQ(ReadLoadFailurePattern(&store), kDefaultLoadFailurePattern);
    store.WriteProfileString("Transfer", "Load Failure Pattern", "FEHLER|[1-9] schlecht");
    EXPECT_EQ(ReadLoadFailurePattern(&store), "FEHLER|[1-9] schlecht");
    EXPECT_NE(CFailurePattern("(x").Error(), "");
}

class Verdict : public BoardFixture {};

TEST_F(Verdict, AHexFileWithABadRecordFailsWithTheBoardsLineAndTheBoardIsAtItsPrompt) {
    auto path = WriteFile("bad.HEX", Bytes("S107010041424344EE\r\nS9030000FC\r\n"));
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    EXPECT_EQ(LoadHexFile(*ctx, path, &outcome), 1);
    EXPECT_EQ(outcome, HexLoadOutcome::BoardReportedFailure);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{
                              "Hex file not loaded, the board reported: line 1: checksum EE, computed ED"});
    // The closing '%' went out all the same: it starts nothing and ends the loader.
    EXPECT_EQ(ReceivedEndingWith('%').back(), '%');
    ExpectLineRestored();
    EXPECT_TRUE(CMonitorLink(*port).WakeMonitor()) << Notes();
}

TEST_F(Verdict, APatternForAMonitorThatWordsItsReportOtherwise) {
    auto path = WriteFile("good.HEX", Bytes("S107010041424344ED\r\nS9030000FC\r\n"));
    ctx->loadFailurePattern = "bytes loaded";  // this monitor's way of saying something is wrong
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    LoadHexFile(*ctx, path, &outcome);
    EXPECT_EQ(outcome, HexLoadOutcome::BoardReportedFailure);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("1 records, 00000004 bytes loaded, 0 bad"), std::string::npos);

    // A pattern that is no regular expression sends nothing and says so.
    ui.messages.clear();
    ReceivedEndingWith('%');  // the closing '%' of that load has reached the board
    board.clearTranscript();
    ctx->loadFailurePattern = "(unclosed";
    LoadHexFile(*ctx, path, &outcome);
    EXPECT_EQ(outcome, HexLoadOutcome::InvalidFailurePattern);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("The load failure pattern \"(unclosed\" is not a regular expression (", 0), 0u);
    EXPECT_EQ(board.received(), "");
}

TEST_F(Verdict, AStagedStartWhoseRecordsTheBoardRejectsIsNeverStarted) {
    auto image = Pattern(0x200);
    auto path = WriteFile("staged.RUN", StagedFile(image));
    ctx->loadFailurePattern = "bytes loaded";  // every report of this board fails
    EXPECT_FALSE(LoadCpm68kFile(*ctx, path));
    ASSERT_EQ(ui.messages.size(), 1u) << Notes();
    EXPECT_EQ(ui.messages[0].text.rfind("The program was loaded but not started: the board reported: ", 0), 0u)
        << ui.messages[0].text;
    // The records went, the closing '%' that would start the program did not.
    std::string received = ReceivedEndingWith('\r');
    EXPECT_NE(received.find("S804000000FB\r"), std::string::npos) << Notes();
    EXPECT_EQ(received.substr(received.size() - 13), "S804000000FB\r");
    ExpectLineRestored();
    ASSERT_TRUE(board.waitForNote("staged start: not made", std::chrono::seconds(10))) << Notes();
    EXPECT_FALSE(board.lastStart().has_value());
}

class NoLoaderAnswerBoard : public BoardFixture {
protected:
    NoLoaderAnswerBoard() : BoardFixture(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults.noLoaderAnswer = true;
        return o;
    }
};

TEST_F(NoLoaderAnswerBoard, AStagedStartWhoseRecordsWereNotTakenFailsNamingTheMissingAnswer) {
    auto image = Pattern(0x200);
    auto path = WriteFile("staged.RUN", StagedFile(image));
    EXPECT_FALSE(LoadCpm68kFile(*ctx, path));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"The program was loaded but not started: the "
                                                   "monitor's record loader did not answer '%'"});
    EXPECT_EQ(board.memory(0x2D0000, image.size()), image);  // loaded, yes
    EXPECT_EQ(board.received().find("S204"), std::string::npos);
    EXPECT_FALSE(board.lastStart().has_value());
    ExpectLineRestored();

    // The hex loader names the same answer.
    ui.messages.clear();
    auto hex = WriteFile("a.HEX", Bytes("S9030000FC\r\n"));
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    LoadHexFile(*ctx, hex, &outcome);
    EXPECT_EQ(outcome, HexLoadOutcome::NoLoaderAnswer);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{
                              "Hex file not loaded: the monitor's record loader did not answer '%'"});
}

// Answers the record loader's "tom8" and "lo" like a monitor, and goes away while the records
// arrive.
void RecordLoaderThatIsUnplugged(CTestPty& pty, std::atomic<bool>& unplugged) {
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        const std::string got = pty.Read(1, std::chrono::milliseconds(50));
        if (got.empty()) continue;
        line += got;
        if (got != "\r") continue;
        if (line.find("lo ;") != std::string::npos) {
            pty.Write("\r\n%");
            pty.Read(10, std::chrono::milliseconds(2000));  // the first records
            pty.CloseMaster();
            unplugged = true;
            return;
        }
        pty.Write("\r\nM8>");
        line.clear();
    }
}

TEST(LostDeviceInTheRecordLoader, IsToldAsTheDeviceThatWentAway) {
    CTestPty pty;
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM3", pty.SlavePath());
    CRecordingUi ui;
    CUiCallQueue calls;
    CTarvolineDoc doc(&store, ui, calls);
    doc.OnNewDocument();
    ASSERT_NE(doc.Port(), nullptr);
    const std::string path = ::testing::TempDir() + "/lost-in-records.HEX";
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 50; ++i) out << "S107010041424344ED\r\n";
    }
    std::atomic<bool> unplugged{false};
    std::thread far([&] { RecordLoaderThatIsUnplugged(pty, unplugged); });
    const HexLoadOutcome outcome = TransferHexFile(doc, path);
    far.join();
    ASSERT_TRUE(unplugged);
    EXPECT_EQ(outcome, HexLoadOutcome::DeviceLost);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "COM3: the device went away (Input/output error)");
    EXPECT_EQ(doc.Port(), nullptr);
}

}  // namespace
