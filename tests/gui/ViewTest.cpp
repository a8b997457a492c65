// The terminal view on the offscreen platform: receive rules on the real text widget, the
// keyboard, paste and clear.
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "ViewFixture.h"

namespace {

TEST_F(ViewFixture, ReceivedTextIsThereWhenTheCallReturns) {
    Receive("abc\r\ndef");
    EXPECT_EQ("abc\r\ndef", Shown());
    EXPECT_EQ(QString("abc\ndef"), view->toPlainText());
    EXPECT_EQ("abc\r\ndef", capture.text);
}

TEST_F(ViewFixture, LoneCrLoneLfAndLfCrBreakLines) {
    Receive("a\rb\nc\n\rd");
    EXPECT_EQ(QString("a\nb\nc\n\nd"), view->toPlainText());
}

TEST_F(ViewFixture, CrLfSplitBetweenMessagesIsOneLineEnd) {
    Receive("abc\r");
    Receive("\ndef\r");
    Receive("\n");
    EXPECT_EQ(QString("abc\ndef\n"), view->toPlainText());
    EXPECT_EQ("abc\r\ndef\r\n", capture.text);
}

TEST_F(ViewFixture, ClearForgetsAPendingCr) {
    Receive("abc\r");
    view->OnClearTerminal();
    Receive("\nx");
    EXPECT_EQ(QString("\nx"), view->toPlainText());
}

TEST_F(ViewFixture, BackspaceErasesTheLastCharacter) {
    Receive("AB\bX");
    EXPECT_EQ(QString("AX"), view->toPlainText());
    EXPECT_EQ("ABX", capture.text);
    Receive("\b\b\b");
    EXPECT_EQ(QString(), view->toPlainText());
}

TEST_F(ViewFixture, AFullTerminalDropsItsOldestLinesAndShowsTheNewest) {
    // Lines of 1,000 characters (line end included), 18 MB in all: past the limit.
    std::string line(998, 'x');
    size_t sent = 0;
    for (int i = 0; i < 18000; ++i) {
        std::string numbered = std::to_string(i) + line.substr(std::to_string(i).size()) + "\r\n";
        Receive(numbered);
        sent += numbered.size();
    }
    Receive("the newest line");
    const int length = view->document()->characterCount() - 1;
    EXPECT_LE(length, kTerminalTextLimit);
    EXPECT_GT(length, kTerminalTextLimit - 2 * CTarvolineView::kTrimSlack);
    EXPECT_EQ(view->document()->lastBlock().text(), QString("the newest line"));
    // Whole lines went: the first one left starts with its number.
    EXPECT_EQ(view->document()->firstBlock().text().size(), 998);
    // The capture has every byte.
    EXPECT_EQ(capture.text.size(), sent + 15);
    EXPECT_EQ(capture.text.substr(capture.text.size() - 15), "the newest line");
}

TEST_F(ViewFixture, AViewScrolledAwayStaysWhereItIsAndAtTheEndItFollows) {
    view->resize(400, 200);
    for (int i = 0; i < 300; ++i) Receive("line " + std::to_string(i) + "\r\n");
    QScrollBar* bar = view->verticalScrollBar();
    ASSERT_TRUE(WaitFor([&] { return bar->maximum() > 100 && bar->value() == bar->maximum(); }));
    bar->setValue(20);  // the user reads older output
    for (int i = 0; i < 300; ++i) Receive("flood " + std::to_string(i) + "\r\n");
    QTest::qWait(100);
    EXPECT_EQ(bar->value(), 20);
    EXPECT_TRUE(view->toPlainText().endsWith("flood 299\n"));

    bar->setValue(bar->maximum());  // back at the end: new text is followed again
    for (int i = 0; i < 50; ++i) Receive("more " + std::to_string(i) + "\r\n");
    EXPECT_TRUE(WaitFor([&] { return bar->value() == bar->maximum() && bar->value() > 20; }));
}

TEST_F(ViewFixture, NulShowsAsNothingAndTheRestShows) {
    Receive(std::string("ab\0cd", 5));
    EXPECT_EQ(QString("abcd"), view->toPlainText());
    EXPECT_EQ(std::string("ab\0cd", 5), capture.text);
}

TEST_F(ViewFixture, HighBytesAreLatin1Characters) {
    std::string bytes;
    for (int b = 0xA0; b <= 0xFF; ++b) bytes += static_cast<char>(b);
    Receive(bytes);
    // Includes 0xA0, which plain-text export would turn into a space.
    EXPECT_EQ(bytes, Shown());
    EXPECT_EQ(QChar(0xFF), view->document()->lastBlock().text().back());
}

TEST_F(ViewFixture, DataKeepsTheSelectionAndACaretGoesToTheEnd) {
    Receive("hello world");
    QTextCursor cursor = view->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);
    Receive("!");
    EXPECT_EQ(QString("hello world!"), view->toPlainText());
    EXPECT_EQ(QString("hello"), view->textCursor().selectedText());

