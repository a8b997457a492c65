// The Communication Settings dialog: controls, lists, the selection rule, the OK rules and the
// device binding.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "GuiSupport.h"
#include "document/MemorySettingsStore.h"
#include "comm/CommSettingsDlg.h"

namespace {

QStringList Entries(QWidget* w) {
    auto* list = qobject_cast<QComboBox*>(w);
    QStringList out;
    for (int i = 0; list && i < list->count(); ++i) out << list->itemText(i);
    return out;
}

QString Current(const CCommSettingsDlg& dlg, int id) {
    return qobject_cast<QComboBox*>(dlg.Control(id))->currentText();
}

QLineEdit* PortEdit(const CCommSettingsDlg& dlg) {
    return qobject_cast<QLineEdit*>(dlg.Control(1021));
}

TEST(CommSettingsDlg, TitleAndListsInTheirOrder) {
    CCommSettingsDlg dlg(CPortSettings{}, nullptr);
    EXPECT_EQ(QString("Communication Settings"), dlg.windowTitle());
    const QStringList rates = {"1200", "2400", "9600", "19200", "38400", "57600", "115200",
                               "230400"};
    EXPECT_EQ(rates, Entries(dlg.Control(1001)));
    EXPECT_EQ(rates, Entries(dlg.Control(1008)));
    EXPECT_EQ(QStringList({"Even", "None", "Odd"}), Entries(dlg.Control(1002)));
    EXPECT_EQ(QStringList({"7", "8"}), Entries(dlg.Control(1003)));
    EXPECT_EQ(QStringList({"1", "2"}), Entries(dlg.Control(1004)));
    EXPECT_EQ(QStringList({"Hardware", "None", "Software"}), Entries(dlg.Control(1005)));
    EXPECT_EQ(QString("&Local Echo"), qobject_cast<QCheckBox*>(dlg.Control(1006))->text());
    EXPECT_EQ(QString("Send LF after &CR"), qobject_cast<QCheckBox*>(dlg.Control(1007))->text());
}

TEST(CommSettingsDlg, TabOrderRunsThroughTheTemplate) {
    CCommSettingsDlg dlg(CPortSettings{}, nullptr);
    const char* names[] = {"1021", "1001", "1008", "1002", "1003", "1004",
                           "1005", "1006", "1007", "1",    "2",    "device"};
    QWidget* w = dlg.findChild<QWidget*>("1021");
    for (size_t i = 1; i < std::size(names); ++i) {
        w = w->nextInFocusChain();
        while (w && w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
        ASSERT_NE(nullptr, w);
        EXPECT_EQ(QString(names[i]), w->objectName()) << "after " << names[i - 1];
    }
}

TEST(CommSettingsDlg, ShowsTheDocumentValues) {
    CPortSettings s;
    s.m_strComPort = "COM12";
    s.m_strBaudRate = "115200";
    s.m_strParity = "odd";  // case does not matter
    s.m_strFlowControl = "Software";
    s.m_bSendCRLF = 1;
    CCommSettingsDlg dlg(s, nullptr);
    EXPECT_EQ(QString("12"), PortEdit(dlg)->text());
    EXPECT_EQ(QString("115200"), Current(dlg, 1001));
    EXPECT_EQ(QString("115200"), Current(dlg, 1008));
    EXPECT_EQ(QString("Odd"), Current(dlg, 1002));
    EXPECT_EQ(QString("Software"), Current(dlg, 1005));
    EXPECT_TRUE(qobject_cast<QCheckBox*>(dlg.Control(1007))->isChecked());
    EXPECT_FALSE(qobject_cast<QCheckBox*>(dlg.Control(1006))->isChecked());
}

TEST(CommSettingsDlg, SelectionRuleTakesTheFirstEntryBeginningWithTheText) {
    const QStringList rates = {"1200", "2400", "9600", "19200", "38400", "57600", "115200"};
    EXPECT_EQ(3, CCommSettingsDlg::SelectionFor(rates, "19200"));
    EXPECT_EQ(0, CCommSettingsDlg::SelectionFor(rates, "1"));
    EXPECT_EQ(-1, CCommSettingsDlg::SelectionFor(rates, "4800"));
    EXPECT_EQ(1, CCommSettingsDlg::SelectionFor({"Even", "None", "Odd"}, "NONE"));
}

TEST(CommSettingsDlg, UnmatchedValueLeavesNoSelectionAndStoresEmpty) {
    CPortSettings s;
    s.m_strBaudRate = "4800";
    CCommSettingsDlg dlg(s, nullptr);
    EXPECT_EQ(-1, qobject_cast<QComboBox*>(dlg.Control(1001))->currentIndex());
    dlg.accept();
    EXPECT_EQ(QDialog::Accepted, dlg.result());
    EXPECT_EQ("", dlg.Settings().m_strBaudRate);
}

TEST(CommSettingsDlg, PortNumberFromTheName) {
    EXPECT_EQ(3, CCommSettingsDlg::PortNumberOf("COM3"));
    EXPECT_EQ(12, CCommSettingsDlg::PortNumberOf("COM12"));
    EXPECT_EQ(0, CCommSettingsDlg::PortNumberOf("COMx"));
    EXPECT_EQ(7, CCommSettingsDlg::PortNumberOf("COM7a"));
}

struct BadPort {
    const char* text;
    const char* message;
};

class BadPortTest : public ::testing::TestWithParam<BadPort> {};

TEST_P(BadPortTest, OneMessagePerOkAndTheDialogStaysOpen) {
    CCommSettingsDlg dlg(CPortSettings{}, nullptr);
    dlg.show();
    PortEdit(dlg)->setText(GetParam().text);
    CMessageBoxCatcher catcher;
    dlg.setResult(-1);
    QTest::mouseClick(dlg.findChild<QPushButton*>("1"), Qt::LeftButton);
    ASSERT_EQ(1u, catcher.texts.size());
    EXPECT_EQ(QString(GetParam().message), catcher.texts[0]);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(-1, dlg.result());
    EXPECT_TRUE(PortEdit(dlg)->hasFocus() || QApplication::focusWidget() == PortEdit(dlg) ||
                dlg.focusWidget() == PortEdit(dlg));
}

INSTANTIATE_TEST_SUITE_P(
    Ports, BadPortTest,
    ::testing::Values(BadPort{"0", "Please enter an integer between 1 and 255."},
                      BadPort{"256", "Please enter an integer between 1 and 255."},
                      BadPort{"abc", "Please enter an integer."},
                      BadPort{"", "Please enter an integer."}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(CommSettingsDlg, OkGivesTheNewValues) {
    CCommSettingsDlg dlg(CPortSettings{}, nullptr);
    PortEdit(dlg)->setText("12");
    qobject_cast<QComboBox*>(dlg.Control(1001))->setCurrentText("19200");
    qobject_cast<QComboBox*>(dlg.Control(1005))->setCurrentText("Hardware");
    qobject_cast<QCheckBox*>(dlg.Control(1006))->setChecked(true);
    dlg.accept();
    ASSERT_EQ(QDialog::Accepted, dlg.result());
    const CPortSettings s = dlg.Settings();
    EXPECT_EQ("COM12", s.m_strComPort);
    EXPECT_EQ("19200", s.m_strBaudRate);
    EXPECT_EQ("115200", s.m_strDownloadBaudRate);
    EXPECT_EQ("Hardware", s.m_strFlowControl);
    EXPECT_EQ("None", s.m_strParity);
    EXPECT_EQ(1, s.m_bLocalEcho);
    EXPECT_EQ(0, s.m_bSendCRLF);
}

TEST(CommSettingsDlg, ShowsTheDeviceThePortNumberStandsFor) {
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM4", "/dev/ttyUSB0");
    CPortNameResolver resolver(&store);
    resolver.Bind("COM3", "/dev/pts/99");
    CCommSettingsDlg dlg(CPortSettings{}, &resolver);
    auto* device = dlg.findChild<QComboBox*>("device");
    EXPECT_EQ(QString("/dev/pts/99"), device->currentText());
    PortEdit(dlg)->setText("4");
    EXPECT_EQ(QString("/dev/ttyUSB0"), device->currentText());
    PortEdit(dlg)->setText("7");
    EXPECT_EQ(QString("/dev/ttyS6"), device->currentText());
    dlg.accept();
    EXPECT_FALSE(dlg.ChosenDevice().has_value());
}

TEST(CommSettingsDlg, ADevicePathStoredAsThePortIsShownAndKept) {
    CPortSettings s;
    s.m_strComPort = "/dev/serial/by-id/usb-board-if00";
    s.m_strBaudRate = "9600";
    CCommSettingsDlg dlg(s, nullptr);
    EXPECT_EQ(QString(), PortEdit(dlg)->text());
    auto* device = dlg.findChild<QComboBox*>("device");
    EXPECT_EQ(QString("/dev/serial/by-id/usb-board-if00"), device->currentText());
    qobject_cast<QComboBox*>(dlg.Control(1001))->setCurrentText("19200");
    dlg.accept();  // not refused
    EXPECT_EQ(QDialog::Accepted, dlg.result());
    EXPECT_EQ("/dev/serial/by-id/usb-board-if00", dlg.Settings().m_strComPort);
    EXPECT_EQ("19200", dlg.Settings().m_strBaudRate);
    EXPECT_FALSE(dlg.ChosenDevice().has_value());
}

TEST(CommSettingsDlg, ChoosingADeviceBindsIt) {
    CCommSettingsDlg dlg(CPortSettings{}, nullptr);
    auto* device = dlg.findChild<QComboBox*>("device");
    device->setEditText("/dev/ttyACM0");
    dlg.accept();
    ASSERT_TRUE(dlg.ChosenDevice().has_value());
    EXPECT_EQ("/dev/ttyACM0", *dlg.ChosenDevice());
}

TEST(CommSettingsDlg, PresentDevicesAreSerialDevices) {
    for (const std::string& d : CCommSettingsDlg::PresentDevices()) {
        EXPECT_TRUE(d.rfind("/dev/serial/by-id/", 0) == 0 || d.rfind("/dev/ttyUSB", 0) == 0 ||
                    d.rfind("/dev/ttyACM", 0) == 0 || d.rfind("/dev/ttyS", 0) == 0)
            << d;
    }
}

}  // namespace
