#pragma once
// The table of the 256 character codes offered by "Send Special Characters", and the rules of
// its value box: what a typed value keeps, and which code it stands for in Hex or Decimal mode.
// Qt-free.

#include <string>
#include <vector>

inline constexpr int kSpecialCharCount = 256;

// The four texts of a row of the character list.
struct CSpecialCharRow {
    std::string decimal;  // "%d"
    std::string hex;      // "%02X"
    std::string name;     // control-code name, the character itself, or empty
    std::string ctrl;     // caret form of the codes 0x00 to 0x1F, else empty
};

CSpecialCharRow SpecialCharRow(int code);

enum class CValueMode { Hex = 0, Decimal = 1 };

// A value-box text and the code it stands for.
struct CParsedValue {
    std::string text;
    int code = 0;
};

// What the box keeps of a text the user typed: at most 2 (Hex) or 3 (Decimal) characters,
// then only the digits of the base; a Decimal value above 255 becomes "255". An empty text
// stands for code 0 and stays empty.
CParsedValue CleanValueText(const std::string& typed, CValueMode mode);

// The code of the box's text when it is sent or added: an empty text becomes "0"; a Decimal
// value above 255 becomes "255".
CParsedValue ParseValue(const std::string& text, CValueMode mode);

// The text the list puts into the value box for a row's code: "%02X" or "%d".
std::string ValueTextOf(int code, CValueMode mode);

// The codes added with "Add Char", in order; a 0 among them is a byte like any other.
class CSpecialString {
public:
    // Appends the box's text and one space to the shown string, and the code to the codes.
    void Add(const std::string& boxText, int code);
    // Empties the codes; the shown string becomes one space.
    void Clear();
    const std::vector<unsigned char>& Codes() const { return m_codes; }
    const std::string& Shown() const { return m_shown; }
    bool CanSend() const { return !m_codes.empty(); }

private:
    std::vector<unsigned char> m_codes;
    std::string m_shown;
};
