#include "EscapeStyle.h"

using std::size_t;

namespace {

constexpr int kBasic[16] = {
    0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA, 0x00AAAA, 0xAAAAAA,
    0x555555, 0xFF5555, 0x55FF55, 0xFFFF55, 0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF,
};

int Param(const std::vector<int>& params, size_t i) {
    return i < params.size() && params[i] > 0 ? params[i] : 0;
}

// "5;n" or "2;r;g;b" after a 38 or 48 at index i; advances i past what it used.
int ExtendedColour(const std::vector<int>& params, size_t& i) {
    const int form = Param(params, i + 1);
    if (form == 5 && i + 2 < params.size()) {
        const int colour = Colour256(Param(params, i + 2));
        i += 2;
        return colour;
    }
    if (form == 2 && i + 4 < params.size()) {
        auto channel = [&](size_t k) { return Param(params, k) > 255 ? 255 : Param(params, k); };
        const int colour = channel(i + 2) << 16 | channel(i + 3) << 8 | channel(i + 4);
        i += 4;
        return colour;
    }
    i = params.size();  // malformed: the rest cannot be read reliably
    return CTextStyle::kDefault;
}

}  // namespace

int Colour256(int n) {
    if (n < 0 || n > 255) return CTextStyle::kDefault;
    if (n < 16) return kBasic[n];
    if (n < 232) {
        static constexpr int kLevels[6] = {0x00, 0x5F, 0x87, 0xAF, 0xD7, 0xFF};
        const int c = n - 16;
        return kLevels[c / 36] << 16 | kLevels[c / 6 % 6] << 8 | kLevels[c % 6];
    }
    const int grey = 8 + (n - 232) * 10;
    return grey << 16 | grey << 8 | grey;
}

void ApplySgr(const std::vector<int>& params, CTextStyle& style) {
    if (params.empty()) {
        style = CTextStyle{};
        return;
    }
    for (size_t i = 0; i < params.size(); ++i) {
        const int p = Param(params, i);
        if (p == 0) style = CTextStyle{};
        else if (p == 1) style.bold = true;
        else if (p == 22) style.bold = false;
        else if (p == 4) style.underline = true;
        else if (p == 24) style.underline = false;
        else if (p == 7) style.inverse = true;
        else if (p == 27) style.inverse = false;
        else if (p >= 30 && p <= 37) style.foreground = kBasic[p - 30];
        else if (p >= 90 && p <= 97) style.foreground = kBasic[p - 90 + 8];
        else if (p == 39) style.foreground = CTextStyle::kDefault;
        else if (p >= 40 && p <= 47) style.background = kBasic[p - 40];
        else if (p >= 100 && p <= 107) style.background = kBasic[p - 100 + 8];
        else if (p == 49) style.background = CTextStyle::kDefault;
        else if (p == 38) {
            const int c = ExtendedColour(params, i);
            if (c != CTextStyle::kDefault) style.foreground = c;
        } else if (p == 48) {
            const int c = ExtendedColour(params, i);
            if (c != CTextStyle::kDefault) style.background = c;
        }
    }
}
