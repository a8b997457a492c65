// XMODEM both ways against lrzsz's sx and rx on the far end of a pseudo-terminal, through the
// engine and through tarvoline-cli as a user runs it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "BoardFixture.h"
#include "Pty.h"
#include "download/Xmodem.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Equal bytes, or where they first differ (the bytes themselves are too many to print).
::testing::AssertionResult SameBytes(const std::string& got, const std::string& expected) {
    if (got == expected)
        return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < expected.size() && got[i] == expected[i])
        ++i;
    return ::testing::AssertionFailure() << got.size() << " bytes where " << expected.size()
                                         << " were expected; first difference at offset " << i;
}

// Random content whose last byte is not the padding character, so that it survives the
// receiver's removal of the padding.
std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(random() & 0xFF);
    if (size > 0 && static_cast<std::uint8_t>(bytes.back()) == kXmodemSub)
        bytes.back() = 'x';
    return bytes;
}

// Writes everything to a non-blocking descriptor; false when the other end has gone.
bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

// A program on the far end of the line. Its standard input and output are a socket, which a
// thread joins to the pseudo-terminal's master: given a terminal, lrzsz would set (and on
// leaving, flush) the line's modes through the master, which are our side's modes too. It
// runs in the test's folder (rx takes only names below its working directory) and is killed
// if the test leaves before it ended.
class CPeer {
  public:
    CPeer(int master, const std::vector<std::string>& argv, const std::string& folder,
          const std::string& logPath)
        : m_log(logPath) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(pair[1], STDIN_FILENO);
            ::dup2(pair[1], STDOUT_FILENO);
            int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (log >= 0)
                ::dup2(log, STDERR_FILENO);
            if (::chdir(folder.c_str()) != 0)
                ::_exit(126);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        ::close(pair[1]);
        m_socket = pair[0];
        ::fcntl(m_socket, F_SETFL, ::fcntl(m_socket, F_GETFL) | O_NONBLOCK);
        m_relay = std::thread([this, master] { Relay(master); });
    }
    ~CPeer() {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_stop = true;
        if (m_relay.joinable())
            m_relay.join();
        if (m_socket >= 0)
            ::close(m_socket);
    }
    CPeer(const CPeer&) = delete;
    CPeer& operator=(const CPeer&) = delete;

    // The exit code; -1 when it had to be killed at the limit, -2 when a signal ended it.
    int Wait(std::chrono::milliseconds limit = 10s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_reaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(5ms);
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_reaped = true;
        return -1;
    }
    std::string Log() const { return Slurp(m_log); }

  private:
    void Relay(int master) {
        char buffer[4096];
        while (!m_stop) {
            pollfd p[2] = {{m_socket, POLLIN, 0}, {master, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0)
                continue;
            if (p[0].revents) {
                ssize_t n = ::read(m_socket, buffer, sizeof buffer);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    return;  // it ended
                if (n > 0 && !WriteAll(master, buffer, static_cast<size_t>(n)))
                    return;
            }
            if (p[1].revents & POLLIN) {
                ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0 && !WriteAll(m_socket, buffer, static_cast<size_t>(n)))
                    return;
            }
        }
    }

    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_socket = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_relay;
    std::string m_log;
};

class XmodemPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = ::testing::TempDir() + "/xmodem-" + Name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        port = std::make_unique<CCommPort>(pty.SlavePath());
        ASSERT_TRUE(port->IsOpen());
        port->SetBaudRate(115200);
        port->SetLineFormat(kParityNone, 8, kOneStopBit);
        port->SetFlowControl(0, 100, 100, kXonChar, kXoffChar);
        settings.m_strBaudRate = "115200";
        ctx = std::make_unique<CTransferContext>(CTransferContext{*port, settings, ui});
        timings.startTimeoutMs = 5000;
        timings.receiveStartTimeoutMs = 5000;
        timings.requestIntervalMs = 1000;
    }

    static std::string Name() {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        return name;
    }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    std::unique_ptr<CPeer> Start(const std::vector<std::string>& argv) {
        return std::make_unique<CPeer>(pty.Master(), argv, dir, Path("peer.log"));
    }
    // Files in the folder besides those named: a temporary file left behind.
    std::vector<std::string> Leftovers(std::initializer_list<std::string> expected) const {
        std::vector<std::string> other;
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::string name = entry.path().filename().string();
            if (name != "peer.log" &&
                std::find(expected.begin(), expected.end(), name) == expected.end())
                other.push_back(name);
        }
        return other;
    }
    void ExpectLineRestored() {
        CCommTimeouts t;
        ASSERT_TRUE(port->GetTimeouts(t));
        EXPECT_EQ(t.ReadIntervalTimeout, kMaxDword);
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
    }

    std::string dir;
    CTestPty pty;
    std::unique_ptr<CCommPort> port;
    CPortSettings settings;
    CTransferUi ui;
    std::unique_ptr<CTransferContext> ctx;
    XmodemTimings timings;
};

struct Case {
    size_t size;
    bool crc;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.size << " bytes, " << (c.crc ? "CRC" : "checksum");
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return std::to_string(info.param.size) + (info.param.crc ? "_crc" : "_checksum");
}

class XmodemPeerSizes : public XmodemPeer, public ::testing::WithParamInterface<Case> {};

TEST_P(XmodemPeerSizes, ReceivesWhatSxSends) {
    const Case c = GetParam();
    const std::string content = RandomBytes(c.size, static_cast<unsigned>(c.size) + 7);
    Spit(Path("source.bin"), content);
    timings.crcRequests = c.crc ? 3 : 0;  // 0: ask for the checksum from the start
    auto sx = Start({"sx", "-X", Path("source.bin")});
    XmodemOutcome outcome = XmodemReceive(*ctx, Path("got.bin"), timings);
    EXPECT_EQ(sx->Wait(), 0) << sx->Log();
    ASSERT_TRUE(outcome.Ok()) << outcome.detail << "\n" << sx->Log();
    EXPECT_EQ(outcome.crc, c.crc);
    EXPECT_EQ(outcome.bytes, static_cast<std::int64_t>(c.size));
    EXPECT_TRUE(SameBytes(Slurp(Path("got.bin")), content));
    EXPECT_EQ(Leftovers({"source.bin", "got.bin"}), std::vector<std::string>{});
    ExpectLineRestored();
    ASSERT_EQ(ui.logs.size(), 1u);
    EXPECT_EQ(ui.logs[0]->captions, std::vector<std::string>{"XMODEM File Transfer"});
    EXPECT_EQ(ui.logs[0]->statuses.front(), "Receiving got.bin");
    EXPECT_EQ(ui.logs[0]->steps, static_cast<int>((c.size + 127) / 128));
    EXPECT_TRUE(ui.logs[0]->closed);
}

TEST_P(XmodemPeerSizes, SendsWhatRxReceives) {
    const Case c = GetParam();
    const std::string content = RandomBytes(c.size, static_cast<unsigned>(c.size) + 11);
    Spit(Path("source.bin"), content);
    std::vector<std::string> argv{"rx", "-X"};
    if (c.crc)
        argv.push_back("-c");
    argv.push_back("got.bin");
    auto rx = Start(argv);
    XmodemOutcome outcome = XmodemSend(*ctx, Path("source.bin"), timings);
    EXPECT_EQ(rx->Wait(), 0) << rx->Log();
    ASSERT_TRUE(outcome.Ok()) << outcome.detail << "\n" << rx->Log();
    EXPECT_EQ(outcome.crc, c.crc);
    const size_t blocks = (c.size + 127) / 128;
    EXPECT_EQ(outcome.blocks, static_cast<int>(blocks));
    // rx keeps the padding: whole blocks, the last one filled with SUB.
    const std::string got = Slurp(Path("got.bin"));
    ASSERT_EQ(got.size(), blocks * 128);
    EXPECT_TRUE(SameBytes(got.substr(0, c.size), content));
    EXPECT_EQ(got.substr(c.size), std::string(blocks * 128 - c.size, '\x1A'));
    ExpectLineRestored();
    ASSERT_EQ(ui.logs.size(), 1u);
    EXPECT_EQ(ui.logs[0]->captions, std::vector<std::string>{"XMODEM File Transfer"});
    EXPECT_EQ(ui.logs[0]->statuses,
              std::vector<std::string>{"Sending source.bin, " + std::to_string(c.size) + " bytes"});
    EXPECT_EQ(ui.logs[0]->upper, std::max<int>(1, static_cast<int>(blocks)));
    EXPECT_EQ(ui.logs[0]->steps, static_cast<int>(blocks));
}

