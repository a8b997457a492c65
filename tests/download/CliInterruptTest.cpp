// Ctrl-C (SIGINT) and SIGTERM stop tarvoline-cli in every wait of a dialogue: it exits 130,
// soon, and the line is back at the user's rate and format (read back from the device).

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "simulated_board.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

class CliInterrupt : public ::testing::Test {
protected:
    explicit CliInterrupt(vivaz::BoardOptions o) : board(o) {
        dir = ::testing::TempDir() + "/cli-int-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir + "/config/Hollowbrook Works");
        std::ofstream(dir + "/config/Hollowbrook Works/Tarvoline.conf")
            << "[COM%20Settings]\nBaud%20Rate=9600\nBaud%20Rate%20Tv%20Download=115200\n";
        // A load file of 3000 bytes for 0x20000.
        std::string file(28, '\0');
        file[0] = 0x60;
        file[1] = 0x1A;
        file[4] = 0x0B;
        file[5] = static_cast<char>(0xB8);
        file[23] = 0x02;
        std::ofstream(dir + "/p.RUN", std::ios::binary) << file << std::string(3000, 'x');
    }
    ~CliInterrupt() override {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }

    void Start(const std::vector<std::string>& arguments) {
        std::vector<std::string> args = {TARVOLINE_CLI};
        args.insert(args.end(), arguments.begin(), arguments.end());
        const std::string config = dir + "/config";
        const std::string out = dir + "/out", err = dir + "/err";
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(o, 1);
            ::dup2(e, 2);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    // Sends the signal and waits (at most 10 s) for the program to end; its exit code, or -1.
    int InterruptAndWait(int signal) {
        ::kill(child, signal);
        const auto end = Clock::now() + std::chrono::seconds(10);
        int status = 0;
        while (Clock::now() < end) {
            pid_t r = ::waitpid(child, &status, WNOHANG);
            if (r == child) {
                child = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
    void ExpectLineRestored() {
        int fd = ::open(board.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        ::close(fd);
        EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
        EXPECT_FALSE(t.c_cflag & CSTOPB);
    }
    std::string Port() const { return board.devicePath(); }

    vivaz::testing::SimulatedBoard board;
    std::string dir;
    pid_t child = -1;
};

vivaz::BoardOptions Faulty(const std::function<void(vivaz::Faults&)>& change) {
    vivaz::BoardOptions o;
    change(o.faults);
    return o;
}

class CliInterruptWaitingBoard : public CliInterrupt {
protected:
    CliInterruptWaitingBoard() : CliInterrupt(Faulty([](auto& f) { f.waitRequests = 30; })) {}
};

TEST_F(CliInterruptWaitingBoard, CtrlCDuringTheMonitorsWaitRequestsEndsTheLoad) {
    Start({"load", "--port", Port(), dir + "/p.RUN"});
    ASSERT_TRUE(board.waitForSent("#", std::chrono::seconds(10)));
    const auto interrupted = Clock::now();
    EXPECT_EQ(InterruptAndWait(SIGINT), 130) << Slurp(dir + "/err");
    EXPECT_EQ(Slurp(dir + "/err"), "Transfer cancelled\n");
    // It ended within the first five-second pause (of 30). The monitor's '+' came right after
    // its '#'s, so the host answered it and closed the LOAD with its end of data: the board is
    // back at its prompt at the console rate instead of waiting at the download rate.
    EXPECT_LT(Clock::now() - interrupted, std::chrono::seconds(5));
    const std::string received = board.received();
    const auto command = received.find("LOAD ");
    ASSERT_NE(command, std::string::npos);
    EXPECT_EQ(received.substr(received.find('\r', command) + 1), std::string("+\0\0", 3));
    ExpectLineRestored();
    // The monitor ended its LOAD at once (the end of data came before the image) and went
    // back to its prompt, not after its own time-out.
    EXPECT_TRUE(board.waitForNote("LOAD error: ", std::chrono::seconds(3)));
}

TEST_F(CliInterruptWaitingBoard, SigtermEndsTheLoadTheSameWay) {
    Start({"load", "--port", Port(), dir + "/p.RUN"});
    ASSERT_TRUE(board.waitForSent("#", std::chrono::seconds(10)));
    EXPECT_EQ(InterruptAndWait(SIGTERM), 130);
    ExpectLineRestored();
}

class CliInterruptChattyBoard : public CliInterrupt {
protected:
    // It keeps printing, and its prompt is a line of its own, which is no prompt to the host:
    // the wake-up never ends by itself.
    CliInterruptChattyBoard()
        : CliInterrupt(Faulty([](auto& f) {
              f.chatterMs = 30;
              f.promptEnd = vivaz::PromptEnd::CrLf;
          })) {}
};

TEST_F(CliInterruptChattyBoard, CtrlCDuringAWakeUpThatNeverGoesQuietEndsIt) {
    Start({"load", "--port", Port(), dir + "/p.RUN"});
    // The wake-up's first bytes have gone out; its drain cannot end on this line.
    ASSERT_TRUE(PollUntil([&] { return board.received().find("\b.\r") != std::string::npos; },
                          std::chrono::seconds(10)));
    EXPECT_EQ(InterruptAndWait(SIGINT), 130) << Slurp(dir + "/err");
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
    ExpectLineRestored();
}

class CliInterruptQuietBoard : public CliInterrupt {
protected:
    CliInterruptQuietBoard() : CliInterrupt(Faulty([](auto& f) { f.silent = true; })) {}
};

TEST_F(CliInterruptQuietBoard, CtrlCDuringXmodemWaitsEndsSendAndReceive) {
    std::ofstream(dir + "/send.bin") << "payload";
    for (const char* direction : {"send", "receive"}) {
        const std::string file = dir + "/" + (std::string(direction) == "send" ? "send.bin" : "got.bin");
        Start({"xmodem", direction, "--port", Port(), file});
        // The sender waits for the receiver's start, the receiver for the first block.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(InterruptAndWait(SIGINT), 130) << direction << ": " << Slurp(dir + "/err");
        ExpectLineRestored();
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/got.bin"));
}

}  // namespace
