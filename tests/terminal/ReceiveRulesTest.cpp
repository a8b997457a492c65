// The receive rules without a widget: a string stands for the terminal text.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "terminal/ReceiveRules.h"

namespace {

class CStringText : public ITerminalText, public ICaptureSink {
public:
    void AppendText(const unsigned char* bytes, int count) override {
        size_t room = kTerminalTextLimit - text.size();
        text.append(reinterpret_cast<const char*>(bytes), std::min<size_t>(room, count));
        ++insertions;
    }
    void DeleteLastChar() override {
        if (!text.empty()) text.pop_back();
    }
    void Beep() override { ++beeps; }
    void CaptureText(const unsigned char* bytes, int count) override {
        capture.append(reinterpret_cast<const char*>(bytes), count);
        captureCalls.push_back(count);
    }

    void Receive(const std::string& bytes) {
        rules.Process(reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()), *this, this);
    }

    CReceiveRules rules;

    std::string text, capture;
    int insertions = 0;
    int beeps = 0;
    std::vector<int> captureCalls;
};

struct RulesCase {
    const char* name;
    std::vector<std::string> messages;  // received one after the other
    std::string initialText;
    std::string shown;
    std::string captured;
    int beeps;
    std::vector<int> captureCalls;
};

std::ostream& operator<<(std::ostream& os, const RulesCase& c) { return os << c.name; }

std::string Plain(size_t n, char from = 'a') {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>(from + i % 26);
    return s;
}

std::string HighBytes() {
    std::string s;
    for (int b = 0x80; b <= 0xFF; ++b) s += static_cast<char>(b);
    return s;
}

const std::string k1020 = Plain(1020);
const std::string k2500 = Plain(2500);

const RulesCase kCases[] = {
    {"CrLfKept", {"abc\r\ndef"}, "", "abc\r\ndef", "abc\r\ndef", 0, {8}},
    // A board at line speed delivers a byte or two per message: the pair stays one line end.
    {"CrEndsMessageLfStartsNext", {"abc\r", "\ndef"}, "", "abc\r\ndef", "abc\r\ndef", 0,
     {5, 3}},
    {"CrLfOneByteAMessage", {"a", "\r", "\n", "b", "\r", "\n"}, "", "a\r\nb\r\n",
     "a\r\nb\r\n", 0, {1, 2, 1, 2}},
    {"CrAs1021stByteThenLf", {k1020 + "\r\nxy"}, "", k1020 + "\r\nxy", k1020 + "\r\nxy", 0,
     {1022, 2}},
    {"BackspaceErasesWhatWasShown", {"AB\bX"}, "", "AX", "ABX", 0, {2, 1}},
    {"BackspaceFirstErasesOldText", {"\bZ"}, "old", "olZ", "Z", 0, {1}},
    {"BackspaceOnEmptyTerminal", {"\b"}, "", "", "", 0, {}},
    {"BelBeepsAndVanishes", {"a\ab\a"}, "", "ab", "ab", 2, {2}},
    {"OnlyBel", {"\a"}, "", "", "", 1, {}},
    {"ThreePassesOf2500", {k2500}, "", k2500, k2500, 0, {1021, 1021, 458}},
    {"NulDoesNotHideTheRest", {std::string("ab\0cd", 5)}, "", "abcd", std::string("ab\0cd", 5),
     0, {5}},
    {"NulAloneIsCapturedOnly", {std::string("\0", 1)}, "", "", std::string("\0", 1), 0, {1}},
    {"HighBytesUnchanged", {HighBytes()}, "", HighBytes(), HighBytes(), 0, {128}},
    {"LoneCr", {"a\rb"}, "", "a\r\nb", "a\r\nb", 0, {4}},
    {"LoneLf", {"a\nb"}, "", "a\r\nb", "a\r\nb", 0, {4}},
    {"LfCr", {"a\n\rb"}, "", "a\r\n\r\nb", "a\r\n\r\nb", 0, {6}},
    {"LfCrSplit", {"a\n", "\rb"}, "", "a\r\n\r\nb", "a\r\n\r\nb", 0, {3, 3}},
    {"CrCrLf", {"a\r\r\nb"}, "", "a\r\n\r\nb", "a\r\n\r\nb", 0, {6}},
    {"LfLf", {"\n\n"}, "", "\r\n\r\n", "\r\n\r\n", 0, {4}},
    {"TabVtFfUnchanged", {"\t\v\f"}, "", "\t\v\f", "\t\v\f", 0, {3}},
    {"EmptyMessage", {""}, "keep", "keep", "", 0, {}},
    {"EmptyMessageBetweenCrAndLf", {"a\r", "", "\n"}, "", "a\r\n", "a\r\n", 0, {3}},
    // Only a CR directly before it makes an LF part of a pair; BEL, BS and NUL in between end it.
    {"LfAfterBackspaceIsALineEndOfItsOwn", {"a\r\b\n"}, "", "a\r\r\n", "a\r\n\r\n", 0,
     {3, 2}},
    {"LfAfterBelIsALineEndOfItsOwn", {"a\r\a\n"}, "", "a\r\n\r\n", "a\r\n\r\n", 1, {5}},
    {"LfAfterNulIsALineEndOfItsOwn", {std::string("\r\0\n", 3)}, "", "\r\n\r\n",
     std::string("\r\n\0\r\n", 5), 0, {5}},
};

