// The LOAD block phase against the simulated board on a pseudo-terminal, which has no line
// time: the time per 1,024-byte block. The protocol itself sleeps 6 ms a block (2 ms before
// the request is read, 2 ms before each trailer byte); everything above that is overhead.
// Target: median overhead at most 0.5 ms a block.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "document/DocumentUi.h"
#include "comm/CommPort.h"
#include "download/DownloadImage.h"
#include "download/TransferContext.h"
#include "simulated_board.h"

namespace {

using Clock = std::chrono::steady_clock;

class CTimedProgress : public CNoProgressWindow {
public:
    explicit CTimedProgress(std::vector<Clock::time_point>& steps) : m_steps(steps) {}
    void StepIt() override { m_steps.push_back(Clock::now()); }

private:
    std::vector<Clock::time_point>& m_steps;
};

class CBenchUi : public IDocumentUi {
public:
    MessageResult MessageBox(const std::string& text, const std::string&, MessageIcon,
                             MessageButtons, MessageResult) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return MessageResult::Ok;
    }
    void Beep() override {}
    void TitleChanged(const std::string&) override {}
    std::unique_ptr<IProgressWindow> CreateProgressWindow() override {
        return std::make_unique<CTimedProgress>(steps);
    }
    std::vector<Clock::time_point> steps;
};

double Ratio(double baud, double overheadMs) {
    const double wireMs = (1024 + 6) * 11 * 1000.0 / baud;  // 8N2: 11 bits a byte
    return wireMs / (wireMs + 6.0 + overheadMs);
}

}  // namespace

int main() {
    vivaz::testing::SimulatedBoard board;
    CCommPort port(board.devicePath());
    port.SetBaudRate(9600);
    port.SetLineFormat(kParityNone, 8, kOneStopBit);
    port.SetFlowControl(0, 100, 100, kXonChar, kXoffChar);
    CPortSettings settings;
    CBenchUi ui;
    CTransferContext ctx{port, settings, ui};

    constexpr int kBlocks = 300;
    std::vector<std::uint8_t> image(kBlocks * 1024, 0x5A);
    if (DownloadImage(ctx, image.data(), static_cast<std::int32_t>(image.size()), 0x100000,
                      static_cast<std::int32_t>(image.size())) != 0) {
        std::fprintf(stderr, "the load failed\n");
        return 1;
    }
    std::vector<double> perBlock;
    for (size_t i = 1; i < ui.steps.size(); ++i)
        perBlock.push_back(std::chrono::duration<double, std::milli>(ui.steps[i] - ui.steps[i - 1]).count());
    std::sort(perBlock.begin(), perBlock.end());
    double median = perBlock[perBlock.size() / 2];
    double p99 = perBlock[perBlock.size() * 99 / 100];
    double overhead = median - 6.0;
    std::printf("LOAD block phase, %d blocks of 1024 bytes: median %.3f ms a block, p99 %.3f ms\n",
                kBlocks, median, p99);
    std::printf("overhead above the protocol's 6 ms of sleeps: %.3f ms (target <= 0.5 ms)\n",
                overhead);
    std::printf("implied share of a real line's limit: 115200 baud %.3f (target >= 0.93), "
                "230400 baud %.3f (target >= 0.86)\n",
                Ratio(115200, overhead), Ratio(230400, overhead));
    return overhead <= 0.5 ? 0 : 1;
}
