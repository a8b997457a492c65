// The receive rules without a widget: a string stands for the terminal text.
#include <gtest/gtest.h>

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
        CReceiveRules::Process(reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size()), *this, this);
    }

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
    {"CrEndsMessageLfStartsNext", {"abc\r", "\ndef"}, "", "abc\r\n\r\ndef", "abc\r\n\r\ndef", 0,
     {5, 5}},
    {"CrAs1021stByteThenLf", {k1020 + "\r\nxy"}, "", k1020 + "\r\r\nxy", k1020 + "\r\r\nxy", 0,
     {1021, 4}},
    {"BackspaceErasesAndIsNotCaptured", {"AB\bX"}, "", "AX", "X", 0, {1}},
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
    {"TabVtFfUnchanged", {"\t\v\f"}, "", "\t\v\f", "\t\v\f", 0, {3}},
    {"EmptyMessage", {""}, "keep", "keep", "", 0, {}},
    {"LfAfterBackspaceIsFirstInPass", {"a\r\b\n"}, "", "a\r\r\n", "\r\n", 0, {2}},
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
    CReceiveRules::Process(reinterpret_cast<const unsigned char*>(m.data()), 3, t, nullptr);
    EXPECT_EQ("hi\r\n", t.text);
    EXPECT_TRUE(t.capture.empty());
}

}  // namespace
