// A selection, and the place a user reads at, stay on their text while the board prints and
// while a full terminal gives up its oldest lines.
#ifdef TARVOLINE_HAVE_SIM
// The board's headers first: they use a name that Qt defines as a macro.
#include "simulated_board.h"
#endif

#include <QClipboard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "ViewFixture.h"

namespace {

// The line shown at the top of the view.
QString TopLine(const CTarvolineView& view) {
    return view.cursorForPosition(QPoint(2, 2)).block().text();
}

class SelectionFixture : public ViewFixture {
protected:
    void Lines(const std::string& word, int from, int to) {
        for (int i = from; i < to; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "%s %03d\r\n", word.c_str(), i);
            Receive(line);
        }
    }
    // Selects the whole line that reads text, by keyboard: Home, then Shift+End.
    void SelectLineByKeys(const QString& text) {
        QTextCursor found = view->document()->find(text);
        ASSERT_FALSE(found.isNull()) << text.toStdString();
        found.clearSelection();
        found.movePosition(QTextCursor::StartOfBlock);
        view->setTextCursor(found);
        QTest::keyClick(view.get(), Qt::Key_End, Qt::ShiftModifier);
        ASSERT_EQ(text, view->textCursor().selectedText());
    }
    QString Copied() {
        QApplication::clipboard()->clear();
        view->copy();
        return QApplication::clipboard()->text();
    }
};

TEST_F(SelectionFixture, ASelectionStaysThroughAppendsAndTrimsAndCopyGivesItsText) {
    view->show();
    view->SetTextLimit(2000, 100);
    Lines("old", 0, 150);  // 8 characters a line: 1,200
    SelectLineByKeys("old 120");
    QSignalSpy copyAvailable(view.get(), &QPlainTextEdit::copyAvailable);
    Lines("new", 0, 50);  // 1,600: no trim yet
    EXPECT_EQ("old 000", view->document()->firstBlock().text().toStdString());
    EXPECT_EQ("old 120", view->textCursor().selectedText().toStdString());
    Lines("more", 0, 60);  // past 2,000: the oldest lines go
    ASSERT_NE("old 000", view->document()->firstBlock().text().toStdString());
    QTest::qWait(2 * CTarvolineView::kFloodIntervalMs);  // the view catches up meanwhile
    EXPECT_EQ("old 120", view->textCursor().selectedText().toStdString());
    EXPECT_EQ("old 120", Copied().toStdString());
    for (const QList<QVariant>& signal : copyAvailable) EXPECT_TRUE(signal.at(0).toBool());
}

TEST_F(SelectionFixture, ASelectionAtTheEndDoesNotTakeInWhatFollows) {
    Receive("prompt> ");
    QTextCursor cursor = view->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);
    Receive("more text\r\n");
    Receive("x");
    EXPECT_EQ("prompt> ", view->textCursor().selectedText().toStdString());
    EXPECT_EQ("prompt> ", Copied().toStdString());
}

TEST_F(SelectionFixture, ASelectionWhoseTextIsTrimmedGoes) {
    view->show();
    view->SetTextLimit(2000, 100);
    Lines("old", 0, 150);
    SelectLineByKeys("old 010");
    QSignalSpy copyAvailable(view.get(), &QPlainTextEdit::copyAvailable);
    Lines("new", 0, 120);  // 2,160: lines from the start go, the selected one with them
    ASSERT_TRUE(view->document()->find("old 010").isNull());
    EXPECT_FALSE(view->textCursor().hasSelection());
    ASSERT_FALSE(copyAvailable.isEmpty());
    EXPECT_FALSE(copyAvailable.last().at(0).toBool());  // Edit > Copy is greyed again
}

TEST_F(SelectionFixture, BackspacesShrinkASelectionAtTheEnd) {
    Receive("ABC");
    QTextCursor cursor = view->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(2, QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);
    Receive("\b");
    EXPECT_EQ("AB", view->textCursor().selectedText().toStdString());
    Receive("\b");
    EXPECT_EQ("A", view->textCursor().selectedText().toStdString());
    Receive("\bxyz");
    EXPECT_EQ("xyz", view->toPlainText().toStdString());
    EXPECT_FALSE(view->textCursor().hasSelection());
}

