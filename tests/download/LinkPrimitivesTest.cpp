// The link primitives on a pseudo-terminal and against the simulated board.

#include <gtest/gtest.h>

#include <chrono>

#include "BoardFixture.h"
#include "Pty.h"
#include "download/MonitorLink.h"

namespace {

using Clock = std::chrono::steady_clock;

long MillisSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void WaitQueued(CMonitorLink& link, int count) {
    for (int i = 0; i < 1000 && link.LinkBytesWaiting() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(LinkPrimitives, ReadByteKeepsAReceived0xFFApartFromNothing) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    CMonitorLink link(port);
    auto start = Clock::now();
    EXPECT_EQ(link.LinkReadByte(), kNothingRead);
    EXPECT_LT(MillisSince(start), 100);
    pty.Write("\xFF\xC8+");
    WaitQueued(link, 3);
    EXPECT_EQ(link.LinkBytesWaiting(), 3);
    EXPECT_EQ(link.LinkReadByte(), 0xFF);
    ReceivedByte c8 = link.LinkReadByte();
    EXPECT_EQ(c8, 0xC8);
    EXPECT_EQ(SignedByteValue(c8), -56);
    EXPECT_EQ(link.LinkReadByte(), '+');
    EXPECT_EQ(link.LinkReadByte(), kNothingRead);
}

TEST(LinkPrimitives, DrainWaitsForAQuietLineAndReturnsItsLastByte) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    CMonitorLink link(port);
    auto start = Clock::now();
    EXPECT_EQ(link.LinkDrain(50), kNothingRead);  // silent: one quiet time
    long silent = MillisSince(start);
    EXPECT_GE(silent, 50);
    EXPECT_LT(silent, 100);

    // Text that keeps coming closer together than the quiet time holds the drain.
    std::thread talker([&] {
        for (int i = 0; i < 6; ++i) {
            pty.Write("line ");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pty.Write("> ");
        pty.Write(">");
    });
    start = Clock::now();
    EXPECT_EQ(link.LinkDrain(50), '>');
    EXPECT_GE(MillisSince(start), 120);
    talker.join();
    EXPECT_EQ(link.LinkBytesWaiting(), 0);
}

TEST(LinkPrimitives, SendsAreWrittenAsGiven) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    CMonitorLink link(port);
    EXPECT_EQ(link.LinkSendString("tom8\r"), 5);
    EXPECT_EQ(link.LinkSendByte(0x1FF), 1);  // the low 8 bits
    const unsigned char block[] = {0, 1, 2};
    EXPECT_EQ(link.LinkSendBlock(block, 3), 3);
    EXPECT_EQ(pty.Read(9), std::string("tom8\r\xFF\x00\x01\x02", 9));
    EXPECT_TRUE(link.LinkSetBaud(57600));
    EXPECT_FALSE(link.LinkSetBaud(4801));  // the line keeps 57600
    CLineConfig cfg;
    port.GetState(cfg);
    EXPECT_EQ(cfgetospeed(&cfg.tio), speed_t(B57600));
}

TEST_F(BoardFixture, WakeMonitorStopsAtThePrompt) {
    CMonitorLink link(*port);
    EXPECT_TRUE(link.WakeMonitor());
    EXPECT_EQ(board.received(), "\x08.\r");
}

class SilentBoard : public BoardFixture {
protected:
    SilentBoard() : BoardFixture(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults.silent = true;
        return o;
    }
};

TEST_F(SilentBoard, WakeMonitorTriesFiveTimesWithTheExactBytes) {
    CMonitorLink link(*port);
    EXPECT_FALSE(link.WakeMonitor());
    EXPECT_EQ(board.received(), "\x08.\r\r\r.\r\x03\r");
}

class CrLfBoard : public BoardFixture {
protected:
    CrLfBoard() : BoardFixture(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults.promptEnd = vivaz::PromptEnd::CrLf;
        return o;
    }
};

TEST_F(CrLfBoard, APromptEndingInCrLfIsNotAPrompt) {
    CMonitorLink link(*port);
    EXPECT_FALSE(link.WakeMonitor());
    EXPECT_EQ(board.received(), "\x08.\r\r\r.\r\x03\r");
}

}  // namespace
