// A device that goes away in the middle of a load (an unplugged adapter; here the far end of a
// pseudo-terminal closes): the dialogue ends at once with one message naming the port and the
// system's reason, and the document is no longer connected (it waits for the device).

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "Pty.h"
#include "RecordingUi.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "download/DocumentTransfers.h"

namespace {

// Answers the wake-up and the LOAD command like a monitor, asks for the first block, and
// goes away while it arrives.
void MonitorThatIsUnplugged(CTestPty& pty, std::atomic<bool>& unplugged) {
    std::string line;
    bool loading = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        const std::string got = pty.Read(1, std::chrono::milliseconds(50));
        if (got.empty()) continue;
        if (loading && got == "+") {
            pty.Write("=");
            pty.Read(200, std::chrono::milliseconds(2000));  // part of the block
            pty.CloseMaster();
            unplugged = true;
            return;
        }
        line += got;
        if (got != "\r") continue;
        if (line.find("LOAD") != std::string::npos) {
            pty.Write("+");
            loading = true;
        } else {
            pty.Write("\r\n> ");
        }
        line.clear();
    }
}

TEST(LostDevice, AnUnpluggedLineEndsTheLoadWithOneMessageAndTheWindowNotConnected) {
    CTestPty pty;
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM3", pty.SlavePath());
    CRecordingUi ui;
    CUiCallQueue calls;
    CTarvolineDoc doc(&store, ui, calls);
    doc.OnNewDocument();
    ASSERT_NE(doc.Port(), nullptr);

    const std::string path = ::testing::TempDir() + "/lost-device.RUN";
    std::string file(28, '\0');
    file[0] = 0x60;
    file[1] = 0x1A;
    file[4] = 0x10;  // 4096 bytes: four blocks, the device goes during the first
    file[23] = 0x02;
    std::ofstream(path, std::ios::binary) << file << std::string(4096, 'x');

    std::atomic<bool> unplugged{false};
    std::thread far([&] { MonitorThatIsUnplugged(pty, unplugged); });
    const bool started = TransferCpm68kFile(doc, path);
    far.join();
    ASSERT_TRUE(unplugged);
    EXPECT_FALSE(started);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "COM3: the device went away (Input/output error)");
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_EQ(doc.Port(), nullptr);
    // Not connected; the document waits for the device to come back.
    EXPECT_EQ(doc.LineStatus(), CTarvolineDoc::kNotConnectedTitle);
    EXPECT_EQ(doc.GetTitle(), "COM3 (waiting for " + pty.SlavePath() + ")");
}

}  // namespace
