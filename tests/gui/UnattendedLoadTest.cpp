// Loads nobody asks for at a dialog, against the simulated board: Load Again, Load on Rebuild,
// a file handed over by another start through the single-instance socket, and the refusal of
// anything but a regular file.
#ifdef TARVOLINE_HAVE_SIM
// The board's headers first: they use a name that Qt defines as a macro.
#include "simulated_board.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <atomic>
#include <chrono>
#include <thread>
#include <sys/stat.h>

#include "GuiSupport.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/QtDocumentUi.h"
#include "app/SingleInstance.h"
#include "app/SplashWindow.h"
#include "app/TransferCommands.h"
#include "download/TransferProgressDlg.h"
#include "app/UiCallPump.h"
#include "document/LastLoad.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "m68k_programs.h"
#include "terminal/TarvolineView.h"

namespace {

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const char* bytes, size_t n, bool append = false) {
    std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    out.write(bytes, std::streamsize(n));
}

class UnattendedLoad : public ::testing::Test {
protected:
    void SetUp() override {
        CSplashWindow::EnableSplashScreen(false);
        dir = QDir::tempPath().toStdString() + "/unattended-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        demo = ReadAll(TARVOLINE_SOURCE_DIR "/examples/demo.Bin");
        ASSERT_FALSE(demo.empty());
        bin = dir + "/demo.Bin";
        WriteBytes(bin, demo.data(), demo.size());
        store.WriteProfileString("Devices", "COM3", board.devicePath());
        OpenWindow();
    }
    void TearDown() override { CloseWindow(); }
    // A window with its document on the store, as a start of the program makes it.
    void OpenWindow() {
        frame = std::make_unique<CMainFrame>(&store);
        ui.SetGuiThread(&calls, frame.get());
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        transfers = std::make_unique<CTransferCommands>(*frame, *doc, &store);
        frame->View()->SetDocument(doc.get());
        doc->AddView(frame->View());
        frame->show();
    }
    void CloseWindow() {
        transfers.reset();
        doc.reset();
        frame.reset();
    }
    QAction* Action(int id) const { return frame->Action(id); }
    int Starts() const {
        const auto notes = board.notes();
        return int(std::count_if(notes.begin(), notes.end(), [](const std::string& n) {
            return n.find("program started at") != std::string::npos;
        }));
    }
    bool StartsReach(int n, int timeoutMs = 20000) {
        return WaitFor([&] { return Starts() >= n && !doc->TransferRunning(); }, timeoutMs);
    }
    std::string Messages() const {
        std::string all;
        for (const QString& t : messages.texts) all += t.toStdString() + "\n";
        return all;
    }
    // Post Link and Load of the demo with no dialog, on a connected document.
    void FirstLoad() {
        ASSERT_TRUE(doc->OnNewDocument());
        transfers->UpdateCommands();
        transfers->PostLinkAndLoadFile(QString::fromStdString(bin));
        ASSERT_TRUE(StartsReach(1)) << Messages();
        doc->WaitForTransfer();
        ASSERT_EQ(Messages(), "");
    }

    vivaz::testing::SimulatedBoard board;
    CMemorySettingsStore store;
    CQtDocumentUi ui;
    CUiCallQueue calls;
    CUiCallPump pump{calls};
    CMessageBoxCatcher messages;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CTarvolineDoc> doc;
    std::unique_ptr<CTransferCommands> transfers;
    std::string dir, bin;
    std::vector<char> demo;
};

