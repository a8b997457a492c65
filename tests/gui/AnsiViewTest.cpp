// Escape sequences in the terminal view, with View > ANSI Colours on (the default): what shows
// and in what colours, read from the document's character formats, whatever the batching; a
// status line rewritten in place; the capture of a line edited with BS. Off: the old text.

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ViewFixture.h"
#include "terminal/CaptureWriter.h"

namespace {

// One character's look: its colours as 0xRRGGBB (-1: none, the terminal's own), bold, underline.
struct Look {
    int fg = -1, bg = -1;
    bool bold = false, underline = false;
    bool operator==(const Look&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Look& l) {
    char text[64];
    std::snprintf(text, sizeof text, "fg %06X bg %06X%s%s", l.fg & 0xFFFFFF, l.bg & 0xFFFFFF,
                  l.bold ? " bold" : "", l.underline ? " underline" : "");
    return os << (l.fg < 0 ? "fg default" : "") << text;
}

struct AnsiCase {
    const char* name;
    std::string stream;
    std::string shown;
    // Characters of the shown text (offsets into it) and how each looks.
    std::vector<std::pair<int, Look>> looks;
};

std::ostream& operator<<(std::ostream& os, const AnsiCase& c) { return os << c.name; }

constexpr int kRed = 0xAA0000;
constexpr int kBrightGreen = 0x55FF55;

const AnsiCase kAnsiCases[] = {
    {"ColourAndReset", "\x1b[31mred\x1b[0m plain", "red plain",
     {{0, {kRed, -1}}, {2, {kRed, -1}}, {3, {}}, {4, {}}}},
    {"BoldUnderlineBrightThenDefaults", "\x1b[1;4;92mX\x1b[39;49;22;24mY\x1b[44mZ\x1b[mW",
     "XYZW",
     {{0, {kBrightGreen, -1, true, true}}, {1, {}}, {2, {-1, 0x0000AA}}, {3, {}}}},
    {"TwoHundredFiftySixColours", "\x1b[38;5;196mA\x1b[48;5;21mB\x1b[38;5;244;49mC\x1b[0mD",
     "ABCD",
     {{0, {0xFF0000, -1}}, {1, {0xFF0000, 0x0000FF}}, {2, {0x808080, -1}}, {3, {}}}},
    {"BrightBackground", "\x1b[103;30mk\x1b[m", "k", {{0, {0x000000, 0xFFFF55}}}},
    {"EmptySgrResets", "\x1b[35ma\x1b[mb", "ab", {{0, {0xAA00AA, -1}}, {1, {}}}},
    {"StatusLineRewrittenWithCrAndEraseToEnd", "10%\r\x1b[K20%\r\x1b[K30%\r\n> ", "30%\r\n> ",
     {}},
    {"StatusLineErasedWholeThenCr", "\x1b[2K\rab\x1b[2K\rcd\r\nnext", "cd\r\nnext", {}},
    {"CursorToColumnOverwritesThenEraseToEnd", "abcdef\x1b[3Gx\x1b[K", "abx", {}},
    {"EraseToStartBlanksUpToTheCursor", "abcdef\x1b[3G\x1b[1K", "   def", {}},
    {"LongerRewriteThanTheLine", "ab\r\x1b[Kxyz1234\r\n", "xyz1234\r\n", {}},
    {"ColouredStatusLine", "\x1b[32mok 1\x1b[0m\r\x1b[K\x1b[31mfail 2\x1b[0m\r\n", "fail 2\r\n",
     {{0, {kRed, -1}}, {5, {kRed, -1}}}},
    {"TitleEndedByBel", "\x1b]0;BOARD TITLE\x07" "after", "after", {}},
    {"TitleEndedByStringTerminator", "\x1b]2;T\x1b\\x", "x", {}},
    {"ScreenAndCursorSequencesLeftOut", "\x1b[2J\x1b[H\x1b[?25lok\x1b(B\x1b" "7\x1b[5;10H!",
     "ok!", {}},
    {"LineEndsAroundSequences", "a\x1b[0m\r\n\x1b[1mb\r\n", "a\r\nb\r\n", {}},
    {"BelBesideASequence", "a\x07\x1b[31mb\x07", "ab", {{1, {kRed, -1}}}},
    {"GarbledSequenceKeepsTheLineEnd", "x\x1b[12\r\ny", "x\r\ny", {}},
};

class AnsiViewTest : public ViewFixture, public ::testing::WithParamInterface<AnsiCase> {
protected:
    Look LookAt(int offset) const {
        // The offset counts a line end as two characters, as TerminalBytes does.
        const QByteArray shown = view->TerminalBytes();
        int position = 0;
        for (int i = 0; i < offset; ++i)
            if (!(shown[i] == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n')) ++position;
        QTextCursor cursor(view->document());
        cursor.setPosition(position + 1);
        const QTextCharFormat f = cursor.charFormat();
        Look look;
        if (f.hasProperty(QTextFormat::ForegroundBrush))
            look.fg = static_cast<int>(f.foreground().color().rgb() & 0xFFFFFF);
        if (f.hasProperty(QTextFormat::BackgroundBrush))
            look.bg = static_cast<int>(f.background().color().rgb() & 0xFFFFFF);
        look.bold = f.fontWeight() == QFont::Bold;
        look.underline = f.fontUnderline();
        return look;
    }
    void Check(const std::string& context) {
        const AnsiCase& c = GetParam();
        EXPECT_EQ(c.shown, Shown()) << context;
        for (const auto& [offset, look] : c.looks)
            EXPECT_EQ(look, LookAt(offset)) << context << ", character " << offset;
    }
};

TEST_P(AnsiViewTest, ShownAndColouredTheSameWhereverTheStreamIsCut) {
    const AnsiCase& c = GetParam();
    ASSERT_TRUE(view->AnsiOn());
    Receive(c.stream);
    Check("whole");
    for (size_t cut = 1; cut < c.stream.size(); ++cut) {
        view->OnClearTerminal();
        Receive(c.stream.substr(0, cut));
        Receive(c.stream.substr(cut));
        Check("cut at " + std::to_string(cut));
    }
}

INSTANTIATE_TEST_SUITE_P(Ansi, AnsiViewTest, ::testing::ValuesIn(kAnsiCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ViewFixture, InverseSwapsTheTerminalsOwnColours) {
    Receive("\x1b[7mI\x1b[27mn\x1b[7;31mR");
    QTextCursor cursor(view->document());
    cursor.setPosition(1);
    const QTextCharFormat inverse = cursor.charFormat();
    EXPECT_EQ(view->palette().color(QPalette::Base), inverse.foreground().color());
    EXPECT_EQ(view->palette().color(QPalette::Text), inverse.background().color());
    cursor.setPosition(2);
    EXPECT_FALSE(cursor.charFormat().hasProperty(QTextFormat::ForegroundBrush));
    cursor.setPosition(3);
    EXPECT_EQ(QColor(0xAA0000), cursor.charFormat().background().color());
}

TEST_F(ViewFixture, TheBoardsTitleIsOffered) {
    QString title;
    view->titleChanged = [&](const QString& t) { title = t; };
    Receive("\x1b]0;BOARD ");
    Receive("TITLE\x07>");
    EXPECT_EQ("BOARD TITLE", title);
    EXPECT_EQ(">", Shown());
}

TEST_F(ViewFixture, AnsiOffShowsEveryByteAsBefore) {
    view->OnViewAnsi(false);
    EXPECT_EQ(0, store.GetProfileInt("Text", "ANSI", 1));
    Receive("\x1b[31mred\x1b[0m\r\x1b[K!");
    EXPECT_EQ("\x1b[31mred\x1b[0m\r\n\x1b[K!", Shown());
    QTextCursor cursor(view->document());
    cursor.setPosition(6);
    EXPECT_FALSE(cursor.charFormat().hasProperty(QTextFormat::ForegroundBrush));
    view->OnViewAnsi(true);
    EXPECT_EQ(1, store.GetProfileInt("Text", "ANSI", 0));
}

// The capture is a real file, written by the capture writer the window uses.
class ViewCaptureTest : public ViewFixture {
protected:
    class CNoQuestions : public ICaptureQuestions {
    public:
        std::optional<std::string> AskFileName() override { return std::nullopt; }
        std::optional<int> AskWriteMode() override { return std::nullopt; }
        std::optional<bool> AskIncludeBuffer() override { return std::nullopt; }
        void TellCannotOpen(const std::string& message) override { ADD_FAILURE() << message; }
    };
    void StartCapture(bool stripEscapes) {
        path = std::filesystem::temp_directory_path() /
               ("ansi-capture-" + std::to_string(::getpid()) + ".txt");
        CCaptureSettings settings;
        settings.m_nPromptForFilename = capture::kFixedFilename;
        settings.m_strPathName = path.string();
        settings.m_nWriteMode = capture::kOverwrite;
        settings.m_nIncludeBuffer = capture::kIncludeNo;
        settings.m_bStripEscapes = stripEscapes ? 1 : 0;
        settings.Write(store);
        view->SetCaptureSink(&writer);
        CNoQuestions questions;
        ASSERT_TRUE(writer.Start(&store, "", questions, {}));
    }
    std::string Captured() {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void TearDown() override {
        writer.Stop();
        std::filesystem::remove(path);
        ViewFixture::TearDown();
    }
    CCaptureWriter writer;
    std::filesystem::path path;
};

TEST_F(ViewCaptureTest, ABackspaceOnTheCurrentLineErasesFromTheCaptureToo) {
    StartCapture(false);
    // The board echoes each key as it comes, BS included.
    for (const char* echo : {"> ", "m", "d", " ", "0", " ", "2", "x", "\b", "0"}) Receive(echo);
    writer.Stop();
    EXPECT_EQ("> md 0 20", Captured());
    EXPECT_EQ(Shown(), Captured());
}

TEST_F(ViewCaptureTest, CapturedTextEqualsTheViewAfterBackspacesAndLineEnds) {
    StartCapture(false);
    Receive("> md 0 2x\b0\r\n00000000  00 01\r\n> ab\b\bcd\r");
    Receive("\n> x\b");
    writer.Stop();
    EXPECT_EQ("> md 0 20\r\n00000000  00 01\r\n> cd\r\n> ", Captured());
    EXPECT_EQ(Shown(), Captured());
}

TEST_F(ViewCaptureTest, AQuietSecondWritesTheHeldLine) {
    StartCapture(false);
    Receive("> md");
    ASSERT_TRUE(WaitFor([&] { return Captured() == "> md"; }, 10000)) << Captured();
}

TEST_F(ViewCaptureTest, EscapeSequencesAreCapturedAsReceived) {
    StartCapture(false);
    Receive("\x1b[31mred\x1b[0m 10%\r\x1b[K20%\r\n");
    writer.Stop();
    EXPECT_EQ("\x1b[31mred\x1b[0m 10%\r\x1b[K20%\r\n", Captured());
    EXPECT_EQ("20%\r\n", Shown());
}

TEST_F(ViewCaptureTest, LeftOutEscapeSequencesLeaveWhatIsShown) {
    StartCapture(true);
    Receive("\x1b[31mred\x1b[0m\r\n10%\r\x1b[K20%\r\x1b[K\x1b]0;T\x07");
    Receive("30%\r\n\x1b[2K\rab\b\x1b[1G\x1b[Kz\r\n");
    writer.Stop();
    EXPECT_EQ("red\r\n30%\r\nz\r\n", Captured());
    EXPECT_EQ(Shown(), Captured());
}

}  // namespace