TEST_F(SelectionFixture, AMouseSelectionStaysWhileLinesArrive) {
    view->resize(400, 300);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    Lines("line", 0, 5);
    const QRect first = view->cursorRect(QTextCursor(view->document()->findBlockByNumber(1)));
    const QPoint from = first.center() + QPoint(1, 0);
    const QPoint to(from.x() + 400, first.center().y() + first.height());  // to the next line
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(view->viewport(), to);
    Lines("flood", 0, 30);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    const QString selected = view->textCursor().selectedText();
    EXPECT_TRUE(selected.startsWith("line 001")) << selected.toStdString();
    EXPECT_FALSE(selected.contains("flood")) << selected.toStdString();
}

TEST_F(SelectionFixture, AUserScrolledBackStaysOnTheSameTextThroughTrims) {
    view->resize(400, 200);
    view->show();
    view->SetTextLimit(6000, 500);
    Lines("line", 0, 400);  // 9 characters a line: 3,600
    QScrollBar* bar = view->verticalScrollBar();
    ASSERT_TRUE(WaitFor([&] { return bar->maximum() > 300 && bar->value() == bar->maximum(); }));
    bar->setValue(150);
    const QString top = TopLine(*view);
    ASSERT_TRUE(top.startsWith("line ")) << top.toStdString();
    Lines("flood", 0, 300);  // 10 characters a line: past 6,000, trimmed twice or more
    ASSERT_NE("line 000", view->document()->firstBlock().text().toStdString());
    // Once the view has caught up: the same line on top, at a smaller scroll value.
    EXPECT_TRUE(WaitFor([&] { return bar->value() < 150; }));
    EXPECT_EQ(top.toStdString(), TopLine(*view).toStdString());

    // Back at the end, the view follows again.
    bar->setValue(bar->maximum());
    Lines("end", 0, 50);
    EXPECT_TRUE(WaitFor([&] { return TopLine(*view) != top && bar->value() == bar->maximum(); }));
    EXPECT_TRUE(view->toPlainText().endsWith("end 049\n"));
}

}  // namespace

#ifdef TARVOLINE_HAVE_SIM
#include "app/MainFrame.h"
#include "app/SplashWindow.h"
#include "app/CommandIds.h"

namespace {

TEST(ViewAgainstTheBoard, SelectionAndCopyWhileTheBoardChatters) {
    vivaz::BoardOptions options;
    options.faults.chatterMs = 10;
    vivaz::testing::SimulatedBoard board(options);
    CMemorySettingsStore store;
    CRecordingUi ui;
    CUiCallQueue calls;
    CUiCallPump pump{calls};
    CSplashWindow::EnableSplashScreen(false);
    CMainFrame frame(&store);
    CTarvolineDoc doc(&store, ui, calls);
    doc.PortNames().Bind("COM3", board.devicePath());
    CTarvolineView* view = frame.View();
    view->SetDocument(&doc);
    doc.AddView(view);
    ui.answer = MessageResult::No;
    frame.show();
    ASSERT_TRUE(doc.OnNewDocument());
    ASSERT_NE(nullptr, doc.Port());

    auto lines = [&] { return view->document()->blockCount(); };
    ASSERT_TRUE(WaitFor([&] { return view->toPlainText().contains("tick 000025"); }, 20000));
    QTextCursor found = view->document()->find("tick 000020");
    ASSERT_FALSE(found.isNull());
    view->setTextCursor(found);  // a selection of the line's text
    const int before = lines();
    ASSERT_TRUE(WaitFor([&] { return lines() >= before + 50; }, 20000));
    EXPECT_EQ("tick 000020", view->textCursor().selectedText().toStdString());
    // A full terminal from now on: the next lines push the oldest out, a few at a time.
    view->SetTextLimit(view->document()->characterCount() + 12, 10);
    const QString firstBefore = view->document()->firstBlock().text();
    ASSERT_TRUE(WaitFor([&] { return view->document()->firstBlock().text() != firstBefore; },
                        20000));
    EXPECT_EQ("tick 000020", view->textCursor().selectedText().toStdString());
    QAction* copy = frame.Action(cmd::kEditCopy);
    EXPECT_TRUE(copy->isEnabled());
    QApplication::clipboard()->clear();
    copy->trigger();
    EXPECT_EQ("tick 000020", QApplication::clipboard()->text().toStdString());
    doc.RemoveView(view);
}

}  // namespace
#endif
