// Receive throughput and latency of the serial link on a pseudo-terminal.
//
//  1. Throughput: bytes written on the master reach the view through the watcher and the
//     user-interface channel, beside a plain loop reading the same pseudo-terminal in 1024-byte
//     reads. Target: ratio at least 0.5.
//  2. Latency: a byte written on the master until the view has it; SendChar until the byte is
//     readable on the master. Target: each 99th percentile at most 1 ms.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <cstdio>
#include <thread>
#include <vector>

#include "Pty.h"
#include "document/DocumentUi.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "document/UiCallQueue.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kFlood = 32 * 1024 * 1024;

class CQuietUi : public IDocumentUi {
public:
    MessageResult MessageBox(const std::string& text, const std::string&, MessageIcon,
                             MessageButtons, MessageResult) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return MessageResult::Ok;
    }
    void Beep() override {}
    void TitleChanged(const std::string&) override {}
};

class CCountingView : public ITerminalView {
public:
    void OnCommRxData(const unsigned char*, int count) override {
        received += static_cast<size_t>(count);
        lastDelivery = Clock::now();
    }
    void ClearText() override {}
    size_t received = 0;
    Clock::time_point lastDelivery;
};

void Flood(CTestPty& pty) {
    std::vector<char> chunk(65536, 'x');
    for (size_t at = 0; at < kFlood; at += chunk.size()) pty.Write(chunk.data(), chunk.size());
}

double PlainReadMBps() {
    CTestPty pty;
    int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    auto start = Clock::now();
    std::thread writer([&] { Flood(pty); });
    size_t got = 0;
    char buf[1024];
    while (got < kFlood) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 1000);
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) got += static_cast<size_t>(n);
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    ::close(fd);
    return kFlood / seconds / 1e6;
}

struct Link {
    CTestPty pty;
    CMemorySettingsStore store;
    CQuietUi ui;
    CUiCallQueue calls;
    CCountingView view;
    std::unique_ptr<CTarvolineDoc> doc;
    Link() {
        store.WriteProfileString("COM Settings", "COM Port", pty.SlavePath());
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        doc->AddView(&view);
        doc->OnNewDocument();
    }
};

double WatcherMBps() {
    Link link;
    auto start = Clock::now();
    std::thread writer([&] { Flood(link.pty); });
    while (link.view.received < kFlood) link.calls.WaitAndRun(std::chrono::milliseconds(10));
    double seconds = std::chrono::duration<double>(link.view.lastDelivery - start).count();
    writer.join();
    return kFlood / seconds / 1e6;
}

struct Percentiles {
    double median, p99;
};

Percentiles Summarise(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}

Percentiles ReceiveLatency() {
    Link link;
    std::vector<double> samples;
    for (int i = 0; i < 2000; ++i) {
        size_t before = link.view.received;
        auto start = Clock::now();
        link.pty.Write("r", 1);
        while (link.view.received == before) link.calls.WaitAndRun(std::chrono::milliseconds(5));
        samples.push_back(
            std::chrono::duration<double, std::micro>(link.view.lastDelivery - start).count());
    }
    return Summarise(samples);
}

Percentiles SendLatency() {
    Link link;
    std::vector<double> samples;
    for (int i = 0; i < 2000; ++i) {
        auto start = Clock::now();
        link.doc->SendChar('s');
        pollfd p{link.pty.Master(), POLLIN, 0};
        ::poll(&p, 1, 1000);
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        char c;
        [[maybe_unused]] ssize_t n = ::read(link.pty.Master(), &c, 1);
    }
    return Summarise(samples);
}

}  // namespace

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main() {
    // Two cores carry three busy threads here (writer, watcher, user-interface thread), so one
    // run says little: the two ways are measured in turn, five times each, and the medians
    // compared.
    std::vector<double> plainRuns, watcherRuns;
    for (int i = 0; i < 5; ++i) {
        plainRuns.push_back(PlainReadMBps());
        watcherRuns.push_back(WatcherMBps());
    }
    double plain = Median(plainRuns);
    double watcher = Median(watcherRuns);
    std::printf("receive throughput (median of 5): plain 1024-byte reads %.1f MB/s, watcher to "
                "view %.1f MB/s, ratio %.2f (target >= 0.5)\n",
                plain, watcher, watcher / plain);
    Percentiles rx = ReceiveLatency();
    std::printf("receive latency (master write to view): median %.1f us, p99 %.1f us "
                "(target p99 <= 1000 us)\n",
                rx.median, rx.p99);
    Percentiles tx = SendLatency();
    std::printf("send latency (SendChar to readable on master): median %.1f us, p99 %.1f us "
                "(target p99 <= 1000 us)\n",
                tx.median, tx.p99);
    bool ok = watcher / plain >= 0.5 && rx.p99 <= 1000 && tx.p99 <= 1000;
    return ok ? 0 : 1;
}
