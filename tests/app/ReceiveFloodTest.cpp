// A flood of received bytes while the watcher is stopped and restarted again and again: every
// byte reaches the view exactly once and in order, and nothing hangs.

#include <random>
#include <thread>

#include "DocFixture.h"

namespace {

TEST_F(DocFixture, FourMegabytesSurviveTwoHundredWatcherRestarts) {
    constexpr size_t kSize = 4 * 1024 * 1024;
    std::string data(kSize, '\0');
    std::mt19937 random(12345);
    for (char& c : data) c = static_cast<char>(random());

    doc->OnNewDocument();
    ASSERT_TRUE(doc->OnUpdateConnected());
    std::thread writer([&] {
        for (size_t at = 0; at < kSize; at += 4096) pty.Write(data.data() + at, 4096);
    });

    for (int i = 0; i < 200; ++i) {
        calls.WaitAndRun(std::chrono::milliseconds(1));
        doc->StopWatcherForTransfer();
        ASSERT_TRUE(doc->RestartWatcherAfterTransfer());
    }
    bool all = PumpUntil(kSize, std::chrono::milliseconds(60000));
    writer.join();
    ASSERT_TRUE(all) << "received " << view.Size() << " of " << kSize;
    calls.WaitAndRun(std::chrono::milliseconds(20));
    ASSERT_EQ(view.Size(), kSize);
    EXPECT_TRUE(view.Text() == data) << "bytes lost, repeated or out of order";
    for (int n : view.deliveries) ASSERT_LE(n, 1024);
}

}  // namespace
