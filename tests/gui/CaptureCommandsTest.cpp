// Text capture in the window: the five commands with their enabling, the three start dialogs,
// the options dialog, Browse, the capture pane, and the file's exact bytes.
#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QCheckBox>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>

#include "GuiSupport.h"
#include "ModalScript.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "document/MemorySettingsStore.h"
#include "app/SplashWindow.h"
#include "app/TerminalCommands.h"
#include "terminal/CaptureDialogs.h"
#include "terminal/TarvolineView.h"

namespace {

std::string FileBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Checked(QWidget* w) { return qobject_cast<QAbstractButton*>(w)->isChecked(); }

class CaptureCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CSplashWindow::EnableSplashScreen(false);
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("capture.txt");
        frame = std::make_unique<CMainFrame>(&store);
        commands = std::make_unique<CTerminalCommands>(*frame, &store);
        frame->show();
    }
    void TearDown() override {
        commands.reset();
        frame.reset();
    }
    void Fixed(const QString& file, int write, int include) {
        store.WriteProfileInt("Transfer", "Prompt For Filename", 2);
        store.WriteProfileString("Transfer", "Prompt Path Name", file.toStdString());
        store.WriteProfileInt("Transfer", "Write Mode", write);
        store.WriteProfileInt("Transfer", "Include Buffer Text", include);
    }
    void AllAsked() {
        for (const char* key : {"Prompt For Filename", "Write Mode", "Include Buffer Text"})
            store.WriteProfileInt("Transfer", key, 1);
    }
    void Receive(const std::string& bytes) {
        frame->View()->OnCommRxData(reinterpret_cast<const unsigned char*>(bytes.data()),
                                    static_cast<int>(bytes.size()));
    }
    QString Pane() const { return frame->Indicator(cmd::kCaptureIndicator)->text(); }
    void Trigger(int id) {
        commands->UpdateCommands();
        frame->Action(id)->trigger();
    }
    std::vector<bool> Enabled() {
        commands->UpdateCommands();
        std::vector<bool> out;
        for (int id : {cmd::kCaptureStart, cmd::kCaptureStop, cmd::kCapturePause,
                       cmd::kCaptureResume, cmd::kCaptureOptions})
            out.push_back(frame->Action(id)->isEnabled());
        return out;
    }

    QTemporaryDir dir;
    QString path;
    CMemorySettingsStore store;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CTerminalCommands> commands;
};

TEST_F(CaptureCommandsTest, FixedSettingsStartAsksNothingAndAppends) {
    { std::ofstream(path.toStdString(), std::ios::binary) << "old\r\n"; }
    Fixed(path, 3, 3);
    Receive("in the terminal before\r\n");
    CModalScript script;
    Trigger(cmd::kCaptureStart);
    EXPECT_EQ(0, script.unexpected);
    EXPECT_EQ(QString("CAPTURE ON"), Pane());
    Receive("abc\r\ndef\n");
    Trigger(cmd::kCaptureStop);
    EXPECT_EQ(QString("CAPTURE OFF"), Pane());
    EXPECT_EQ("old\r\nabc\r\ndef\r\n", FileBytes(path));
}

TEST_F(CaptureCommandsTest, ThreeDialogsAskedAndCancelInTheSecondLeavesCaptureOff) {
    AllAsked();
    CModalScript script;
    script
        .Then<CCaptureFileDlg>([&](CCaptureFileDlg* d) {
            EXPECT_EQ(QString("Choose Capture File"), d->windowTitle());
            auto* edit = qobject_cast<QLineEdit*>(d->Control(1002));
            EXPECT_EQ(QString(), edit->text());
            EXPECT_EQ(QString("FileName:"), qobject_cast<QLabel*>(d->Control(1007))->text());
            EXPECT_EQ(QString("Browse"), qobject_cast<QAbstractButton*>(d->Control(1001))->text());
            EXPECT_EQ(QString("Start"), qobject_cast<QAbstractButton*>(d->Control(1))->text());
            edit->setText(path);
            Click(d->Control(1));
        })
        .Then<CCaptureWriteModeDlg>([&](CCaptureWriteModeDlg* d) {
            EXPECT_EQ(QString("Choose Capture File Write Mode"), d->windowTitle());
            EXPECT_TRUE(Checked(d->Control(1003)));
            EXPECT_FALSE(Checked(d->Control(1004)));
            EXPECT_EQ(QString("Overwrite"), qobject_cast<QAbstractButton*>(d->Control(1003))->text());
            EXPECT_EQ(QString("Append"), qobject_cast<QAbstractButton*>(d->Control(1004))->text());
            Click(d->Control(2));
        });
    Trigger(cmd::kCaptureStart);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(0, script.unexpected);
    EXPECT_FALSE(frame->Capture().IsCapturing());
    EXPECT_EQ(QString("CAPTURE OFF"), Pane());
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), Enabled());
}

