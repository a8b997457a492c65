// The delaying relay: a host on its device, a test pseudo-terminal or the simulated board on
// the far side. The only timed assertions are lower bounds: nothing arrives before its delay.
#include "DelayRelay.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "Pty.h"
#include "host_line.h"
#include "simulated_board.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vivaz::test::HostLine;

namespace {

// Reads what the host's side gets until `count` bytes came or `limit` passed.
std::string ReadCount(HostLine& host, std::size_t count, std::chrono::milliseconds limit) {
    std::string got;
    const auto end = Clock::now() + limit;
    while (got.size() < count && Clock::now() < end) {
        got += host.readNow();
        std::this_thread::sleep_for(2ms);
    }
    return got;
}

std::string Pattern(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xFF);
    return s;
}

// Waits until the far end's device has `speed` (and CSTOPB as `twoStops`), within `limit`.
bool WaitForSetting(const CTestPty& far, speed_t speed, bool twoStops,
                    std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    for (;;) {
        const termios t = far.SlaveTermios();
        if (cfgetospeed(&t) == speed && ((t.c_cflag & CSTOPB) != 0) == twoStops)
            return true;
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
}

}  // namespace

TEST(DelayRelay, BytesBothWaysArriveCompleteInOrderAndNotBeforeTheirDelay) {
    CTestPty far;
    SDelayRelayOptions options;
    options.oneWay = 100ms;
    CDelayRelay relay(far.SlavePath(), options);
    relay.Start();
    HostLine host(relay.DevicePath());

    // Host to device, in three pieces with gaps, larger than a pseudo-terminal's buffer.
    const std::string toDevice = Pattern(20000, 1);
    const auto sentAt = Clock::now();
    host.write(toDevice.substr(0, 5000));
    std::this_thread::sleep_for(30ms);
    host.write(toDevice.substr(5000, 10000));
    std::this_thread::sleep_for(30ms);
    host.write(toDevice.substr(15000));
    const std::string first = far.Read(1, 5s);
    const auto firstAt = Clock::now();
    const std::string rest = far.Read(toDevice.size() - 1, 10s);
    EXPECT_GE(firstAt - sentAt, 100ms);
    EXPECT_TRUE(first + rest == toDevice) << "got " << first.size() + rest.size() << " bytes";

    // Device to host.
    const std::string toHost = Pattern(20000, 2);
    const auto farSentAt = Clock::now();
    far.Write(toHost.substr(0, 7000));
    std::this_thread::sleep_for(20ms);
    far.Write(toHost.substr(7000));
    std::string got = ReadCount(host, 1, 5s);
    ASSERT_FALSE(got.empty());
    EXPECT_GE(Clock::now() - farSentAt, 100ms);
    got += ReadCount(host, toHost.size() - got.size(), 10s);
    EXPECT_TRUE(got == toHost) << "got " << got.size() << " bytes";

    EXPECT_EQ(relay.BytesToDevice(), toDevice.size());
    EXPECT_EQ(relay.BytesToHost(), toHost.size());
    EXPECT_EQ(relay.Error(), "");
    relay.Stop();
}

TEST(DelayRelay, TheHostsLineChangesReachTheDeviceBeforeTheBytesSentAfterThem) {
    CTestPty far;
    SDelayRelayOptions options;
    options.oneWay = 50ms;
    CDelayRelay relay(far.SlavePath(), options);
    relay.Start();
    HostLine host(relay.DevicePath());

    // Each step is made once the previous one has reached the far end, so the setting the far
    // device has when a byte arrives can only be the one sent before it.
    host.setLine(9600, 1);
    host.write("a");
    ASSERT_EQ(far.Read(1, 5s), "a");
    EXPECT_TRUE(WaitForSetting(far, B9600, false, 0ms)) << "a came without its setting";
    host.setLine(115200, 2);
    host.write("b");
    ASSERT_EQ(far.Read(1, 5s), "b");
    EXPECT_TRUE(WaitForSetting(far, B115200, true, 0ms)) << "b came before its setting";
    host.setLine(57600, 1);  // a change without bytes
    EXPECT_TRUE(WaitForSetting(far, B57600, false, 5s)) << "a change without bytes never came";
}

TEST(DelayRelay, AHostThatClosesLeavesItsUnreadBytesToASlowReaderWithTheirSettings) {
    CTestPty far;
    SDelayRelayOptions options;
    options.oneWay = 10ms;
    options.readPause = 100ms;
    options.readChunk = 8;
    CDelayRelay relay(far.SlavePath(), options);
    relay.Start();

    const std::string bytes = Pattern(48, 3);
    const auto sentAt = Clock::now();
    {
        HostLine host(relay.DevicePath());
        host.write(bytes);
        std::this_thread::sleep_for(20ms);
        host.setLine(115200, 2);
        std::this_thread::sleep_for(20ms);
        host.write("Z");
    }  // closed at once, with most of its bytes still unread by the relay
    const std::string got = far.Read(bytes.size(), 10s);
    EXPECT_TRUE(got == bytes) << "got " << got.size() << " bytes";
    // 48 bytes taken 8 at a time, 100 ms apart; the Z only comes with the next read.
    EXPECT_GE(Clock::now() - sentAt, 5 * 100ms);
    EXPECT_TRUE(WaitForSetting(far, B9600, false, 0ms))
        << "bytes written at 9600 came at another setting";
    EXPECT_EQ(far.Read(1, 5s), "Z");
    EXPECT_TRUE(WaitForSetting(far, B115200, true, 0ms)) << "the Z came before its setting";
}

TEST(DelayRelay, WithTheSimulatedBoardAt100MsEachWay) {
    auto board = std::make_unique<vivaz::testing::SimulatedBoard>();
    SDelayRelayOptions options;
    options.oneWay = 100ms;
    CDelayRelay relay(board->devicePath(), options);
    relay.Start();
    HostLine host(relay.DevicePath());

    // The banner waited in the board's device; the relay took it and passes it on.
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got, 5s)) << got;
    got.clear();
    const auto sentAt = Clock::now();
    host.write("\r");
    ASSERT_TRUE(host.readUntil("> ", got, 5s)) << got;
    EXPECT_GE(Clock::now() - sentAt, 200ms);

    // A byte at the wrong speed is refused by the board, the CR after the speed is put back is
    // taken: each byte reached the board with the setting it was sent with.
    host.setLine(19200, 1);
    host.write("x");
    // The board judges a byte by its line setting when it reads it, and on a busy machine that
    // may be long after the relay delivered it: the setting goes back only once it has.
    EXPECT_TRUE(board->waitForNote("refused 1 byte(s) sent at 19200", 5s));
    host.setLine(9600, 1);
    host.write("\r");
    got.clear();
    ASSERT_TRUE(host.readUntil("> ", got, 5s)) << got;
    EXPECT_EQ(got.find('x'), std::string::npos) << got;

    // The board goes away: the relay says so and the host's line hangs up.
    board.reset();
    const auto end = Clock::now() + 5s;
    while (!relay.Ended() && Clock::now() < end)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(relay.Ended());
    EXPECT_NE(relay.Error().find("went away"), std::string::npos) << relay.Error();
    const int fd = ::open(relay.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        char c;
        EXPECT_LE(::read(fd, &c, 1), 0);
        ::close(fd);
    }
}
