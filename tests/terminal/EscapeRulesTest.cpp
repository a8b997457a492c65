// Escape handling in the receive rules, without a widget: what the parser makes of sequences,
// garbled ones included; the rules' calls and the capture's held line (sequences kept and left
// out) are the same however the stream is cut into messages; off, nothing changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/CaptureLine.h"
#include "terminal/EscapeParser.h"
#include "terminal/EscapeStyle.h"
#include "terminal/ReceiveRules.h"

namespace {

// Every byte fed; what became text, and each sequence completed or given up, in order.
std::string Parse(const std::string& bytes) {
    CEscapeParser parser;
    std::string log;
    for (unsigned char b : bytes) {
        const auto step = parser.Feed(b);
        if (!parser.Abandoned().empty()) log += "{gave up " + parser.Abandoned().substr(1) + "}";
        if (step == CEscapeParser::Step::Text) log += static_cast<char>(b);
        if (step == CEscapeParser::Step::Complete) {
            const CEscapeSequence& s = parser.Sequence();
            if (s.kind == CEscapeSequence::Kind::Csi) {
                log += "{CSI ";
                if (s.marker) log += s.marker;
                for (int p : s.params) log += std::to_string(p) + ",";
                log += std::string(1, s.final) + "}";
            } else if (s.kind == CEscapeSequence::Kind::String) {
                log += "{" + std::string(1, s.introducer) + " " + s.text + "}";
            } else {
                log += "{ESC " + std::string(1, s.final) + "}";
            }
        }
    }
    return log;
}

TEST(EscapeParser, ReadsEachKindAndGivesUpGarbledOnes) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b[31;1mA", "{CSI 31,1,m}A"},
        {"\x1b[mB", "{CSI m}B"},
        {"\x1b[;5H", "{CSI -1,5,H}"},
        {"\x1b[?25l", "{CSI ?25,l}"},
        {"\x1b[38:5:196m", "{CSI 38,5,196,m}"},
        {"\x1b]0;T i\x07x", "{] 0;T i}x"},
        {"\x1b]2;T\x1b\\x", "{] 2;T}x"},
        {"\x1bPq#0\x1b\\", "{P q#0}"},
        {"\x1b(B\x1b" "7\x1bM", "{ESC B}{ESC 7}{ESC M}"},
        // A control character ends an unfinished sequence and shows as itself.
        {"\x1b[12\r\n", "{gave up [12}\r\n"},
        {"\x1b]0;no end\nx", "{gave up ]0;no end}\nx"},
        {"\x1b\r", "{gave up }\r"},
        // ESC starts anew; CAN cancels; a high byte is text.
        {"\x1b[1\x1b[2m", "{gave up [1}{CSI 2,m}"},
        {"\x1b[1\x18x", "{gave up [1\x18}x"},
        {"\x1b[1\xe9", "{gave up [1}\xe9"},
        {"\x1b]0;t\x1b[1m", "{gave up ]0;t}{CSI 1,m}"},
        {"\x9b" "31m", "\x9b" "31m"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(out, Parse(in)) << ::testing::PrintToString(in);
    // Overlong: given up, and what follows is text again.
    const std::string overlong = Parse("\x1b[" + std::string(100, '1') + "mx");
    EXPECT_EQ('x', overlong.back());
    EXPECT_EQ(std::string::npos, overlong.find("{CSI"));
}

TEST(EscapeStyle, SgrSetsAndResets) {
    CTextStyle s;
    ApplySgr({1, 4, 7, 31, 42}, s);
    EXPECT_EQ((CTextStyle{0xAA0000, 0x00AA00, true, true, true}), s);
    ApplySgr({22, 24, 27, 39, 49}, s);
    EXPECT_TRUE(s.IsDefault());
    ApplySgr({38, 5, 196, 48, 2, 1, 2, 3}, s);
    EXPECT_EQ(0xFF0000, s.foreground);
    EXPECT_EQ(0x010203, s.background);
    ApplySgr({}, s);
    EXPECT_TRUE(s.IsDefault());
    EXPECT_EQ(0x000000, Colour256(16));
    EXPECT_EQ(0xFFFFFF, Colour256(231));
    EXPECT_EQ(0x080808, Colour256(232));
    EXPECT_EQ(0xEEEEEE, Colour256(255));
}

// Records what the rules ask of the terminal, and keeps the capture in two held lines.
class CRecorder : public ITerminalText, public ICaptureSink {
public:
    void AppendText(const unsigned char* b, int n) override {
        log.append(reinterpret_cast<const char*>(b), n);
    }
    void DeleteLastChar() override { log += "{BS}"; }
    void Beep() override { log += "{BEL}"; }
    void SetTextStyle(const CTextStyle& s) override {
        log += "{style " + std::to_string(s.foreground) + "}";
    }
    void CarriageReturn(int first, bool back) override {
        log += "{CR " + std::to_string(first) + (back ? " back}" : "}");
    }
    void MoveToColumn(int c) override { log += "{col " + std::to_string(c) + "}"; }
    void EraseInLine(int mode, int first) override {
        log += "{EL " + std::to_string(mode) + "}";
    }
    void EscapeSequence(const CEscapeSequence& s) override {
        if (s.IsTitle()) log += "{title " + s.Title() + "}";
    }
    void CaptureText(const unsigned char* b, int n) override {
        kept.Append(b, n);
        stripped.Append(b, n);
    }
    void CaptureBackspace() override {
        kept.Backspace();
        stripped.Backspace();
    }
    void CaptureCarriageReturn(int first, bool back) override {
        kept.CarriageReturn(first, back);
        stripped.CarriageReturn(first, back);
    }
    void CaptureMoveToColumn(int c) override {
        kept.MoveToColumn(c);
        stripped.MoveToColumn(c);
    }
    void CaptureEraseInLine(int mode, int first) override {
        kept.EraseInLine(mode, first);
        stripped.EraseInLine(mode, first);
    }
    void CaptureHoldLineEnd() override {
        kept.HoldNextLineEnd();
        stripped.HoldNextLineEnd();
    }
    void CaptureLineEndSettled() override {
        kept.SettleLineEnd();
        stripped.SettleLineEnd();
    }
    void CaptureSequence(const unsigned char* b, int n) override {
        kept.Sequence(b, n);
        stripped.Sequence(b, n);
    }

    std::string log;
    CCaptureLine kept{true}, stripped{false};
};

struct Outcome {
    std::string log, kept, stripped;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << ::testing::PrintToString(o.log) << " / " << ::testing::PrintToString(o.kept)
              << " / " << ::testing::PrintToString(o.stripped);
}

// The log with the pieces of text joined: a cut changes how text is handed over, not what.
Outcome ReceiveAll(const std::vector<std::string>& messages, bool escapes = true) {
    CRecorder r;
    CReceiveRules rules;
    rules.SetEscapes(escapes);
    for (const std::string& m : messages)
        rules.Process(reinterpret_cast<const unsigned char*>(m.data()),
                      static_cast<int>(m.size()), r, &r);
    return {r.log, r.kept.TakeAll(), r.stripped.TakeAll()};
}

struct EscapeCase {
    const char* name;
    std::string stream;
    Outcome whole;
};

std::ostream& operator<<(std::ostream& os, const EscapeCase& c) { return os << c.name; }

const EscapeCase kEscapeCases[] = {
    {"Colours", "\x1b[31mr\x1b[0m.",
     {"{style 11141120}r{style -1}.", "\x1b[31mr\x1b[0m.", "r."}},
    {"StatusLine", "1%\r\x1b[K2%\r\x1b[K3%\r\n",
     {"1%\r\n{CR 0 back}{EL 0}2%\r\n{CR 0 back}{EL 0}3%\r\n", "1%\r\x1b[K2%\r\x1b[K3%\r\n",
      "3%\r\n"}},
    {"EraseThenCr", "a\x1b[2K\rb\r\n",
     {"a{EL 2}{CR 0}b\r\n", "a\x1b[2K\rb\r\n", "b\r\n"}},
    {"ColumnAndErase", "abcd\x1b[2Gx\x1b[K\r\n",
     {"abcd{col 1}x{EL 0}{CR 0}\r\n", "abcd\x1b[2Gx\x1b[K\r\n", "ax\r\n"}},
    {"TitleAndBelInPlace", "a\x07\x1b]0;T\x07" "b\x07",
     {"a{BEL}{title T}b{BEL}", "a\x1b]0;T\x07" "b", "ab"}},
    {"BackspaceInTheHeldLine", "> md 0 2x\b0\r\n> ",
     {"> md 0 2x{BS}0\r\n> ", "> md 0 20\r\n> ", "> md 0 20\r\n> "}},
    {"BackspaceKeepsSequences", "ab\x1b[1m\bc",
     {"ab{style -1}{BS}c", "a\x1b[1m" "c", "ac"}},
    {"GarbledSequenceBesideLineEnds", "x\x1b[1\r\ny",
     {"x\r\ny", "x\x1b[1\r\ny", "x\r\ny"}},
    {"LfAfterASequenceAfterCr", "a\r\x1b[0m\nb",
     {"a\r\n{style -1}\r\nb", "a\r\n\x1b[0m\r\nb", "a\r\n\r\nb"}},
};

class EscapeRulesTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeRulesTest, TheSameWhereverTheStreamIsCut) {
    const EscapeCase& c = GetParam();
    EXPECT_EQ(c.whole, ReceiveAll({c.stream}));
    for (size_t cut = 1; cut < c.stream.size(); ++cut) {
        Outcome split = ReceiveAll({c.stream.substr(0, cut), c.stream.substr(cut)});
        EXPECT_EQ(c.whole, split) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Escapes, EscapeRulesTest, ::testing::ValuesIn(kEscapeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EscapeRules, OffEveryByteIsTextAsBefore) {
    const Outcome off = ReceiveAll({"\x1b[31mr\r\x1b[K\x07"}, false);
    // As it always was: a BEL rings as its message is shown.
    EXPECT_EQ("{BEL}\x1b[31mr\r\n\x1b[K", off.log);
    EXPECT_EQ("\x1b[31mr\r\n\x1b[K", off.kept);
}

TEST(CaptureLine, HoldsTheLineUntilTheNextBegins) {
    CCaptureLine line;
    const std::string a = "ab\r\n";
    line.Append(reinterpret_cast<const unsigned char*>(a.data()), 4);
    EXPECT_EQ("ab\r\n", line.TakeReady());
    line.HoldNextLineEnd();
    line.Append(reinterpret_cast<const unsigned char*>(a.data()), 4);
    EXPECT_EQ("", line.TakeReady());  // a CR before an erase could still take the end back
    line.Append(reinterpret_cast<const unsigned char*>("c"), 1);
    EXPECT_EQ("ab\r\n", line.TakeReady());
    EXPECT_EQ("c", line.TakeAll());
    // What is written stays written: a BS after it erases nothing more.
    line.Backspace();
    line.Append(reinterpret_cast<const unsigned char*>("d"), 1);
    EXPECT_EQ("d", line.TakeAll());
    const std::string longLine(CCaptureLine::kHoldLimit + 1, 'x');
    line.Append(reinterpret_cast<const unsigned char*>(longLine.data()),
                static_cast<int>(longLine.size()));
    EXPECT_EQ(longLine, line.TakeReady());
}

}  // namespace
