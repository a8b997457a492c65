// Post Link, Post Link and Load, and the load of an opened document, against the simulated
// board with .Bin files built by the test kit.

#include <gtest/gtest.h>

#include <filesystem>

#include "BoardFixture.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "document/UiCallQueue.h"
#include "bin_writer.h"
#include "download/DocumentTransfers.h"
#include "download/PostLinkCommands.h"

namespace {

namespace kit = tarvoline::postlink::testkit;

class PostLinkCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ::testing::TempDir() + "/plc-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        store.WriteProfileString("Devices", "COM3", board.devicePath());
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        doc->Connect();
        ASSERT_TRUE(doc->Port());
        board.waitForSent("> ");
    }
    std::string Save(const std::string& name, const kit::Bytes& bytes) {
        kit::SaveFile(dir + "/" + name, bytes);
        return dir + "/" + name;
    }
    std::vector<std::uint8_t> ImageOf(const std::string& runPath) {
        kit::Bytes file = kit::LoadFile(runPath);
        return {file.begin() + 28, file.end()};
    }

    vivaz::testing::SimulatedBoard board;
    CMemorySettingsStore store;
    CTransferUi ui;
    CUiCallQueue calls;
    std::unique_ptr<CTarvolineDoc> doc;
    std::string dir;
};

TEST_F(PostLinkCommands, APathWithoutBinIsRefused) {
    CPostLinkOutcome o = PostLinkFile(ui, dir + "/demo.txt");
    EXPECT_FALSE(o.basePath);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Invalid .BIN file!"});
    EXPECT_TRUE(ui.logs.empty());
}

TEST_F(PostLinkCommands, ConvertingShowsProgressAndSaysNothingWhenAllIsWell) {
    std::string bin = Save("demo.Bin", kit::WriteBinFile(kit::Program{}));
    CPostLinkOutcome o = PostLinkFile(ui, bin);
    ASSERT_TRUE(o.basePath);
    EXPECT_EQ(*o.basePath, dir + "/demo");
    EXPECT_TRUE(o.wroteRunFile);
    EXPECT_TRUE(ui.messages.empty());
    const CProgressLog& p = *ui.logs.at(0);
    EXPECT_EQ(p.captions, std::vector<std::string>{"Tarvoline PostLink"});
    EXPECT_EQ(p.statuses, std::vector<std::string>{dir + "/demo"});
    EXPECT_EQ(p.upper, 3);
    EXPECT_EQ(p.steps, 4);
    EXPECT_TRUE(p.closed);
}

TEST_F(PostLinkCommands, ConverterFailuresAreReportedInWords) {
    kit::Bytes broken = kit::WriteBinFile(kit::Program{});
    broken.resize(broken.size() / 2);
    std::string bin = Save("broken.BIN", broken);
    PostLinkFile(ui, bin);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_EQ(ui.messages[0].text.rfind("Post Link, configuration 1: ", 0), 0u) << ui.messages[0].text;

    ui.messages.clear();
    kit::Program none;
    none.configurations[0].configId = 7;
    PostLinkFile(ui, Save("none.BIN", kit::WriteBinFile(none)));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("none of configurations 1, 2 and 3"), std::string::npos);
}

TEST_F(PostLinkCommands, PostLinkAndLoadPutsTheProgramIntoTheBoardAndStartsIt) {
    std::string bin = Save("demo.Bin", kit::WriteBinFile(kit::Program{}));
    PostLinkAndLoad(*doc, bin);
    EXPECT_TRUE(ui.messages.empty()) << ui.Texts().front();
    auto image = ImageOf(dir + "/demo.RUN");
    EXPECT_EQ(board.memory(0x10000, image.size()), image);
    EXPECT_TRUE(board.waitForNote("program started at 00010000"));
    EXPECT_TRUE(doc->Port()->HasWatcher());  // the terminal listens again
}

TEST_F(PostLinkCommands, ALoadFileWrittenInLowerCaseIsTheOneLoaded) {
    kit::Program program;
    program.configurations[0].loadFileExt = ".run";
    std::string bin = Save("lower.Bin", kit::WriteBinFile(program));
    EXPECT_TRUE(PostLinkAndLoad(*doc, bin));
    EXPECT_TRUE(ui.messages.empty()) << ui.Texts().front();
    auto image = ImageOf(dir + "/lower.run");
    EXPECT_EQ(board.memory(0x10000, image.size()), image);
    EXPECT_TRUE(board.waitForNote("program started at 00010000"));
}

