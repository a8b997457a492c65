#include "IniFileFormat.h"

#include <cstdint>
#include <vector>

namespace inifile {
namespace {

// QSettings works in UTF-16 units; the text is decoded into them, unescaped, and encoded back,
// so that escapes giving a unit (\x100, %U00E9) and malformed UTF-8 come out as under Qt.
using Units = std::u16string;

constexpr char16_t kReplacement = 0xFFFD;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int OctDigit(char c) { return c >= '0' && c <= '7' ? c - '0' : -1; }

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsAsciiSpace(s.back())) s.remove_suffix(1);
    return s;
}

void AppendCodePoint(Units& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// Qt's decoder: a byte that does not start a well-formed sequence (overlong, a surrogate,
// past U+10FFFF, cut short) becomes one U+FFFD and decoding goes on with the next byte.
void AppendUtf8(Units& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int length = 0;
        char32_t cp = 0;
        char32_t least = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2, cp = b & 0x1F, least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, cp = b & 0x0F, least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, cp = b & 0x07, least = 0x10000;
        }
        bool good = length > 0 && i + length <= bytes.size();
        for (int k = 1; good && k < length; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            good = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        good = good && cp >= least && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (good) {
            AppendCodePoint(out, cp);
            i += length;
        } else {
            out += kReplacement;
            ++i;
        }
    }
}

Units FromUtf8(std::string_view bytes) {
    Units out;
    AppendUtf8(out, bytes);
    return out;
}

void AppendEncoded(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// As QString::toStdString(): pairs joined, a lone surrogate written as '?'.
std::string ToUtf8(const Units& units, bool* loneSurrogate = nullptr) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            AppendEncoded(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out += '?';
            if (loneSurrogate) *loneSurrogate = true;
        } else {
            AppendEncoded(out, u);
        }
    }
    return out;
}

bool StartsWith(const Units& s, std::string_view ascii) {
    if (s.size() < ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i)
        if (s[i] != static_cast<unsigned char>(ascii[i])) return false;
    return true;
}

bool Equals(const Units& s, std::string_view ascii) {
    return s.size() == ascii.size() && StartsWith(s, ascii);
}

// A group or key name: percent escapes undone, a backslash back to '/'. A '%' that does not
// begin a complete escape stays as it is.
Units UnescapeKey(std::string_view bytes) {
    const Units in = FromUtf8(bytes);
    Units out;
    std::size_t i = 0;
    while (i < in.size()) {
        const char16_t c = in[i];
        if (c == u'\\') {
            out += u'/';
            ++i;
            continue;
        }
        if (c != u'%' || i + 1 == in.size()) {
            out += c;
            ++i;
            continue;
        }
        std::size_t first = i + 1;
        std::size_t digits = 2;
        if (in[first] == u'U') {
            ++first;
            digits = 4;
        }
        char16_t value = 0;
        bool ok = first + digits <= in.size();
        for (std::size_t k = 0; ok && k < digits; ++k) {
            const char16_t d = in[first + k];
            const int h = d < 0x80 ? HexDigit(static_cast<char>(d)) : -1;
            ok = h >= 0;
            value = static_cast<char16_t>(value * 16 + h);
        }
        if (!ok) {
            out += u'%';
            ++i;
            continue;
        }
        out += value;
        i = first + digits;
    }
    return out;
}

// Drops trailing spaces and tabs, but none before `limit`: those came from an escape.
void ChopTrailingSpaces(Units& s, std::size_t limit) {
    while (s.size() > limit && (s.back() == u' ' || s.back() == u'\t')) s.pop_back();
}

struct Value {
    Units text;
    std::vector<Units> list;
    bool isList = false;
};

char EscapedCharacter(char c) {
    switch (c) {
        case 'a': return '\a';
        case 'b': return '\b';
        case 'f': return '\f';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        case 'v': return '\v';
        case '"': return '"';
        case '?': return '?';
        case '\'': return '\'';
        case '\\': return '\\';
        default: return 0;
    }
}

