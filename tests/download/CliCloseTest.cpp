// The last bytes a tool writes reach the board although the tool ends right after writing
// them: the 'G' that starts a loaded program is sent last and nothing is read after it, while
// the far side has not taken it yet (a link that reads the host's side slowly, a machine busy
// with other work).

#include <atomic>
#include <thread>
#include <vector>

#include "CliProcess.h"
#include "DelayRelay.h"
#include "simulated_board.h"

namespace {

// Threads that keep the processors busy for as long as they live, as a build beside the
// load does.
class CBusyMachine {
public:
    explicit CBusyMachine(int threads) {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] {
                while (!m_stop.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~CBusyMachine() {
        m_stop = true;
        for (std::thread& t : m_threads) t.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

TEST(CliClose, EveryLoadThatSaysStartedHasStartedTheBoardOnASlowLinkAndABusyMachine) {
    vivaz::testing::SimulatedBoard board;
    SDelayRelayOptions slowReader;
    slowReader.readPause = std::chrono::milliseconds(10);
    slowReader.readChunk = 64;
    CDelayRelay link(board.devicePath(), slowReader);
    link.Start();
    CCliProcess cli;
    const std::string program = cli.Write("p.RUN", LoadFileOf(0x8000, std::string(300, 'x')));
    CBusyMachine busy(2);
    constexpr int kLoads = 20;
    int claimed = 0, confirmed = 0;
    for (int i = 0; i < kLoads; ++i) {
        board.clearTranscript();
        cli.Start({"load", "--port", link.DevicePath(), program});
        const int code = cli.Wait(std::chrono::seconds(60));
        ASSERT_EQ(code, 0) << "load " << i + 1 << ": " << cli.Err();
        ++claimed;
        // The tool has ended; its 'G' may still be on its way, but it must arrive.
        if (board.waitForNote("program started at 00008000", std::chrono::seconds(5))) ++confirmed;
    }
    EXPECT_EQ(confirmed, claimed) << confirmed << " of " << claimed
                                  << " loads that said \"Loaded and started\" started the board";
}

}  // namespace
