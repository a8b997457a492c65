// How soon a dialogue returns after Cancel (or Ctrl-C): 50 cancels spread over every kind of
// wait the dialogues have, each against a simulated board that holds the dialogue in that
// wait. The stop is the same flag that Ctrl-C sets and that the progress window's Cancel
// feeds. Prints the median, p99 and worst time from the stop to the dialogue's return.
// Target: p99 at most 100 ms.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "comm/CommPort.h"
#include "document/DocumentUi.h"
#include "download/DownloadImage.h"
#include "download/RecordLoader.h"
#include "download/TransferContext.h"
#include "download/Xmodem.h"
#include "simulated_board.h"

namespace {

using Clock = std::chrono::steady_clock;

class CQuietUi : public IDocumentUi {
public:
    MessageResult MessageBox(const std::string&, const std::string&, MessageIcon, MessageButtons,
                             MessageResult defaultButton) override {
        return defaultButton;
    }
    void Beep() override {}
    void TitleChanged(const std::string&) override {}
};

struct WaitKind {
    const char* name;
    std::function<void(vivaz::Faults&)> faults;
    // True once the board has the dialogue in the wait to be cancelled.
    std::function<bool(const vivaz::testing::SimulatedBoard&)> inTheWait;
    std::function<void(const CTransferContext&)> dialogue;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::uint8_t> g_image(8 * 1024, 0x5A);

void Load(const CTransferContext& ctx) {
    DownloadImage(ctx, g_image.data(), static_cast<std::int32_t>(g_image.size()), 0x20000,
                  static_cast<std::int32_t>(g_image.size()));
}

const std::string kHexPath = "/tmp/tarvoline-cancel-bench.HEX";
const std::string kXmodemPath = "/tmp/tarvoline-cancel-bench.bin";

std::vector<WaitKind> Kinds() {
    return {
        {"'#' pause", [](vivaz::Faults& f) { f.waitRequests = 30; },
         [](const auto& b) { return Contains(b.sent(), "#"); }, Load},
        {"wake-up drain, chatty board", [](vivaz::Faults& f) { f.chatterMs = 30; },
         [](const auto& b) { return Contains(b.received(), "\b.\r"); }, Load},
        {"block request", [](vivaz::Faults& f) { f.lateBlock = 2; f.lateMs = 5000; },
         [](const auto& b) { return Contains(b.transcript().received(), std::string(2, '\0')); },
         Load},
        {"completion", [](vivaz::Faults& f) { f.noCompletion = true; },
         [](const auto& b) { return b.writtenRanges().size() == 1 &&
                                    b.writtenRanges()[0].second == 0x20000 + g_image.size(); },
         Load},
        {"record loader drain", [](vivaz::Faults& f) { f.silent = true; },
         [](const auto& b) { return Contains(b.received(), "tom8\r"); },
         [](const CTransferContext& ctx) { LoadHexFile(ctx, kHexPath); }},
        {"XMODEM send, no receiver", [](vivaz::Faults& f) { f.silent = true; },
         [](const auto&) { return true; },
         [](const CTransferContext& ctx) { XmodemSend(ctx, kXmodemPath); }},
        {"XMODEM receive, no sender", [](vivaz::Faults& f) { f.silent = true; },
         [](const auto& b) { return Contains(b.received(), "C"); },
         [](const CTransferContext& ctx) { XmodemReceive(ctx, kXmodemPath + ".in"); }},
    };
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

}  // namespace

int main() {
    std::ofstream(kHexPath) << "S9030000FC\r\n";
    std::ofstream(kXmodemPath) << std::string(1000, 'x');
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMs(0, 150);
    const auto kinds = Kinds();
    constexpr int kCancels = 50;
    std::vector<double> all;
    std::vector<std::vector<double>> byKind(kinds.size());
    for (int i = 0; i < kCancels; ++i) {
        const size_t k = static_cast<size_t>(i) % kinds.size();
        vivaz::BoardOptions options;
        kinds[k].faults(options.faults);
        vivaz::testing::SimulatedBoard board(options);
        CCommPort port(board.devicePath());
        port.SetBaudRate(9600);
        port.SetLineFormat(kParityNone, 8, kOneStopBit);
        port.SetFlowControl(0, 100, 100, kXonChar, kXoffChar);
        CPortSettings settings;
        CQuietUi ui;
        std::atomic<bool> stop{false};
        CTransferContext ctx{port, settings, ui, &stop};
        std::atomic<bool> returned{false};
        Clock::time_point returnedAt;
        std::thread dialogue([&] {
            kinds[k].dialogue(ctx);
            returnedAt = Clock::now();
            returned = true;
        });
        const auto limit = Clock::now() + std::chrono::seconds(20);
        while (!kinds[k].inTheWait(board) && !returned && Clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        if (returned) {
            std::fprintf(stderr, "%s: the dialogue ended before the cancel\n", kinds[k].name);
            dialogue.join();
            continue;
        }
        const auto stoppedAt = Clock::now();
        stop = true;
        dialogue.join();
        const double ms = std::chrono::duration<double, std::milli>(returnedAt - stoppedAt).count();
        all.push_back(ms);
        byKind[k].push_back(ms);
    }
    std::printf("cancel latency, from the stop to the dialogue's return (%zu cancels)\n", all.size());
    for (size_t k = 0; k < kinds.size(); ++k) {
        if (byKind[k].empty()) continue;
        std::printf("  %-30s median %6.1f ms  worst %6.1f ms\n", kinds[k].name,
                    Percentile(byKind[k], 0.5), Percentile(byKind[k], 1.0));
    }
    if (all.empty()) return 1;
    const double p99 = Percentile(all, 0.99);
    std::printf("all: median %.1f ms, p99 %.1f ms, worst %.1f ms (target p99 <= 100 ms): %s\n",
                Percentile(all, 0.5), p99, Percentile(all, 1.0), p99 <= 100 ? "met" : "missed");
    return 0;
}
