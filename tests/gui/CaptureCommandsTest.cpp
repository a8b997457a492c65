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
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

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

TEST_F(CaptureCommandsTest, ANamedPipeIsRefusedAndTheWindowKeepsWorking) {
    // Opening a named pipe for writing waits until some program reads it: the window would
    // freeze. Should the capture ever wait there, a watchdog opens the reading end after 20 s,
    // which ends the wait, and the test fails.
    ASSERT_EQ(0, ::mkfifo(path.toLocal8Bit().constData(), 0600));
    std::mutex mutex;
    std::condition_variable doneSignal;
    bool done = false;
    int watchdogReader = -1;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!doneSignal.wait_for(lock, std::chrono::seconds(20), [&] { return done; }))
            watchdogReader = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
    });
    Fixed(path, 2, 3);
    CMessageBoxCatcher boxes;
    Trigger(cmd::kCaptureStart);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    doneSignal.notify_one();
    watchdog.join();
    EXPECT_EQ(-1, watchdogReader) << "the capture waited in the open of a named pipe";
    frame->OnCaptureStop();
    if (watchdogReader >= 0) ::close(watchdogReader);

    EXPECT_EQ(boxes.texts, std::vector<QString>{"Cannot open capture file " + path +
                                                ": it is a named pipe, not a regular file"});
    EXPECT_FALSE(frame->Capture().IsCapturing());
    EXPECT_EQ(QString("CAPTURE OFF"), Pane());
    EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), Enabled());
    // The window goes on: its events run and the terminal takes in text.
    bool timerRan = false;
    QTimer::singleShot(0, frame.get(), [&] { timerRan = true; });
    EXPECT_TRUE(WaitFor([&] { return timerRan; }));
    Receive("still here\r\n");
    EXPECT_TRUE(frame->View()->toPlainText().endsWith("still here\n"));
}

// Lowers this process's file-size limit for its lifetime, so a write past it fails with EFBIG
// (the signal that would otherwise end the process is ignored meanwhile): a full disk without
// filling one.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~CFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool Set() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_set = false;
};

TEST_F(CaptureCommandsTest, AWriteThatFailsStopsTheCaptureSaysWhyAndKeepsWhatWasWritten) {
    Fixed(path, 2, 3);
    Trigger(cmd::kCaptureStart);
    ASSERT_EQ(QString("CAPTURE ON"), Pane());
    Receive("kept line\r\n");
    CMessageBoxCatcher boxes;
    {
        CFileSizeLimit limit(64);
        ASSERT_TRUE(limit.Set());
        Receive(std::string(200, 'x') + "\r\n");
        // The pane says it at once; the message comes once the terminal has taken the text in.
        EXPECT_EQ(QString("CAPTURE OFF"), Pane());
        EXPECT_FALSE(frame->Capture().IsCapturing());
        EXPECT_TRUE(boxes.texts.empty());
        Receive("after\r\n");
    }
    EXPECT_TRUE(WaitFor([&] { return !boxes.texts.empty(); }));
    EXPECT_EQ(boxes.texts,
              std::vector<QString>{"Capture to " + path + " stopped: File too large"});
    EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), Enabled());
    const std::string kept = FileBytes(path);
    EXPECT_EQ(0u, kept.rfind("kept line\r\nxx", 0)) << kept;
    EXPECT_LE(kept.size(), 64u);
    EXPECT_EQ(std::string::npos, kept.find("after"));
    // The terminal itself lost nothing.
    EXPECT_TRUE(frame->View()->toPlainText().endsWith(QString(200, 'x') + "\nafter\n"));

    // A new Start works again where the file can take the text.
    Trigger(cmd::kCaptureStart);
    EXPECT_EQ(QString("CAPTURE ON"), Pane());
    Receive("again\r\n");
    Trigger(cmd::kCaptureStop);
    EXPECT_EQ("again\r\n", FileBytes(path));
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
