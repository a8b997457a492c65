#pragma once
// The character style that select-graphic-rendition sequences (CSI ... m) set: colours from the
// 16 and 256 colour sets (and 24-bit), bold, underline and inverse. "Default" is the terminal's
// own text or background colour, whatever it is set to. Qt-free.

#include <cstddef>
#include <cstdint>
#include <vector>

struct CTextStyle {
    static constexpr int kDefault = -1;
    int foreground = kDefault;  // 0xRRGGBB, or kDefault
    int background = kDefault;
    bool bold = false;
    bool underline = false;
    bool inverse = false;

    bool IsDefault() const { return *this == CTextStyle{}; }
    bool operator==(const CTextStyle&) const = default;
};

// Colour n of the 256-colour set as 0xRRGGBB: 0-15 the 16 basic and bright colours, 16-231 the
// 6x6x6 cube, 232-255 the grey ramp. Out of range: kDefault.
int Colour256(int n);

// Applies the parameters of one CSI ... m (-1 stands for an empty parameter, which is 0; no
// parameters at all is a reset). Parameters it does not know are passed over.
void ApplySgr(const std::vector<int>& params, CTextStyle& style);
