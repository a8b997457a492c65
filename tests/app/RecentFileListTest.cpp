// The four recent load files, newest first, as the settings store keeps them.

#include <gtest/gtest.h>

#include "document/MemorySettingsStore.h"
#include "document/RecentFileList.h"

namespace {

TEST(RecentFileList, NewestFirstFourAtMostNoRepeats) {
    CMemorySettingsStore store;
    {
        CRecentFileList list(&store);
        EXPECT_TRUE(list.Files().empty());
        for (const char* f : {"/a.RUN", "/b.RUN", "/c.APP", "/d.RUN", "/e.RUN"}) list.Add(f);
        list.Add("/c.APP");
        EXPECT_EQ(list.Files(), (std::vector<std::string>{"/c.APP", "/e.RUN", "/d.RUN", "/b.RUN"}));
        EXPECT_EQ(list.MenuText(0), "&1 /c.APP");
    }
    CRecentFileList again(&store);  // read back from the store
    EXPECT_EQ(again.Files(), (std::vector<std::string>{"/c.APP", "/e.RUN", "/d.RUN", "/b.RUN"}));
    EXPECT_EQ(store.GetProfileString("Recent File List", "File4", ""), "/b.RUN");
    again.Remove("/e.RUN");
    EXPECT_EQ(store.GetProfileString("Recent File List", "File3", ""), "/b.RUN");
    EXPECT_EQ(store.GetProfileString("Recent File List", "File4", "x"), "");
    again.Add("/R&D/x.RUN");
    EXPECT_EQ(again.MenuText(0), "&1 /R&&D/x.RUN");  // an ampersand shows as itself
}

}  // namespace
