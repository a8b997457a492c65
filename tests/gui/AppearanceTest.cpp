// The terminal's appearance: the stored font, colours and wrap mode applied to the view, the
// Format commands, the font dialog's start and what it stores, and print preview's black text.
#include <gtest/gtest.h>

#include <ostream>

#include <QAction>
#include <QComboBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QAbstractTextDocumentLayout>
#include <QTextLayout>
#include <QTextDocument>
#include <QTextBlock>
#include <QFontDialog>
#include <QFontInfo>
#include <QPrintPreviewDialog>

#include "GuiSupport.h"
#include "ModalScript.h"
#include "app/CommandIds.h"
#include "document/FirstRunDefaults.h"
#include "app/MainFrame.h"
#include "document/MemorySettingsStore.h"
#include "app/SplashWindow.h"
#include "app/TerminalCommands.h"
#include "terminal/TarvolineView.h"
#include "terminal/TerminalFontDlg.h"

namespace {

class AppearanceTest : public ::testing::Test {
protected:
    void Open() {
        CSplashWindow::EnableSplashScreen(false);
        frame = std::make_unique<CMainFrame>(&store);
        view()->ApplyAppearance(&store);
        commands = std::make_unique<CTerminalCommands>(*frame, &store);
    }
    void TearDown() override {
        commands.reset();
        frame.reset();
    }
    CTarvolineView* view() const { return frame->View(); }
    QColor TextColor() const { return view()->palette().color(QPalette::Text); }
    QColor Background() const { return view()->palette().color(QPalette::Base); }
    bool WrapChecked() {
        commands->UpdateCommands();
        return frame->Action(cmd::kFormatWrap)->isChecked();
    }