TEST_F(CaptureCommandsTest, IncludedBufferTextKeepsItsCrLf) {
    AllAsked();
    Receive("a\r\nb");
    CModalScript script;
    script
        .Then<CCaptureFileDlg>([&](CCaptureFileDlg* d) {
            qobject_cast<QLineEdit*>(d->Control(1002))->setText(path);
            Click(d->Control(1));
        })
        .Then<CCaptureWriteModeDlg>([&](CCaptureWriteModeDlg* d) { Click(d->Control(1)); })
        .Then<CIncludeBufferDlg>([&](CIncludeBufferDlg* d) {
            EXPECT_EQ(QString("Include Buffer Text"), d->windowTitle());
            EXPECT_TRUE(Checked(d->Control(1008)));
            EXPECT_EQ(QString("Yes"), qobject_cast<QAbstractButton*>(d->Control(1008))->text());
            EXPECT_EQ(QString("No"), qobject_cast<QAbstractButton*>(d->Control(1009))->text());
            Click(d->Control(1));
        });
    Trigger(cmd::kCaptureStart);
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(QString("CAPTURE ON"), Pane());
    Receive("c\r");
    Trigger(cmd::kCaptureStop);
    EXPECT_EQ("a\r\nbc\r\n", FileBytes(path));
}

TEST_F(CaptureCommandsTest, AnsweredAppendAndNoAreUsedForThisStartOnly) {
    { std::ofstream(path.toStdString(), std::ios::binary) << "kept"; }
    AllAsked();
    Receive("not included");
    CModalScript script;
    script
        .Then<CCaptureFileDlg>([&](CCaptureFileDlg* d) {
            qobject_cast<QLineEdit*>(d->Control(1002))->setText(path);
            Click(d->Control(1));
        })
        .Then<CCaptureWriteModeDlg>([&](CCaptureWriteModeDlg* d) {
            qobject_cast<QAbstractButton*>(d->Control(1004))->setChecked(true);
            Click(d->Control(1));
        })
        .Then<CIncludeBufferDlg>([&](CIncludeBufferDlg* d) {
            qobject_cast<QAbstractButton*>(d->Control(1009))->setChecked(true);
            Click(d->Control(1));
        });
    store.ClearWriteLog();
    Trigger(cmd::kCaptureStart);
    ASSERT_TRUE(script.Done());
    Receive("+more");
    Trigger(cmd::kCaptureStop);
    EXPECT_EQ("kept+more", FileBytes(path));
    EXPECT_TRUE(store.WriteLog().empty());
}

TEST_F(CaptureCommandsTest, PausedDataIsMissingAfterResume) {
    Fixed(path, 2, 3);
    Trigger(cmd::kCaptureStart);
    Receive("one\r\n");
    Trigger(cmd::kCapturePause);
    EXPECT_EQ(QString("CAPTURE ON"), Pane());
    Receive("lost\r\n");
    Trigger(cmd::kCaptureResume);
    EXPECT_EQ(QString("CAPTURE ON"), Pane());
    Receive("two\r\n");
    Trigger(cmd::kCaptureStop);
    EXPECT_EQ("one\r\ntwo\r\n", FileBytes(path));
}

TEST_F(CaptureCommandsTest, EnablingFollowsTheState) {
    Fixed(path, 2, 3);
    // Start, Stop, Pause, Resume, Options.
    EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), Enabled());
    Trigger(cmd::kCaptureStart);
    EXPECT_EQ((std::vector<bool>{false, true, true, false, false}), Enabled());
    Trigger(cmd::kCapturePause);
    EXPECT_EQ((std::vector<bool>{false, true, false, true, false}), Enabled());
    Trigger(cmd::kCaptureResume);
    EXPECT_EQ((std::vector<bool>{false, true, true, false, false}), Enabled());
    Trigger(cmd::kCaptureStop);
    EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), Enabled());
}

TEST_F(CaptureCommandsTest, FileThatCannotBeOpenedLeavesCaptureOffAndSaysWhy) {
    Fixed(dir.filePath("missing/capture.txt"), 2, 3);
    CMessageBoxCatcher boxes;
    CModalScript script;
    Trigger(cmd::kCaptureStart);
    QApplication::processEvents();
    EXPECT_EQ(boxes.texts, std::vector<QString>{"Cannot open capture file " +
                                                dir.filePath("missing/capture.txt") +
                                                ": No such file or directory"});
    EXPECT_EQ(0, script.unexpected);
    EXPECT_FALSE(frame->Capture().IsCapturing());
    EXPECT_EQ(QString("CAPTURE OFF"), Pane());
    EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), Enabled());
}

