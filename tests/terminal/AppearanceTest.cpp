// The stored appearance: read defaults, the wrap flag, and the font dialog's rules.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>

#include "document/FirstRunDefaults.h"
#include "document/MemorySettingsStore.h"
#include "terminal/Appearance.h"

namespace {

TEST(Appearance, FreshStoreGivesWhiteTenPointCourierOnBlueWrapped) {
    CMemorySettingsStore store;
    WriteFirstRunDefaults(store);
    const CFontSettings font = CFontSettings::Read(store);
    EXPECT_EQ("Courier", font.m_strFaceName);
    EXPECT_EQ(100, font.m_nSize);
    EXPECT_EQ(200, font.HeightTwips());
    EXPECT_EQ(0, font.m_bBold);
    EXPECT_EQ(0xFFFFFF, font.m_color);
    EXPECT_EQ(0xFF0000, ReadBackgroundColor(store));
    EXPECT_EQ(1, WrapFlagOf(ReadWrapSetting(store)));
}

TEST(Appearance, ReadDefaultsWhenNothingIsStored) {
    CMemorySettingsStore store;
    const CFontSettings font = CFontSettings::Read(store);
    EXPECT_EQ("Courier", font.m_strFaceName);
    EXPECT_EQ(100, font.m_nSize);
    EXPECT_EQ(0, font.m_color);  // black
    EXPECT_EQ(0xFFFFFF, ReadBackgroundColor(store));
    EXPECT_EQ(1, ReadWrapSetting(store));
}

TEST(Appearance, SizeTooLargeToDoubleGivesTheLargestHeight) {
    CMemorySettingsStore store;
    store.WriteProfileInt(kFontSection, "Size", INT_MAX);
    EXPECT_EQ(INT_MAX, CFontSettings::Read(store).HeightTwips());
    store.WriteProfileInt(kFontSection, "Size", INT_MIN);
    EXPECT_EQ(INT_MIN, CFontSettings::Read(store).HeightTwips());
    store.WriteProfileInt(kFontSection, "Size", INT_MAX / 2);
    EXPECT_EQ(INT_MAX - 1, CFontSettings::Read(store).HeightTwips());
    EXPECT_EQ(144955145, InitialFontDialogHeight(INT_MAX));
}

TEST(Appearance, FontSettingsRoundTrip) {
    CMemorySettingsStore store;
    CFontSettings font;
    font.m_strFaceName = "Mono";
    font.m_nSize = 125;
    font.m_bBold = 1;
    font.m_bItalic = 1;
    font.m_bUnderline = 1;
    font.m_bStrikeout = 1;
    font.m_color = 0x00FF00;
    font.Write(store);
    const CFontSettings back = CFontSettings::Read(store);
    EXPECT_EQ("Mono", back.m_strFaceName);
    EXPECT_EQ(125, back.m_nSize);
    EXPECT_EQ(1, back.m_bBold);
    EXPECT_EQ(1, back.m_bItalic);
    EXPECT_EQ(1, back.m_bUnderline);
    EXPECT_EQ(1, back.m_bStrikeout);
    EXPECT_EQ(0x00FF00, back.m_color);
}

struct WrapCase {
    int stored, flag;
};
void PrintTo(const WrapCase& c, std::ostream* os) { *os << "stored " << c.stored; }
class WrapFlag : public ::testing::TestWithParam<WrapCase> {};
TEST_P(WrapFlag, OnlyOneWraps) { EXPECT_EQ(GetParam().flag, WrapFlagOf(GetParam().stored)); }
INSTANTIATE_TEST_SUITE_P(Values, WrapFlag,
                         ::testing::Values(WrapCase{1, 1}, WrapCase{0, 0}, WrapCase{5, 0},
                                           WrapCase{-1, 0}, WrapCase{2, 0}));

struct BoldCase {
    int weight, bold;
};
void PrintTo(const BoldCase& c, std::ostream* os) { *os << "weight " << c.weight; }
class BoldWeight : public ::testing::TestWithParam<BoldCase> {};
TEST_P(BoldWeight, OnlySevenHundred) { EXPECT_EQ(GetParam().bold, StoredBold(GetParam().weight)); }
INSTANTIATE_TEST_SUITE_P(Weights, BoldWeight,
                         ::testing::Values(BoldCase{400, 0}, BoldCase{600, 0}, BoldCase{700, 1},
                                           BoldCase{800, 0}, BoldCase{900, 0}));

struct HeightCase {
    int twips, height;
};
void PrintTo(const HeightCase& c, std::ostream* os) { *os << c.twips << " twips"; }
class DialogHeight : public ::testing::TestWithParam<HeightCase> {};
TEST_P(DialogHeight, WholePointsTimesOnePointThreeFive) {
    EXPECT_EQ(GetParam().height, InitialFontDialogHeight(GetParam().twips));
}
INSTANTIATE_TEST_SUITE_P(Heights, DialogHeight,
                         ::testing::Values(HeightCase{200, 13}, HeightCase{240, 16},
                                           HeightCase{219, 13}, HeightCase{160, 10},
                                           HeightCase{400, 27}));

}  // namespace