// The text after '=': one value, or a list where an unquoted ',' separates items.
Value UnescapeValue(std::string_view s) {
    Value v;
    bool inQuotes = false;
    bool itemQuoted = false;
    std::size_t i = 0;
    const auto skipSpaces = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    };
    skipSpaces();
    std::size_t chopLimit = 0;
    // A backslash, or "\x", as the last character ends the value where it stands, spaces and all.
    bool cutShort = false;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\\') {
            if (++i >= s.size()) {
                cutShort = true;
                break;
            }
            const char e = s[i++];
            if (const char plain = EscapedCharacter(e)) {
                v.text += static_cast<char16_t>(plain);
                chopLimit = v.text.size();
                continue;
            }
            if (e == 'x' || OctDigit(e) >= 0) {
                // Digits run as long as they last; the unit keeps the low 16 bits.
                const bool hex = e == 'x';
                if (hex && i >= s.size()) {
                    cutShort = true;
                    break;
                }
                if (!hex || HexDigit(s[i]) >= 0) {
                    char16_t unit = hex ? 0 : static_cast<char16_t>(OctDigit(e));
                    while (i < s.size()) {
                        const int d = hex ? HexDigit(s[i]) : OctDigit(s[i]);
                        if (d < 0) break;
                        unit = static_cast<char16_t>(unit * (hex ? 16 : 8) + d);
                        ++i;
                    }
                    v.text += unit;
                    chopLimit = v.text.size();
                    continue;
                }
            } else if (e == '\n' || e == '\r') {
                // A line continued: \n, \r, \r\n and \n\r all end a line.
                if (i < s.size() && (s[i] == '\n' || s[i] == '\r') && s[i] != e) ++i;
            }
            // Any other escaped character is dropped.
            chopLimit = v.text.size();
            continue;
        }
        if (c == '"') {
            ++i;
            itemQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipSpaces();
                chopLimit = v.text.size();
            }
            continue;
        }
        if (c == ',' && !inQuotes) {
            if (!itemQuoted) ChopTrailingSpaces(v.text, chopLimit);
            v.isList = true;
            v.list.push_back(std::move(v.text));
            v.text.clear();
            itemQuoted = false;
            ++i;
            skipSpaces();
            chopLimit = 0;
            continue;
        }
        std::size_t j = i + 1;
        while (j < s.size() && s[j] != '\\' && s[j] != '"' && s[j] != ',') ++j;
        AppendUtf8(v.text, s.substr(i, j - i));
        i = j;
    }
    if (!cutShort && !itemQuoted) ChopTrailingSpaces(v.text, chopLimit);
    if (v.isList) v.list.push_back(std::move(v.text));
    return v;
}

// How many arguments QSettings finds in "@Rect(1 2 3 4)" and the like: one per space and
// per ')' after the opening parenthesis.
std::size_t ArgumentCount(const Units& s, std::size_t open) {
    std::size_t count = 0;
    for (std::size_t i = open + 1; i < s.size(); ++i)
        if (s[i] == u' ' || s[i] == u')') ++count;
    return count;
}

Reading TextOfBytes(const Units& latin1) {
    std::string bytes;
    for (char16_t u : latin1) bytes += static_cast<char>(u <= 0xFF ? u : '?');
    return ToUtf8(FromUtf8(bytes));
}

Reading ReadingOf(const Value& v) {
    // The window reads a list through toString(), which is empty for two or more items.
    if (v.isList) return std::string();
    const Units& s = v.text;
    if (s.empty() || s[0] != u'@') return ToUtf8(s);
    if (s.back() == u')') {
        const auto inner = [&](std::size_t from) { return s.substr(from, s.size() - 1 - from); };
        if (StartsWith(s, "@ByteArray(")) return TextOfBytes(inner(11));
        if (StartsWith(s, "@String(")) return ToUtf8(inner(8));
        if (StartsWith(s, "@Variant(") || StartsWith(s, "@DateTime(")) return std::nullopt;
        if ((StartsWith(s, "@Rect(") && ArgumentCount(s, 5) == 4) ||
            (StartsWith(s, "@Size(") && ArgumentCount(s, 5) == 2) ||
            (StartsWith(s, "@Point(") && ArgumentCount(s, 6) == 2))
            return std::string();
        if (Equals(s, "@Invalid()")) return std::nullopt;
    }
    if (StartsWith(s, "@@")) return ToUtf8(s.substr(1));
    return ToUtf8(s);
}

// One logical line of the file, found as QSettings finds it.
struct Line {
    std::size_t start = 0;
    std::size_t length = 0;
    std::size_t equals = std::string_view::npos;  // the first '=' outside quotes
};