class ReceiveRulesTest : public ::testing::TestWithParam<RulesCase> {};

TEST_P(ReceiveRulesTest, ShowsAndCaptures) {
    const RulesCase& c = GetParam();
    CStringText t;
    t.text = c.initialText;
    for (const std::string& m : c.messages) t.Receive(m);
    EXPECT_EQ(c.shown, t.text);
    EXPECT_EQ(c.captured, t.capture);
    EXPECT_EQ(c.beeps, t.beeps);
    EXPECT_EQ(c.captureCalls, t.captureCalls);
}

INSTANTIATE_TEST_SUITE_P(Rules, ReceiveRulesTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiveRules, TwoThousandFiveHundredBytesTakeThreeInsertions) {
    CStringText t;
    t.Receive(k2500);
    EXPECT_EQ(3, t.insertions);
}

TEST(ReceiveRules, TextBeyondTheLimitIsCapturedButNotShown) {
    CStringText t;
    t.text.assign(kTerminalTextLimit - 2, 'x');
    t.Receive("abcd");
    EXPECT_EQ(static_cast<size_t>(kTerminalTextLimit), t.text.size());
    EXPECT_EQ("xab", t.text.substr(t.text.size() - 3));
    EXPECT_EQ("abcd", t.capture);
}

TEST(ReceiveRules, NoCaptureSinkStillShows) {
    CStringText t;
    const std::string m = "hi\r";
    t.rules.Process(reinterpret_cast<const unsigned char*>(m.data()), 3, t, nullptr);
    EXPECT_EQ("hi\r\n", t.text);
    EXPECT_TRUE(t.capture.empty());
}

TEST(ReceiveRules, ResetForgetsTheCr) {
    // Clear and a new connection: an LF that would have completed the old CR is a line end.
    CStringText t;
    t.Receive("a\r");
    t.rules.Reset();
    t.text.clear();
    t.Receive("\nb");
    EXPECT_EQ("\r\nb", t.text);
}

// However the stream is cut into messages, the terminal and the capture end the same.
struct SplitCase {
    const char* name;
    std::string stream;
    // Cut positions to try; empty: every position (two and three messages).
    int firstCut = 0, lastCut = -1;
};

std::ostream& operator<<(std::ostream& os, const SplitCase& c) { return os << c.name; }

struct Outcome {
    std::string text, capture;
    int beeps;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << ::testing::PrintToString(o.text) << " / " << ::testing::PrintToString(o.capture)
              << " / " << o.beeps << " beeps";
}

Outcome ReceiveAsMessages(const std::string& initial, const std::vector<std::string>& messages) {
    CStringText t;
    t.text = initial;
    for (const std::string& m : messages) t.Receive(m);
    return {t.text, t.capture, t.beeps};
}

