// The port engine on real kernel tty devices (pseudo-terminals).

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "Pty.h"
#include "comm/CommPort.h"
#include "comm/SystemError.h"

namespace {

using Clock = std::chrono::steady_clock;

long MillisSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Waits until the slave has count bytes queued for reading.
void WaitQueued(CCommPort& port, DWORD count) {
    for (int i = 0; i < 2000; ++i) {
        CComStat st;
        ASSERT_TRUE(port.ClearError(&st, nullptr));
        if (st.cbInQue >= count) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FAIL() << "bytes never arrived";
}

TEST(CommPortOpen, MissingDeviceFailsWithTheSystemsCode) {
    CCommPort port("/dev/tarvoline-no-such-device");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastError(), DWORD(ENOENT));
    EXPECT_EQ(FormatSystemMessage(port.LastError()), "No such file or directory");
}

TEST(CommPortOpen, OpensAPseudoTerminalInItsStartingState) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.LastError(), 0u);
    termios t = pty.SlaveTermios();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_lflag & ICANON);
    CCommTimeouts to;
    ASSERT_TRUE(port.GetTimeouts(to));
    EXPECT_EQ(to.ReadIntervalTimeout, kMaxDword);
    EXPECT_EQ(to.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(to.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(to.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(to.WriteTotalTimeoutConstant, 1000u);
}

TEST(CommPortOpen, ADeviceHeldElsewhereIsBusyAndNotDisturbed) {
    CTestPty pty;
    CCommPort first(pty.SlavePath());
    ASSERT_TRUE(first.IsOpen());
    pty.Write("queued");
    WaitQueued(first, 6);

    CCommPort second(pty.SlavePath());
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastError(), DWORD(EBUSY));
    EXPECT_EQ(FormatSystemMessage(second.LastError()), "Device or resource busy");

    // The failed open purged nothing of the holder's line.
    char buf[16];
    EXPECT_EQ(first.Read(buf, sizeof buf, false), 6);
}

TEST(CommPortOpen, ClosingLetsTheNextProgramIn) {
    CTestPty pty;
    { CCommPort first(pty.SlavePath()); }
    CCommPort again(pty.SlavePath());
    EXPECT_TRUE(again.IsOpen());
    EXPECT_EQ(again.LastError(), 0u);
}

TEST(CommPortOpen, AFileThatIsNoTerminalIsRefusedInWords) {
    CCommPort port("/dev/null");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastError(), DWORD(ENOTTY));
    EXPECT_EQ(FormatSystemMessage(port.LastError()), "The device is not a serial port.");
}

TEST(CommPortOpen, PermissionDeniedIsToldApartFromBusy) {
    CTestPty pty;
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0600), 0);
    pid_t child = ::fork();
    if (child == 0) {
        // An ordinary user may not open root's terminal.
        if (::getuid() == 0 && ::setuid(65534) != 0) _exit(2);
        CCommPort port(pty.SlavePath());
        _exit(!port.IsOpen() && port.LastError() == DWORD(EACCES) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(FormatSystemMessage(EACCES), "Permission denied");
}

TEST(CommPortIo, ReadWithoutWaitTakesOnlyWhatIsQueued) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    char buf[10];
    auto start = Clock::now();
    EXPECT_EQ(port.Read(buf, 10, false), 0);  // nothing queued: at once
    EXPECT_LT(MillisSince(start), 200);

    pty.Write("abc");
    WaitQueued(port, 3);
    EXPECT_EQ(port.Read(buf, 10, false), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
}

TEST(CommPortIo, ReadTimeoutsBoundAWaitingRead) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    ASSERT_TRUE(port.SetReadTimeouts(50, 0, 300));
    char buf[10];
    auto start = Clock::now();
    EXPECT_EQ(port.Read(buf, 10, true), 0);
    EXPECT_GE(MillisSince(start), 290);

    // Bytes that stop coming end the read after the interval.
    pty.Write("xy");
    EXPECT_EQ(port.Read(buf, 10, true), 2);
}

TEST(CommPortIo, WriteReachesTheFarEnd) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    std::string block(3000, 'q');
    EXPECT_EQ(port.Write(block.data(), static_cast<int>(block.size())), 3000);
    EXPECT_EQ(pty.Read(3000), block);
    EXPECT_EQ(port.Write("", 0), 0);
}

TEST(CommPortIo, AWriteHeldPastItsTimeoutReturnsShort) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    // Nobody reads the far end: the line fills up and the next write is held.
    std::string chunk(4096, 'z');
    int total = 0;
    auto start = Clock::now();
    for (int i = 0; i < 1000; ++i) {
        start = Clock::now();
        int n = port.Write(chunk.data(), static_cast<int>(chunk.size()));
        total += n;
        if (n < static_cast<int>(chunk.size())) break;
    }
    EXPECT_GE(MillisSince(start), 990);
    EXPECT_GT(total, 0);
    start = Clock::now();
    EXPECT_EQ(port.Write("a", 1), 0);
    EXPECT_GE(MillisSince(start), 990);
}