TEST_F(PostLinkCommands, WithoutAPortItConvertsAndLoadsNothing) {
    doc->Disconnect();
    std::string bin = Save("demo.BIN", kit::WriteBinFile(kit::Program{}));
    EXPECT_FALSE(PostLinkAndLoad(*doc, bin));
    EXPECT_TRUE(std::filesystem::exists(dir + "/demo.RUN"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
}

TEST_F(PostLinkCommands, ACutAtADirectoryNamedDotBin) {
    std::filesystem::create_directories(dir + "/A.BIN");
    CPostLinkOutcome o = PostLinkFile(ui, dir + "/A.BIN/X.BIN");
    ASSERT_TRUE(o.basePath);
    EXPECT_EQ(*o.basePath, dir + "/A");  // the first ".BIN" is the directory's
}

TEST_F(PostLinkCommands, AStaleLoadFileIsNeverLoaded) {
    kit::SaveFile(dir + "/demo.RUN", kit::Bytes(100, 0x4E));  // from an earlier build
    kit::Bytes broken = kit::WriteBinFile(kit::Program{});
    broken.resize(300);
    PostLinkAndLoad(*doc, Save("demo.BIN", broken));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "Post Link did not write " + dir + "/demo.RUN; nothing was loaded.");
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
}

TEST_F(PostLinkCommands, OpeningALoadFileConvertsTheBinBesideItAndLoads) {
    Save("Demo.bin", kit::WriteBinFile(kit::Program{}));  // found whatever its case
    LoadDocumentImage(*doc, dir + "/Demo.run");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(board.waitForNote("program started at 00010000"));

    board.clearTranscript();
    LoadDocumentImage(*doc, dir + "/notes.txt");           // not a load file
    LoadDocumentImage(*doc, dir + "/Missing.APP");          // nothing beside it
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(board.received(), "");
}

TEST_F(PostLinkCommands, OpeningALoadFileBesidePlantedLinksWritesNothingWhereTheyPoint) {
    // The reproducer: dl/demo.REC -> ../home/.profile beside dl/demo.Bin, then dl/demo.RUN
    // opened as a document, which converts the .Bin and loads the result.
    namespace fs = std::filesystem;
    fs::create_directories(dir + "/dl");
    fs::create_directories(dir + "/home");
    kit::SaveText(dir + "/home/.profile", "export PATH=/usr/bin\n");
    Save("dl/demo.Bin", kit::WriteBinFile(kit::Program{}));
    fs::create_symlink("../home/.profile", dir + "/dl/demo.REC");
    fs::create_symlink("../home/.profile2", dir + "/dl/demo.RUN");
    LoadDocumentImage(*doc, dir + "/dl/demo.RUN");
    EXPECT_TRUE(ui.messages.empty()) << ui.Texts().front();
    EXPECT_TRUE(board.waitForNote("program started at 00010000"));
    const kit::Bytes profile = kit::LoadFile(dir + "/home/.profile");
    EXPECT_EQ(std::string(profile.begin(), profile.end()), "export PATH=/usr/bin\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir + "/home/.profile2")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir + "/dl/demo.REC")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir + "/dl/demo.RUN")));
    auto image = ImageOf(dir + "/dl/demo.RUN");
    EXPECT_EQ(board.memory(0x10000, image.size()), image);
}

TEST_F(PostLinkCommands, OpeningADocumentLoadsOnAWorkerOnceTheViewExists) {
    Save("Demo.BIN", kit::WriteBinFile(kit::Program{}));
    CTarvolineDoc opened(&store, ui, calls);
    opened.SetDocumentLoader(LoadDocumentImage);
    doc.reset();  // one document owns the port
    ASSERT_TRUE(opened.OnOpenDocument(dir + "/Demo.RUN"));
    EXPECT_EQ(opened.DocPath(), dir + "/Demo.RUN");
    EXPECT_EQ(opened.LastDir(), dir + "/");
    ASSERT_TRUE(opened.Port());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);  // no view yet: it waits
    EXPECT_TRUE(opened.TransferRunning());

    CRecordingView view;
    opened.AddView(&view);
    // While the load runs, the port is not taken away and no second open starts.
    for (int i = 0; i < 100 && board.received().find("LOAD") == std::string::npos; ++i)
        calls.WaitAndRun(std::chrono::milliseconds(10));
    opened.OnCommSettingsConfirmed(opened.Settings());
    EXPECT_FALSE(opened.OnOpenDocument(dir + "/Demo.RUN"));
    // Nothing from this thread may reach the line meanwhile: each is refused with a beep.
    ASSERT_TRUE(opened.TransferRunning());
    const int beeps = ui.beeps;
    EXPECT_FALSE(opened.SendChar('x'));
    const unsigned char pasted[] = {'p', 'q'};
    EXPECT_FALSE(opened.SendBlock(pasted, 2));
    opened.OnSendBreak();
    EXPECT_FALSE(TransferCpm68kFile(opened, dir + "/Demo.RUN"));
    EXPECT_EQ(ui.beeps, beeps + 4);
    opened.WaitForTransfer();
    EXPECT_EQ(board.received().find("xpq"), std::string::npos);
    EXPECT_TRUE(opened.SendChar('\r'));  // after the load, typing works again
    // The settings and the second open: the same message each.
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, CTarvolineDoc::kTransferRunningMessage);
    EXPECT_EQ(ui.messages[1].text, CTarvolineDoc::kTransferRunningMessage);
    EXPECT_FALSE(opened.TransferRunning());
    EXPECT_TRUE(board.waitForNote("program started at 00010000"));
    EXPECT_TRUE(opened.Port()->HasWatcher());
    opened.Disconnect();  // views go only once the port is closed
    opened.RemoveView(&view);
}