    // A caret with nothing selected follows the text, once the view has caught up with it.
    cursor.setPosition(3);
    view->setTextCursor(cursor);
    Receive("?");
    EXPECT_TRUE(WaitFor([&] { return view->textCursor().position() == 13; }));
}

TEST_F(ViewFixture, ThreePassesForTwoThousandFiveHundredBytes) {
    Receive(std::string(2500, 'x'));
    EXPECT_EQ(3, capture.calls);
    EXPECT_EQ(2500, view->toPlainText().size());
}

TEST_F(ViewFixture, NeverModified) {
    Receive("text\r\n");
    EXPECT_FALSE(view->document()->isModified());
}

TEST_F(ViewFixture, TextThatMeetsTheLimitShowsWholeAndIsCaptured) {
    // Lines of 80 characters, as a terminal would hold them; two characters of room left.
    QString text(kTerminalTextLimit - 2, 'x');
    for (int i = 79; i < text.size(); i += 80) text[i] = '\n';
    view->setPlainText(text);
    Receive("abcd");
    EXPECT_LE(view->document()->characterCount() - 1, kTerminalTextLimit);
    EXPECT_TRUE(view->toPlainText().endsWith("abcd"));
    EXPECT_TRUE(view->document()->firstBlock().text().startsWith("x"));
    EXPECT_EQ("abcd", capture.text);
    view->clear();
}

TEST_F(ViewFixture, ClearEmptiesTheTerminal) {
    Receive("abc");
    view->OnClearTerminal();
    EXPECT_EQ(QString(), view->toPlainText());
}

class ConnectedViewFixture : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        doc->Connect();
        ASSERT_NE(nullptr, doc->Port());
    }
};

TEST_F(ConnectedViewFixture, TypedCharactersAreSentNotShown) {
    QTest::keyClicks(view.get(), "ab");
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_EQ("ab\r", pty.Read(3));
    EXPECT_EQ(QString(), view->toPlainText());
}

TEST_F(ConnectedViewFixture, ControlLettersSendTheirCodes) {
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ("\x03\x16", pty.Read(2));
}

TEST_F(ConnectedViewFixture, EscSendsNothingAndBackspaceIsSentNotApplied) {
    Receive("xy");
    QTest::keyClick(view.get(), Qt::Key_Escape);
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    EXPECT_EQ("\b", pty.Read(2, std::chrono::milliseconds(300)));
    EXPECT_EQ(QString("xy"), view->toPlainText());
}

TEST_F(ConnectedViewFixture, AltLettersNeitherSendNorType) {
    Receive("> ");
    QTest::keyClick(view.get(), Qt::Key_F, Qt::AltModifier);
    QTest::keyClick(view.get(), Qt::Key_Q, Qt::AltModifier);
    QTest::keyClick(view.get(), Qt::Key_Z, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(Shown(), "> ");  // the terminal shows only what the board sends
    EXPECT_EQ(pty.Read(1, std::chrono::milliseconds(100)), "");
}

TEST_F(ConnectedViewFixture, RepeatCountSendsThatManyTimes) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z", true, 3);
    QApplication::sendEvent(view.get(), &press);
    EXPECT_EQ("zzz", pty.Read(3));
}

TEST_F(ConnectedViewFixture, LocalEchoShowsTypedText) {
    CPortSettings s = doc->Settings();
    s.m_bLocalEcho = 1;
    doc->OnCommSettingsConfirmed(s);
    QTest::keyClicks(view.get(), "hi");
    EXPECT_EQ(QString("hi"), view->toPlainText());
}

TEST_F(ConnectedViewFixture, PasteEndsBareLfLinesWithCrLf) {
    QApplication::clipboard()->setText("line 1\r\nline 2\n\n\rx\u00e9\u20ac\n");
    view->OnPasteToTarget();
    EXPECT_EQ("line 1\r\nline 2\r\n\r\n\rx\xe9?\r\n", pty.Read(24));
    EXPECT_EQ(QString(), view->toPlainText());
}

TEST_F(ConnectedViewFixture, LocalPasteChangesNothing) {
    Receive("abc");
    QApplication::clipboard()->setText("zzz");
    QTest::keyClick(view.get(), Qt::Key_Insert, Qt::ShiftModifier);
    view->paste();
    EXPECT_EQ(QString("abc"), view->toPlainText());
    EXPECT_EQ("", pty.Read(1, std::chrono::milliseconds(200)));
}

TEST_F(ConnectedViewFixture, ReceivedBytesFromTheLineShow) {
    pty.Write("VIVAZ> ");
    ASSERT_TRUE(WaitFor([&] { return view->toPlainText() == "VIVAZ> "; }));
}

}  // namespace
