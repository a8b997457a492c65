// The settings store on QSettings writes where the desktop keeps per-user settings, and never
// the user's own file: the test points XDG_CONFIG_HOME at a folder of its own.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "document/FirstRunDefaults.h"
#include "app/QtSettingsStore.h"

namespace {

TEST(QtSettingsStore, ValuesPersistInTheNativeFileUnderTheCompanyName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const QString expected = dir.path() + "/Hollowbrook Works/Tarvoline.conf";
    {
        CQtSettingsStore store;
        EXPECT_EQ(store.FileName(), expected);
        WriteFirstRunDefaults(store);
        store.WriteProfileString("COM Settings", "COM Port", "COM12");
        store.WriteProfileInt("Window", "X Size", 800);
    }
    ASSERT_TRUE(QFile::exists(expected));
    CQtSettingsStore again;
    EXPECT_EQ(again.GetProfileString("COM Settings", "COM Port", ""), "COM12");
    EXPECT_EQ(again.GetProfileString("COM Settings", "Baud Rate", ""), "9600");
    EXPECT_EQ(again.GetProfileInt("Window", "X Size", -1), 800);
    EXPECT_EQ(again.GetProfileInt("Background", "Color", -1), 0xFF0000);
    EXPECT_EQ(again.GetProfileInt("COM Settings", "Baud Rate", -1), 9600);
    EXPECT_EQ(again.GetProfileInt("COM Settings", "Parity", -1), -1);  // text, not a number
    EXPECT_EQ(again.GetProfileString("Nothing", "Here", "dflt"), "dflt");

    QFile file(expected);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[COM%20Settings]")) << text.toStdString();
    EXPECT_TRUE(text.contains("X%20Size=800")) << text.toStdString();
}

}  // namespace
