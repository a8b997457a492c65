// One instance per user: the hand-off between two objects and between two programs.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "GuiSupport.h"
#include "Pty.h"
#include "app/SingleInstance.h"

namespace {

TEST(SingleInstance, ASecondStartHandsOverToTheFirst) {
    CSingleInstance first("TarvolineTest-handoff");
    ASSERT_TRUE(first.Listen());
    int activations = 0;
    QObject::connect(&first, &CSingleInstance::ActivationRequested, [&] { ++activations; });
    CSingleInstance second("TarvolineTest-handoff");
    bool handedOff = false;
    // The first answers from its event loop, so the second asks from a timer.
    QTimer::singleShot(0, [&] { handedOff = second.HandOff(); });
    ASSERT_TRUE(WaitFor([&] { return activations == 1; }));
    EXPECT_TRUE(handedOff);
}

TEST(SingleInstance, PostLinkLoadRequestReachesTheFirst) {
    CSingleInstance first("TarvolineTest-postlink");
    ASSERT_TRUE(first.Listen());
    int requests = 0;
    QObject::connect(&first, &CSingleInstance::PostLinkLoadRequested, [&] { ++requests; });
    CSingleInstance second("TarvolineTest-postlink");
    QTimer::singleShot(0, [&] { second.HandOff(CSingleInstance::kPostLinkLoad); });
    EXPECT_TRUE(WaitFor([&] { return requests == 1; }));
}

TEST(SingleInstance, NobodyListeningMeansRunHere) {
    CSingleInstance alone("TarvolineTest-nobody");
    EXPECT_FALSE(alone.HandOff(CSingleInstance::kActivate, 200));
}

// The socket lies in the session's own directory, named from the settings store.
TEST(SingleInstance, TheNameDependsOnTheSettingsStore) {
    const QString name = CSingleInstance::DefaultName();
    EXPECT_TRUE(QFileInfo(name).fileName().startsWith("Tarvoline-")) << name.toStdString();
    EXPECT_EQ(QFileInfo(name).path(), QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")));
    EXPECT_NE(CSingleInstance::SocketPathFor("/a/Tarvoline.conf"),
              CSingleInstance::SocketPathFor("/b/Tarvoline.conf"));
}

// Two runs of the program: the second ends at once and the first keeps running.
TEST(SingleInstanceProgram, SecondRunEndsAndTheFirstStays) {
    CTestPty pty;
    const QStringList args = {"--nosplash", "--bind", "COM3=" + QString::fromStdString(pty.SlavePath())};
    QProcess first;
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(TARVOLINE_PROGRAM, args);
    ASSERT_TRUE(first.waitForStarted(5000));
    // It is listening once a hand-off succeeds.
    CSingleInstance probe;
    ASSERT_TRUE(WaitFor([&] { return probe.HandOff(CSingleInstance::kActivate, 200); }, 10000));

    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(TARVOLINE_PROGRAM, args);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(0, second.exitCode());
    EXPECT_EQ(QProcess::Running, first.state());

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(QProcess::NormalExit, first.exitStatus());
    EXPECT_EQ(0, first.exitCode());
}

// SIGTERM ends the program while a message box waits for the user: here the start-up
// message about a port that cannot be opened, before the event loop has started.
TEST(SingleInstanceProgram, SigtermEndsItWithTheStartUpMessageShowing) {
    const QStringList args = {"--nosplash", "--bind", "COM3=/dev/tarvoline-test-no-such-device"};
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(::testing::TempDir()) + "/sigterm-config");
    program.setProcessEnvironment(env);
    program.start(TARVOLINE_PROGRAM, args);
    ASSERT_TRUE(program.waitForStarted(5000));
    // Long enough for the message to show; nobody answers it.
    QTest::qWait(1500);
    ASSERT_EQ(QProcess::Running, program.state());
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(QProcess::NormalExit, program.exitStatus());
    EXPECT_EQ(0, program.exitCode());
}

}  // namespace
