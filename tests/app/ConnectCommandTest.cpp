// The Connect/Disconnect command, and a device another program holds: told once, never taken
// from that program when it lets go, taken when the user connects again.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "DocFixture.h"
#include "PortHolder.h"

namespace {

using Clock = std::chrono::steady_clock;

bool RunUntil(CUiCallQueue& calls, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) calls.WaitAndRun(std::chrono::milliseconds(5));
    return done();
}

// Long enough for several attempts of a waiting document.
void RunFor(CUiCallQueue& calls, int retries) {
    const auto end = Clock::now() + std::chrono::milliseconds(retries * CTarvolineDoc::kRetryMilliseconds);
    while (Clock::now() < end) calls.WaitAndRun(std::chrono::milliseconds(20));
}

void PointLink(const std::string& link, const std::string& target) {
    std::remove(link.c_str());
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
}

using ConnectCommand = DocFixture;

TEST_F(ConnectCommand, DisconnectsConnectsAndEndsTheWaiting) {
    doc->OnNewDocument();
    ASSERT_TRUE(doc->ConnectionActive());
    doc->OnConnectCommand();
    EXPECT_FALSE(doc->OnUpdateConnected());
    EXPECT_FALSE(doc->ConnectionActive());
    EXPECT_EQ(doc->GetTitle(), "Not connected");
    doc->OnConnectCommand();
    EXPECT_TRUE(doc->OnUpdateConnected());
    EXPECT_EQ(doc->GetTitle(), "COM3");
    ASSERT_TRUE(doc->SendChar('k'));
    EXPECT_EQ(pty.Read(1), "k");

    // Waiting for a device that is not there: the command ends the waiting, and the device
    // that appears afterwards is left alone.
    const std::string link = ::testing::TempDir() + "/tarvoline-connect-" + std::to_string(::getpid());
    std::remove(link.c_str());
    doc->Disconnect();
    store.WriteProfileString("Devices", "COM3", link);
    doc->OnConnectCommand();
    ASSERT_EQ(doc->WaitingFor(), link);
    EXPECT_TRUE(doc->ConnectionActive());
    doc->OnConnectCommand();
    EXPECT_TRUE(doc->WaitingFor().empty());
    EXPECT_FALSE(doc->ConnectionActive());
    EXPECT_EQ(doc->GetTitle(), "Not connected");
    PointLink(link, pty.SlavePath());
    RunFor(calls, 3);
    EXPECT_FALSE(doc->OnUpdateConnected());
    doc->OnConnectCommand();
    EXPECT_TRUE(doc->OnUpdateConnected());
    doc->Disconnect();
    std::remove(link.c_str());
}

TEST_F(ConnectCommand, ABusyDeviceIsToldOnceAndTakenOnlyWhenTheUserConnects) {
    CPortHolder other(pty.SlavePath());
    doc->OnNewDocument();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Cannot open COM3 (" + pty.SlavePath() +
                                            "): Device or resource busy",
                                        0),
              0u)
        << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find("connect again when it is free"), std::string::npos);
    EXPECT_TRUE(doc->WaitingFor().empty());
    EXPECT_FALSE(doc->ConnectionActive());
    EXPECT_EQ(doc->GetTitle(), "Not connected");

    other.Release();
    RunFor(calls, 3);
    EXPECT_FALSE(doc->OnUpdateConnected());  // the other program may start again
    EXPECT_EQ(ui.messages.size(), 1u);
    CPortHolder again(pty.SlavePath());  // and it can
    again.Release();

    doc->OnConnectCommand();
    ASSERT_TRUE(doc->OnUpdateConnected());
    EXPECT_EQ(doc->GetTitle(), "COM3");
    EXPECT_EQ(ui.messages.size(), 1u);
    ASSERT_TRUE(doc->SendChar('z'));
    EXPECT_EQ(pty.Read(1), "z");
}

TEST_F(ConnectCommand, ADeviceThatComesBackBusyIsLeftToItsHolder) {
    const std::string link = ::testing::TempDir() + "/tarvoline-busyback-" + std::to_string(::getpid());
    auto first = std::make_unique<CTestPty>();
    PointLink(link, first->SlavePath());
    store.WriteProfileString("Devices", "COM3", link);
    doc->OnNewDocument();
    ASSERT_TRUE(doc->OnUpdateConnected());
    first->CloseMaster();  // unplugged
    ASSERT_TRUE(RunUntil(calls, [&] { return !doc->WaitingFor().empty(); }));

    // Back, but another program took it first.
    CPortHolder other(pty.SlavePath());
    PointLink(link, pty.SlavePath());
    ASSERT_TRUE(RunUntil(calls, [&] { return !doc->ConnectionActive(); }));
    EXPECT_EQ(doc->GetTitle(), "Not connected");
    EXPECT_TRUE(ui.messages.empty());  // the terminal says it, once
    ASSERT_EQ(view.notices.size(), 2u);
    EXPECT_EQ(view.notices[1], "--- " + link +
                                   " is held by another program (Device or resource busy); it is "
                                   "left to it: connect again when it is free ---");
    other.Release();
    RunFor(calls, 3);
    EXPECT_FALSE(doc->OnUpdateConnected());
    EXPECT_EQ(view.notices.size(), 2u);

    doc->OnConnectCommand();
    EXPECT_TRUE(doc->OnUpdateConnected());
    doc->Disconnect();
    first.reset();
    std::remove(link.c_str());
}

TEST_F(ConnectCommand, IsRefusedWhileATransferRuns) {
    doc->OnNewDocument();
    std::atomic<bool> release{false};
    ASSERT_TRUE(doc->StartTransfer([&] {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }));
    doc->OnConnectCommand();
    EXPECT_TRUE(doc->OnUpdateConnected());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, CTarvolineDoc::kTransferRunningMessage);
    release = true;
    doc->WaitForTransfer();
}

}  // namespace
