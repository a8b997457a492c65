// pty-delay-relay: a delaying pseudo-terminal in front of a serial device, for trying a slow link
// by hand and for the benchmarks. The first line on stdout is the device the host opens.
#include <signal.h>
#include <time.h>

#include <charconv>
#include <iostream>
#include <string>
#include <string_view>

#include "DelayRelay.h"

namespace {

const char kUsage[] =
    "usage: pty-delay-relay --device PATH (--one-way MS | --round-trip MS) [options]\n"
    "Opens PATH (a serial device, e.g. the one vivaz-sim prints) and a pseudo-terminal whose\n"
    "device it prints as its first line; what the host writes there, and its line settings,\n"
    "reach PATH MS later, and what PATH sends reaches the host MS later.\n"
    "  --device PATH      the far device\n"
    "  --one-way MS       the delay each way (0 to 60000)\n"
    "  --round-trip MS    twice the delay each way (an odd MS is rounded down to even)\n"
    "  --read-pause MS    read the host's side only every MS, so its last bytes wait unread\n"
    "  --read-chunk N     at most N bytes per read of the host's side (4096)\n"
    "  --link PATH        a symbolic link to the host's device, removed at the end\n"
    "  --help             this text\n"
    "SIGTERM or SIGINT end it (exit 0); the far device going away ends it with exit 1.\n";

bool ParseNumber(std::string_view text, long max, long& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0 && value <= max;
}

int Usage(const std::string& error) {
    std::cerr << "pty-delay-relay: " << error << "\n(pty-delay-relay --help lists the options)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string device;
    SDelayRelayOptions options;
    bool delayGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (i + 1 >= argc)
            return Usage("unknown option or missing value: " + std::string(arg));
        const std::string value = argv[++i];
        long n = 0;
        if (arg == "--device") {
            device = value;
        } else if (arg == "--link") {
            options.link = value;
        } else if (arg == "--one-way" || arg == "--round-trip") {
            if (!ParseNumber(value, arg == "--one-way" ? 60000 : 120000, n))
                return Usage(std::string(arg) + " takes milliseconds, not " + value);
            options.oneWay = std::chrono::milliseconds(arg == "--one-way" ? n : n / 2);
            delayGiven = true;
        } else if (arg == "--read-pause") {
            if (!ParseNumber(value, 60000, n))
                return Usage("--read-pause takes milliseconds, not " + value);
            options.readPause = std::chrono::milliseconds(n);
        } else if (arg == "--read-chunk") {
            if (!ParseNumber(value, 65536, n) || n == 0)
                return Usage("--read-chunk takes 1 to 65536 bytes, not " + value);
            options.readChunk = static_cast<std::size_t>(n);
        } else {
            return Usage("unknown option " + std::string(arg));
        }
    }
    if (device.empty())
        return Usage("--device PATH is needed");
    if (!delayGiven)
        return Usage("--one-way MS or --round-trip MS is needed");

    // The signals are taken synchronously below; the relay's thread inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    try {
        CDelayRelay relay(device, options);
        std::cout << relay.DevicePath() << std::endl;
        relay.Start();
        const timespec tick{0, 50 * 1000 * 1000};
        while (!relay.Ended()) {
            if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) {
                relay.Stop();
                std::cerr << "pty-delay-relay: " << relay.BytesToDevice() << " bytes to " << device
                          << ", " << relay.BytesToHost() << " to the host\n";
                return 0;
            }
        }
        std::cerr << "pty-delay-relay: " << relay.Error() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "pty-delay-relay: " << e.what() << "\n";
        return 1;
    }
}