INSTANTIATE_TEST_SUITE_P(Sizes, XmodemPeerSizes,
                         ::testing::Values(Case{0, true}, Case{1, true}, Case{128, true},
                                           Case{129, true}, Case{1000, true}, Case{100000, true},
                                           Case{0, false}, Case{1, false}, Case{128, false},
                                           Case{129, false}, Case{1000, false},
                                           Case{100000, false}),
                         CaseName);

TEST_F(XmodemPeer, TrailingSubBytesOfTheLastBlockAreDroppedOthersKept) {
    // 0x1A at the end of the first block stays; at the end of the file it reads as padding.
    std::string content = RandomBytes(300, 3);
    content[127] = '\x1A';
    content += "\x1A\x1A";
    Spit(Path("source.bin"), content);
    auto sx = Start({"sx", "-X", Path("source.bin")});
    XmodemOutcome outcome = XmodemReceive(*ctx, Path("got.bin"), timings);
    EXPECT_EQ(sx->Wait(), 0) << sx->Log();
    ASSERT_TRUE(outcome.Ok()) << outcome.detail;
    EXPECT_TRUE(SameBytes(Slurp(Path("got.bin")), content.substr(0, 300)));
    EXPECT_EQ(outcome.bytes, 300);
}

TEST_F(XmodemPeer, ReplacesAnExistingFileOnlyWhenTheTransferSucceeded) {
    Spit(Path("got.bin"), "old contents");
    Spit(Path("source.bin"), RandomBytes(500, 5));
    auto sx = Start({"sx", "-X", Path("source.bin")});
    ASSERT_TRUE(XmodemReceive(*ctx, Path("got.bin"), timings).Ok());
    EXPECT_EQ(sx->Wait(), 0);
    EXPECT_TRUE(SameBytes(Slurp(Path("got.bin")), Slurp(Path("source.bin"))));
}

TEST_F(XmodemPeer, XonXoffIsOffDuringTheTransferAndBackAfterIt) {
    settings.m_strFlowControl = "Software";
    port->SetFlowControl(kFlowXonXoff, 100, 100, kXonChar, kXoffChar);
    std::string content = RandomBytes(3000, 31);
    for (size_t i = 0; i < content.size(); i += 7)
        content[i] = (i % 2) ? '\x11' : '\x13';
    Spit(Path("source.bin"), content);
    auto isSoftwareFlow = [&] {
        CLineConfig cfg;
        return port->GetState(cfg) && (cfg.tio.c_iflag & IXON) && (cfg.tio.c_iflag & IXOFF);
    };
    ASSERT_TRUE(isSoftwareFlow());

    auto rx = Start({"rx", "-X", "-c", "sent.bin"});
    XmodemOutcome sent = XmodemSend(*ctx, Path("source.bin"), timings);
    EXPECT_EQ(rx->Wait(), 0) << rx->Log();
    EXPECT_TRUE(sent.Ok()) << sent.detail;
    EXPECT_TRUE(SameBytes(Slurp(Path("sent.bin")).substr(0, content.size()), content));
    EXPECT_TRUE(isSoftwareFlow());

    auto sx = Start({"sx", "-X", Path("source.bin")});
    XmodemOutcome received = XmodemReceive(*ctx, Path("got.bin"), timings);
    EXPECT_EQ(sx->Wait(), 0) << sx->Log();
    EXPECT_TRUE(received.Ok()) << received.detail;
    EXPECT_TRUE(SameBytes(Slurp(Path("got.bin")), content));
    EXPECT_TRUE(isSoftwareFlow());
}

