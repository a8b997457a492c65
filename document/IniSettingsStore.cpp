#include "IniSettingsStore.h"

#include <cstdlib>
#include <fstream>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

}  // namespace

std::string DefaultSettingsFilePath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        base = ".config";
    }
    return base + "/Hollowbrook Works/Tarvoline.conf";
}

std::string UnescapeIniKey(const std::string& key) {
    std::string out;
    for (size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 2 < key.size() && HexValue(key[i + 1]) >= 0 &&
            HexValue(key[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(key[i + 1]) * 16 + HexValue(key[i + 2]));
            i += 2;
        } else {
            out += key[i];
        }
    }
    return out;
}

std::string UnescapeIniValue(const std::string& raw) {
    std::string value = Trim(raw);
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return value;
    std::string out;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 2 < value.size()) {
            char n = value[++i];
            switch (n) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case '0': out += '\0'; break;
                default: out += n; break;
            }
        } else {
            out += c;
        }
    }
    return out;
}

CIniSettingsStore::CIniSettingsStore(const std::string& path) {
    std::ifstream in(path);
    std::string line, section = "General";
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            section = UnescapeIniKey(t.substr(1, t.size() - 2));
            continue;
        }
        size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        std::string key = UnescapeIniKey(Trim(t.substr(0, eq)));
        std::string value = UnescapeIniValue(t.substr(eq + 1));
        // Whole integers are kept as integers, as they were written.
        char* end = nullptr;
        long number = std::strtol(value.c_str(), &end, 10);
        if (!value.empty() && *end == '\0' && value.find_first_not_of("-0123456789") == std::string::npos)
            WriteProfileInt(section, key, static_cast<int>(number));
        else
            WriteProfileString(section, key, value);
    }
    ClearWriteLog();
}