TEST_F(UnattendedLoad, LoadAgainRepeatsThePostLinkAndLoadAndIsRememberedInTheStore) {
    int dialogs = 0;
    transfers->chooseFile = [&](const QString&) {
        ++dialogs;
        return QString();
    };
    ASSERT_TRUE(doc->OnNewDocument());
    transfers->UpdateCommands();
    // Nothing to repeat yet.
    EXPECT_FALSE(Action(cmd::kLoadAgain)->isEnabled());
    EXPECT_EQ(Action(cmd::kLoadAgain)->text().toStdString(), "Load &Again");
    EXPECT_EQ(Action(cmd::kLoadAgain)->shortcut(), QKeySequence(Qt::Key_F5));

    transfers->PostLinkAndLoadFile(QString::fromStdString(bin));
    ASSERT_TRUE(StartsReach(1)) << Messages();
    EXPECT_TRUE(Action(cmd::kLoadAgain)->isEnabled());
    EXPECT_EQ(store.GetProfileString("Transfer", "Last Load", ""), "postlink-load " + bin);

    Action(cmd::kLoadAgain)->trigger();
    ASSERT_TRUE(StartsReach(2)) << Messages();
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(Messages(), "");

    // F5 in the window is the same command.
    frame->activateWindow();
    QTest::keyClick(frame.get(), Qt::Key_F5);
    ASSERT_TRUE(StartsReach(3)) << Messages();

    // A new start on the same store repeats it too.
    CloseWindow();
    OpenWindow();
    transfers->chooseFile = [&](const QString&) {
        ++dialogs;
        return QString();
    };
    ASSERT_TRUE(transfers->LastLoad().has_value());
    EXPECT_EQ(transfers->LastLoad()->path, bin);
    EXPECT_TRUE(Action(cmd::kLoadAgain)->isEnabled());  // Post Link and Load needs no port
    ASSERT_TRUE(doc->OnNewDocument());
    transfers->UpdateCommands();
    const int before = Starts();
    Action(cmd::kLoadAgain)->trigger();
    ASSERT_TRUE(StartsReach(before + 1)) << Messages();
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(Messages(), "");
}

// Load Program from the menu with an ELF from the cross compiler; Load Again repeats it, and
// Load on Rebuild watches the ELF as it watches a .Bin: a rewrite loads it once, a half-written
// one never.
TEST_F(UnattendedLoad, LoadProgramTakesAnElfAndLoadOnRebuildWatchesIt) {
    const std::string built = tarvoline::testing::M68kProgramPath(tarvoline::testing::kHighAddress, ".elf");
    const std::vector<char> elf = ReadAll(built);
    ASSERT_FALSE(elf.empty());
    const std::string program = dir + "/prog.elf";
    WriteBytes(program, elf.data(), elf.size());
    std::vector<std::string> offered;
    transfers->chooseFile = [&](const QString& initial) {
        offered.push_back(initial.toStdString());
        return QString::fromStdString(program);
    };
    ASSERT_TRUE(doc->OnNewDocument());
    transfers->UpdateCommands();
    EXPECT_TRUE(Action(cmd::kLoadProgram)->isEnabled());
    Action(cmd::kLoadProgram)->trigger();
    ASSERT_TRUE(StartsReach(1)) << Messages();
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_TRUE(offered[0].ends_with("Programs (*.elf *.s19 *.s28 *.s37 *.srec *.mot *.hex *.run *.app)"))
        << offered[0];
    EXPECT_TRUE(board.waitForNote("program started at 00100000"));
    const std::vector<std::string> notes = board.notes();
    EXPECT_TRUE(std::none_of(notes.begin(), notes.end(), [](const std::string& n) {
        return n.find("record loader") != std::string::npos;
    }));
    EXPECT_EQ(store.GetProfileString("Transfer", "Last Load", ""), "load-program " + program);

    Action(cmd::kLoadAgain)->trigger();
    ASSERT_TRUE(StartsReach(2)) << Messages();
    EXPECT_EQ(offered.size(), 1u);

    Action(cmd::kLoadOnRebuild)->setChecked(true);
    QTest::qWait(500);
    EXPECT_EQ(Starts(), 2);  // switching it on loads nothing
    board.clearTranscript();
    const size_t half = elf.size() / 2;
    WriteBytes(program, elf.data(), half);
    QTest::qWait(100);
    WriteBytes(program, elf.data() + half, elf.size() - half, true);
    ASSERT_TRUE(StartsReach(1)) << Messages();
    QTest::qWait(1000);
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Messages(), "");
    Action(cmd::kLoadOnRebuild)->setChecked(false);
}