const SplitCase kSplitCases[] = {
    {"CrLf", "ab\r\ncd\r\n"},
    {"LfCr", "x\n\ry\n\r"},
    {"CrCrLf", "p\r\r\nq"},
    {"LoneCrAndLf", "\r1\n2\r\r3\n\n"},
    {"BackspaceBesideLineEnds", "ab\b\r\n\bc\r\b\nd"},
    {"BelBesideLineEnds", "\a\r\a\n\r\n\a"},
    {"NulBesideLineEnds", std::string("\0\r\0\n\r\n\0", 7)},
    // Around the 1,021-byte pass bound: CR LF straddling it, BS and BEL next to it.
    {"AtThePassBound", Plain(1019) + "\r\n\b\ax\r\ny", 1010, 1030},
};

class ReceiveSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ReceiveSplitTest, AnyBatchingGivesTheSameTextAndCapture) {
    const SplitCase& c = GetParam();
    const std::string& s = c.stream;
    const int n = static_cast<int>(s.size());
    const int first = std::max(1, c.firstCut);
    const int last = c.lastCut < 0 ? n - 1 : std::min(n - 1, c.lastCut);
    const Outcome whole = ReceiveAsMessages("old", {s});
    for (int i = first; i <= last; ++i) {
        EXPECT_EQ(whole, ReceiveAsMessages("old", {s.substr(0, i), s.substr(i)})) << "cut at " << i;
        for (int j = i + 1; j <= last; ++j) {
            EXPECT_EQ(whole, ReceiveAsMessages("old", {s.substr(0, i), s.substr(i, j - i),
                                                       s.substr(j)}))
                << "cuts at " << i << " and " << j;
        }
    }
    if (s.find('\b') == std::string::npos) {
        // Without BS the capture is exactly what was added to the terminal.
        std::string shown = whole.text.substr(3);
        std::string captured = whole.capture;
        captured.erase(std::remove(captured.begin(), captured.end(), '\0'), captured.end());
        EXPECT_EQ(shown, captured);
    }
}

INSTANTIATE_TEST_SUITE_P(Splits, ReceiveSplitTest, ::testing::ValuesIn(kSplitCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// 09:05:07.123 local time on some day, then a millisecond later at each look.
std::chrono::system_clock::time_point LocalTime(int h, int m, int s, int ms) {
    std::tm t{};
    t.tm_year = 2027 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(ms);
}

TEST(ReceiveTimeStamps, EachLineShownStartsWithTheTimeOfItsFirstByte) {
    for (bool captured : {false, true}) {
        CStringText t;
        int looks = 0;
        t.rules.SetTimeStamps(true, captured, [&] { return LocalTime(9, 5, 7, 123 + looks++); });
        // Lines cut across messages get one stamp each, at their first byte.
        for (const char* m : {"ab", "c\r", "\nde", "f\r\n", "\n"}) t.Receive(m);
        EXPECT_EQ(t.text, "[09:05:07.123] abc\r\n[09:05:07.124] def\r\n[09:05:07.125] \r\n");
        EXPECT_EQ(t.capture, captured ? t.text : "abc\r\ndef\r\n\r\n") << captured;
        EXPECT_EQ(looks, 3);
    }
}

TEST(ReceiveTimeStamps, BelAndAPairsLfStartNoLineAndOffChangesNothing) {
    CStringText t;
    t.rules.SetTimeStamps(true, true, [] { return LocalTime(23, 59, 59, 999); });
    t.Receive("\a");  // a beep is no line
    t.Receive("x\r");
    t.Receive("\n");  // completes the pair: no new line of its own
    EXPECT_EQ(t.text, "[23:59:59.999] x\r\n");
    t.rules.SetTimeStamps(false, true);
    t.Receive("y\r\n");
    EXPECT_EQ(t.text, "[23:59:59.999] x\r\ny\r\n");
    EXPECT_EQ(FormatTimeStamp(LocalTime(0, 0, 0, 7)).size(), size_t(kTimeStampLength));
}

}  // namespace
