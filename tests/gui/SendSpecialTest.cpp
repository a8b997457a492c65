// The Send Special Characters dialog: its list, the value box, mode switch and add rules, and
// what the view sends for each way the dialog closes.
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "ModalScript.h"
#include "ViewFixture.h"
#include "terminal/SendSpecialDlg.h"

namespace {

class SendSpecialDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.show();
        value()->setFocus();
    }
    QLineEdit* value() const { return dialog.ValueBox(); }
    QLineEdit* stringBox() const { return qobject_cast<QLineEdit*>(dialog.Control(1022)); }
    QAbstractButton* button(int id) const {
        return qobject_cast<QAbstractButton*>(dialog.Control(id));
    }
    // Types into the value box as the user would, after emptying it.
    void Type(const QString& keys) {
        value()->selectAll();
        QTest::keyClick(value(), Qt::Key_Delete);
        QTest::keyClicks(value(), keys);
    }
    void DoubleClickRow(int code) {
        QTreeWidgetItem* item = dialog.List()->topLevelItem(code);
        dialog.List()->scrollToItem(item);
        const QRect rect = dialog.List()->visualItemRect(item);
        QTest::mouseClick(dialog.List()->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(dialog.List()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    CSendSpecialDlg dialog;
};

TEST_F(SendSpecialDlgTest, StartsInHexWithValue00AndNothingSelected) {
    EXPECT_EQ(QString("Send Special Characters"), dialog.windowTitle());
    EXPECT_TRUE(button(1011)->isChecked());
    EXPECT_FALSE(button(1012)->isChecked());
    EXPECT_EQ(QString("00"), value()->text());
    EXPECT_EQ(QString(), stringBox()->text());
    EXPECT_TRUE(stringBox()->isReadOnly());
    EXPECT_FALSE(button(4)->isEnabled());
    EXPECT_EQ(-1, dialog.SelectedCode());
    const std::vector<std::pair<int, const char*>> texts = {
        {1011, "Hex"}, {1012, "Decimal"}, {1, "Send Char"}, {3, "Add Char"},
        {5, "Clear String"}, {4, "Send String"}, {2, "Cancel"}};
    for (const auto& [id, text] : texts) EXPECT_EQ(QString(text), button(id)->text());
}

TEST_F(SendSpecialDlgTest, ListHasTheFourColumnsAndAllRows) {
    QTreeWidget* list = dialog.List();
    ASSERT_EQ(4, list->columnCount());
    const QStringList headers = {"Decimal", "Hex", "Name", "Ctrl"};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(headers[c], list->headerItem()->text(c));
    ASSERT_EQ(256, list->topLevelItemCount());
    EXPECT_EQ(QAbstractItemView::SingleSelection, list->selectionMode());
    auto row = [&](int r) {
        QStringList t;
        for (int c = 0; c < 4; ++c) t << list->topLevelItem(r)->text(c);
        return t;
    };
    EXPECT_EQ((QStringList{"2", "02", "STX - start of text      ", "^B"}), row(2));
    EXPECT_EQ((QStringList{"27", "1B", "ESC - escape", "^["}), row(27));
    EXPECT_EQ((QStringList{"28", "1C", "FS - file separator", "^\\"}), row(28));
    EXPECT_EQ((QStringList{"32", "20", "SP - space", ""}), row(32));
    EXPECT_EQ((QStringList{"65", "41", "A", ""}), row(65));
    EXPECT_EQ((QStringList{"127", "7F", "DEL", ""}), row(127));
    EXPECT_EQ((QStringList{"200", "C8", "", ""}), row(200));
    // Every column is wide enough for its header and its widest text.
    const QFontMetrics fm(list->font());
    EXPECT_GE(list->columnWidth(2), fm.horizontalAdvance("LF - NL line feed, new line"));
    EXPECT_GE(list->columnWidth(0), fm.horizontalAdvance("Decimal"));
}

TEST_F(SendSpecialDlgTest, HexOneThenBSelectsRowsOneAndTwentySevenAndSends1B) {
    Type("1");
    EXPECT_EQ(1, dialog.SelectedCode());
    QTest::keyClicks(value(), "B");
    EXPECT_EQ(27, dialog.SelectedCode());
    EXPECT_EQ(QString("1B"), value()->text());
    button(1)->click();
    EXPECT_EQ(QDialog::Accepted, dialog.result());
    EXPECT_TRUE(dialog.SingleChar());
    EXPECT_EQ((std::vector<unsigned char>{0x1B}), dialog.BytesToSend());
}

TEST_F(SendSpecialDlgTest, DecimalThreeHundredShows255) {
    button(1012)->click();
    EXPECT_EQ(CValueMode::Decimal, dialog.Mode());
    EXPECT_EQ(QString(), value()->text());
    Type("300");
    EXPECT_EQ(QString("255"), value()->text());
    EXPECT_EQ(255, dialog.SelectedCode());
}

TEST_F(SendSpecialDlgTest, HexSevenThenGShowsSeven) {
    Type("7g");
    EXPECT_EQ(QString("7"), value()->text());
    EXPECT_EQ(7, dialog.SelectedCode());
}

TEST_F(SendSpecialDlgTest, EmptyBoxSelectsRowZeroAndSendsNul) {
    Type("");
    EXPECT_EQ(0, dialog.SelectedCode());
    button(1)->click();
    EXPECT_EQ(QString("0"), value()->text());
    EXPECT_EQ((std::vector<unsigned char>{0x00}), dialog.BytesToSend());
}

TEST_F(SendSpecialDlgTest, AddedCodesAreSentAsAString) {
    Type("0D");
    button(3)->click();
    EXPECT_EQ(QString("0D"), value()->text());
    EXPECT_TRUE(button(4)->isEnabled());
    Type("0A");
    button(3)->click();
    EXPECT_EQ(QString("0D 0A "), stringBox()->text());
    button(4)->click();
    EXPECT_EQ(QDialog::Accepted, dialog.result());
    EXPECT_FALSE(dialog.SingleChar());
    EXPECT_EQ((std::vector<unsigned char>{0x0D, 0x0A}), dialog.BytesToSend());
}

TEST_F(SendSpecialDlgTest, NulAmongAddedCodesIsSentInItsPlace) {
    for (const char* v : {"41", "00", "42"}) {
        Type(v);
        button(3)->click();
    }
    button(4)->click();
    EXPECT_EQ((std::vector<unsigned char>{0x41, 0x00, 0x42}), dialog.BytesToSend());
}

TEST_F(SendSpecialDlgTest, ClearStringLeavesOneSpaceAndDisablesSendString) {
    Type("41");
    button(3)->click();
    button(5)->click();
    EXPECT_EQ(QString(" "), stringBox()->text());
    EXPECT_FALSE(button(4)->isEnabled());
}

TEST_F(SendSpecialDlgTest, SwitchingModeDiscardsAddedCodes) {
    Type("0D");
    button(3)->click();
    Type("1F");
    button(1012)->click();
    EXPECT_EQ(1, dialog.SelectedCode());
    EXPECT_EQ(QString(), value()->text());
    EXPECT_EQ(QString(" "), stringBox()->text());
    EXPECT_FALSE(button(4)->isEnabled());
    Type("10");
    button(3)->click();
    button(4)->click();
    EXPECT_EQ((std::vector<unsigned char>{10}), dialog.BytesToSend());
}

TEST_F(SendSpecialDlgTest, DoubleClickPutsTheRowCodeInTheValueBox) {
    button(1012)->click();
    DoubleClickRow(65);
    EXPECT_EQ(65, dialog.SelectedCode());
    EXPECT_EQ(QString("65"), value()->text());
    button(1011)->click();
    DoubleClickRow(65);
    EXPECT_EQ(QString("41"), value()->text());
}

TEST_F(SendSpecialDlgTest, EnterInTheValueBoxActsAsSendChar) {
    Type("07");
    QTest::keyClick(value(), Qt::Key_Return);
    EXPECT_EQ(QDialog::Accepted, dialog.result());
    EXPECT_TRUE(dialog.SingleChar());
    EXPECT_EQ((std::vector<unsigned char>{0x07}), dialog.BytesToSend());
}

TEST_F(SendSpecialDlgTest, SettingTheBoxFromTheProgramDoesNotRunTheRule) {
    value()->setText("zz");
    EXPECT_EQ(QString("zz"), value()->text());
    EXPECT_EQ(-1, dialog.SelectedCode());
}

// The view sends what the dialog chose, through the document, to the line.
class SendSpecialViewTest : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        doc->Connect();
        ASSERT_NE(nullptr, doc->Port());
    }
};

