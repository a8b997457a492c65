// The hex view on the offscreen platform: rows as the bytes come, copy, the capture unchanged,
// and the bytes sent from here marked when local echo shows them.
#include <QClipboard>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "ViewFixture.h"

namespace {

const std::string kStream = std::string("MD 0 20\r\n> ") + std::string("\0ABCD", 5) +
                            "\x7F\xFF\x1B[0m";
const char* const kRow0 =
    "00000000  4D 44 20 30 20 32 30 0D  0A 3E 20 00 41 42 43 44  MD 0 20..> .ABCD";
const char* const kRow1 = "00000010  7F FF 1B 5B 30 6D                                 ...[0m";

class HexViewFixture : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        view->OnViewHex(true);
    }
};

TEST_F(HexViewFixture, ReceivedBytesShowAsRowsThatFillInAndCopyGivesThem) {
    EXPECT_EQ(1, store.GetProfileInt("Text", "Hex", 0));
    EXPECT_TRUE(view->HexViewOn());
    Receive(kStream.substr(0, 5));
    EXPECT_EQ("00000000  4D 44 20 30 20" + std::string(36, ' ') + "MD 0 ",
              view->toPlainText().toStdString());
    Receive(kStream.substr(5));
    EXPECT_EQ(std::string(kRow0) + "\n" + kRow1, view->toPlainText().toStdString());
    // The capture still has the text under the receive rules.
    EXPECT_EQ(kStream, capture.text);

    view->selectAll();
    QApplication::clipboard()->clear();
    view->copy();
    EXPECT_EQ(std::string(kRow0) + "\n" + kRow1, QApplication::clipboard()->text().toStdString());
}

TEST_F(HexViewFixture, RowsStartOnALineOfTheirOwnAndTextComesBack) {
    view->OnViewHex(false);
    EXPECT_EQ(0, store.GetProfileInt("Text", "Hex", 1));
    Receive("text");
    view->OnViewHex(true);
    Receive("AB");
    view->OnViewHex(false);
    Receive("more\r\n");
    EXPECT_EQ(QString("text\n00000000  41 42") + QString(45, ' ') + "AB\nmore\n",
              view->toPlainText());
}

TEST_F(HexViewFixture, StampsBeforeEachRow) {
    store.WriteProfileInt("Text", "Time Stamps", 1);
    view->stampClock = [] { return std::chrono::system_clock::time_point{}; };
    view->ApplyTimeStamps();
    Receive(std::string(20, 'x'));
    const std::string stamp = FormatTimeStamp({});
    ASSERT_EQ(2, view->document()->blockCount());
    EXPECT_EQ(stamp + "00000000  78",
              view->document()->firstBlock().text().left(15 + 12).toStdString());
    EXPECT_EQ(stamp + "00000010  78",
              view->document()->lastBlock().text().left(15 + 12).toStdString());
}

class ConnectedHexViewFixture : public HexViewFixture {
protected:
    void SetUp() override {
        HexViewFixture::SetUp();
        doc->Connect();
        ASSERT_NE(nullptr, doc->Port());
        CPortSettings s = doc->Settings();
        s.m_bLocalEcho = 1;
        doc->OnCommSettingsConfirmed(s);
    }
    QColor ColourAt(int position) const {
        QTextCursor at(view->document());
        at.setPosition(position + 1);  // the format of the character before
        return at.charFormat().foreground().color();
    }
};

TEST_F(ConnectedHexViewFixture, TypedBytesAreMarkedInTheRows) {
    Receive("> ");
    QTest::keyClicks(view.get(), "hi");
    EXPECT_EQ("hi", pty.Read(2));
    const CHexRow row = [] {
        CHexRow r;
        r.count = 4;
        return r;
    }();
    const QString text = view->document()->firstBlock().text();
    EXPECT_EQ("68 69", text.mid(row.HexColumn(2), 5).toStdString());
    EXPECT_EQ("> hi", text.mid(row.CharColumn(0), 4).toStdString());
    EXPECT_NE(view->SentColor(), ColourAt(row.HexColumn(0)));
    EXPECT_NE(view->SentColor(), ColourAt(row.CharColumn(1)));
    for (int i : {2, 3}) {
        EXPECT_EQ(view->SentColor(), ColourAt(row.HexColumn(i)));
        EXPECT_EQ(view->SentColor(), ColourAt(row.HexColumn(i) + 1));
        EXPECT_EQ(view->SentColor(), ColourAt(row.CharColumn(i)));
    }
    // The board's answer after them is not marked.
    Receive("!");
    EXPECT_NE(view->SentColor(), ColourAt(row.CharColumn(4)));
    EXPECT_EQ(view->SentColor(), ColourAt(row.CharColumn(3)));
}

}  // namespace
