// Pictures of the terminal's dialogs for a look by eye: runs only when TARVOLINE_SCREENSHOTS
// names a folder, and saves one PNG per dialog there.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "GuiSupport.h"
#include "app/AboutBox.h"
#include "app/MainFrame.h"
#include "document/MemorySettingsStore.h"
#include "app/SplashWindow.h"
#include "comm/CommSettingsDlg.h"
#include "download/TransferProgressDlg.h"
#include "terminal/CaptureDialogs.h"
#include "terminal/PasteDateTimeDlg.h"
#include "terminal/SendSpecialDlg.h"
#include "terminal/TerminalFontDlg.h"

namespace {

QString Folder() { return qEnvironmentVariable("TARVOLINE_SCREENSHOTS"); }

void Save(QWidget& w, const QString& name) {
    w.show();
    w.activateWindow();
    WaitFor([&] { return w.isVisible(); });
    QTest::qWait(300);
    ASSERT_TRUE(w.grab().save(QDir(Folder()).filePath(name + ".png")));
    w.hide();
}

TEST(DialogScreenshots, SaveEach) {
    if (Folder().isEmpty()) GTEST_SKIP() << "TARVOLINE_SCREENSHOTS is not set";
    QDir().mkpath(Folder());
    CCaptureSettings absent;
    CCaptureOptionsDlg optionsEmpty(absent);
    Save(optionsEmpty, "capture-options-absent");
    CCaptureSettings fixed{2, "/home/user/CAPTURE.TXT", 3, 2};
    CCaptureOptionsDlg optionsFixed(fixed);
    Save(optionsFixed, "capture-options-fixed");
    CCaptureSettings asked{1, "/home/user/CAPTURE.TXT", 1, 1};
    CCaptureOptionsDlg optionsAsked(asked);
    Save(optionsAsked, "capture-options-asked");
    CCaptureFileDlg file;
    Save(file, "capture-file");
    CCaptureWriteModeDlg mode;
    Save(mode, "capture-write-mode");
    CIncludeBufferDlg buffer;
    Save(buffer, "include-buffer");
    CSendSpecialDlg special;
    special.show();
    QTest::keyClicks(special.ValueBox(), "1B");
    Save(special, "send-special");
    CPasteDateTimeDlg date;
    Save(date, "paste-date-time");
    QFont initial("Nimbus Mono PS");
    initial.setPixelSize(13);
    CTerminalFontDlg font(initial, Qt::black);
    Save(font, "font");
    CSplashWindow::EnableSplashScreen(false);
    CMemorySettingsStore store;
    CMainFrame frame(&store);
    Save(frame, "main-frame");
    frame.show();
    for (auto [menu, name] : {std::pair{static_cast<QMenu*>(frame.TransferMenu()), "menu-transfer"},
                              std::pair{frame.CaptureMenu(), "menu-capture"},
                              std::pair{frame.FormatMenu(), "menu-format"}}) {
        menu->popup(frame.geometry().center());
        QTest::qWait(300);
        ASSERT_TRUE(menu->grab().save(QDir(Folder()).filePath(QString(name) + ".png")));
        menu->hide();
    }
    QList<QAction*> editItems = frame.menuBar()->actions();
    for (QAction* top : editItems)
        if (top->text() == "&Edit" || top->text() == "&File" || top->text() == "&View" ||
            top->text() == "&Help") {
            top->menu()->popup(frame.geometry().center());
            QTest::qWait(300);
            top->menu()->grab().save(
                QDir(Folder()).filePath("menu-" + top->text().mid(1).toLower() + ".png"));
            top->menu()->hide();
        }

    CCommSettingsDlg settings(CPortSettings{}, nullptr);
    Save(settings, "comm-settings");
    CAboutBox about(nullptr);
    Save(about, "about");
    CTransferProgressDlg progress(&frame);
    progress.Create();
    progress.SetWindowText("Sending CPM68K File");
    progress.SetStatus("4660 Bytes to 20000 @ 57600 Baud");
    progress.SetRange(0, 5);
    progress.SetStep(1);
    progress.StepIt();
    progress.StepIt();
    QTest::qWait(300);
    ASSERT_TRUE(progress.grab().save(QDir(Folder()).filePath("progress.png")));
}

}  // namespace
