// The document's connection, transmit and receive paths on a pseudo-terminal.

#include <chrono>

#include "DocFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

long MillisSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST_F(DocFixture, ANewDocumentConnectsShowsThePortAndStoresIt) {
    EXPECT_EQ(doc->GetTitle(), "Untitled");
    EXPECT_FALSE(store.Find("COM Settings", "COM Port"));
    EXPECT_TRUE(doc->OnNewDocument());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(doc->GetTitle(), "COM3");
    EXPECT_EQ(ui.titles, std::vector<std::string>{"COM3"});
    EXPECT_EQ(store.GetProfileString("COM Settings", "COM Port", ""), "COM3");
    EXPECT_TRUE(doc->OnUpdateConnected());

    pty.Write("ViVaz> ");
    ASSERT_TRUE(PumpUntil(7));
    EXPECT_EQ(view.Text(), "ViVaz> ");

    doc->Disconnect();
    EXPECT_EQ(doc->GetTitle(), "Not connected");
    EXPECT_FALSE(doc->OnUpdateConnected());
}

TEST_F(DocFixture, AMissingPortIsReportedOnceWaitedForAndLeavesTheStoreAlone) {
    store.WriteProfileString("Devices", "COM3", "/dev/tarvoline-missing");
    doc->OnNewDocument();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "Cannot open COM3 (/dev/tarvoline-missing): No such file or directory");
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Exclamation);
    // The document then waits for the device quietly.
    EXPECT_EQ(doc->GetTitle(), "COM3 (waiting for /dev/tarvoline-missing)");
    calls.WaitAndRun(std::chrono::milliseconds(700));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(store.Find("COM Settings", "COM Port"));
    EXPECT_EQ(view.clears, 1);  // a new port empties the terminal even when it fails

    EXPECT_FALSE(doc->SendChar('x'));
    EXPECT_EQ(ui.beeps, 1);
    auto start = Clock::now();
    doc->OnSendBreak();  // nothing to break
    EXPECT_LT(MillisSince(start), 500);
}

TEST_F(DocFixture, ABadPortNumberIsReportedInWords) {
    SetSetting("COM Port", "COM300");
    MakeDocument();
    doc->OnNewDocument();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("1 to 255"), std::string::npos);
    EXPECT_FALSE(doc->OnUpdateConnected());
}

TEST_F(DocFixture, EnterWithSendCrlfAndLocalEchoSendsAndShowsCrLf) {
    SetSwitch("Send CRLF", 1);
    SetSwitch("Local Echo", 1);
    MakeDocument();
    doc->OnNewDocument();
    EXPECT_TRUE(doc->SendChar('\r'));
    EXPECT_EQ(pty.Read(2), "\r\n");
    EXPECT_EQ(view.Text(), "\r\n");
    EXPECT_EQ(view.deliveries, std::vector<int>{2});

    // A block goes out exactly as given: pasted carriage returns are sent alone.
    const unsigned char pasted[] = {'a', '\r', 'b', '\r'};
    EXPECT_TRUE(doc->SendBlock(pasted, 4));
    EXPECT_EQ(pty.Read(4), "a\rb\r");
    EXPECT_EQ(view.Text(), "\r\na\rb\r");
}

TEST_F(DocFixture, ARepeatedKeyIsSentAndEchoedOnceEachTime) {
    SetSwitch("Local Echo", 1);
    MakeDocument();
    doc->OnNewDocument();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(doc->SendChar('k'));
    EXPECT_EQ(pty.Read(3), "kkk");
    EXPECT_EQ(view.deliveries, (std::vector<int>{1, 1, 1}));
    // Without Send CRLF a carriage return goes alone; a NUL is a byte like any other.
    EXPECT_TRUE(doc->SendChar('\r'));
    EXPECT_TRUE(doc->SendChar(0));
    EXPECT_EQ(pty.Read(2), std::string("\r\0", 2));
}

TEST_F(DocFixture, WithoutEchoNothingTypedIsShown) {
    doc->OnNewDocument();
    EXPECT_TRUE(doc->SendChar('q'));
    EXPECT_EQ(pty.Read(1), "q");
    calls.RunPending();
    EXPECT_EQ(view.Text(), "");
}

