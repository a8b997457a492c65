// Runs the GUI tests in one QApplication on the offscreen platform, with a settings folder of
// their own unless the test run gave one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <cstdlib>

static void InitResources() { Q_INIT_RESOURCE(tarvoline); }

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const QString home = TARVOLINE_TEST_HOME;
    setenv("XDG_CONFIG_HOME", (home + "/config").toLocal8Bit().constData(), 0);
    setenv("XDG_RUNTIME_DIR", (home + "/run").toLocal8Bit().constData(), 0);
    setenv("TMPDIR", (home + "/tmp").toLocal8Bit().constData(), 0);
    for (const char* dir : {"XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
        QDir().mkpath(QString::fromLocal8Bit(std::getenv(dir)));
    }
    QFile::setPermissions(QString::fromLocal8Bit(std::getenv("XDG_RUNTIME_DIR")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QApplication app(argc, argv);
    InitResources();
    return RUN_ALL_TESTS();
}
