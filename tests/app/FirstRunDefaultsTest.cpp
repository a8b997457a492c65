// Every start writes the defaults of the settings that count as absent, in a fixed order.

#include <gtest/gtest.h>

#include <cstdlib>

#include "document/FirstRunDefaults.h"
#include "document/MemorySettingsStore.h"

namespace {

TEST(FirstRunDefaults, AFreshStoreGetsEveryDefaultInOrderButThePort) {
    setenv("HOME", "/home/tester", 1);
    CMemorySettingsStore store;
    WriteFirstRunDefaults(store);
    std::vector<std::string> want = {
        "Transfer/Write Mode",       "Transfer/Include Buffer Text",
        "Transfer/Prompt For Filename", "Transfer/Prompt Path Name",
        "Font/Face Name",            "Font/Size",
        "Font/Bold",                 "Font/Italic",
        "Font/Underline",            "Font/Strikeout",
        "Font/Color",                "Text/Wrap",
        "Background/Color",          "COM Settings/Baud Rate",
        "COM Settings/Baud Rate Tv Download", "COM Settings/Parity",
        "COM Settings/Data Bits",    "COM Settings/Stop Bits",
        "COM Settings/Flow Control", "COM Settings/Local Echo",
        "COM Settings/Send CRLF",    "Window/X Size",
        "Window/Y Size"};
    EXPECT_EQ(store.WriteLog(), want);
    EXPECT_FALSE(store.Find("COM Settings", "COM Port"));
    EXPECT_EQ(store.GetProfileString("Transfer", "Prompt Path Name", ""), "/home/tester/CAPTURE.TXT");
    EXPECT_EQ(store.GetProfileString("Font", "Face Name", ""), "Courier");
    EXPECT_EQ(store.GetProfileInt("Font", "Size", 0), 100);
    EXPECT_EQ(store.GetProfileInt("Font", "Color", 0), 0xFFFFFF);
    EXPECT_EQ(store.GetProfileInt("Background", "Color", 0), 0xFF0000);
    EXPECT_EQ(store.GetProfileInt("Text", "Wrap", 0), 1);
    EXPECT_EQ(store.GetProfileString("COM Settings", "Baud Rate Tv Download", ""), "115200");
    EXPECT_EQ(store.GetProfileInt("COM Settings", "Local Echo", -1), 0);
    EXPECT_EQ(store.GetProfileInt("Window", "X Size", 0), 620);
    EXPECT_EQ(store.GetProfileInt("Window", "Y Size", 0), 460);

    // A second start writes nothing.
    store.ClearWriteLog();
    WriteFirstRunDefaults(store);
    EXPECT_TRUE(store.WriteLog().empty());
}

TEST(FirstRunDefaults, ValuesThatCountAsAbsentAreRewrittenOthersKept) {
    CMemorySettingsStore store;
    store.WriteProfileInt("Transfer", "Write Mode", 0);      // 0 counts as absent here
    store.WriteProfileInt("Transfer", "Include Buffer Text", 2);
    store.WriteProfileInt("Font", "Size", -1);               // -1 counts as absent here
    store.WriteProfileInt("Font", "Bold", 0);                // a real 0 stays
    store.WriteProfileString("Font", "Face Name", "");
    store.WriteProfileString("COM Settings", "Baud Rate", "57600");
    store.WriteProfileInt("COM Settings", "Send CRLF", 1);
    store.WriteProfileString("COM Settings", "COM Port", "COM7");
    WriteFirstRunDefaults(store);
    EXPECT_EQ(store.GetProfileInt("Transfer", "Write Mode", 0), 1);
    EXPECT_EQ(store.GetProfileInt("Transfer", "Include Buffer Text", 0), 2);
    EXPECT_EQ(store.GetProfileInt("Font", "Size", 0), 100);
    EXPECT_EQ(store.GetProfileInt("Font", "Bold", -1), 0);
    EXPECT_EQ(store.GetProfileString("Font", "Face Name", ""), "Courier");
    EXPECT_EQ(store.GetProfileString("COM Settings", "Baud Rate", ""), "57600");
    EXPECT_EQ(store.GetProfileInt("COM Settings", "Send CRLF", -1), 1);
    EXPECT_EQ(store.GetProfileString("COM Settings", "COM Port", ""), "COM7");
}

TEST(MemorySettingsStore, IntegersReadFromTextOnlyWhenTheyAreNumbers) {
    CMemorySettingsStore store;
    store.WriteProfileString("S", "n", "42");
    store.WriteProfileString("S", "t", "forty-two");
    EXPECT_EQ(store.GetProfileInt("S", "n", -1), 42);
    EXPECT_EQ(store.GetProfileInt("S", "t", -1), -1);
    EXPECT_EQ(store.GetProfileInt("S", "missing", 7), 7);
    EXPECT_EQ(store.GetProfileString("S", "missing", "dflt"), "dflt");
}

}  // namespace