TEST_F(DocFixture, BreakHoldsTheLineForASecond) {
    doc->OnNewDocument();
    auto start = Clock::now();
    doc->OnSendBreak();
    EXPECT_TRUE(doc->TransferRunning());  // the second runs on the worker
    doc->WaitForTransfer();
    EXPECT_GE(MillisSince(start), 1000);
    EXPECT_TRUE(doc->SendChar('a'));  // the line works after the break
}

TEST_F(DocFixture, AWriteHeldPastOneSecondBeepsAndIsNotEchoed) {
    SetSwitch("Local Echo", 1);
    MakeDocument();
    doc->OnNewDocument();
    // Nobody reads the far end until the line is full.
    std::string chunk(4096, 'f');
    int writes = 0;
    while (doc->SendBlock(reinterpret_cast<const unsigned char*>(chunk.data()), 4096) &&
           ++writes < 1000) {
    }
    ASSERT_EQ(ui.beeps, 1);
    size_t shown = view.Size();
    auto start = Clock::now();
    EXPECT_FALSE(doc->SendChar('x'));
    EXPECT_GE(MillisSince(start), 990);
    EXPECT_EQ(ui.beeps, 2);
    EXPECT_EQ(view.Size(), shown);
}

TEST_F(DocFixture, AnUnpluggedDeviceIsToldInTheTerminalAndWaitedFor) {
    doc->OnNewDocument();
    pty.CloseMaster();
    auto end = Clock::now() + std::chrono::seconds(3);
    while (doc->WaitingFor().empty() && Clock::now() < end)
        calls.WaitAndRun(std::chrono::milliseconds(5));
    EXPECT_FALSE(doc->OnUpdateConnected());
    EXPECT_EQ(doc->WaitingFor(), pty.SlavePath());
    EXPECT_EQ(doc->GetTitle(), "COM3 (waiting for " + pty.SlavePath() + ")");
    EXPECT_TRUE(ui.messages.empty());  // no box: the terminal says it
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0], "--- " + pty.SlavePath() + " went away (Input/output error); waiting for it ---");
    // Disconnect ends the waiting.
    doc->Disconnect();
    EXPECT_TRUE(doc->WaitingFor().empty());
    EXPECT_EQ(doc->GetTitle(), "Not connected");
    calls.WaitAndRun(std::chrono::milliseconds(700));
    EXPECT_FALSE(doc->OnUpdateConnected());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DocFixture, TransfersStopTheWatcherAndRestartItAfterwards) {
    doc->OnNewDocument();
    doc->StopWatcherForTransfer();
    pty.Write("during");
    calls.WaitAndRun(std::chrono::milliseconds(50));
    EXPECT_EQ(view.Text(), "");  // the transfer alone reads the line now
    char buf[16];
    CComStat st;
    for (int i = 0; i < 100 && st.cbInQue < 6; ++i) {
        doc->Port()->ClearError(&st, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(doc->Port()->Read(buf, sizeof buf, false), 6);
    EXPECT_TRUE(doc->RestartWatcherAfterTransfer());
    pty.Write("after");
    ASSERT_TRUE(PumpUntil(5));
    EXPECT_EQ(view.Text(), "after");
}

}  // namespace

namespace {

TEST_F(DocFixture, TheLineInUseIsNamedForTheStatusBar) {
    EXPECT_EQ(doc->LineStatus(), "Not connected");
    doc->OnNewDocument();
    EXPECT_EQ(doc->LineStatus(), pty.SlavePath() + "  9600 8N1  none");
    CPortSettings s = doc->Settings();
    s.m_strBaudRate = "19200";
    s.m_strParity = "Even";
    s.m_strStopBits = "2";
    s.m_strFlowControl = "Software";
    doc->OnCommSettingsConfirmed(s);
    EXPECT_EQ(doc->LineStatus(), pty.SlavePath() + "  19200 8E2  XON/XOFF");
    doc->Disconnect();
    EXPECT_EQ(doc->LineStatus(), "Not connected");
}

}  // namespace
