// The port engine on a network port, against the tests' own RFC 2217 server, which records the
// exact bytes: the negotiation and the line settings sent in band without waiting for their
// answers, IAC doubling both ways, telnet commands that are no input, a refused value told,
// Break, a connection the server closes, and the reasons of failed opens.

#include <gtest/gtest.h>

#include <cerrno>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "Rfc2217Recorder.h"
#include "Ser2netServer.h"
#include "comm/CommPort.h"
#include "comm/CommWatch.h"
#include "comm/SystemError.h"

namespace {

using namespace std::chrono_literals;

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(char(v));
    return s;
}

constexpr int IAC = 255, SB = 250, SE = 240;

std::string ComPort(int command, std::initializer_list<int> value) {
    std::string s = Bytes({IAC, SB, 44, command});
    for (int v : value) s.push_back(char(v));
    return s + Bytes({IAC, SE});
}

// Reads what comes within limit, until `want` bytes have come.
std::string ReadSome(CCommPort& port, std::size_t want, std::chrono::milliseconds limit = 5s) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (got.size() < want && std::chrono::steady_clock::now() < end) {
        if (!port.WaitForInput(50)) continue;
        char buffer[256];
        int n = port.Read(buffer, sizeof buffer, false);
        got.append(buffer, size_t(n));
    }
    return got;
}

TEST(NetworkPort, OpensWithoutAnyAnswerToItsLineCommandsAndSendsThemInOrderWithTheData) {
    Rfc2217RecorderOptions silent;
    silent.acknowledgeControl = false;
    silent.acknowledgeSettings = false;
    CRfc2217Recorder server(silent);
    CCommPort port(server.Url());
    ASSERT_TRUE(port.IsOpen());
    ASSERT_EQ(port.LastError(), 0u) << FormatSystemMessage(port.LastError());
    EXPECT_TRUE(port.IsNetworkPort());
    EXPECT_TRUE(port.CarriesLineSettings());

    ASSERT_TRUE(port.SetBaudRate(115200));
    ASSERT_TRUE(port.SetLineFormat(kParityNone, 8, kTwoStopBits));
    const std::string data = Bytes({'a', 0xFF, 'b', 0xFF, 0xFF});
    ASSERT_EQ(port.Write(data.data(), int(data.size())), int(data.size()));
    ASSERT_TRUE(port.SetBaudRate(9600));

    const std::string opening =
        ComPort(1, {0, 0, 0x25, 0x80}) + ComPort(2, {8}) + ComPort(3, {1}) + ComPort(4, {1}) +
        ComPort(5, {1}) + ComPort(5, {8}) + ComPort(5, {11});  // 9600 8N1, no flow, DTR, RTS
    const std::string after = ComPort(5, {3}) +                // the starting hardware flow
                              ComPort(12, {1}) +                // the input purged
                              ComPort(1, {0, 1, 0xC2, 0}) + ComPort(4, {2}) +
                              Bytes({'a', 0xFF, 0xFF, 'b', 0xFF, 0xFF, 0xFF, 0xFF}) +
                              ComPort(1, {0, 0, 0x25, 0x80});
    ASSERT_TRUE(server.WaitForReceived(after)) << ::testing::PrintToString(server.Received());
    const std::string received = server.Received();
    EXPECT_NE(received.find(opening), std::string::npos);
    EXPECT_LT(received.find(Bytes({IAC, 251, 44})), received.find(opening));
    EXPECT_LT(received.find(opening), received.find(after));
    EXPECT_EQ(port.TakeLineNotice(), "");
}

TEST(NetworkPort, DataArrivesWholeAndTelnetCommandsAloneAreNoInput) {
    CRfc2217Recorder server;
    CCommPort port(server.Url());
    ASSERT_EQ(port.LastError(), 0u) << FormatSystemMessage(port.LastError());
    ASSERT_TRUE(server.WaitForClient());

    // Only a command: nothing is queued, nothing read.
    ASSERT_TRUE(server.Send(Bytes({IAC, 241}) + Bytes({IAC, SB, 44, 106, 0x30, IAC, SE})));
    EXPECT_FALSE(port.WaitForInput(300));
    CComStat status;
    ASSERT_TRUE(port.ClearError(&status, nullptr));
    EXPECT_EQ(status.cbInQue, 0u);

    // Data with doubled IACs, and a command cut across two sends.
    ASSERT_TRUE(server.Send(Bytes({'x', IAC, IAC, 'y', IAC, SB, 44})));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(server.Send(Bytes({107, 0x10, IAC, SE, IAC, IAC, 'z'})));
    EXPECT_EQ(ReadSome(port, 5), Bytes({'x', 0xFF, 'y', 0xFF, 'z'}));
}

TEST(NetworkPort, AValueTheServerRefusesIsTold) {
    Rfc2217RecorderOptions slow;
    slow.forcedBaud = 9600;  // the far port cannot go faster
    CRfc2217Recorder server(slow);
    CCommPort port(server.Url());
    ASSERT_EQ(port.LastError(), 0u) << FormatSystemMessage(port.LastError());
    ASSERT_TRUE(port.SetBaudRate(230400));  // sent; the answer comes later
    const auto end = std::chrono::steady_clock::now() + 5s;
    std::string notice;
    while (notice.empty() && std::chrono::steady_clock::now() < end) {
        port.WaitForInput(20);
        notice = port.TakeLineNotice();
    }
    EXPECT_EQ(notice, "the server refused 230400 baud (it answered 9600 baud)");
    EXPECT_EQ(port.TakeLineNotice(), "");  // told once
}