// What the board says after the answer a dialogue waited for is read by the dialogue, not
// the terminal; it is handed on once the dialogue is over.
TEST_F(PostLinkCommands, TheBoardsLastWordsReachTheTerminal) {
    CRecordingView view;
    doc->AddView(&view);
    std::string said;
    doc->SetBoardWordsHandler([&](const std::string& text) { said += text; });

    // A hex file with a bad checksum: the record loader's report of it.
    const std::string hex = dir + "/bad.HEX";
    kit::SaveFile(hex, kit::Bytes{'S', '1', '0', '7', '0', '1', '0', '0', '4', '1', '4', '2', '4',
                                  '3', '4', '4', 'E', 'E', '\r', '\n', 'S', '9', '0', '3', '0', '0',
                                  '0', '0', 'F', 'C', '\r', '\n'});
    // The board did not take the records: the load fails, and the window says why in the
    // board's own words.
    EXPECT_EQ(TransferHexFile(*doc, hex), HexLoadOutcome::BoardReportedFailure);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "Hex file not loaded, the board reported: line 1: checksum EE, computed ED");
    ui.messages.clear();
    EXPECT_NE(said.find("checksum"), std::string::npos) << said;
    EXPECT_NE(said.find("1 bad"), std::string::npos) << said;
    // The terminal shows them before anything the watcher reads afterwards.
    for (int i = 0; i < 100 && view.Text().find("M8>") == std::string::npos; ++i)
        calls.WaitAndRun(std::chrono::milliseconds(10));
    EXPECT_NE(view.Text().find("1 bad"), std::string::npos) << view.Text();

    // A load: the board's report of it.
    said.clear();
    Save("demo.Bin", kit::WriteBinFile(kit::Program{}));
    EXPECT_TRUE(PostLinkAndLoad(*doc, dir + "/demo.Bin"));
    EXPECT_NE(said.find("Loaded "), std::string::npos) << said;
    doc->Disconnect();
    doc->RemoveView(&view);
}

TEST(DirectoryOf, KeepsTheTrailingSlashOrNothing) {
    EXPECT_EQ(DirectoryOf("/proj/demo.BIN"), "/proj/");
    EXPECT_EQ(DirectoryOf("demo.BIN"), "");
    EXPECT_EQ(DirectoryOf("/proj/"), "");
    EXPECT_EQ(DirectoryOf("/x"), "/");
}

}  // namespace