TEST_F(CaptureCommandsTest, EmptyFileNameLeavesCaptureOff) {
    AllAsked();
    CModalScript script;
    script.Then<CCaptureFileDlg>([&](CCaptureFileDlg* d) { Click(d->Control(1)); })
        .Then<CCaptureWriteModeDlg>([&](CCaptureWriteModeDlg* d) { Click(d->Control(1)); })
        .Then<CIncludeBufferDlg>([&](CIncludeBufferDlg* d) { Click(d->Control(1)); });
    Trigger(cmd::kCaptureStart);
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(frame->Capture().IsCapturing());
    EXPECT_EQ(QString("CAPTURE OFF"), Pane());
}

TEST_F(CaptureCommandsTest, DestroyingTheFrameStopsCaptureAndClosesTheFile) {
    Fixed(path, 2, 3);
    Trigger(cmd::kCaptureStart);
    Receive("last words\r\n");
    commands.reset();
    frame.reset();
    EXPECT_EQ("last words\r\n", FileBytes(path));
}

TEST_F(CaptureCommandsTest, TimeStampsShowInTheTerminalAndGoIntoTheCaptureWhenChosen) {
    frame->View()->ApplyAppearance(&store);
    frame->View()->stampClock = [] {
        std::tm t{};
        t.tm_year = 127;
        t.tm_mday = 1;
        t.tm_hour = 13;
        t.tm_min = 4;
        t.tm_sec = 5;
        t.tm_isdst = -1;
        return std::chrono::system_clock::from_time_t(std::mktime(&t)) +
               std::chrono::milliseconds(60);
    };
    Trigger(cmd::kTimeStamps);  // View > Time Stamps: on, and stored
    EXPECT_TRUE(frame->Action(cmd::kTimeStamps)->isChecked());
    EXPECT_EQ(1, store.GetProfileInt("Text", "Time Stamps", 0));

    Fixed(path, 2, 3);
    Trigger(cmd::kCaptureStart);
    Receive("one\r\n");
    Trigger(cmd::kCaptureStop);
    EXPECT_EQ(frame->View()->toPlainText(), QString("[13:04:05.060] one\n"));
    EXPECT_EQ("one\r\n", FileBytes(path));  // the capture has the bytes, not the stamps

    // Capture Options: "Time stamps in capture", off by default, stored under "Transfer".
    CModalScript script;
    script.Then<CCaptureOptionsDlg>([&](CCaptureOptionsDlg* d) {
        auto* box = d->findChild<QCheckBox*>("timestamps");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QString("Time stamps in capture"));
        EXPECT_FALSE(box->isChecked());
        box->setChecked(true);
        Click(d->Control(1));
    });
    Trigger(cmd::kCaptureOptions);
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(1, store.GetProfileInt("Transfer", "Time Stamps", 0));
    Trigger(cmd::kCaptureStart);
    Receive("two\r\n");
    Trigger(cmd::kCaptureStop);
    EXPECT_EQ("[13:04:05.060] two\r\n", FileBytes(path));

    Trigger(cmd::kTimeStamps);  // off again: the old bytes
    EXPECT_EQ(0, store.GetProfileInt("Text", "Time Stamps", 1));
    Receive("three\r\n");
    EXPECT_TRUE(frame->View()->toPlainText().endsWith("\nthree\n"));
}

TEST_F(CaptureCommandsTest, TheQuestionsAreWideEnoughForTheirTitles) {
    QFont bold = QApplication::font();
    bold.setBold(true);
    CCaptureFileDlg file;
    CCaptureWriteModeDlg mode;
    CIncludeBufferDlg buffer;
    CCaptureOptionsDlg options(CCaptureSettings{});
    for (QDialog* d : std::initializer_list<QDialog*>{&file, &mode, &buffer, &options}) {
        d->show();
        EXPECT_GE(d->width(), QFontMetrics(bold).horizontalAdvance(d->windowTitle()) + kTitleBarButtons)
            << d->windowTitle().toStdString();
        d->hide();
    }
}

TEST_F(CaptureCommandsTest, OptionsWithAllKeysAbsentStoreZeros) {
    CModalScript script;
    script.Then<CCaptureOptionsDlg>([&](CCaptureOptionsDlg* d) {
        EXPECT_EQ(QString("Capture Text Options"), d->windowTitle());
        for (int id : {1006, 1000, 1003, 1004, 1005, 1009, 1010, 1011})
            EXPECT_FALSE(Checked(d->Control(id))) << id;
        EXPECT_EQ(-1, d->GroupIndex(1006));
        EXPECT_EQ(QString(), qobject_cast<QLineEdit*>(d->Control(1002))->text());
        for (int id : {1007, 1002, 1001}) EXPECT_TRUE(d->Control(id)->isVisible()) << id;
        Click(d->Control(1));
    });
    Trigger(cmd::kCaptureOptions);
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(0, store.GetProfileInt("Transfer", "Prompt For Filename", -1));
    EXPECT_EQ(0, store.GetProfileInt("Transfer", "Write Mode", -1));
    EXPECT_EQ(0, store.GetProfileInt("Transfer", "Include Buffer Text", -1));
    EXPECT_TRUE(store.Find("Transfer", "Prompt Path Name").has_value());
    EXPECT_EQ("", store.GetProfileString("Transfer", "Prompt Path Name", "x"));
}