TEST_F(UnattendedLoad, LoadOnRebuildLoadsOnceAfterARewriteAndNeverAHalfWrittenFile) {
    FirstLoad();
    EXPECT_FALSE(Action(cmd::kLoadOnRebuild)->isChecked());  // off by default
    Action(cmd::kLoadOnRebuild)->setChecked(true);
    EXPECT_EQ(store.GetProfileInt("Transfer", "Load on Rebuild", 0), 1);
    QTest::qWait(500);
    EXPECT_EQ(Starts(), 1);  // switching it on loads nothing

    // The linker writes a new version over it.
    WriteBytes(bin, demo.data(), demo.size());
    ASSERT_TRUE(StartsReach(2)) << Messages();
    QTest::qWait(1000);
    EXPECT_EQ(Starts(), 2);  // once

    // Written in two pieces: the half is never loaded, the whole once.
    board.clearTranscript();
    const size_t half = demo.size() / 2;
    WriteBytes(bin, demo.data(), half);
    QTest::qWait(100);
    WriteBytes(bin, demo.data() + half, demo.size() - half, true);
    ASSERT_TRUE(StartsReach(1)) << Messages();
    QTest::qWait(1000);
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Messages(), "");  // a half .Bin would have failed to convert

    // Off: a rewrite loads nothing.
    Action(cmd::kLoadOnRebuild)->setChecked(false);
    EXPECT_EQ(store.GetProfileInt("Transfer", "Load on Rebuild", 1), 0);
    board.clearTranscript();
    WriteBytes(bin, demo.data(), demo.size());
    QTest::qWait(1500);
    EXPECT_EQ(Starts(), 0);
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
}

TEST_F(UnattendedLoad, OnlyARegularFileIsLoaded) {
    ASSERT_TRUE(doc->OnNewDocument());
    transfers->UpdateCommands();
    std::filesystem::create_directories(dir + "/folder.Bin");
    ASSERT_EQ(::mkfifo((dir + "/pipe.Bin").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir + "/pipe.RUN").c_str(), 0600), 0);
    board.clearTranscript();

    transfers->PostLinkAndLoadFile(QString::fromStdString(dir + "/folder.Bin"));
    transfers->PostLinkAndLoadFile(QString::fromStdString(dir + "/pipe.Bin"));
    transfers->PostLinkAndLoadFile(QString::fromStdString(dir + "/missing.Bin"));
    transfers->OpenHandedDocument(QString::fromStdString(dir + "/pipe.RUN"));
    transfers->OpenHandedDocument(QString::fromStdString(dir + "/missing.RUN"));
    ASSERT_TRUE(WaitFor([&] { return messages.texts.size() >= 5; })) << Messages();
    QTest::qWait(300);
    EXPECT_EQ(Messages(), "Cannot load " + dir + "/folder.Bin: it is a directory.\n"
                          "Cannot load " + dir + "/pipe.Bin: it is a named pipe.\n"
                          "Cannot load " + dir + "/missing.Bin: No such file or directory.\n"
                          "Cannot load " + dir + "/pipe.RUN: it is a named pipe.\n"
                          "Cannot load " + dir + "/missing.RUN: No such file or directory.\n");
    EXPECT_FALSE(doc->TransferRunning());
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
    EXPECT_EQ(Starts(), 0);
    EXPECT_FALSE(transfers->LastLoad().has_value());  // nothing to repeat
    EXPECT_NE(doc->Port(), nullptr);                  // the connection stays
}