    CMemorySettingsStore store;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CTerminalCommands> commands;
};

TEST_F(AppearanceTest, FreshStoreGivesWhiteTenPointCourierOnBlueWrapped) {
    WriteFirstRunDefaults(store);
    Open();
    EXPECT_EQ(QString("Courier"), view()->font().families().value(0));
    EXPECT_DOUBLE_EQ(10.0, view()->font().pointSizeF());
    EXPECT_FALSE(view()->font().bold());
    EXPECT_EQ(QColor(Qt::white), TextColor());
    EXPECT_EQ(QColor(0, 0, 255), Background());
    EXPECT_EQ(QPlainTextEdit::WidgetWidth, view()->lineWrapMode());
    EXPECT_TRUE(WrapChecked());
    EXPECT_EQ(1, store.GetProfileInt("Text", "Wrap", -1));
}

TEST_F(AppearanceTest, NothingStoredGivesBlackOnWhite) {
    Open();
    EXPECT_EQ(QColor(Qt::black), TextColor());
    EXPECT_EQ(QColor(Qt::white), Background());
}

TEST_F(AppearanceTest, StoredEffectsAndColours) {
    WriteFirstRunDefaults(store);
    store.WriteProfileInt("Font", "Size", 125);
    store.WriteProfileInt("Font", "Bold", 1);
    store.WriteProfileInt("Font", "Italic", 2);
    store.WriteProfileInt("Font", "Underline", 1);
    store.WriteProfileInt("Font", "Strikeout", 1);
    store.WriteProfileInt("Font", "Color", 0x0000FF);  // red
    store.WriteProfileInt("Background", "Color", 0x00FF00);
    Open();
    EXPECT_DOUBLE_EQ(12.5, view()->font().pointSizeF());
    EXPECT_TRUE(view()->font().bold());
    EXPECT_TRUE(view()->font().italic());
    EXPECT_TRUE(view()->font().underline());
    EXPECT_TRUE(view()->font().strikeOut());
    EXPECT_EQ(QColor(255, 0, 0), TextColor());
    EXPECT_EQ(QColor(0, 255, 0), Background());
}

TEST_F(AppearanceTest, WrapStoredAsFiveShowsUnwrappedAndIsRewrittenAsZero) {
    WriteFirstRunDefaults(store);
    store.WriteProfileInt("Text", "Wrap", 5);
    Open();
    EXPECT_EQ(QPlainTextEdit::NoWrap, view()->lineWrapMode());
    EXPECT_FALSE(WrapChecked());
    EXPECT_EQ(0, store.GetProfileInt("Text", "Wrap", -1));
}

TEST_F(AppearanceTest, WrapTextTogglesAndIsStored) {
    WriteFirstRunDefaults(store);
    Open();
    frame->Action(cmd::kFormatWrap)->trigger();
    EXPECT_EQ(QPlainTextEdit::NoWrap, view()->lineWrapMode());
    EXPECT_FALSE(WrapChecked());
    EXPECT_EQ(0, store.GetProfileInt("Text", "Wrap", -1));
    frame->Action(cmd::kFormatWrap)->trigger();
    EXPECT_EQ(QPlainTextEdit::WidgetWidth, view()->lineWrapMode());
    EXPECT_TRUE(WrapChecked());
    EXPECT_EQ(1, store.GetProfileInt("Text", "Wrap", -1));
}

TEST_F(AppearanceTest, FontDialogStartsAtThirteenWithoutEffectsInTheTextColour) {
    WriteFirstRunDefaults(store);
    store.WriteProfileInt("Font", "Bold", 1);
    store.WriteProfileInt("Font", "Italic", 1);
    Open();
    bool asked = false;
    view()->chooseFont = [&](const QFont& initial, const QColor& color) {
        asked = true;
        // Courier itself, or the face shown in its place where it is not installed.
        const QString shown = QFontDatabase::hasFamily("Courier")
                                  ? QString("Courier")
                                  : QFontInfo(view()->font()).family();
        EXPECT_EQ(shown, initial.family());
        EXPECT_EQ(13, initial.pixelSize());
        EXPECT_EQ(QFont::Normal, initial.weight());
        EXPECT_FALSE(initial.italic());
        EXPECT_FALSE(initial.underline());
        EXPECT_FALSE(initial.strikeOut());
        EXPECT_EQ(QColor(Qt::white), color);  // the colour in use, not black
        return std::optional<CFontChoice>();
    };
    store.ClearWriteLog();
    frame->Action(cmd::kFormatFont)->trigger();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(store.WriteLog().empty());  // cancelled: nothing changes
}

struct WeightCase {
    int weight, bold;
};

void PrintTo(const WeightCase& c, std::ostream* os) { *os << "weight " << c.weight; }

class FontChoiceTest : public AppearanceTest, public ::testing::WithParamInterface<WeightCase> {};

TEST_P(FontChoiceTest, StoredValuesOfTheChoice) {
    WriteFirstRunDefaults(store);
    Open();
    view()->chooseFont = [&](const QFont&, const QColor&) {
        QFont chosen("DejaVu Sans Mono");
        chosen.setPointSize(12);
        chosen.setWeight(static_cast<QFont::Weight>(GetParam().weight));
        chosen.setItalic(true);
        chosen.setUnderline(true);
        return std::optional<CFontChoice>(CFontChoice{chosen, QColor(0x12, 0x34, 0x56)});
    };
    frame->Action(cmd::kFormatFont)->trigger();
    EXPECT_EQ("DejaVu Sans Mono", store.GetProfileString("Font", "Face Name", ""));
    EXPECT_EQ(120, store.GetProfileInt("Font", "Size", -1));
    EXPECT_EQ(GetParam().bold, store.GetProfileInt("Font", "Bold", -1));
    EXPECT_EQ(1, store.GetProfileInt("Font", "Italic", -1));
    EXPECT_EQ(1, store.GetProfileInt("Font", "Underline", -1));
    EXPECT_EQ(0, store.GetProfileInt("Font", "Strikeout", -1));
    EXPECT_EQ(0x563412, store.GetProfileInt("Font", "Color", -1));
    EXPECT_EQ(QColor(0x12, 0x34, 0x56), TextColor());
    EXPECT_DOUBLE_EQ(12.0, view()->font().pointSizeF());
    EXPECT_EQ(GetParam().bold == 1, view()->font().bold());
}

INSTANTIATE_TEST_SUITE_P(Weights, FontChoiceTest,
                         ::testing::Values(WeightCase{400, 0}, WeightCase{600, 0},
                                           WeightCase{700, 1}, WeightCase{800, 0}),
                         [](const auto& info) { return "Weight" + std::to_string(info.param.weight); });

TEST_F(AppearanceTest, FoundryAfterTheFaceIsNotStored) {
    WriteFirstRunDefaults(store);
    Open();
    view()->chooseFont = [](const QFont&, const QColor& color) {
        QFont chosen("Nimbus Mono PS [urw]");
        chosen.setPointSize(11);
        return std::optional<CFontChoice>(CFontChoice{chosen, color});
    };
    frame->Action(cmd::kFormatFont)->trigger();
    EXPECT_EQ("Nimbus Mono PS", store.GetProfileString("Font", "Face Name", ""));
    EXPECT_EQ(110, store.GetProfileInt("Font", "Size", -1));
}

TEST_F(AppearanceTest, BackgroundColourChosenIsStoredAndShown) {
    WriteFirstRunDefaults(store);
    Open();
    view()->chooseColor = [](const QColor& initial) {
        EXPECT_EQ(QColor(0, 0, 255), initial);
        return std::optional<QColor>(QColor(0x10, 0x20, 0x30));
    };
    frame->Action(cmd::kFormatBackground)->trigger();
    EXPECT_EQ(0x302010, store.GetProfileInt("Background", "Color", -1));
    EXPECT_EQ(QColor(0x10, 0x20, 0x30), Background());
}

TEST_F(AppearanceTest, BackgroundColourCancelledChangesNothing) {
    WriteFirstRunDefaults(store);
    Open();
    view()->chooseColor = [](const QColor&) { return std::optional<QColor>(); };
    store.ClearWriteLog();
    frame->Action(cmd::kFormatBackground)->trigger();
    EXPECT_TRUE(store.WriteLog().empty());
    EXPECT_EQ(QColor(0, 0, 255), Background());
}

TEST_F(AppearanceTest, PrintPreviewShowsBlackTextAndPutsTheColourBack) {
    WriteFirstRunDefaults(store);
    Open();
    bool shown = false;
    view()->showPrintPreview = [&] {
        shown = true;
        EXPECT_EQ(0, store.GetProfileInt("Font", "Color", -1));
        EXPECT_EQ(QColor(Qt::black), TextColor());
    };
    frame->Action(cmd::kFilePrintPreview)->trigger();
    EXPECT_TRUE(shown);
    EXPECT_EQ(0xFFFFFF, store.GetProfileInt("Font", "Color", -1));
    EXPECT_EQ(QColor(Qt::white), TextColor());
}

TEST_F(AppearanceTest, PrintingWrapsLongLinesEvenWithWrapOff) {
    store.WriteProfileInt("Text", "Wrap", 0);
    Open();
    ASSERT_FALSE(view()->WrapOn());
    std::string line;
    for (int i = 0; i < 60; ++i) line += "word" + std::to_string(i) + " ";
    const std::string bytes = line + "END\r\n";
    view()->OnCommRxData(reinterpret_cast<const unsigned char*>(bytes.data()),
                         static_cast<int>(bytes.size()));
    std::unique_ptr<QTextDocument> printed = view()->CreatePrintDocument();
    printed->setTextWidth(400);  // a page narrower than the line
    printed->documentLayout()->documentSize();  // lays it out
    const QTextBlock block = printed->firstBlock();
    EXPECT_EQ(block.text().toStdString(), line + "END");  // the whole line is there
    ASSERT_NE(block.layout(), nullptr);
    EXPECT_GT(block.layout()->lineCount(), 1);  // on several printed lines
    EXPECT_FALSE(view()->WrapOn());  // the terminal itself is unchanged
}

TEST_F(AppearanceTest, PrintPreviewWindowOpensAndCloses) {
    WriteFirstRunDefaults(store);
    store.WriteProfileInt("Font", "Color", 0x00FFFF);
    Open();
    view()->setPlainText("line one\nline two");
    CModalScript script;
    script.Then<QPrintPreviewDialog>([&](QPrintPreviewDialog* d) {
        EXPECT_EQ(QColor(Qt::black), TextColor());
        QTimer::singleShot(0, d, &QDialog::reject);
    });
    frame->Action(cmd::kFilePrintPreview)->trigger();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(0x00FFFF, store.GetProfileInt("Font", "Color", -1));
    EXPECT_EQ(QColor(255, 255, 0), TextColor());
}

TEST_F(AppearanceTest, WithoutAStoreTheCommandsDoNothing) {
    Open();
    view()->ApplyAppearance(nullptr);
    view()->chooseFont = [](const QFont&, const QColor&) -> std::optional<CFontChoice> {
        ADD_FAILURE() << "asked";
        return std::nullopt;
    };
    view()->OnFormatFont();
    view()->OnFormatWrap();
    view()->OnPrintPreview();
}

TEST(TerminalFontDlg, EscInTheChooserCancelsTheWholeDialog) {
    QFont initial("DejaVu Sans Mono");
    initial.setPixelSize(13);
    CTerminalFontDlg dialog(initial, QColor(Qt::white));
    dialog.show();
    QWidget* inside = dialog.FontChooser()->focusWidget() ? dialog.FontChooser()->focusWidget()
                                                          : dialog.FontChooser();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(inside, &esc);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.FontChooser()->isVisibleTo(&dialog));  // the chooser itself stays
    EXPECT_EQ(QString("White"), dialog.ColorList()->currentText());
}

TEST(TerminalFontDlg, StartsFromTheGivenFontAndColour) {
    QFont initial("DejaVu Sans Mono");
    initial.setPixelSize(13);
    CTerminalFontDlg dialog(initial, QColor(Qt::black));
    EXPECT_EQ(QString("Font"), dialog.windowTitle());
    EXPECT_EQ(QString("DejaVu Sans Mono"), dialog.FontChooser()->currentFont().family());
    EXPECT_EQ(QString("Black"), dialog.ColorList()->currentText());
    EXPECT_EQ(16, dialog.ColorList()->count());
    QFont other = dialog.FontChooser()->currentFont();
    other.setPointSize(14);
    other.setStrikeOut(true);
    dialog.FontChooser()->setCurrentFont(other);
    dialog.ColorList()->setCurrentIndex(dialog.ColorList()->findText("Lime"));
    const CFontChoice choice = dialog.Choice();
    EXPECT_EQ(14, choice.font.pointSize());
    EXPECT_TRUE(choice.font.strikeOut());
    EXPECT_EQ(QColor(0, 255, 0), choice.color);
}

}  // namespace
