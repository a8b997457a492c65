// Received bytes through the terminal's receive rules. The first byte chooses the time stamps
// (bit 0 shown, bit 1 captured), the next eight give the clock (nanoseconds, big-endian), and
// each following byte n starts a message of n % 64 + 1 bytes (the rest, when fewer are left):
// a board delivers a byte or two at a time, or a kilobyte.
//
// Checked: the terminal and the capture come out the same whether the bytes arrive in those
// messages or in one; the terminal never shows BEL, BS or NUL (a stamp has none); without a
// BS the terminal is the capture less its NULs.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "terminal/ReceiveRules.h"

namespace {

class CTextModel : public ITerminalText, public ICaptureSink {
  public:
    void AppendText(const unsigned char* bytes, int count) override {
        if (count <= 0) __builtin_trap();  // an empty insertion is a wasted repaint
        shown.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
    }
    void DeleteLastChar() override {
        if (!shown.empty()) shown.pop_back();
    }
    void Beep() override { ++beeps; }
    void CaptureText(const unsigned char* bytes, int count) override {
        captured.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
    }

    std::string shown, captured;
    int beeps = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    const bool stampsShown = data[0] & 1;
    const bool stampsCaptured = data[0] & 2;
    std::int64_t ticks = 0;
    for (int i = 1; i <= 8; ++i) ticks = static_cast<std::int64_t>(
                                         (static_cast<std::uint64_t>(ticks) << 8) | data[i]);
    const auto when = std::chrono::system_clock::time_point(
        std::chrono::system_clock::duration(ticks / 1000 * 1000));
    const auto clock = [when] { return when; };

    // The messages, and the same bytes in one piece.
    std::vector<std::string> messages;
    std::string whole;
    for (std::size_t at = 9; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at] % 64 + 1, size - at - 1);
        ++at;
        messages.emplace_back(reinterpret_cast<const char*>(data + at), length);
        whole += messages.back();
        at += length;
    }

    CReceiveRules split, joined;
    split.SetTimeStamps(stampsShown, stampsCaptured, clock);
    joined.SetTimeStamps(stampsShown, stampsCaptured, clock);
    CTextModel splitText, joinedText;
    for (const std::string& message : messages)
        split.Process(reinterpret_cast<const unsigned char*>(message.data()),
                      static_cast<int>(message.size()), splitText, &splitText);
    joined.Process(reinterpret_cast<const unsigned char*>(whole.data()),
                   static_cast<int>(whole.size()), joinedText, &joinedText);

    if (splitText.shown != joinedText.shown || splitText.captured != joinedText.captured ||
        splitText.beeps != joinedText.beeps) {
        __builtin_trap();
    }
    if (joinedText.shown.find_first_of(std::string("\x07\x08\0", 3)) != std::string::npos)
        __builtin_trap();
    if (whole.find('\x08') == std::string::npos && (!stampsShown || stampsCaptured)) {
        std::string visible = joinedText.captured;
        visible.erase(std::remove(visible.begin(), visible.end(), '\0'), visible.end());
        if (visible != joinedText.shown) __builtin_trap();
    }
    if (joinedText.beeps != std::count(whole.begin(), whole.end(), '\x07')) __builtin_trap();
    return 0;
}