// The program itself: a second start with --postlink-load FILE hands FILE to the running one,
// which loads it into its board with no dialog; the second start ends with 0.
TEST_F(UnattendedLoad, ASecondProgramStartHandsItsPostLinkLoadToTheFirst) {
    CloseWindow();  // the board's line is the program's
    const QString config = QString::fromStdString(dir) + "/config";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config);
    const QStringList bind = {"--nosplash", "--bind",
                              "COM3=" + QString::fromStdString(board.devicePath())};
    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(TARVOLINE_PROGRAM, bind);
    ASSERT_TRUE(first.waitForStarted(5000));
    CSingleInstance probe(
        CSingleInstance::SocketPathFor(config + "/Hollowbrook Works/Tarvoline.conf"));
    ASSERT_FALSE(probe.Name().isEmpty());
    ASSERT_TRUE(WaitFor([&] { return probe.HandOff(CSingleInstance::kActivate, 200); }, 15000));

    QProcess second;
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(TARVOLINE_PROGRAM, bind + QStringList{"--postlink-load", QString::fromStdString(bin)});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(WaitFor([&] { return Starts() == 1; }, 30000)) << board.received();
    EXPECT_TRUE(std::filesystem::exists(dir + "/demo.RUN"));
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(Starts(), 1);
}

// The window's listener, wired as the program wires it; requests written to its socket as a
// second start writes them.
class HandedLoad : public UnattendedLoad {
protected:
    void SetUp() override {
        UnattendedLoad::SetUp();
        socketPath = QDir::tempPath() + "/unattended-socket";
        instance = std::make_unique<CSingleInstance>(socketPath);
        ASSERT_TRUE(instance->Listen()) << instance->LastError().toStdString();
        QObject::connect(instance.get(), &CSingleInstance::PostLinkLoadFileRequested,
                         transfers.get(), [this](const QString& path, CHandOver answer) {
                             transfers->PostLinkAndLoadFile(path, answer);
                         });
        QObject::connect(instance.get(), &CSingleInstance::OpenFileRequested, transfers.get(),
                         [this](const QString& path, CHandOver answer) {
                             transfers->OpenHandedDocument(path, answer);
                         });
        transfers->chooseFile = [&](const QString&) {
            ++dialogs;
            return QString();
        };
    }
    void TearDown() override {
        instance.reset();
        UnattendedLoad::TearDown();
    }
    // The fixture's window listens where a start of the program with this configuration looks.
    void ListenAsTheProgram() {
        config = QString::fromStdString(dir) + "/config";
        instance = std::make_unique<CSingleInstance>(
            CSingleInstance::SocketPathFor(config + "/Hollowbrook Works/Tarvoline.conf"));
        ASSERT_FALSE(instance->Name().isEmpty());
        ASSERT_TRUE(instance->Listen()) << instance->LastError().toStdString();
        QObject::connect(instance.get(), &CSingleInstance::PostLinkLoadFileRequested,
                         transfers.get(), [this](const QString& path, CHandOver answer) {
                             transfers->PostLinkAndLoadFile(path, answer);
                         });
        QObject::connect(instance.get(), &CSingleInstance::OpenFileRequested, transfers.get(),
                         [this](const QString& path, CHandOver answer) {
                             transfers->OpenHandedDocument(path, answer);
                         });
    }
    struct Run {
        int exitCode = -1;
        std::string out, err;
    };
    // A second start of the program with args, its answer read; the window's loop runs meanwhile.
    Run SecondStart(const QStringList& args, const std::function<void()>& meanwhile = {}) {
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config);
        second.setProcessEnvironment(env);
        second.start(TARVOLINE_PROGRAM, QStringList{"--nosplash"} + args);
        Run run;
        if (!second.waitForStarted(5000)) return run;
        const bool ended = WaitFor(
            [&] {
                if (meanwhile) meanwhile();
                return second.state() == QProcess::NotRunning;
            },
            60000);
        if (!ended) {
            second.kill();
            second.waitForFinished(5000);
            run.err = "(still running after 60 s)";
            return run;
        }
        run.exitCode = second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
        run.out = second.readAllStandardOutput().toStdString();
        run.err = second.readAllStandardError().toStdString();
        return run;
    }
    void Send(const QByteArray& line) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(line);
        ASSERT_TRUE(socket.waitForBytesWritten(2000));
        socket.disconnectFromServer();
    }
    QString socketPath, config;
    std::unique_ptr<CSingleInstance> instance;
    int dialogs = 0;
};