bool IsLineSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsSpecial(char c) {
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

// Advances `pos` past the next logical line; false at the end of the text.
bool NextLine(std::string_view data, std::size_t& pos, Line& line) {
    const std::size_t n = data.size();
    bool inQuotes = false;
    line.equals = std::string_view::npos;
    line.start = pos;
    while (line.start < n && IsLineSpace(data[line.start])) ++line.start;
    std::size_t i = line.start;
    while (i < n) {
        while (i < n && !IsSpecial(data[i])) ++i;
        if (i == n) break;
        const char c = data[i++];
        if (c == '=') {
            if (!inQuotes && line.equals == std::string_view::npos) line.equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (i == line.start + 1) {
                ++line.start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < n) {
                const char e = data[i++];
                if (i < n && ((e == '\n' && data[i] == '\r') || (e == '\r' && data[i] == '\n'))) ++i;
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (i == line.start + 1) {  // ';' first on the line: a comment
            while (i < n && data[i] != '\n' && data[i] != '\r') ++i;
            while (i < n && IsLineSpace(data[i])) ++i;
            line.start = i;
        } else if (!inQuotes) {  // ';' after the value: the rest is a comment
            --i;
            break;
        }
    }
    pos = i;
    line.length = i - line.start;
    return line.length > 0;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The prefix a group header gives its keys: empty for [General], else the name and '/'.
Units GroupPrefix(std::string_view header) {
    std::size_t close = header.find(']');
    if (close == std::string_view::npos) close = header.size();
    const std::string_view name = Trimmed(header.substr(1, close - 1));
    if (EqualsIgnoringAsciiCase(name, "general")) return Units();
    Units prefix;
    if (EqualsIgnoringAsciiCase(name, "%general")) {
        for (char c : name.substr(1)) prefix += static_cast<char16_t>(static_cast<unsigned char>(c));
    } else {
        prefix = UnescapeKey(name);
    }
    return prefix + u'/';
}

}  // namespace

std::map<std::string, Reading> ParseSettingsText(std::string_view data) {
    if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);

    // QSettings gathers the lines of each group, wherever the group appears, and reads the
    // groups in the order of their names; within a group the later of two equal keys counts.
    struct Entry {
        std::string_view key;
        std::string_view value;
    };
    std::map<Units, std::vector<Entry>> groups;
    Units prefix;
    std::size_t pos = 0;
    Line line;
    while (NextLine(data, pos, line)) {
        const std::string_view text = data.substr(line.start, line.length);
        if (text.front() == '[') {
            prefix = GroupPrefix(text);
            groups[prefix];
            continue;
        }
        if (line.equals == std::string_view::npos) continue;
        const std::size_t equals = line.equals - line.start;
        groups[prefix].push_back({Trimmed(text.substr(0, equals)), text.substr(equals + 1)});
    }

    std::map<std::string, Reading> settings;
    for (const auto& [group, entries] : groups) {
        for (const Entry& entry : entries) {
            bool unreachable = false;
            const std::string key = ToUtf8(group + UnescapeKey(entry.key), &unreachable);
            // A name holding half a surrogate pair matches no name a caller can pass.
            if (unreachable) continue;
            settings[key] = ReadingOf(UnescapeValue(entry.value));
        }
    }
    return settings;
}

std::string SettingsKey(const std::string& section, const std::string& entry) {
    const std::string joined = ToUtf8(FromUtf8(section + '/' + entry));
    std::string key;
    std::size_t i = 0;
    while (i < joined.size()) {
        const std::size_t slash = joined.find('/', i);
        const std::size_t end = slash == std::string::npos ? joined.size() : slash;
        if (end > i) {
            if (!key.empty()) key += '/';
            key.append(joined, i, end - i);
        }
        i = end + 1;
    }
    return key;
}

std::optional<int> TextToInt(const std::string& text) {
    const std::string_view s = Trimmed(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == s.size()) return std::nullopt;
    // The magnitude in 64 bits; one past INT64_MAX is allowed for the negative end.
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
    std::uint64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(s[i] - '0');
        if (magnitude > (kLimit - digit) / 10) return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    if (!negative && magnitude == kLimit) return std::nullopt;
    const std::uint64_t bits = negative ? ~magnitude + 1 : magnitude;
    // QVariant keeps the low 32 bits of the 64-bit number.
    return static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)));
}

}  // namespace inifile
