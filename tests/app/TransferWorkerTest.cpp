// The document's transfer worker: one transfer at a time off the calling thread, the calls it
// makes into that thread served while it waits, stops from other threads. Run under
// ThreadSanitizer with the other thread tests.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "DocFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST_F(DocFixture, ATransferRunsOnTheWorkerAndIsTheOnlyOne) {
    std::atomic<bool> release{false};
    std::thread::id ranOn;
    int doneCalls = 0;
    ASSERT_TRUE(doc->StartTransfer(
        [&] {
            ranOn = std::this_thread::get_id();
            // A call into the user-interface thread, as a progress window or the view makes.
            doc->ShowBoardWords("words");
            while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        },
        [&] { ++doneCalls; }));
    EXPECT_TRUE(doc->TransferRunning());
    EXPECT_TRUE(doc->BusyWithTransfer());
    ASSERT_TRUE(PumpUntil(5));  // the worker's call was served here
    EXPECT_EQ(view.Text(), "words");

    // While it runs, every other request gets the one message and nothing starts.
    bool second = false;
    EXPECT_FALSE(doc->StartTransfer([&] { second = true; }));
    EXPECT_FALSE(doc->OnOpenDocument("/tmp/x.RUN"));
    doc->OnDisconnect();
    ASSERT_EQ(ui.messages.size(), 3u);
    for (const auto& m : ui.messages) EXPECT_EQ(m.text, CTarvolineDoc::kTransferRunningMessage);

    release = true;
    doc->WaitForTransfer();
    EXPECT_FALSE(doc->TransferRunning());
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(second);
    calls.RunPending();
    EXPECT_EQ(doneCalls, 1);  // on this thread, once the work had ended
    EXPECT_TRUE(doc->StartTransfer([] {}));  // and the next one may start
    doc->WaitForTransfer();
}

TEST_F(DocFixture, AStopFromAnotherThreadEndsABreakEarly) {
    doc->OnNewDocument();
    const auto start = Clock::now();
    doc->OnSendBreak();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        doc->StopTransfer();
    });
    doc->WaitForTransfer();
    stopper.join();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_TRUE(doc->SendChar('a'));  // the line works again
}

}  // namespace