TEST_F(HandedLoad, PostLinkLoadAndOpenThroughTheSocketLoadWithNoDialog) {
    ASSERT_TRUE(doc->OnNewDocument());
    transfers->UpdateCommands();
    // As a second start hands it over.
    CSingleInstance second(socketPath);
    bool handed = false;
    QTimer::singleShot(0, [&] {
        handed = second.HandOff(
            CSingleInstance::FileRequest(CSingleInstance::kPostLinkLoad, QString::fromStdString(bin)));
    });
    ASSERT_TRUE(StartsReach(1)) << Messages();
    EXPECT_TRUE(handed);
    EXPECT_TRUE(std::filesystem::exists(dir + "/demo.RUN"));
    EXPECT_EQ(store.GetProfileString("Transfer", "Last Load", ""), "postlink-load " + bin);

    // The message written straight to the socket; "open" of the .RUN connects anew and loads.
    Send(("open " + dir + "/demo.RUN\n").c_str());
    ASSERT_TRUE(StartsReach(2)) << Messages();
    EXPECT_EQ(doc->GetTitle(), "COM3");
    // A relative path is not taken: this program's working directory is not the sender's.
    Send("postlink-load demo.Bin\n");
    QTest::qWait(1000);
    EXPECT_EQ(Starts(), 2);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(Messages(), "");
}

// A start that hands a file to the running window exits 1 with the window's reason when the
// window refuses it: a missing file, a name without .Bin, not a load file, a transfer running.
TEST_F(HandedLoad, ARefusedRequestEndsTheSecondStartWithTheReason) {
    ListenAsTheProgram();
    ASSERT_TRUE(doc->OnNewDocument());
    transfers->UpdateCommands();
    WriteBytes(dir + "/notes.txt", "text", 4);
    board.clearTranscript();

    Run run = SecondStart({"--postlink-load", QString::fromStdString(dir + "/missing.Bin")});
    EXPECT_EQ(1, run.exitCode) << run.err;
    EXPECT_EQ("tarvoline: Cannot load " + dir + "/missing.Bin: No such file or directory.\n", run.err);
    run = SecondStart({"--postlink-load", QString::fromStdString(dir + "/notes.txt")});
    EXPECT_EQ(1, run.exitCode) << run.err;
    EXPECT_EQ("tarvoline: Cannot load " + dir + "/notes.txt: its name has no .BIN, .bin or .Bin.\n",
              run.err);
    run = SecondStart({QString::fromStdString(dir + "/notes.txt")});
    EXPECT_EQ(1, run.exitCode) << run.err;
    EXPECT_NE(run.err.find("is not a load file"), std::string::npos) << run.err;

    // A transfer that runs until the test lets it end.
    std::atomic<bool> release = false;
    ASSERT_TRUE(doc->StartTransfer([&] {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }));
    run = SecondStart({"--wait", "--postlink-load", QString::fromStdString(bin)});
    release = true;
    EXPECT_EQ(1, run.exitCode) << run.err;
    EXPECT_EQ(std::string("tarvoline: ") + CTarvolineDoc::kTransferRunningMessage + "\n", run.err);
    doc->WaitForTransfer();

    // The window said the same to its user, and loaded nothing.
    QTest::qWait(200);
    EXPECT_NE(Messages().find("missing.Bin: No such file or directory."), std::string::npos) << Messages();
    EXPECT_NE(Messages().find(CTarvolineDoc::kTransferRunningMessage), std::string::npos) << Messages();
    EXPECT_EQ(Starts(), 0);
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
}