TEST_F(XmodemPeer, AReceiverThatNeverAnswersEndsTheSendAfterTheStartTimeout) {
    Spit(Path("source.bin"), RandomBytes(200, 9));
    timings.startTimeoutMs = 1000;
    const auto begin = std::chrono::steady_clock::now();
    XmodemOutcome outcome = XmodemSend(*ctx, Path("source.bin"), timings);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(outcome.result, XmodemResult::NoStart);
    EXPECT_EQ(outcome.detail, "XMODEM send of " + Path("source.bin") +
                                  ": the other side did not start the transfer");
    EXPECT_GE(took, 1000ms);
    EXPECT_LT(took, 5000ms);
    EXPECT_EQ(pty.Read(2, 500ms), "\x18\x18");  // CAN CAN, should it start late
    ExpectLineRestored();
}

TEST_F(XmodemPeer, ASenderThatNeverStartsGetsCrcRequestsThenNaksThenCancel) {
    Spit(Path("got.bin"), "keep me");
    timings.requestIntervalMs = 200;
    timings.receiveStartTimeoutMs = 1100;
    XmodemOutcome outcome = XmodemReceive(*ctx, Path("got.bin"), timings);
    EXPECT_EQ(outcome.result, XmodemResult::NoStart);
    // Three requests for CRC, then NAKs until the time is up (as many as fit), then CAN CAN.
    const std::string asked = pty.Read(100, 300ms);
    ASSERT_GE(asked.size(), 6u) << asked;
    EXPECT_EQ(asked.substr(0, 4), "CCC\x15");
    EXPECT_EQ(asked.substr(asked.size() - 2), "\x18\x18");
    EXPECT_EQ(asked.substr(3, asked.size() - 5), std::string(asked.size() - 5, '\x15'));
    EXPECT_EQ(Slurp(Path("got.bin")), "keep me");
    EXPECT_EQ(Leftovers({"got.bin"}), std::vector<std::string>{});
}

TEST_F(XmodemPeer, CancelWhileSendingTellsRxWithCanCan) {
    Spit(Path("source.bin"), RandomBytes(100000, 13));
    ui.cancelAfterSteps = 5;
    auto rx = Start({"rx", "-X", "-c", "got.bin"});
    XmodemOutcome outcome = XmodemSend(*ctx, Path("source.bin"), timings);
    EXPECT_EQ(outcome.result, XmodemResult::CancelledByUser);
    EXPECT_EQ(outcome.blocks, 5);
    const int rc = rx->Wait();
    EXPECT_NE(rc, 0);
    EXPECT_NE(rx->Log().find("Sender Cancelled"), std::string::npos) << rx->Log();
    ExpectLineRestored();
}

TEST_F(XmodemPeer, CancelWhileReceivingTellsSxAndKeepsNoFile) {
    Spit(Path("source.bin"), RandomBytes(100000, 17));
    ui.cancelAfterSteps = 5;
    auto sx = Start({"sx", "-X", Path("source.bin")});
    XmodemOutcome outcome = XmodemReceive(*ctx, Path("got.bin"), timings);
    EXPECT_EQ(outcome.result, XmodemResult::CancelledByUser);
    EXPECT_NE(sx->Wait(), 0) << sx->Log();
    EXPECT_FALSE(fs::exists(Path("got.bin")));
    EXPECT_EQ(Leftovers({"source.bin"}), std::vector<std::string>{});
}

TEST_F(XmodemPeer, AFileThatCannotBeOpenedIsNotSent) {
    XmodemOutcome outcome = XmodemSend(*ctx, Path("missing.bin"), timings);
    EXPECT_EQ(outcome.result, XmodemResult::CannotOpen);
    EXPECT_EQ(outcome.detail, "Cannot open " + Path("missing.bin") + ": No such file or directory");
    EXPECT_TRUE(ui.logs.empty());
    EXPECT_EQ(pty.Read(1, 100ms), "");
}

