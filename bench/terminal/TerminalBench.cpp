// Received data through the receive rules into a terminal view that already holds 16 million
// characters, with the event loop painting between batches as it does during a flood.
// Prints the throughput and the peak memory once the view holds 16,777,215 characters.
// Past the limit it prints the resident memory every 100 MB (1000 for the 1 GB check).
//   bench_terminal [MEGABYTES_PAST_THE_LIMIT]
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTextDocument>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "terminal/TarvolineView.h"

namespace {

constexpr int kMessage = 1024;        // what the watcher hands over at most per batch
constexpr int kPaintEveryMs = 12;     // the GUI thread returns to its loop this often
constexpr int kPrefill = 16000000;

long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}
long PeakKilobytes() { return StatusKilobytes("VmHWM:"); }
long ResidentKilobytes() { return StatusKilobytes("VmRSS:"); }

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Monitor-like output: dump lines of 78 characters and CR LF.
std::string Traffic(size_t bytes) {
    std::string out;
    out.reserve(bytes + 80);
    unsigned address = 0;
    while (out.size() < bytes) {
        char line[96];
        std::snprintf(line, sizeof line,
                      "%08X 4E 71 4E 75 20 3C 00 00 10 00 61 00 FF FE 4E 75  Nq Nu <....a...Nu\r\n",
                      address);
        out += line;
        address += 16;
    }
    out.resize(bytes);
    return out;
}

struct Result {
    double seconds;
    int paints;
};

Result Feed(CTarvolineView& view, const std::string& data, PaintCounter& counter) {
    const int before = counter.paints;
    QElapsedTimer total, sincePaint;
    total.start();
    sincePaint.start();
    for (size_t at = 0; at < data.size(); at += kMessage) {
        const int n = static_cast<int>(std::min<size_t>(kMessage, data.size() - at));
        view.OnCommRxData(reinterpret_cast<const unsigned char*>(data.data() + at), n);
        if (sincePaint.elapsed() >= kPaintEveryMs) {
            QApplication::processEvents();
            sincePaint.restart();
        }
    }
    QApplication::processEvents();
    return {total.nsecsElapsed() / 1e9, counter.paints - before};
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const double pastLimitMb = argc > 1 ? std::atof(argv[1]) : 32.0;

    CTarvolineView view;
    view.resize(620, 400);
    view.ApplyAppearance(nullptr);
    view.show();
    PaintCounter counter;
    view.viewport()->installEventFilter(&counter);

    // The view already holds 16 million characters of earlier output, received the same way.
    const std::string block = Traffic(1 << 20);  // 1 MiB of lines, fed again and again
    double fillSeconds = 0;
    size_t fed = 0;
    while (view.document()->characterCount() - 1 < kPrefill) {
        const int shown = view.document()->characterCount() - 1;
        // Line ends count one character in the view and two bytes on the line.
        const size_t want = std::min<size_t>(block.size(), (kPrefill - shown) * 80ull / 79);
        Result r = Feed(view, block.substr(0, want), counter);
        fillSeconds += r.seconds;
        fed += want;
        if (want < 16) break;
    }
    std::printf("filling an empty view to %d characters: %.1f MB in %.2f s = %.1f MB/s\n",
                view.document()->characterCount() - 1, fed / 1e6, fillSeconds,
                fed / 1e6 / fillSeconds);

    // Up to the limit: every byte is shown.
    const int room = kTerminalTextLimit - (view.document()->characterCount() - 1);
    const std::string toLimit = Traffic(static_cast<size_t>(room) + room / 40);
    Result r = Feed(view, toLimit, counter);
    std::printf("16,000,000 -> limit: %.1f MB in %.3f s = %.1f MB/s, %d paints\n",
                toLimit.size() / 1e6, r.seconds, toLimit.size() / 1e6 / r.seconds, r.paints);
    std::printf("characters held: %d (limit %d)\n", view.document()->characterCount() - 1,
                kTerminalTextLimit);
    std::printf("peak memory at the limit: %.1f MB, resident now %.1f MB\n",
                PeakKilobytes() / 1024.0, ResidentKilobytes() / 1024.0);

    // Past the limit: the rules still run (and a capture would get the bytes).
    double pastSeconds = 0;
    size_t pastBytes = 0;
    int pastPaints = 0;
    while (pastBytes < pastLimitMb * 1e6) {
        r = Feed(view, block, counter);
        pastSeconds += r.seconds;
        pastPaints += r.paints;
        pastBytes += block.size();
        // Resident memory every 100 MB past the limit: flat when nothing grows.
        if (pastBytes / 100000000 != (pastBytes - block.size()) / 100000000)
            std::printf("  %5.0f MB past the limit: resident %.1f MB\n", pastBytes / 1e6,
                        ResidentKilobytes() / 1024.0);
    }
    std::printf("past the limit: %.1f MB in %.3f s = %.1f MB/s, %d paints\n", pastBytes / 1e6,
                pastSeconds, pastBytes / 1e6 / pastSeconds, pastPaints);
    std::printf("3,000,000 baud line = 0.3 MB/s; required 5 MB/s\n");
    std::printf("peak memory: %.1f MB\n", PeakKilobytes() / 1024.0);
    return 0;
}