// With --wait the second start ends by the verdict of the load: 0 when the board started the
// program, 1 with what the window said when it failed, 130 when it was cancelled.
TEST_F(HandedLoad, WaitEndsTheSecondStartByTheVerdictOfTheLoad) {
    ListenAsTheProgram();
    ASSERT_TRUE(doc->OnNewDocument());
    transfers->UpdateCommands();

    Run run = SecondStart({"--wait", "--postlink-load", QString::fromStdString(bin)});
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ("tarvoline: " + bin + ": loaded and started\n", run.out);
    EXPECT_EQ(Starts(), 1);
    // The document's way: the .RUN named, the .Bin beside it converted and loaded.
    run = SecondStart({"--wait", QString::fromStdString(dir + "/demo.RUN")});
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(Starts(), 2);
    ASSERT_EQ(Messages(), "");

    // A .Bin that does not convert: taken, then failed with the converter's words.
    const std::string junk = dir + "/junk.Bin";
    WriteBytes(junk, "not a program", 13);
    run = SecondStart({"--postlink-load", QString::fromStdString(junk)});
    EXPECT_EQ(0, run.exitCode) << run.err;  // taken: without --wait that is all it says
    ASSERT_TRUE(WaitFor([&] { return !messages.texts.empty() && !doc->TransferRunning(); }));
    messages.texts.clear();
    run = SecondStart({"--wait", "--postlink-load", QString::fromStdString(junk)});
    EXPECT_EQ(1, run.exitCode) << run.err;
    ASSERT_FALSE(messages.texts.empty());
    const std::string said = "tarvoline: the load of " + junk + " failed: Post Link, configuration 1";
    EXPECT_EQ(said, run.err.substr(0, said.size())) << run.err;
    EXPECT_EQ('\n', run.err.back());
    EXPECT_EQ(Starts(), 2);

    // Cancel in the progress window while the board keeps the load waiting for its '+'.
    vivaz::Faults faults;
    faults.noGoAhead = true;
    board.setFaults(faults);
    board.clearTranscript();
    messages.texts.clear();
    bool cancelled = false;
    run = SecondStart({"--wait", "--postlink-load", QString::fromStdString(bin)}, [&] {
        if (cancelled || board.received().find("LOAD") == std::string::npos) return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* progress = qobject_cast<CTransferProgressDlg*>(w); progress && progress->isVisible()) {
                progress->reject();  // what Cancel does
                cancelled = true;
            }
        }
    });
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(130, run.exitCode) << run.err;
    EXPECT_EQ("tarvoline: the load of " + bin + " was cancelled\n", run.err);
    EXPECT_EQ(Starts(), 0);
}

// A linker that pauses a second between pieces of the .Bin: its halves fail to convert and
// are tried again quietly; the finished file is loaded once, and no message shows.
TEST_F(UnattendedLoad, LoadOnRebuildWaitsOutAWriterThatPauses) {
    FirstLoad();
    Action(cmd::kLoadOnRebuild)->setChecked(true);
    board.clearTranscript();
    const size_t third = demo.size() / 3;
    WriteBytes(bin, demo.data(), third);
    QTest::qWait(1000);
    WriteBytes(bin, demo.data() + third, third, true);
    QTest::qWait(1000);
    WriteBytes(bin, demo.data() + 2 * third, demo.size() - 2 * third, true);
    ASSERT_TRUE(StartsReach(1)) << Messages();
    // Longer than a held failure waits before it shows.
    QTest::qWait(CRebuildWatcher::kFailureSettleMs + 500);
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(Messages(), "");

    // A .Bin that stays broken: its failure is shown once it has stayed as it is, and nothing
    // is loaded.
    board.clearTranscript();
    WriteBytes(bin, demo.data(), third);
    ASSERT_TRUE(WaitFor([&] { return !messages.texts.empty(); }, 15000));
    EXPECT_NE(Messages().find("Post Link"), std::string::npos) << Messages();
    QTest::qWait(500);
    EXPECT_EQ(Starts(), 0);
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
}

}  // namespace
#endif
