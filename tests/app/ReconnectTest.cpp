// A device that goes away and comes back (an adapter unplugged and plugged in again; here a
// pseudo-terminal behind a stable link, as vivaz-sim --link makes one): the document waits
// for it quietly and takes it back with the stored settings.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "Pty.h"
#include "RecordingUi.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"

namespace {

using Clock = std::chrono::steady_clock;

bool PumpUntil(CUiCallQueue& calls, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) calls.WaitAndRun(std::chrono::milliseconds(5));
    return done();
}

void PointLink(const std::string& link, const std::string& target) {
    std::remove(link.c_str());
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
}

TEST(Reconnect, TheDeviceIsTakenBackWhenItReturnsWithoutAnyBox) {
    const std::string link = ::testing::TempDir() + "/tarvoline-reconnect-" + std::to_string(::getpid());
    auto first = std::make_unique<CTestPty>();
    PointLink(link, first->SlavePath());
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM3", link);
    store.WriteProfileString("COM Settings", "Baud Rate", "19200");
    CRecordingUi ui;
    CRecordingView view;
    CUiCallQueue calls;
    CTarvolineDoc doc(&store, ui, calls);
    doc.AddView(&view);
    doc.OnNewDocument();
    ASSERT_TRUE(doc.OnUpdateConnected());

    first->CloseMaster();  // unplugged
    ASSERT_TRUE(PumpUntil(calls, [&] { return !doc.WaitingFor().empty(); }));
    EXPECT_EQ(doc.GetTitle(), "COM3 (waiting for " + link + ")");
    // Tries while it is gone change nothing and say nothing. (The link leads nowhere now: the
    // freed terminal's number may go to anybody.)
    PointLink(link, link + "-unplugged");
    first.reset();
    calls.WaitAndRun(std::chrono::milliseconds(1200));
    EXPECT_FALSE(doc.OnUpdateConnected());

    CTestPty second;  // plugged in again
    PointLink(link, second.SlavePath());
    ASSERT_TRUE(PumpUntil(calls, [&] { return doc.OnUpdateConnected(); }));
    EXPECT_EQ(doc.GetTitle(), "COM3");
    EXPECT_TRUE(doc.WaitingFor().empty());
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_FALSE(view.notices.empty());
    EXPECT_EQ(view.notices.back(), "--- reconnected to " + link + " ---");
    EXPECT_EQ(doc.LineStatus(), link + "  19200 8N1  none");  // the stored settings again
    ASSERT_TRUE(doc.SendChar('x'));
    EXPECT_EQ(second.Read(1), "x");
    doc.Disconnect();
    doc.RemoveView(&view);
    std::remove(link.c_str());
}

TEST(Reconnect, ADeviceThatCouldNotBeOpenedIsWaitedForAfterItsMessage) {
    const std::string link = ::testing::TempDir() + "/tarvoline-late-" + std::to_string(::getpid());
    std::remove(link.c_str());
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM3", link);
    CRecordingUi ui;
    CUiCallQueue calls;
    CTarvolineDoc doc(&store, ui, calls);
    doc.OnNewDocument();
    ASSERT_EQ(ui.messages.size(), 1u);  // the failed open is told once
    EXPECT_EQ(doc.WaitingFor(), link);
    CTestPty pty;
    PointLink(link, pty.SlavePath());
    ASSERT_TRUE(PumpUntil(calls, [&] { return doc.OnUpdateConnected(); }));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(doc.GetTitle(), "COM3");
    doc.Disconnect();
    std::remove(link.c_str());
}

}  // namespace
