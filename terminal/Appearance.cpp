#include "Appearance.h"

#include "document/SettingsStore.h"

CFontSettings CFontSettings::Read(const ISettingsStore& store) {
    CFontSettings s;
    s.m_strFaceName = store.GetProfileString(kFontSection, "Face Name", s.m_strFaceName);
    s.m_nSize = store.GetProfileInt(kFontSection, "Size", s.m_nSize);
    s.m_bBold = store.GetProfileInt(kFontSection, "Bold", 0);
    s.m_bItalic = store.GetProfileInt(kFontSection, "Italic", 0);
    s.m_bUnderline = store.GetProfileInt(kFontSection, "Underline", 0);
    s.m_bStrikeout = store.GetProfileInt(kFontSection, "Strikeout", 0);
    s.m_color = store.GetProfileInt(kFontSection, kColorKey, kBlack);
    return s;
}

void CFontSettings::Write(ISettingsStore& store) const {
    store.WriteProfileString(kFontSection, "Face Name", m_strFaceName);
    store.WriteProfileInt(kFontSection, "Size", m_nSize);
    store.WriteProfileInt(kFontSection, "Bold", m_bBold);
    store.WriteProfileInt(kFontSection, "Italic", m_bItalic);
    store.WriteProfileInt(kFontSection, "Underline", m_bUnderline);
    store.WriteProfileInt(kFontSection, "Strikeout", m_bStrikeout);
    store.WriteProfileInt(kFontSection, kColorKey, m_color);
}

int ReadBackgroundColor(const ISettingsStore& store) {
    return store.GetProfileInt(kBackgroundSection, kColorKey, kWhite);
}

int ReadWrapSetting(const ISettingsStore& store) {
    return store.GetProfileInt(kTextSection, kWrapKey, 1);
}

int InitialFontDialogHeight(int heightTwips) {
    return static_cast<int>((heightTwips / 20) * 1.35);
}