TEST_F(XmodemPeer, AFolderThatDoesNotExistReceivesNothing) {
    XmodemOutcome outcome = XmodemReceive(*ctx, Path("nowhere/got.bin"), timings);
    EXPECT_EQ(outcome.result, XmodemResult::CannotCreate);
    EXPECT_EQ(outcome.detail, "Cannot create a file beside " + Path("nowhere/got.bin") +
                                  ": No such file or directory");
    EXPECT_EQ(pty.Read(1, 100ms), "");
}

// ---- tarvoline-cli ------------------------------------------------------------------------

struct RunResult {
    int exitCode;
    std::string out, err;
};

class XmodemCli : public XmodemPeer {
  protected:
    void SetUp() override {
        XmodemPeer::SetUp();
        port.reset();  // the command-line tool opens the line itself
        fs::create_directories(dir + "/config/Hollowbrook Works");
        std::ofstream(dir + "/config/Hollowbrook Works/Tarvoline.conf")
            << "[COM%20Settings]\nCOM%20Port=COM200\nBaud%20Rate=9600\n";
    }
    RunResult Run(const std::string& arguments) {
        std::string command = "XDG_CONFIG_HOME='" + dir + "/config' '" TARVOLINE_CLI "' " +
                              arguments + " >'" + dir + "/out' 2>'" + dir + "/err'";
        int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir + "/out"),
                Slurp(dir + "/err")};
    }
    // A peer that dies early must not hold the test for the minute a user waits.
    std::string PortOption() const { return " --timeout 5 --port " + pty.SlavePath() + " "; }
};

TEST_F(XmodemCli, SendsAFileToRx) {
    const std::string content = RandomBytes(5000, 21);
    Spit(Path("source.bin"), content);
    // rx asks once the tool has opened the line (opening it discards what waits there).
    auto rx = Start({"rx", "--delay-startup", "1", "-X", "-c", "got.bin"});
    RunResult r = Run("xmodem send" + PortOption() + "'" + Path("source.bin") + "'");
    EXPECT_EQ(rx->Wait(), 0) << rx->Log();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "Send completed successfully\n");
    EXPECT_TRUE(SameBytes(Slurp(Path("got.bin")).substr(0, content.size()), content));
}

TEST_F(XmodemCli, ReceivesAFileFromSx) {
    const std::string content = RandomBytes(5000, 23);
    Spit(Path("source.bin"), content);
    auto sx = Start({"sx", "-X", Path("source.bin")});
    RunResult r = Run("xmodem receive" + PortOption() + "--baud 115200 '" + Path("got.bin") + "'");
    EXPECT_EQ(sx->Wait(), 0) << sx->Log();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "Receive completed successfully\n");
    EXPECT_TRUE(SameBytes(Slurp(Path("got.bin")), content));
}

TEST_F(XmodemCli, FailuresExplainThemselvesAndExitOne) {
    RunResult missing = Run("xmodem send" + PortOption() + "'" + Path("none.bin") + "'");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "Cannot open " + Path("none.bin") +
                               ": No such file or directory\nError sending file!\n");

    Spit(Path("source.bin"), "abc");
    RunResult silent =
        Run("xmodem send" + PortOption() + "--timeout 1 " + "'" + Path("source.bin") + "'");
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_NE(silent.err.find("the other side did not start the transfer\nError sending file!\n"),
              std::string::npos)
        << silent.err;

    RunResult noPort = Run("xmodem receive '" + Path("x.bin") + "'");  // stored COM200
    EXPECT_EQ(noPort.exitCode, 1);
    EXPECT_EQ(noPort.err, "Cannot open COM200 (/dev/ttyS199): No such file or directory\n");
}

TEST_F(XmodemCli, BadUsageExitsTwo) {
    EXPECT_EQ(Run("xmodem").exitCode, 2);
    EXPECT_EQ(Run("xmodem push x").exitCode, 2);
    EXPECT_EQ(Run("xmodem send").exitCode, 2);
    EXPECT_EQ(Run("xmodem send --timeout soon x").exitCode, 2);
    EXPECT_EQ(Run("xmodem receive --baud fast x").exitCode, 2);
    EXPECT_EQ(Run("xmodem receive a b").exitCode, 2);
}

}  // namespace