// A far end that has not read yet when the port closes (a board busy with its last block, a
// slow relay): everything written reaches it all the same, in order, also across the next
// program's open of the device. More than the far end's own queue holds is written, so the
// tail is still in the line when the port closes.
TEST(CommPortClose, WhatWasWrittenReachesAFarEndThatReadsLate) {
    CTestPty pty;
    std::string first(6000, 'a'), second(3000, 'b');
    first.back() = 'G';
    second.back() = '%';
    {
        CCommPort port(pty.SlavePath());
        ASSERT_EQ(port.Write(first.data(), static_cast<int>(first.size())), 6000);
    }
    {
        CCommPort next(pty.SlavePath());
        ASSERT_TRUE(next.IsOpen());
        ASSERT_EQ(next.Write(second.data(), static_cast<int>(second.size())), 3000);
    }
    const std::string arrived = pty.Read(first.size() + second.size(), std::chrono::seconds(10));
    EXPECT_EQ(arrived.size(), first.size() + second.size());
    EXPECT_TRUE(arrived == first + second) << "the bytes arrived changed or out of order";
}

// What the far end sent and nobody read is stale for the next user of the device; what this
// side wrote is not.
TEST(CommPortClose, OnlyTheInputIsDiscarded) {
    CTestPty pty;
    pty.Write("stale");
    char buf[16];
    {
        CCommPort port(pty.SlavePath());
        EXPECT_EQ(port.Read(buf, sizeof buf, false), 0);  // came before the open
        pty.Write("unread");
        WaitQueued(port, 6);
        ASSERT_EQ(port.Write("kept", 4), 4);
    }
    CCommPort next(pty.SlavePath());
    EXPECT_EQ(next.Read(buf, sizeof buf, false), 0);
    EXPECT_EQ(pty.Read(4), "kept");
}

TEST(CommPortLine, FormatsThePseudoTerminalCannotCarryAreRefusedAndUndone) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    ASSERT_TRUE(port.SetBaudRate(57600));
    ASSERT_TRUE(port.SetLineFormat(kParityNone, 8, kTwoStopBits));
    termios before = pty.SlaveTermios();

    EXPECT_FALSE(port.SetLineFormat(kParityEven, 7, kOneStopBit));
    EXPECT_EQ(port.LastError(), DWORD(EINVAL));
    termios after = pty.SlaveTermios();
    EXPECT_EQ(after.c_cflag, before.c_cflag);  // stop bits kept too
    EXPECT_EQ(cfgetospeed(&after), speed_t(B57600));

    EXPECT_FALSE(port.SetBaudRate(0));
    EXPECT_FALSE(port.SetBaudRate(12345));
    after = pty.SlaveTermios();
    EXPECT_EQ(cfgetospeed(&after), speed_t(B57600));
}

TEST(CommPortLine, SavedStateAndTimeoutsComeBackWhole) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    port.SetFlowControl(kFlowXonXoff, 100, 100, kXonChar, kXoffChar);
    CLineConfig saved;
    CCommTimeouts savedTimeouts;
    ASSERT_TRUE(port.GetState(saved));
    ASSERT_TRUE(port.GetTimeouts(savedTimeouts));

    port.SetBaudRate(115200);
    port.SetLineFormat(kParityNone, 8, kTwoStopBits);
    port.SetFlowControl(kFlowDsrDtr | kFlowCtsRts, 5, 6, 1, 2);
    port.SetReadTimeouts(1000, 0, 10000);

    ASSERT_TRUE(port.SetState(saved));
    ASSERT_TRUE(port.SetTimeouts(savedTimeouts));
    CLineConfig now;
    CCommTimeouts nowTimeouts;
    ASSERT_TRUE(port.GetState(now));
    ASSERT_TRUE(port.GetTimeouts(nowTimeouts));
    EXPECT_EQ(now.tio.c_cflag, saved.tio.c_cflag);
    EXPECT_EQ(now.tio.c_iflag, saved.tio.c_iflag);
    EXPECT_EQ(cfgetospeed(&now.tio), cfgetospeed(&saved.tio));
    EXPECT_EQ(now.tio.c_cc[VSTART], kXonChar);
    EXPECT_EQ(now.dsrDtrHandshake, false);
    EXPECT_EQ(now.xonLimit, 100);
    EXPECT_EQ(nowTimeouts.ReadIntervalTimeout, savedTimeouts.ReadIntervalTimeout);
    EXPECT_EQ(nowTimeouts.ReadTotalTimeoutConstant, savedTimeouts.ReadTotalTimeoutConstant);
}

TEST(CommPortLine, BreakAndQueueStatus) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    EXPECT_TRUE(port.SetBreak());
    EXPECT_TRUE(port.ClearBreak());
    EXPECT_TRUE(port.SetQueueSizes(4096, 4096));
    pty.Write("12345");
    WaitQueued(port, 5);
    CComStat st;
    DWORD errors = 99;
    ASSERT_TRUE(port.ClearError(&st, &errors));
    EXPECT_EQ(st.cbInQue, 5u);
    EXPECT_EQ(errors, 0u);
}

}  // namespace
