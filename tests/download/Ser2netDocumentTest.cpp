// The window's document on a board in a rack: a real ser2net in front of the simulated board
// goes away and comes back while the document is connected; the document waits for it, takes
// the connection back by itself, and a load with its rate change then goes through.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "BoardFixture.h"
#include "RecordingUi.h"
#include "Ser2netServer.h"
#include "bin_writer.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "document/UiCallQueue.h"
#include "download/PostLinkCommands.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace kit = tarvoline::postlink::testkit;

bool PumpUntil(CUiCallQueue& calls, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) calls.WaitAndRun(std::chrono::milliseconds(5));
    return done();
}

TEST(Ser2netDocument, TheServerGoesAwayComesBackAndALoadThenGoesThrough) {
    vivaz::testing::SimulatedBoard board;
    CSer2netServer server(board.devicePath());
    const std::string address = "127.0.0.1:" + std::to_string(server.Port());
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM3", server.Url());
    CTransferUi ui;
    CRecordingView view;
    CUiCallQueue calls;
    CTarvolineDoc doc(&store, ui, calls);
    doc.AddView(&view);
    doc.OnNewDocument();
    ASSERT_TRUE(doc.OnUpdateConnected()) << (ui.messages.empty() ? "" : ui.messages[0].text);
    ASSERT_TRUE(doc.SendChar('\r'));
    ASSERT_TRUE(PumpUntil(calls, [&] { return view.Size() > 0; })) << "the board never answered";

    server.Stop();
    ASSERT_TRUE(PumpUntil(calls, [&] { return !doc.WaitingFor().empty(); }));
    ASSERT_FALSE(view.notices.empty());
    EXPECT_EQ(view.notices[0].rfind("--- " + address + " went away (", 0), 0u) << view.notices[0];

    server.Start();
    ASSERT_TRUE(PumpUntil(calls, [&] { return doc.OnUpdateConnected(); }))
        << "not reconnected; title " << doc.GetTitle();
    EXPECT_EQ(view.notices.back(), "--- reconnected ---");
    EXPECT_TRUE(ui.messages.empty()) << ui.Texts().front();

    const std::string dir = ::testing::TempDir() + "/ser2net-document";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    kit::SaveFile(dir + "/demo.Bin", kit::WriteBinFile(kit::Program{}));
    PostLinkAndLoad(doc, dir + "/demo.Bin");
    EXPECT_TRUE(ui.messages.empty()) << ui.Texts().front();
    const kit::Bytes run = kit::LoadFile(dir + "/demo.RUN");
    const std::vector<std::uint8_t> image(run.begin() + 28, run.end());
    EXPECT_EQ(board.memory(0x10000, image.size()), image);
    EXPECT_TRUE(board.waitForNote("program started at 00010000"));
    doc.Disconnect();
    doc.RemoveView(&view);
}

}  // namespace