TEST_F(CaptureCommandsTest, OptionsShowTheStoredValuesAndTheVisibilityRule) {
    store.WriteProfileInt("Transfer", "Prompt For Filename", 1);
    store.WriteProfileString("Transfer", "Prompt Path Name", "/tmp/x.txt");
    store.WriteProfileInt("Transfer", "Write Mode", 3);
    store.WriteProfileInt("Transfer", "Include Buffer Text", 2);
    CModalScript script;
    script.Then<CCaptureOptionsDlg>([&](CCaptureOptionsDlg* d) {
        const std::vector<std::pair<int, const char*>> texts = {
            {1006, "Prompt for Filename Each Time Capture Mode is Started"},
            {1000, "Capture Data to a Fixed Filename Each Time Capture Mode is Started"},
            {1003, "Prompt For Mode"}, {1004, "Overwrite"}, {1005, "Append"},
            {1009, "Prompt"}, {1010, "Yes"}, {1011, "No"}, {1001, "Browse"}, {1, "OK"},
            {2, "Cancel"}};
        for (const auto& [id, text] : texts)
            EXPECT_EQ(QString(text), qobject_cast<QAbstractButton*>(d->Control(id))->text());
        EXPECT_TRUE(Checked(d->Control(1006)));
        EXPECT_TRUE(Checked(d->Control(1005)));
        EXPECT_TRUE(Checked(d->Control(1010)));
        EXPECT_EQ(QString("/tmp/x.txt"), qobject_cast<QLineEdit*>(d->Control(1002))->text());
        for (int id : {1007, 1002, 1001}) EXPECT_FALSE(d->Control(id)->isVisible()) << id;
        qobject_cast<QAbstractButton*>(d->Control(1000))->click();
        for (int id : {1007, 1002, 1001}) EXPECT_TRUE(d->Control(id)->isVisible()) << id;
        qobject_cast<QAbstractButton*>(d->Control(1003))->click();
        qobject_cast<QLineEdit*>(d->Control(1002))->setText("/tmp/y.txt");
        Click(d->Control(1));
    });
    Trigger(cmd::kCaptureOptions);
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(2, store.GetProfileInt("Transfer", "Prompt For Filename", -1));
    EXPECT_EQ(1, store.GetProfileInt("Transfer", "Write Mode", -1));
    EXPECT_EQ(2, store.GetProfileInt("Transfer", "Include Buffer Text", -1));
    EXPECT_EQ("/tmp/y.txt", store.GetProfileString("Transfer", "Prompt Path Name", ""));
}

TEST_F(CaptureCommandsTest, OptionsCancelWritesNothing) {
    CModalScript script;
    script.Then<CCaptureOptionsDlg>([&](CCaptureOptionsDlg* d) {
        qobject_cast<QAbstractButton*>(d->Control(1004))->click();
        Click(d->Control(2));
    });
    store.ClearWriteLog();
    Trigger(cmd::kCaptureOptions);
    ASSERT_TRUE(script.Done());
    EXPECT_TRUE(store.WriteLog().empty());
}

TEST_F(CaptureCommandsTest, BrowseOffersTextFilesAndPutsThePathIntoTheEdit) {
    CCaptureFileDlg dialog(frame.get());
    dialog.show();
    const QString chosen = dir.filePath("browsed");
    CModalScript script;
    script.Then<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(QFileDialog::AcceptSave, d->acceptMode());
        EXPECT_EQ(QString("txt"), d->defaultSuffix());
        EXPECT_EQ((QStringList{"Text Files (*.txt)", "All Files (*)"}), d->nameFilters());
        EXPECT_EQ(QString("Text Files (*.txt)"), d->selectedNameFilter());
        d->selectFile(chosen);
        QTimer::singleShot(0, d, &QDialog::accept);
    });
    qobject_cast<QAbstractButton*>(dialog.Control(1001))->click();
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(chosen + ".txt", qobject_cast<QLineEdit*>(dialog.Control(1002))->text());

    CModalScript cancel;
    cancel.Then<QFileDialog>([](QFileDialog* d) { QTimer::singleShot(0, d, &QDialog::reject); });
    qobject_cast<QAbstractButton*>(dialog.Control(1001))->click();
    EXPECT_EQ(chosen + ".txt", qobject_cast<QLineEdit*>(dialog.Control(1002))->text());
}

}  // namespace