TEST(NetworkPort, BreakIsTheComPortOptionsControlOnAndOff) {
    CRfc2217Recorder server;
    CCommPort port(server.Url());
    ASSERT_EQ(port.LastError(), 0u);
    ASSERT_TRUE(port.SetBreak());
    ASSERT_TRUE(port.ClearBreak());
    EXPECT_TRUE(server.WaitForReceived(ComPort(5, {5}) + ComPort(5, {6})));
}

TEST(NetworkPort, AConnectionTheServerEndsIsADeviceThatWentAway) {
    CRfc2217Recorder server;
    CCommPort port(server.Url());
    ASSERT_EQ(port.LastError(), 0u);
    ASSERT_TRUE(server.WaitForClient());
    ASSERT_TRUE(server.Send("bye"));
    server.DropClient();
    EXPECT_EQ(ReadSome(port, 3), "bye");  // what came before the end is still read
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (port.DeviceLostError() == 0 && std::chrono::steady_clock::now() < end) port.WaitForInput(50);
    EXPECT_EQ(port.DeviceLostError(), DWORD(ECONNRESET));
}

// What the watcher hands on, and the lost device it reports.
class CCollectingTarget : public IReceiveTarget {
public:
    int DeliverReceived(const unsigned char* bytes, int count) override {
        std::lock_guard lock(mutex);
        if (count == 0) ++emptyDeliveries;
        got.append(reinterpret_cast<const char*>(bytes), size_t(count));
        return 0;
    }
    void OnDeviceLost(CCommPort*, DWORD error) override { lost = error; }
    std::string Got() {
        std::lock_guard lock(mutex);
        return got;
    }
    std::mutex mutex;
    std::string got;
    int emptyDeliveries = 0;
    std::atomic<DWORD> lost{0};
};

bool Within(std::chrono::milliseconds limit, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    return done();
}

TEST(NetworkPort, TheWatcherHandsOnDataOnlyStopsAndReportsTheEndOfTheConnection) {
    CRfc2217Recorder server;
    CCommPort port(server.Url());
    ASSERT_EQ(port.LastError(), 0u);
    ASSERT_TRUE(server.WaitForClient());
    CCollectingTarget target;
    CommWatchParam param{&port, &target};
    ASSERT_TRUE(port.StartWatcher(CommWatchProc, &param));
    ASSERT_TRUE(server.Send(Bytes({IAC, 241, 'o', IAC, IAC, IAC, SB, 44, 106, 0, IAC, SE, 'k'})));
    EXPECT_TRUE(Within(5s, [&] { return target.Got() == Bytes({'o', 0xFF, 'k'}); })) << target.Got();
    EXPECT_EQ(port.StopWatcher(), 0u);  // a stop ends the wait at once

    // Another thread takes the data in while the watcher waits: it is still handed on.
    ASSERT_TRUE(port.StartWatcher(CommWatchProc, &param));
    ASSERT_TRUE(server.Send("more"));
    CComStat status;
    EXPECT_TRUE(Within(5s, [&] { return port.ClearError(&status, nullptr) && target.Got().size() >= 7; }));
    EXPECT_TRUE(Within(5s, [&] { return target.Got() == Bytes({'o', 0xFF, 'k'}) + "more"; }))
        << target.Got();

    server.DropClient();
    EXPECT_TRUE(Within(5s, [&] { return target.lost.load() != 0; }));
    EXPECT_EQ(target.lost.load(), DWORD(ECONNRESET));
    port.StopWatcher();
    EXPECT_EQ(target.emptyDeliveries, 0);
}

TEST(NetworkPort, FailedOpensNameTheReason) {
    const int nobody = CSer2netServer::FreePort();
    CCommPort refused("rfc2217://127.0.0.1:" + std::to_string(nobody));
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_EQ(FormatSystemMessage(refused.LastError()), "Connection refused");

    CCommPort unknown("tcp://no-such-host.invalid:7416");
    EXPECT_FALSE(unknown.IsOpen());
    EXPECT_EQ(FormatSystemMessage(unknown.LastError()).rfind("Unknown host (", 0), 0u)
        << FormatSystemMessage(unknown.LastError());

    Rfc2217RecorderOptions plain;
    plain.agreeComPort = false;
    CRfc2217Recorder telnetOnly(plain);
    CCommPort noComPort(telnetOnly.Url());
    EXPECT_FALSE(noComPort.IsOpen());
    EXPECT_EQ(noComPort.LastError(), kErrorComPortRefused);
}

TEST(NetworkPort, ARawPortCarriesBytesAsTheyAreAndNoLineSettings) {
    CRfc2217Recorder server;  // it records; a raw port sends no telnet at all
    CCommPort port("tcp://127.0.0.1:" + std::to_string(server.Port()));
    ASSERT_EQ(port.LastError(), 0u);
    EXPECT_FALSE(port.CarriesLineSettings());
    EXPECT_TRUE(port.SetBaudRate(115200));  // kept here, goes nowhere
    EXPECT_FALSE(port.SetBreak());
    const std::string data = Bytes({'r', 0xFF, 'w'});
    ASSERT_EQ(port.Write(data.data(), 3), 3);
    ASSERT_TRUE(server.WaitForReceived(data));
    EXPECT_EQ(server.Received(), data);
    ASSERT_TRUE(server.Send(Bytes({0xFF, 'q'})));
    EXPECT_EQ(ReadSome(port, 2), Bytes({0xFF, 'q'}));
}

}  // namespace
