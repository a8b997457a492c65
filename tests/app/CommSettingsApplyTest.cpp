// What a confirmed Communication Settings dialog does to the document, the port and the store.

#include "DocFixture.h"

namespace {

class CommSettingsApply : public DocFixture {
protected:
    CTestPty otherPty;
    void SetUp() override {
        DocFixture::SetUp();
        store.WriteProfileString("Devices", "COM4", otherPty.SlavePath());
    }
};

TEST_F(CommSettingsApply, ChangingTheBaudRateWhileConnectedKeepsTheTerminal) {
    doc->OnNewDocument();
    pty.Write("text");
    ASSERT_TRUE(PumpUntil(4));
    CPortSettings s = doc->Settings();
    s.m_strBaudRate = "57600";
    s.m_strStopBits = "2";
    doc->OnCommSettingsConfirmed(s);
    EXPECT_TRUE(ui.messages.empty());
    termios t = pty.SlaveTermios();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B57600));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_EQ(view.Text(), "text");
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(store.GetProfileString("COM Settings", "Baud Rate", ""), "57600");
    EXPECT_EQ(doc->GetTitle(), "COM3");
}

TEST_F(CommSettingsApply, AnsweringNoToAnotherPortChangesNothing) {
    doc->OnNewDocument();
    ui.answer = MessageResult::No;
    CPortSettings s = doc->Settings();
    s.m_strComPort = "COM4";
    s.m_strBaudRate = "115200";
    store.ClearWriteLog();
    // The dialog also chose a device for COM4: not stored either.
    EXPECT_FALSE(doc->OnCommSettingsConfirmed(s, otherPty.SlavePath()));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text,
              "Already connected to a different port.  Close and reconnect using new port?");
    EXPECT_EQ(ui.messages[0].title, "Change Port");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(ui.messages[0].defaultButton, MessageResult::No);
    EXPECT_EQ(ui.messages[1].text, "Port settings not changed");
    EXPECT_EQ(ui.messages[1].title, "No Change");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(store.WriteLog().empty());
    EXPECT_EQ(doc->Settings().m_strBaudRate, "9600");
    EXPECT_EQ(doc->GetTitle(), "COM3");
}

TEST_F(CommSettingsApply, AnsweringYesMovesToTheNewPortWithAnEmptyTerminal) {
    doc->OnNewDocument();
    pty.Write("old port");
    ASSERT_TRUE(PumpUntil(8));
    CPortSettings s = doc->Settings();
    s.m_strComPort = "COM4";
    doc->OnCommSettingsConfirmed(s);
    ASSERT_EQ(ui.messages.size(), 1u);  // the question only
    EXPECT_EQ(doc->GetTitle(), "COM4");
    EXPECT_EQ(view.Text(), "");
    EXPECT_EQ(store.GetProfileString("COM Settings", "COM Port", ""), "COM4");
    otherPty.Write("new port");
    ASSERT_TRUE(PumpUntil(8));
    EXPECT_EQ(view.Text(), "new port");
}

TEST_F(CommSettingsApply, WhileNotConnectedOkConnectsAlsoWithTheSameName) {
    store.WriteProfileString("Devices", "COM3", "/dev/tarvoline-missing");
    doc->OnNewDocument();  // fails
    ASSERT_EQ(ui.messages.size(), 1u);
    // The user binds COM3 to a device that is there and confirms: it connects.
    CPortSettings s = doc->Settings();
    s.m_bLocalEcho = 1;
    store.ClearWriteLog();
    EXPECT_TRUE(doc->OnCommSettingsConfirmed(s, pty.SlavePath()));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(store.GetProfileInt("COM Settings", "Local Echo", 0), 1);
    EXPECT_EQ(store.GetProfileString("Devices", "COM3", ""), pty.SlavePath());
    EXPECT_TRUE(doc->OnUpdateConnected());
    EXPECT_EQ(doc->GetTitle(), "COM3");

    // After Disconnect, OK with nothing changed connects again.
    doc->Disconnect();
    EXPECT_TRUE(doc->OnCommSettingsConfirmed(doc->Settings()));
    EXPECT_TRUE(doc->OnUpdateConnected());

    s.m_strComPort = "COM4";
    doc->Disconnect();
    doc->OnCommSettingsConfirmed(s);
    EXPECT_EQ(ui.messages.size(), 1u);  // no question while not connected
    EXPECT_TRUE(doc->OnUpdateConnected());
    EXPECT_EQ(doc->GetTitle(), "COM4");
}

TEST_F(CommSettingsApply, EditedStoreValuesNeverCrashAndLeaveTheLineAsItWas) {
    SetSetting("Baud Rate", "fast");
    SetSetting("Data Bits", "seven");
    SetSetting("Parity", "Sometimes");
    SetSetting("Flow Control", "Maybe");
    MakeDocument();
    doc->OnNewDocument();
    EXPECT_TRUE(ui.messages.empty());  // a refused setting is not reported
    EXPECT_TRUE(doc->OnUpdateConnected());
    termios t = pty.SlaveTermios();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));  // kept from the open
    EXPECT_TRUE(t.c_cflag & CRTSCTS);            // unknown flow control means hardware
}

}  // namespace
