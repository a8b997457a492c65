// The command-line tool's settings reader against QSettings itself: files written by QSettings
// with awkward names and values, and files written by hand with what QSettings accepts but
// never writes, read by both; every setting must read the same in the tool as in the window.
// The window's reading is QSettings::value(): toString() (or toInt()) when the value is valid,
// the caller's default when it is not. Qt reads each file from a fresh copy, so that what it
// reports comes from parsing the text and not from what it wrote a moment before.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QRect>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "document/IniFileFormat.h"
#include "document/IniSettingsStore.h"

namespace {

const std::string kDefault = "<default>";
constexpr int kDefaultNumber = -424242;

struct WindowReading {
    std::string text;
    int number;
    bool valid;
};

// What the window's store returns for the key, read from a copy of `path` under a name Qt has
// never seen (it keeps what it read of a file while the size and time look unchanged).
WindowReading ReadInWindow(const QString& path, const QString& folder, const std::string& key) {
    static int copies = 0;
    const QString copyPath = folder + "/copy" + QString::number(++copies) + ".conf";
    EXPECT_TRUE(QFile::copy(path, copyPath));
    QSettings qt(copyPath, QSettings::IniFormat);
    const QVariant v = qt.value(QString::fromStdString(key));
    bool ok = false;
    const int number = v.toInt(&ok);
    return {v.isValid() ? v.toString().toStdString() : kDefault,
            v.isValid() && ok ? number : kDefaultNumber, v.isValid()};
}

struct Written {
    std::string section;
    std::string entry;
    QVariant value;
    // The text the tool must read; nothing where only the comparison with the window counts.
    std::optional<std::string> expected;
};

// Values a device path, a file name or a command may hold, and the value types QSettings
// gives their own form.
std::vector<Written> AwkwardSettings() {
    using S = std::string;
    std::vector<Written> rows = {
        {"COM Settings", "COM Port", QString(R"(C:\dev\ttyUSB0)"), S(R"(C:\dev\ttyUSB0)")},
        {"COM Settings", "Quoted", QString(R"(/dev/serial/by-id/usb-"FT232"-port0)"),
         S(R"(/dev/serial/by-id/usb-"FT232"-port0)")},
        {"COM Settings", "Tab", QString("/dev/tty\tS0"), S("/dev/tty\tS0")},
        {"COM Settings", "Comma", QString("a,b"), S("a,b")},
        {"COM Settings", "Semicolon", QString("load;go"), S("load;go")},
        {"COM Settings", "Equals", QString("x=1"), S("x=1")},
        {"COM Settings", "Spaces", QString("  padded  "), S("  padded  ")},
        {"COM Settings", "Only spaces", QString("   "), S("   ")},
        {"COM Settings", "Non-ASCII", QString::fromUtf8("/dev/gérât€-𝄞"), S("/dev/gérât€-𝄞")},
        {"COM Settings", "Empty", QString(""), S("")},
        {"COM Settings", "Newline", QString("one\ntwo\r\n"), S("one\ntwo\r\n")},
        {"COM Settings", "Controls", QString("\x1b" "1f\a\b\f\v\x7f"), S("\x1b" "1f\a\b\f\v\x7f")},
        {"COM Settings", "NUL", QString(QChar(0)) + "0x", S(std::string("\0" "0x", 3))},
        {"COM Settings", "Backslash at end", QString("C:\\"), S("C:\\")},
        {"COM Settings", "Escape-like text", QString(R"(\x41\101\n)"), S(R"(\x41\101\n)")},
        {"COM Settings", "At", QString("@home"), S("@home")},
        {"COM Settings", "At at", QString("@@twice"), S("@@twice")},
        {"COM Settings", "Like a type", QString("@Invalid()"), S("@Invalid()")},
        {"COM Settings", "Quote", QString("\""), S("\"")},
        {"Window", "X Size", QVariant(800), S("800")},
        {"Window", "Negative", QVariant(-17), S("-17")},
        {"Text", "Padded number", QString(" 12 "), S(" 12 ")},
        {"Recent", "List", QStringList{"a.run", " b ", "c,d"}, std::nullopt},
        {"Recent", "Empty list", QStringList{}, std::nullopt},
        {"Recent", "One item", QStringList{"only, one"}, S("only, one")},
        {"Recent", "Bytes", QByteArray("\x01\xff" "ab\xc3\xa9)", 7), std::nullopt},
        {"Recent", "Rect", QRect(1, 2, 3, 4), S("")},
        // Key and group names QSettings percent-encodes or turns into a backslash.
        {"COM Settings", "Name/With/Slashes", QString("slashes"), S("slashes")},
        {"Group with spaces", "key with spaces", QString("v"), S("v")},
        {"Ünïcødé", "ключ €", QString("v"), S("v")},
        {"%41 odd", "100%", QString("percent"), S("percent")},
        {"General", "Really", QString("group named General"), S("group named General")},
        {"", "Top", QString("outside every group"), S("outside every group")},
        {"Punct", R"(a\b"c;d=e,f#g[h])", QString("punctuation"), S("punctuation")},
    };
    return rows;
}

class IniSettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path(const char* name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
};

TEST_F(IniSettingsStoreTest, ReadsEverySettingAsTheWindowReadsWhatQSettingsWrote) {
    const QString path = Path("written.conf");
    const auto rows = AwkwardSettings();
    {
        QSettings qt(path, QSettings::IniFormat);
        for (const auto& row : rows)
            qt.setValue(QString::fromStdString(row.section + "/" + row.entry), row.value);
        qt.sync();
        ASSERT_EQ(qt.status(), QSettings::NoError);
    }
    const CIniSettingsStore store(path.toStdString());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.section + "/" + row.entry);
        const WindowReading window =
            ReadInWindow(path, dir_.path(), row.section + "/" + row.entry);
        const std::string text = store.GetProfileString(row.section, row.entry, kDefault);
        EXPECT_EQ(text, window.text);
        EXPECT_EQ(store.GetProfileInt(row.section, row.entry, kDefaultNumber), window.number);
        if (row.expected) {
            EXPECT_EQ(text, *row.expected);
        }
    }
    // The choices for what a string setting reads as where the value is no single string.
    EXPECT_EQ(store.GetProfileString("Recent", "List", kDefault), "");
    EXPECT_EQ(store.GetProfileString("Recent", "Empty list", kDefault), kDefault);
    EXPECT_EQ(store.GetProfileString("Recent", "Bytes", kDefault), "\x01\xEF\xBF\xBD" "ab\xC3\xA9)");
    EXPECT_EQ(store.GetProfileInt("Window", "X Size", 0), 800);
    EXPECT_EQ(store.GetProfileInt("Text", "Padded number", 0), 12);
}

