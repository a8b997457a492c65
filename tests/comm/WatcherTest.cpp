// The watcher thread: batches of at most 1024 bytes, start and stop rules, a lost device.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "Pty.h"
#include "document/UiCallQueue.h"
#include "comm/CommPort.h"
#include "comm/CommWatch.h"

namespace {

// Delivers through the user-interface channel like the document does, and records.
class CRecordingTarget : public IReceiveTarget {
public:
    explicit CRecordingTarget(CUiCallQueue& calls) : m_calls(calls) {}

    int DeliverReceived(const unsigned char* bytes, int count) override {
        inDelivery = true;
        m_calls.Call([&] {
            std::lock_guard lock(m_mutex);
            m_text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
            m_sizes.push_back(count);
        });
        inDelivery = false;
        return 0;
    }
    void OnDeviceLost(CCommPort*, DWORD error) override { lostError = error; }

    std::string Text() {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    std::vector<int> Sizes() {
        std::lock_guard lock(m_mutex);
        return m_sizes;
    }

    std::atomic<bool> inDelivery{false};
    std::atomic<DWORD> lostError{0};

private:
    CUiCallQueue& m_calls;
    std::mutex m_mutex;
    std::string m_text;
    std::vector<int> m_sizes;
};

class WatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = std::make_unique<CCommPort>(pty.SlavePath());
        ASSERT_TRUE(port->IsOpen());
        port->SetStopWaitHook([this] { calls.RunCallsIfOwner(); });
        param = {port.get(), &target};
    }
    bool Start() { return port->StartWatcher(CommWatchProc, &param); }
    // Runs the deliveries on this (the owner) thread until the text has the size.
    bool PumpUntil(size_t size) {
        for (int i = 0; i < 5000 && target.Text().size() < size; ++i)
            calls.WaitAndRun(std::chrono::milliseconds(1));
        return target.Text().size() >= size;
    }
    void WaitQueued(DWORD count) {
        for (int i = 0; i < 2000; ++i) {
            CComStat st;
            port->ClearError(&st, nullptr);
            if (st.cbInQue >= count) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    CTestPty pty;
    CUiCallQueue calls;
    CRecordingTarget target{calls};
    std::unique_ptr<CCommPort> port;
    CommWatchParam param;
};

TEST_F(WatcherTest, AtMost1024BytesAreDeliveredPerEvent) {
    std::string data(1500, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    pty.Write(data);
    WaitQueued(1500);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(PumpUntil(1500));
    EXPECT_EQ(target.Sizes(), (std::vector<int>{1024, 476}));
    EXPECT_EQ(target.Text(), data);
    EXPECT_EQ(port->StopWatcher(), 0u);
}

TEST_F(WatcherTest, StartingTwiceIsRefusedAndStoppingNothingReturnsAtOnce) {
    EXPECT_EQ(port->StopWatcher(), 0u);
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Start());
    EXPECT_EQ(port->LastError(), kErrorAlreadyExists);
    EXPECT_EQ(port->StopWatcher(), 0u);
    EXPECT_FALSE(port->HasWatcher());
    // A stopped watcher starts again and still delivers.
    ASSERT_TRUE(Start());
    pty.Write("again");
    EXPECT_TRUE(PumpUntil(5));
    port->StopWatcher();
}

TEST_F(WatcherTest, StopCompletesWhileTheWatcherWaitsOnTheStoppingThread) {
    ASSERT_TRUE(Start());
    pty.Write("held");
    // The watcher now waits inside a delivery that only this thread can run.
    for (int i = 0; i < 2000 && !target.inDelivery; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(target.inDelivery);
    EXPECT_EQ(port->StopWatcher(), 0u);
    EXPECT_EQ(target.Text(), "held");  // delivered once, by the stop itself
    calls.RunPending();
    EXPECT_EQ(target.Text(), "held");
}

TEST_F(WatcherTest, StopRightAfterStartNeverHangs) {
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(Start());
        EXPECT_EQ(port->StopWatcher(), 0u);
    }
}

TEST_F(WatcherTest, ALostDeviceEndsTheWatcherAndIsReported) {
    ASSERT_TRUE(Start());
    pty.Write("last words");
    ASSERT_TRUE(PumpUntil(10));
    pty.CloseMaster();  // the adapter is unplugged
    for (int i = 0; i < 2000 && target.lostError == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(target.lostError.load(), DWORD(EIO));
    EXPECT_EQ(port->StopWatcher(), 0u);
    EXPECT_EQ(target.Text(), "last words");
}

}  // namespace
