// tarvoline-cli through a real ser2net in front of the paced simulated board, as a user in a
// lab reaches a board in a rack: LOAD at the download rates (the board judges the rate and
// format of every byte, so a rate change that came late or not at all fails the load), the
// record loader at 57600, the staged start, the terminal, 0xFF bytes both ways, the server
// going away and coming back, a raw TCP port, and failed opens. Break is checked against the
// tests' own server, which records the exact bytes.

#include <pty.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "CliProcess.h"
#include "Rfc2217Recorder.h"
#include "Ser2netServer.h"
#include "simulated_board.h"

namespace {

using namespace std::chrono_literals;

std::string Image(std::size_t size) {
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; ++i) image[i] = char((i * 7 + i / 256) & 0xFF);
    return image;  // every byte value, 0xFF among them
}

// Where the board's memory first differs from what was loaded ("" when it holds all of it).
std::string Mismatch(const vivaz::testing::SimulatedBoard& board, std::uint32_t at,
                     const std::string& image) {
    const std::vector<std::uint8_t> held = board.memory(at, image.size());
    for (std::size_t i = 0; i < image.size(); ++i)
        if (held[i] != std::uint8_t(image[i]))
            return "first difference at offset " + std::to_string(i) + " of " +
                   std::to_string(image.size());
    return "";
}

std::string NotesOf(const vivaz::testing::SimulatedBoard& board) {
    std::string all;
    for (const std::string& note : board.notes()) all += note + "\n";
    return all;
}

