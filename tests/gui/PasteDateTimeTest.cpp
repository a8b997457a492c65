// Paste Date & Time: the dialog's four formats with the third preselected, and the one block
// that the view sends for a fixed clock.
#include <QAbstractButton>
#include <QGroupBox>

#include "ModalScript.h"
#include "ViewFixture.h"
#include "terminal/PasteDateTimeDlg.h"

namespace {

std::time_t FixedClock() {
    std::tm t{};
    t.tm_year = 2027 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST(PasteDateTimeDlg, FourFormatsWithTheThirdPreselected) {
    CPasteDateTimeDlg dialog;
    EXPECT_EQ(QString("Paste Date & Time"), dialog.windowTitle());
    const QStringList labels = {"MM/DD/YY HH:MM:SS", "MM/DD/YYYY HH:MM:SS",
                                "DATE MM/DD/YY HH:MM:SS\\r", "DATE MM/DD/YYYY HH:MM:SS\\r"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = qobject_cast<QAbstractButton*>(dialog.Control(1020 + i));
        ASSERT_NE(nullptr, radio);
        EXPECT_EQ(labels[i], radio->text());
        EXPECT_EQ(i == 2, radio->isChecked());
    }
    EXPECT_EQ(2, dialog.Format());
    ASSERT_NE(nullptr, dialog.findChild<QGroupBox*>());
    EXPECT_EQ(QString("Choose Format to Send Date and Time"), dialog.findChild<QGroupBox*>()->title());
    EXPECT_EQ(QString("OK"), qobject_cast<QAbstractButton*>(dialog.Control(1))->text());
    EXPECT_EQ(QString("Cancel"), qobject_cast<QAbstractButton*>(dialog.Control(2))->text());
}

class PasteDateTimeViewTest : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        doc->Connect();
        ASSERT_NE(nullptr, doc->Port());
        view->currentTime = FixedClock;
    }
    void Paste(int format) {
        CModalScript script;
        script.Then<CPasteDateTimeDlg>([format](CPasteDateTimeDlg* d) {
            if (format >= 0) {
                qobject_cast<QAbstractButton*>(d->Control(1020 + format))->setChecked(true);
                Click(d->Control(1));
            } else {
                Click(d->Control(2));
            }
        });
        view->OnPasteDateTime();
        ASSERT_TRUE(script.Done());
    }
};

TEST_F(PasteDateTimeViewTest, PreselectedFormatSendsTheDateCommandInOneBlock) {
    CPortSettings echo = doc->Settings();
    echo.m_bLocalEcho = 1;
    doc->OnCommSettingsConfirmed(echo);
    const int callsBefore = capture.calls;
    Paste(2);
    const std::string sent = pty.Read(30, std::chrono::milliseconds(300));
    EXPECT_EQ("DATE 03/01/27 09:05:07\r", sent);
    EXPECT_EQ(23u, sent.size());
    // One block: the local echo shows it as one received message, the CR as a line break.
    EXPECT_EQ(callsBefore + 1, capture.calls);
    EXPECT_EQ("DATE 03/01/27 09:05:07\r\n", Shown());
}

TEST_F(PasteDateTimeViewTest, LongYearFormatHasNoLineEnd) {
    Paste(1);
    const std::string sent = pty.Read(30, std::chrono::milliseconds(300));
    EXPECT_EQ("03/01/2027 09:05:07", sent);
    EXPECT_EQ(19u, sent.size());
}

TEST_F(PasteDateTimeViewTest, OtherFormats) {
    Paste(0);
    EXPECT_EQ("03/01/27 09:05:07", pty.Read(30, std::chrono::milliseconds(300)));
    Paste(3);
    EXPECT_EQ("DATE 03/01/2027 09:05:07\r", pty.Read(30, std::chrono::milliseconds(300)));
}

TEST_F(PasteDateTimeViewTest, CancelSendsNothing) {
    Paste(-1);
    EXPECT_EQ("", pty.Read(1, std::chrono::milliseconds(200)));
}

}  // namespace
