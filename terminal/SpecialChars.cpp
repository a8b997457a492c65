#include "SpecialChars.h"

#include <cstdio>

namespace {

// Names of the codes 0x00 to 0x20, as the list shows them (STX keeps its trailing spaces).
const char* const kControlNames[] = {
    "NUL - null",
    "SOH - start of heading",
    "STX - start of text      ",
    "ETX - end of text",
    "EOT - end of transmission",
    "ENQ - enquiry",
    "ACK - acknowledge",
    "BEL - bell",
    "BS - backspace",
    "TAB - horizontal tab",
    "LF - NL line feed, new line",
    "VT - vertical tab",
    "FF - NP form feed, new page",
    "CR - carriage return",
    "SO - shift out",
    "SI - shift in",
    "DLE - data link escape",
    "DC1 - device control 1",
    "DC2 - device control 2",
    "DC3 - device control 3",
    "DC4 - device control 4",
    "NAK - negative acknowledge",
    "SYN - synchronous idle",
    "ETB - end of trans. block",
    "CAN - cancel",
    "EM - end of medium",
    "SUB - substitute",
    "ESC - escape",
    "FS - file separator",
    "GS - group separator",
    "RS - record separator",
    "US - unit separator",
    "SP - space",
};

std::string Format(const char* format, int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

bool IsDigitOf(char ch, CValueMode mode) {
    if (ch >= '0' && ch <= '9') return true;
    return mode == CValueMode::Hex && ((ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f'));
}

int DigitValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return ch - 'a' + 10;
}

// The code of a text made only of digits of the base; Decimal values above 255 are clamped.
CParsedValue CodeOf(const std::string& digits, CValueMode mode) {
    CParsedValue out{digits, 0};
    if (mode == CValueMode::Decimal) {
        int value = 0;
        for (char ch : digits) value = value * 10 + DigitValue(ch);
        if (value > 255) {
            out.text = "255";
            value = 255;
        }
        out.code = value;
    } else if (digits.size() == 1) {
        out.code = DigitValue(digits[0]);
    } else if (digits.size() >= 2) {
        out.code = DigitValue(digits[0]) * 16 + DigitValue(digits[1]);
    }
    return out;
}

}  // namespace

CSpecialCharRow SpecialCharRow(int code) {
    CSpecialCharRow row;
    row.decimal = Format("%d", code);
    row.hex = Format("%02X", code);
    if (code >= 0 && code <= 0x20) {
        row.name = kControlNames[code];
    } else if (code >= 0x21 && code <= 0x7E) {
        row.name = std::string(1, static_cast<char>(code));
    } else if (code == 0x7F) {
        row.name = "DEL";
    }
    if (code >= 0 && code <= 0x1F) row.ctrl = std::string{'^', static_cast<char>('@' + code)};
    return row;
}

CParsedValue CleanValueText(const std::string& typed, CValueMode mode) {
    const std::string kept = typed.substr(0, mode == CValueMode::Hex ? 2 : 3);
    std::string digits;
    for (char ch : kept)
        if (IsDigitOf(ch, mode)) digits += ch;
    return CodeOf(digits, mode);
}

CParsedValue ParseValue(const std::string& text, CValueMode mode) {
    return CodeOf(text.empty() ? std::string("0") : text, mode);
}

std::string ValueTextOf(int code, CValueMode mode) {
    return Format(mode == CValueMode::Hex ? "%02X" : "%d", code);
}

void CSpecialString::Add(const std::string& boxText, int code) {
    m_shown += boxText + " ";
    m_codes.push_back(static_cast<unsigned char>(code));
}

void CSpecialString::Clear() {
    m_codes.clear();
    m_shown = " ";
}