TEST_F(IniSettingsStoreTest, ValuesOnlyQDataStreamCanReadAreReportedAbsent) {
    const QString path = Path("variant.conf");
    {
        QSettings qt(path, QSettings::IniFormat);
        qt.setValue("Window/Date", QDate(2024, 2, 29));
        qt.setValue("Window/When", QDateTime(QDate(2024, 2, 29), QTime(12, 0), Qt::UTC));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    ASSERT_TRUE(text.contains("Date=@Variant(")) << text.toStdString();
    ASSERT_TRUE(text.contains("When=@DateTime(")) << text.toStdString();

    const CIniSettingsStore store(path.toStdString());
    for (const char* entry : {"Date", "When"}) {
        SCOPED_TRACE(entry);
        EXPECT_TRUE(ReadInWindow(path, dir_.path(), std::string("Window/") + entry).valid);
        EXPECT_EQ(store.GetProfileString("Window", entry, kDefault), kDefault);
        EXPECT_EQ(store.GetProfileInt("Window", entry, kDefaultNumber), kDefaultNumber);
    }
}

// Text QSettings reads but never writes: comments, lines continued, quotes in the middle,
// octal and long hex escapes, a group given twice, a key given twice, '#' that is no comment.
TEST_F(IniSettingsStoreTest, ReadsHandWrittenFilesAsQSettingsDoes) {
    const std::vector<std::string> files = {
        "\xEF\xBB\xBF[A]\nplain=value ; a comment\n;k=commented out\n#hash=not a comment\n",
        "[A]\ncontinued=one\\\n two\nquoted=\"x\ny\"\nmiddle=\"a\" b \"c\" d \n",
        "[A]\noct=\\101\\0618\nhex=\\x100\\x20\\x\nwide=\\xd83d\\xde00\nskip=a\\qb\n",
        "[A]\nlist=a , \"b \" ,c\nat=@@@\nstr=@String(z)\nsize=@Size(1 2)\nbad=@Rect(1)\n",
        "[A]\nk=1\n[B]\nk=2\n[A]\nk=3\nk2=4\n[general]\ntop=5\n[%General]\ng=6\n",
        "  [ Sp%20ace ] trailing\n  key%20one = spaced  \nsl\\ash=7\n[C\nopen=8\n",
        "[A]\ntrail=a\\ \nend=tail\\\ncr=one\r\ntwo=2\r\n[D]\nu=%U00E9\nk%2=9\n",
        "[E]\nraw=caf\xC3\xA9 \xFF\xE2\x82 end\nlatin=@ByteArray(\\xe9\\x41)\nnum= +12 \n",
        "[F]\nbig=2147483648\nmin=-2147483648\nhexnum=0x10\ngap=1 2\nnothing\n=noname\n",
        "[G]\nwrap=4294967297\nlow=-2147483649\nmax=9223372036854775807\nover=9223372036854775808\n"
        "least=-9223372036854775808\nunder=-9223372036854775809\nfrac=1.5\n",
        "[Gr\xC3\xBC\xC3\x9F%E9]\nschl\xC3\xBCssel=1\n%UD83D%UDE00=2\nhalf%UD83D=3\n",
    };
    int n = 0;
    for (const auto& text : files) {
        SCOPED_TRACE(text);
        const QString path = Path(("hand" + std::to_string(n++) + ".conf").c_str());
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text.data(), static_cast<qint64>(text.size()));
        }
        QSettings qt(path, QSettings::IniFormat);
        std::vector<std::string> qtKeys;
        // Every key a caller can name: one holding half a surrogate pair has no UTF-8 name.
        for (const QString& key : qt.allKeys())
            if (QString::fromStdString(key.toStdString()) == key) qtKeys.push_back(key.toStdString());
        std::sort(qtKeys.begin(), qtKeys.end());

        const auto parsed = inifile::ParseSettingsText(text);
        std::vector<std::string> keys;
        for (const auto& [key, reading] : parsed) keys.push_back(key);
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(keys, qtKeys);

        const CIniSettingsStore store(path.toStdString());
        for (const std::string& key : qtKeys) {
            SCOPED_TRACE(key);
            const auto slash = key.find('/');
            const std::string section = slash == std::string::npos ? "" : key.substr(0, slash);
            const std::string entry = slash == std::string::npos ? key : key.substr(slash + 1);
            const WindowReading window = ReadInWindow(path, dir_.path(), key);
            EXPECT_EQ(store.GetProfileString(section, entry, kDefault), window.text);
            EXPECT_EQ(store.GetProfileInt(section, entry, kDefaultNumber), window.number);
        }
    }
}