// The user's terminal for `term`: the test types on the master.
class CUserTerminal {
public:
    CUserTerminal() {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~CUserTerminal() {
        ::close(master);
        ::close(slave);
    }
    void Type(const std::string& keys) {
        ASSERT_EQ(::write(master, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    bool ReadUntil(const std::string& text, std::chrono::milliseconds limit = 10s) {
        return PollFor(
            [&] {
                char buf[4096];
                ssize_t n;
                while ((n = ::read(master, buf, sizeof buf)) > 0) shown.append(buf, size_t(n));
                return shown.find(text, from) != std::string::npos;
            },
            limit);
    }
    // Later looks start after what has been shown so far.
    void Mark() { from = shown.size(); }
    std::function<void()> Controlling() {
        const int s = slave;
        return [s] {
            ::setsid();
            ::ioctl(s, TIOCSCTTY, 0);
        };
    }
    int master = -1, slave = -1;
    std::string shown;
    std::size_t from = 0;
};

vivaz::BoardOptions Paced(std::string programOutput = {}) {
    vivaz::BoardOptions o;
    o.pace = true;
    o.programOutput = std::move(programOutput);
    return o;
}

class Ser2net : public ::testing::Test {
protected:
    explicit Ser2net(vivaz::BoardOptions o = Paced(), Ser2netOptions s = {})
        : board(std::make_unique<vivaz::testing::SimulatedBoard>(o)),
          server(board->devicePath(), s) {}

    // One process object per test: each new one would empty the test's directory.
    int Run(std::vector<std::string> arguments) {
        cli.Start(arguments);
        return cli.Wait(120s);
    }
    void ExpectNoRefusedBytes() {
        for (const std::string& note : board->notes())
            EXPECT_EQ(note.find("refused"), std::string::npos) << note;
    }

    std::unique_ptr<vivaz::testing::SimulatedBoard> board;
    CSer2netServer server;
    CCliProcess cli;
};

TEST_F(Ser2net, LoadsSeveralBlocksAtEachDownloadRate) {
    for (const char* rate : {"115200", "230400"}) {
        SCOPED_TRACE(rate);
        const std::string image = Image(5000);  // five blocks
        const std::string path = cli.Write("prog.RUN", LoadFileOf(0x8000, image));
        ASSERT_EQ(Run({"load", "--port", server.Url(), "--download-baud", rate, path}), 0)
            << cli.Err();
        EXPECT_EQ(Mismatch(*board, 0x8000, image), "") << NotesOf(*board);
        EXPECT_TRUE(board->waitForNote("program started at 00008000"));
        ExpectNoRefusedBytes();
        board->clearTranscript();
    }
}

TEST_F(Ser2net, TheStagedStartAndAHexLoadTakeTheRecordLoadersRate) {
    // A long header, low in memory: LOAD to the staging area, then records at 57600.
    const std::string image = Image(0x300);
    std::string file(36, '\0');
    file[0] = 0x60;
    file[1] = 0x1B;
    file[4] = 0x03;               // text 0x300
    file[22 + 2] = 0x10;          // text start 0x1000
    const std::string staged = cli.Write("staged.RUN", file + image);
    ASSERT_EQ(Run({"load", "--port", server.Url(), staged}), 0) << cli.Err();
    ASSERT_TRUE(board->waitForNote("program started at 00001000")) << NotesOf(*board);
    EXPECT_EQ(Mismatch(*board, 0x1000, image), "") << NotesOf(*board);

    // S1 records of 16 bytes at 0x3000.
    std::string hex;
    const std::string data = Image(64);
    for (int at = 0; at < 64; at += 16) {
        char line[64];
        unsigned sum = 0x13 + ((0x3000 + at) >> 8) + ((0x3000 + at) & 0xFF);
        std::snprintf(line, sizeof line, "S113%04X", 0x3000 + at);
        hex += line;
        for (int i = 0; i < 16; ++i) {
            const unsigned b = std::uint8_t(data[at + i]);
            sum += b;
            std::snprintf(line, sizeof line, "%02X", b);
            hex += line;
        }
        std::snprintf(line, sizeof line, "%02X\r\n", ~sum & 0xFF);
        hex += line;
    }
    hex += "S9030000FC\r\n";
    const std::string hexPath = cli.Write("data.HEX", hex);
    ASSERT_EQ(Run({"loadhex", "--port", server.Url(), hexPath}), 0) << cli.Err();
    EXPECT_EQ(Mismatch(*board, 0x3000, data), "") << NotesOf(*board);
    ExpectNoRefusedBytes();
}

class Ser2netTerm : public Ser2net {
protected:
    Ser2netTerm() : Ser2net(Paced("ff:\xFF:")) {}
};

TEST_F(Ser2netTerm, ATerminalSessionCarries0xFFBothWaysAndOutlivesTheServersRestart) {
    CSer2netServer& again = server;
    CUserTerminal user;
    CCliProcess& term = cli;
    term.Start({"term", "--port", again.Url()}, user.slave, user.slave, user.slave, user.Controlling());
    ASSERT_TRUE(user.ReadUntil("Ctrl-] q quit")) << user.shown;

    user.Type("G 1000\r");
    ASSERT_TRUE(user.ReadUntil("Program returned to the monitor")) << user.shown;
    // The board's one byte 0xFF, shown as the terminal shows it (U+00FF in UTF-8): neither
    // lost nor doubled on the way.
    EXPECT_NE(user.shown.find("ff:\xC3\xBF:"), std::string::npos) << user.shown;
    user.Type(std::string("\xFF", 1));  // a typed 0xFF reaches the board as one byte
    ASSERT_TRUE(PollFor([&] { return board->received().find('\xFF') != std::string::npos; }, 5s));
    EXPECT_EQ(board->received().find("\xFF\xFF"), std::string::npos);
    user.Type("\x08");

    // The server goes away and comes back: the session reconnects by itself.
    user.Mark();
    again.Stop();
    ASSERT_TRUE(user.ReadUntil("went away")) << user.shown;
    user.Mark();
    again.Start();
    ASSERT_TRUE(user.ReadUntil("--- reconnected", 30s)) << user.shown;
    user.Mark();
    user.Type("help\r");
    ASSERT_TRUE(user.ReadUntil("dump memory (hex)")) << user.shown;
    user.Type("\x1dq");
    EXPECT_EQ(term.Wait(10s), 0);

    // And a load then goes through the server that came back.
    const std::string image = Image(3000);
    const std::string path = term.Write("after.RUN", LoadFileOf(0x9000, image));
    ASSERT_EQ(Run({"load", "--port", again.Url(), path}), 0) << cli.Err();
    EXPECT_EQ(Mismatch(*board, 0x9000, image), "") << NotesOf(*board);
}

TEST_F(Ser2net, FailedOpensGiveOneClearMessage) {
    const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(CSer2netServer::FreePort());
    const std::string path = cli.Write("p.RUN", LoadFileOf(0x8000, Image(10)));
    EXPECT_EQ(Run({"load", "--port", nobody, path}), 1);
    EXPECT_EQ(cli.Err(), "Cannot open " + nobody + ": Connection refused\n");
    EXPECT_EQ(Run({"load", "--port", "rfc2217://no-such-host.invalid:7416", path}), 1);
    EXPECT_EQ(cli.Err().rfind("Cannot open rfc2217://no-such-host.invalid:7416: Unknown host (", 0), 0u)
        << cli.Err();
    const std::string err = cli.Err();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

class Ser2netRaw : public Ser2net {
protected:
    Ser2netRaw() : Ser2net(Paced(), Ser2netOptions{false, false}) {}
};

TEST_F(Ser2netRaw, TerminalTrafficWorksAndALoadAtAnotherRateFailsAtOnce) {
    CUserTerminal user;
    CCliProcess& term = cli;
    term.Start({"term", "--port", server.Url()}, user.slave, user.slave, user.slave, user.Controlling());
    ASSERT_TRUE(user.ReadUntil("Ctrl-] q quit")) << user.shown;
    user.Type("help\r");
    ASSERT_TRUE(user.ReadUntil("dump memory (hex)")) << user.shown;
    user.Type("\x1dq");
    ASSERT_EQ(term.Wait(10s), 0);
    board->clearTranscript();

    const std::string path = cli.Write("p.RUN", LoadFileOf(0x8000, Image(100)));
    EXPECT_EQ(Run({"load", "--port", server.Url(), "--download-baud", "115200", path}), 1);
    EXPECT_NE(cli.Err().find("The LOAD needs the line at 115200 baud, but " + server.Url() +
                              " is a raw TCP port"),
              std::string::npos)
        << cli.Err();
    EXPECT_EQ(board->received(), "");  // nothing was sent
}

TEST(Rfc2217Break, SendBreakIsControlOnThenOffASecondLater) {
    CRfc2217Recorder server;  // like ser2net on a device without modem lines: no control answers
    CUserTerminal user;
    CCliProcess term;
    term.Start({"term", "--port", server.Url()}, user.slave, user.slave, user.slave, user.Controlling());
    ASSERT_TRUE(user.ReadUntil("Ctrl-] q quit")) << user.shown;
    user.Type("\x1d" "b");
    const std::string on = "\xFF\xFA\x2C\x05\x05\xFF\xF0", off = "\xFF\xFA\x2C\x05\x06\xFF\xF0";
    ASSERT_TRUE(server.WaitForReceived(on + off, 10s)) << ::testing::PrintToString(server.Received());
    const auto held = server.WhenReceived(on + off) - server.WhenReceived(on);
    EXPECT_GE(held, 950ms);
    user.Type("\x1dq");
    EXPECT_EQ(term.Wait(10s), 0);
}

}  // namespace