TEST_F(SendSpecialViewTest, SendCharWithCodeZeroSendsOneNulByte) {
    CModalScript script;
    script.Then<CSendSpecialDlg>([](CSendSpecialDlg* d) { Click(d->Control(1)); });
    view->OnSendSpecialChars();
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(std::string(1, '\0'), pty.Read(2, std::chrono::milliseconds(300)));
}

TEST_F(SendSpecialViewTest, SendStringSendsEveryAddedCodeInOrder) {
    CModalScript script;
    script.Then<CSendSpecialDlg>([](CSendSpecialDlg* d) {
        for (const char* v : {"0D", "00", "0A"}) {
            d->ValueBox()->setText(v);
            qobject_cast<QAbstractButton*>(d->Control(3))->click();
        }
        Click(d->Control(4));
    });
    view->OnSendSpecialChars();
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(std::string("\r\0\n", 3), pty.Read(4, std::chrono::milliseconds(300)));
}

TEST_F(SendSpecialViewTest, CancelSendsNothing) {
    CModalScript script;
    script.Then<CSendSpecialDlg>([](CSendSpecialDlg* d) {
        d->ValueBox()->setText("41");
        Click(d->Control(2));
    });
    view->OnSendSpecialChars();
    ASSERT_TRUE(script.Done());
    EXPECT_EQ("", pty.Read(1, std::chrono::milliseconds(200)));
}

}  // namespace
