#pragma once
// The terminal's stored appearance: one font with its colour ("Font"), the wrap mode ("Text")
// and the background colour ("Background"), with the defaults used when a value cannot be read,
// and the rules of the font dialog. Colours are integers 0x00BBGGRR (red in the low byte).
// Qt-free.

#include <algorithm>
#include <climits>
#include <string>

class ISettingsStore;

inline constexpr const char* kFontSection = "Font";
inline constexpr const char* kTextSection = "Text";
inline constexpr const char* kBackgroundSection = "Background";
inline constexpr const char* kColorKey = "Color";
inline constexpr const char* kWrapKey = "Wrap";

inline constexpr int kBlack = 0x000000;
inline constexpr int kWhite = 0xFFFFFF;
inline constexpr int kBoldWeight = 700;

struct CFontSettings {
    std::string m_strFaceName = "Courier";
    int m_nSize = 100;  // tenths of a point
    int m_bBold = 0;
    int m_bItalic = 0;
    int m_bUnderline = 0;
    int m_bStrikeout = 0;
    int m_color = kBlack;

    // The seven "Font" values; a value that cannot be read takes the default above.
    static CFontSettings Read(const ISettingsStore& store);
    void Write(ISettingsStore& store) const;
    // Height in twips: two per tenth of a point. A size from a hand-edited file too large to
    // double gives the largest height of its sign instead of overflowing.
    int HeightTwips() const {
        return static_cast<int>(std::clamp<long long>(m_nSize * 2LL, INT_MIN, INT_MAX));
    }
};

// The background colour, white when it cannot be read.
int ReadBackgroundColor(const ISettingsStore& store);

// The wrap flag that a stored "Wrap" value stands for: 1 only for 1.
inline int WrapFlagOf(int stored) { return stored == 1 ? 1 : 0; }
int ReadWrapSetting(const ISettingsStore& store);

// The font dialog starts at (height in whole points) x 1.35, truncated: 200 twips gives 13.
int InitialFontDialogHeight(int heightTwips);

// Only the exact weight 700 counts as bold; 600 and 800 do not.
inline int StoredBold(int weight) { return weight == kBoldWeight ? 1 : 0; }
