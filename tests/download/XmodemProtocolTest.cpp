// XMODEM byte by byte: the test plays the other side on the pseudo-terminal's master and
// checks every answer, for the cases a well-behaved peer never shows (a repeated block, a bad
// check, a block out of sequence, a cancel at a chosen moment); and the document's commands
// with their messages.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <thread>

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "BoardFixture.h"
#include "Pty.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "document/UiCallQueue.h"
#include "download/Xmodem.h"
#include "download/XmodemCommands.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kAck = "\x06", kNak = "\x15", kEot = "\x04", kCanCan = "\x18\x18";

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Bytes(size_t size, char first) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(first + i * 7);
    return s;
}

// A block as a sender puts it on the line; data shorter than the block is padded with SUB.
std::string Packet(int number, std::string data, bool crc, size_t size = 128) {
    data.resize(size, '\x1A');
    std::string p;
    p += size == 1024 ? '\x02' : '\x01';
    p += static_cast<char>(number);
    p += static_cast<char>(~number);
    p += data;
    const auto* body = reinterpret_cast<const std::uint8_t*>(data.data());
    if (crc) {
        std::uint16_t c = XmodemCrc16(body, size);
        p += static_cast<char>(c >> 8);
        p += static_cast<char>(c & 0xFF);
    } else {
        p += static_cast<char>(XmodemChecksum(body, size));
    }
    return p;
}

// A lower file-size limit for this process while it lives: writes past it fail with EFBIG
// (SIGXFSZ ignored meanwhile), as on a full disk, whoever runs the test.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes) : m_bytes(bytes) {}
    ~CFileSizeLimit() { Restore(); }
    bool Set() {
        if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0 ||
            (m_saved.rlim_max != RLIM_INFINITY && m_saved.rlim_max < m_bytes))
            return false;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = m_saved;
        small.rlim_cur = m_bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
        return m_set;
    }
    void Restore() {
        if (!m_set)
            return;
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
        m_set = false;
    }

private:
    rlim_t m_bytes;
    struct rlimit m_saved {};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_set = false;
};

TEST(XmodemChecks, CrcAndChecksumOfKnownData) {
    const std::string text = "123456789";
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    EXPECT_EQ(XmodemCrc16(p, text.size()), 0x31C3);
    EXPECT_EQ(XmodemChecksum(p, text.size()), static_cast<std::uint8_t>(0x1DD));
    const std::uint8_t padded[] = {'a', 0x1A, 'b', 0x1A, 0x1A};
    EXPECT_EQ(XmodemLengthWithoutPadding(padded, 5), 3u);
    EXPECT_EQ(XmodemLengthWithoutPadding(padded + 3, 2), 0u);
}

class XmodemScripted : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = ::testing::TempDir() + "/xmodem-scripted-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        port = std::make_unique<CCommPort>(pty.SlavePath());
        ASSERT_TRUE(port->IsOpen());
        port->SetLineFormat(kParityNone, 8, kOneStopBit);
        port->SetFlowControl(0, 100, 100, kXonChar, kXoffChar);
        ctx = std::make_unique<CTransferContext>(CTransferContext{*port, settings, ui});
        timings.requestIntervalMs = 300;
        timings.receiveStartTimeoutMs = 3000;
        timings.startTimeoutMs = 3000;
        timings.replyTimeoutMs = 1000;
        timings.blockTimeoutMs = 1000;
        timings.byteTimeoutMs = 200;
    }

    std::future<XmodemOutcome> Receive() {
        return std::async(std::launch::async,
                          [this] { return XmodemReceive(*ctx, dir + "/got.bin", timings); });
    }
    std::future<XmodemOutcome> Send(const std::string& content) {
        std::ofstream(dir + "/source.bin", std::ios::binary) << content;
        return std::async(std::launch::async,
                          [this] { return XmodemSend(*ctx, dir + "/source.bin", timings); });
    }
    std::string Got() { return Slurp(dir + "/got.bin"); }
    // The end as senders give it: the first EOT is answered NAK, the repeated one ACK.
    void EndWithConfirmedEot() {
        pty.Write(kEot);
        EXPECT_EQ(pty.Read(1), kNak);
        pty.Write(kEot);
        EXPECT_EQ(pty.Read(1), kAck);
    }
    bool Received() { return fs::exists(dir + "/got.bin"); }
    size_t FilesInFolder() {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
    }

    std::string dir;
    CTestPty pty;
    std::unique_ptr<CCommPort> port;
    CPortSettings settings;
    CTransferUi ui;
    std::unique_ptr<CTransferContext> ctx;
    XmodemTimings timings;
};

