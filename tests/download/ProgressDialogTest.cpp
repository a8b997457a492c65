// The progress window on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>

#include "download/TransferProgressDlg.h"

namespace {

class ProgressDialog : public ::testing::Test {
protected:
    void SetUp() override { owner.show(); }
    QMainWindow owner;
};

TEST_F(ProgressDialog, TheOwnerIsDisabledWhileOpenAndEnabledOnEveryWayOut) {
    {
        CTransferProgressDlg dlg(&owner);
        EXPECT_EQ(dlg.windowTitle(), "XMODEM File Transfer");
        dlg.Create();
        EXPECT_FALSE(owner.isEnabled());
        EXPECT_TRUE(dlg.isVisible());
        dlg.DestroyWindow();
        EXPECT_TRUE(owner.isEnabled());
        EXPECT_FALSE(dlg.isVisible());
    }
    {
        CTransferProgressDlg dlg(&owner);
        dlg.Create();
        EXPECT_FALSE(owner.isEnabled());
    }  // an error path that only destroys the object
    EXPECT_TRUE(owner.isEnabled());

    owner.setEnabled(false);  // already disabled by someone else: stays so
    {
        CTransferProgressDlg dlg(&owner);
        dlg.Create();
    }
    EXPECT_FALSE(owner.isEnabled());
}

TEST_F(ProgressDialog, CaptionStatusRangeAndSteps) {
    CTransferProgressDlg dlg(&owner);
    dlg.Create();
    dlg.SetWindowText("Sending CPM68K File");
    dlg.SetStatus("4660 Bytes to 20000 @ 57600 Baud");
    dlg.SetRange(0, 3);
    dlg.SetStep(1);
    dlg.SetPos(0);
    EXPECT_EQ(dlg.windowTitle(), "Sending CPM68K File");
    EXPECT_EQ(dlg.Status(), "4660 Bytes to 20000 @ 57600 Baud");
    dlg.StepIt();
    dlg.StepIt();
    dlg.StepIt();
    EXPECT_EQ(dlg.Pos(), 3);  // the last step lands on the upper bound
    dlg.StepIt();
    EXPECT_EQ(dlg.Pos(), 0);  // past it, the bar starts again
}

TEST_F(ProgressDialog, CancelIsOnlyRecordedAndEnterDoesNothing) {
    CTransferProgressDlg dlg(&owner);
    dlg.Create();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &enter);
    dlg.StepIt();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.CancelRequested());
    // Also with the keyboard focus on the Cancel button itself, where a user's Enter lands.
    auto* cancel = dlg.findChild<QPushButton*>();
    cancel->setFocus();
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(cancel, &press);
        QApplication::sendEvent(cancel, &release);
        dlg.StepIt();
    }
    EXPECT_FALSE(dlg.CancelRequested());
    EXPECT_FALSE(cancel->isDefault());

    dlg.findChild<QPushButton*>()->click();
    dlg.StepIt();
    EXPECT_TRUE(dlg.CancelRequested());
    EXPECT_TRUE(dlg.isVisible());

    CTransferProgressDlg esc(&owner);
    int handlerCalls = 0;
    esc.SetCancelHandler([&] { ++handlerCalls; });
    esc.Create();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&esc, &escape);
    EXPECT_TRUE(esc.CancelRequested());
    EXPECT_TRUE(esc.isVisible());
    EXPECT_EQ(handlerCalls, 1);  // the worker's wait hears of it at once
}

}  // namespace

int main(int argc, char** argv) {
    // No display is needed, not even to list the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