TEST_F(IniSettingsStoreTest, NamesAreLookedUpAsQSettingsNormalisesThem) {
    const QString path = Path("names.conf");
    {
        QSettings qt(path, QSettings::IniFormat);
        qt.setValue("COM Settings/COM Port", "/dev/ttyS1");
        qt.setValue("Top", "top");
    }
    const CIniSettingsStore store(path.toStdString());
    EXPECT_EQ(store.GetProfileString("/COM Settings//", "/COM Port/", kDefault), "/dev/ttyS1");
    EXPECT_EQ(store.GetProfileString("", "Top", kDefault), "top");
    EXPECT_EQ(store.GetProfileString("General", "Top", kDefault), kDefault);
    EXPECT_EQ(store.GetProfileString("com settings", "com port", kDefault), kDefault);
}

TEST_F(IniSettingsStoreTest, WhatTheRunWritesIsReadBeforeTheFileAndNeverSaved) {
    const QString path = Path("run.conf");
    {
        QSettings qt(path, QSettings::IniFormat);
        qt.setValue("COM Settings/Baud Rate", "9600");
    }
    QFile before(path);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray text = before.readAll();

    CIniSettingsStore store(path.toStdString());
    EXPECT_EQ(store.GetProfileInt("COM Settings", "Baud Rate", 0), 9600);
    store.WriteProfileString("COM Settings", "Baud Rate", "19200");
    EXPECT_EQ(store.GetProfileString("COM Settings", "Baud Rate", ""), "19200");
    EXPECT_EQ(store.GetProfileInt("COM Settings", "Baud Rate", 0), 19200);

    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), text);
}

TEST_F(IniSettingsStoreTest, AMissingFileReadsAsEmpty) {
    const CIniSettingsStore store(Path("absent.conf").toStdString());
    EXPECT_EQ(store.GetProfileString("COM Settings", "COM Port", kDefault), kDefault);
    EXPECT_EQ(store.GetProfileInt("Window", "X Size", 7), 7);
}

}  // namespace