// ---- receiving --------------------------------------------------------------------------

TEST_F(XmodemScripted, ARepeatedBlockIsAcknowledgedAndKeptOnce) {
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    const std::string one = Bytes(128, 'a'), two = Bytes(40, 'b');
    pty.Write(Packet(1, one, true));
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(Packet(1, one, true));  // as if our ACK had been lost
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(Packet(2, two, true));
    EXPECT_EQ(pty.Read(1), kAck);
    EndWithConfirmedEot();
    XmodemOutcome outcome = result.get();
    EXPECT_TRUE(outcome.Ok()) << outcome.detail;
    EXPECT_EQ(outcome.blocks, 2);
    EXPECT_EQ(Got(), one + two);
}

TEST_F(XmodemScripted, ABlockWithABadCheckOrCutShortIsAskedForAgain) {
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    std::string bad = Packet(1, Bytes(128, 'c'), true);
    bad[60] ^= 0x01;
    pty.Write(bad);
    EXPECT_EQ(pty.Read(1), kNak);
    pty.Write(Packet(1, Bytes(128, 'c'), true).substr(0, 70));  // then the line goes quiet
    EXPECT_EQ(pty.Read(1), kNak);
    std::string badComplement = Packet(1, Bytes(128, 'c'), true);
    badComplement[2] = 0x00;
    pty.Write(badComplement);
    EXPECT_EQ(pty.Read(1), kNak);
    pty.Write(Packet(1, Bytes(128, 'c'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    EndWithConfirmedEot();
    EXPECT_TRUE(result.get().Ok());
    EXPECT_EQ(Got(), Bytes(128, 'c'));
}

TEST_F(XmodemScripted, ABlockOutOfSequenceCancelsAndKeepsNoFile) {
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    pty.Write(Packet(1, Bytes(128, 'd'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(Packet(3, Bytes(128, 'e'), true));
    EXPECT_EQ(pty.Read(2), kCanCan);
    EXPECT_EQ(result.get().result, XmodemResult::OutOfSequence);
    EXPECT_FALSE(Received());
    EXPECT_EQ(FilesInFolder(), 0u);  // no temporary file left behind
}

TEST_F(XmodemScripted, LargeBlocksAreAccepted) {
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    pty.Write(Packet(1, Bytes(1024, 'f'), true, 1024));
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(Packet(2, Bytes(10, 'g'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    EndWithConfirmedEot();
    EXPECT_TRUE(result.get().Ok());
    EXPECT_EQ(Got(), Bytes(1024, 'f') + Bytes(10, 'g'));
}

TEST_F(XmodemScripted, ASenderDeafToCrcGetsTheChecksumAskedFor) {
    timings.crcRequests = 2;
    auto result = Receive();
    EXPECT_EQ(pty.Read(3, 2000ms), "CC" + kNak);
    pty.Write(Packet(1, Bytes(100, 'h'), false));
    EXPECT_EQ(pty.Read(1), kAck);
    EndWithConfirmedEot();
    XmodemOutcome outcome = result.get();
    EXPECT_TRUE(outcome.Ok());
    EXPECT_FALSE(outcome.crc);
    EXPECT_EQ(Got(), Bytes(100, 'h'));
}

TEST_F(XmodemScripted, TheSenderCancellingEndsTheReceive) {
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    pty.Write(Packet(1, Bytes(128, 'i'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(kCanCan);
    XmodemOutcome outcome = result.get();
    EXPECT_EQ(outcome.result, XmodemResult::CancelledByPeer);
    EXPECT_EQ(pty.Read(1, 200ms), "");  // no answer to a cancel
    EXPECT_FALSE(Received());
}

TEST_F(XmodemScripted, ASenderThatFallsSilentIsAskedAgainThenCancelled) {
    timings.blockTimeoutMs = 100;
    timings.maxRetries = 3;
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    pty.Write(Packet(1, Bytes(128, 'j'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    // Three tries in all: two more asked for with NAK, then the cancel.
    EXPECT_EQ(pty.Read(4, 5000ms), kNak + kNak + kCanCan);
    EXPECT_EQ(result.get().result, XmodemResult::TooManyErrors);
    EXPECT_FALSE(Received());
}

// A receive that does not complete leaves the file already at the target's name byte for byte
// as it was, and nothing beside it; one that completes replaces a link there, not its target.
TEST_F(XmodemScripted, AReceiveCancelledHalfWayKeepsTheExistingTarget) {
    const std::string old = "the old file\x00\xff\x1a";
    std::ofstream(dir + "/got.bin", std::ios::binary) << old;
    ui.cancelAfterSteps = 2;
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    pty.Write(Packet(1, Bytes(128, 'r'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(Packet(2, Bytes(128, 's'), true));
    EXPECT_EQ(pty.Read(3), kAck + kCanCan);  // the block is answered, then the cancel
    EXPECT_EQ(result.get().result, XmodemResult::CancelledByUser);
    EXPECT_EQ(Got(), old);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(XmodemScripted, AReceiveThatFailsKeepsTheExistingTarget) {
    std::ofstream(dir + "/got.bin", std::ios::binary) << "twelve bytes";
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    pty.Write(Packet(1, Bytes(128, 't'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(Packet(5, Bytes(128, 'u'), true));
    EXPECT_EQ(pty.Read(2), kCanCan);
    EXPECT_EQ(result.get().result, XmodemResult::OutOfSequence);
    EXPECT_EQ(Got(), "twelve bytes");
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(XmodemScripted, AWriteThatFailsEndsTheReceiveAndKeepsTheExistingTarget) {
    // A file-size limit makes the kernel refuse the writes past it, as a full disk would,
    // whoever runs the test. Blocks are held back one, so the third block writes the second.
    std::ofstream(dir + "/got.bin", std::ios::binary) << "twelve bytes";
    CFileSizeLimit limit(200);
    if (!limit.Set())
        GTEST_SKIP() << "the file-size limit cannot be set to 200 bytes";
    auto result = Receive();
    EXPECT_EQ(pty.Read(1), "C");
    pty.Write(Packet(1, Bytes(128, 'v'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(Packet(2, Bytes(128, 'w'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    pty.Write(Packet(3, Bytes(128, 'x'), true));
    EXPECT_EQ(pty.Read(2), kCanCan);
    const XmodemOutcome outcome = result.get();
    limit.Restore();
    EXPECT_EQ(outcome.result, XmodemResult::WriteFailed);
    EXPECT_EQ(outcome.detail, "Cannot write " + dir + "/got.bin: File too large");
    EXPECT_EQ(Got(), "twelve bytes");
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(XmodemScripted, ALinkAtTheTargetIsReplacedAndWhereItPointsIsUntouched) {
    fs::create_directory(dir + "/home");
    std::ofstream(dir + "/home/.profile", std::ios::binary) << "export PATH=/usr/bin\n";
    fs::create_symlink("home/.profile", dir + "/got.bin");
    auto result = Receive();
    ASSERT_EQ(pty.Read(1), "C");
    pty.Write(Packet(1, Bytes(50, 'y'), true));
    EXPECT_EQ(pty.Read(1), kAck);
    EndWithConfirmedEot();
    ASSERT_TRUE(result.get().Ok());
    EXPECT_EQ(Slurp(dir + "/home/.profile"), "export PATH=/usr/bin\n");
    EXPECT_FALSE(fs::is_symlink(dir + "/got.bin"));
    EXPECT_EQ(Got(), Bytes(50, 'y'));
}

// ---- sending ----------------------------------------------------------------------------

TEST_F(XmodemScripted, ANakedBlockAndANakedEotAreSentAgain) {
    const std::string content = Bytes(200, 'k');
    auto result = Send(content);
    pty.Write(kNak);  // the checksum
    const std::string one = Packet(1, content.substr(0, 128), false);
    EXPECT_EQ(pty.Read(132), one);
    pty.Write(kNak);
    EXPECT_EQ(pty.Read(132), one);
    pty.Write(kAck);
    EXPECT_EQ(pty.Read(132), Packet(2, content.substr(128), false));
    pty.Write(kAck);
    EXPECT_EQ(pty.Read(1), kEot);
    pty.Write(kNak);
    EXPECT_EQ(pty.Read(1), kEot);
    pty.Write(kAck);
    XmodemOutcome outcome = result.get();
    EXPECT_TRUE(outcome.Ok()) << outcome.detail;
    EXPECT_FALSE(outcome.crc);
    EXPECT_EQ(outcome.blocks, 2);
    EXPECT_EQ(outcome.bytes, 200);
}

TEST_F(XmodemScripted, NoiseAndRepeatedRequestsBeforeTheStartAreSkipped) {
    pty.Write("xyzCCC");  // queued before the sender looks
    const std::string content = Bytes(20, 'l');
    auto result = Send(content);
    EXPECT_EQ(pty.Read(133), Packet(1, content, true));
    pty.Write(kAck);
    EXPECT_EQ(pty.Read(1), kEot);
    pty.Write(kAck);
    XmodemOutcome outcome = result.get();
    EXPECT_TRUE(outcome.Ok());
    EXPECT_TRUE(outcome.crc);
    EXPECT_EQ(pty.Read(1, 200ms), "");
}

TEST_F(XmodemScripted, TheReceiverCancellingEndsTheSend) {
    auto result = Send(Bytes(1000, 'm'));
    pty.Write("C");
    EXPECT_EQ(pty.Read(133).size(), 133u);
    pty.Write(kCanCan);
    EXPECT_EQ(result.get().result, XmodemResult::CancelledByPeer);
    EXPECT_EQ(pty.Read(1, 200ms), "");
}

TEST_F(XmodemScripted, AReceiverThatNeverAcknowledgesGetsTenTriesThenCancel) {
    timings.replyTimeoutMs = 50;
    auto result = Send(Bytes(300, 'n'));
    pty.Write("C");
    const std::string block = Packet(1, Bytes(128, 'n'), true);
    std::string expected;
    for (int i = 0; i < 10; ++i)
        expected += block;
    EXPECT_EQ(pty.Read(expected.size(), 5000ms), expected);
    EXPECT_EQ(pty.Read(2), kCanCan);
    XmodemOutcome outcome = result.get();
    EXPECT_EQ(outcome.result, XmodemResult::TooManyErrors);
    EXPECT_EQ(outcome.blocks, 0);
}

TEST_F(XmodemScripted, NoiseFromAReceiverThatNeverAnswersDoesNotHoldTheSend) {
    // Each block waits its reply time however much noise comes, and without any valid answer
    // for the answer time the send is given up.
    timings.replyTimeoutMs = 200;
    timings.answerTimeoutMs = 1000;
    auto result = Send(Bytes(300, 'q'));
    pty.Write("C");
    std::atomic<bool> done{false};
    std::thread noise([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < end) {
            pty.Write("x");
            std::this_thread::sleep_for(20ms);
        }
    });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(8)), std::future_status::ready);
    done = true;
    noise.join();
    XmodemOutcome outcome = result.get();
    EXPECT_EQ(outcome.result, XmodemResult::NoAnswer);
    EXPECT_EQ(outcome.blocks, 0);
}

TEST_F(XmodemScripted, ALoneEotAmongNoiseIsNotTheEndAndTheTargetIsKept) {
    std::ofstream(dir + "/got.bin", std::ios::binary) << "twelve bytes";
    timings.blockTimeoutMs = 100;
    timings.maxRetries = 3;
    auto result = Receive();
    EXPECT_EQ(pty.Read(1), "C");
    pty.Write("\r\nM8> \x04");  // a prompt and a stray 0x04, no sender
    XmodemOutcome outcome = result.get();
    EXPECT_FALSE(outcome.Ok());
    EXPECT_EQ(Slurp(dir + "/got.bin"), "twelve bytes");
}

TEST_F(XmodemScripted, CancelBeforeTheReceiverStartsSendsCanCan) {
    ui.cancelAfterSteps = 0;
    auto result = Send(Bytes(300, 'o'));
    EXPECT_EQ(pty.Read(2), kCanCan);
    EXPECT_EQ(result.get().result, XmodemResult::CancelledByUser);
}

// ---- the document's commands --------------------------------------------------------------

class XmodemCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = ::testing::TempDir() + "/xmodem-commands-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        store.WriteProfileString("Devices", "COM3", pty.SlavePath());
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        doc->AddView(&view);
        doc->Connect();
        ASSERT_NE(doc->Port(), nullptr);
        ASSERT_TRUE(doc->Port()->HasWatcher());
        timings.receiveStartTimeoutMs = 400;
        timings.requestIntervalMs = 100;
        timings.startTimeoutMs = 400;
    }
    void TearDown() override { doc.reset(); }

    // The other side, on its own thread: answers a sender or starts a receiver with an empty
    // file. Like a real peer it repeats its request until something comes back: one sent
    // before the command has stopped the watcher would end up in the terminal instead.
    std::thread FarEnd(std::string request, std::string expect, std::string answer) {
        return std::thread([this, request, expect, answer] {
            const auto end = std::chrono::steady_clock::now() + 3000ms;
            while (std::chrono::steady_clock::now() < end) {
                pty.Write(request);
                seen = pty.Read(expect.size(), 150ms);
                if (!seen.empty()) break;
            }
            if (seen.size() < expect.size()) seen += pty.Read(expect.size() - seen.size(), 1000ms);
            pty.Write(answer);
        });
    }

    std::string dir;
    CTestPty pty;
    CMemorySettingsStore store;
    CRecordingUi ui;
    CRecordingView view;
    CUiCallQueue calls;
    std::unique_ptr<CTarvolineDoc> doc;
    XmodemTimings timings;
    std::string seen;
};

TEST_F(XmodemCommands, SendReportsSuccessAndRestartsTheWatcher) {
    std::ofstream(dir + "/empty.bin");
    std::thread far = FarEnd("C", kEot, kAck);
    EXPECT_TRUE(RunXmodemSend(*doc, dir + "/empty.bin", timings));
    far.join();
    EXPECT_EQ(seen, kEot);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Send completed successfully");
    EXPECT_EQ(ui.messages[0].title, "Send Okay");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_TRUE(doc->Port()->HasWatcher());
    // The terminal shows what comes next (after any 'C' the receiver sent before the transfer
    // took the line).
    pty.Write("ok>");
    auto shown = [&] {
        const std::string t = view.Text();
        return t.size() >= 3 && t.compare(t.size() - 3, 3, "ok>") == 0;
    };
    auto end = std::chrono::steady_clock::now() + 3s;
    while (!shown() && std::chrono::steady_clock::now() < end)
        calls.WaitAndRun(std::chrono::milliseconds(1));
    EXPECT_TRUE(shown()) << view.Text();
    EXPECT_EQ(view.Text().find_first_not_of('C'), view.Text().size() - 3);
}

TEST_F(XmodemCommands, ReceiveReportsSuccess) {
    std::thread far = std::thread([this] {
        seen = pty.Read(1, 3000ms);
        pty.Write(kEot);  // the end of an empty file, confirmed as senders do
        seen += pty.Read(1, 3000ms);
        pty.Write(kEot);
        seen += pty.Read(1, 3000ms);
    });
    EXPECT_TRUE(RunXmodemReceive(*doc, dir + "/got.bin", timings));
    far.join();
    EXPECT_EQ(seen, "C" + kNak + kAck);
    EXPECT_TRUE(fs::exists(dir + "/got.bin"));
    EXPECT_EQ(fs::file_size(dir + "/got.bin"), 0u);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Receive completed successfully");
    EXPECT_EQ(ui.messages[0].title, "Receive Okay");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_TRUE(doc->Port()->HasWatcher());
}

TEST_F(XmodemCommands, SendFailureExplainsThenReportsTheFailure) {
    EXPECT_FALSE(RunXmodemSend(*doc, dir + "/missing.bin", timings));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text,
              "Cannot open " + dir + "/missing.bin: No such file or directory");
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(ui.messages[1].text, "Error sending file!");
    EXPECT_EQ(ui.messages[1].title, "Send Error");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(doc->Port()->HasWatcher());
}

TEST_F(XmodemCommands, ReceiveFromNobodyReportsTheFailure) {
    EXPECT_FALSE(RunXmodemReceive(*doc, dir + "/got.bin", timings));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text,
              "XMODEM receive of " + dir + "/got.bin: the other side did not start the transfer");
    EXPECT_EQ(ui.messages[1].text, "Error receiving file!");
    EXPECT_EQ(ui.messages[1].title, "Receive Error");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(fs::exists(dir + "/got.bin"));
    EXPECT_TRUE(doc->Port()->HasWatcher());
}

TEST_F(XmodemCommands, WithNoPortNothingRuns) {
    doc->Disconnect();
    const size_t before = ui.messages.size();
    EXPECT_FALSE(RunXmodemSend(*doc, dir + "/missing.bin", timings));
    EXPECT_FALSE(RunXmodemReceive(*doc, dir + "/got.bin", timings));
    EXPECT_EQ(ui.messages.size(), before);
    EXPECT_FALSE(fs::exists(dir + "/got.bin"));
}

}  // namespace
