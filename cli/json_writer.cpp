#include "json_writer.h"

#include <cstdio>

namespace tarvoline::cli {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

void CJsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back()) m_out << ',';
        m_first.back() = false;
    }
}

void CJsonWriter::BeginObject() {
    BeforeValue();
    m_out << '{';
    m_first.push_back(true);
}

void CJsonWriter::EndObject() {
    m_first.pop_back();
    m_out << '}';
}

void CJsonWriter::BeginArray() {
    BeforeValue();
    m_out << '[';
    m_first.push_back(true);
}

void CJsonWriter::EndArray() {
    m_first.pop_back();
    m_out << ']';
}

void CJsonWriter::Key(std::string_view name) {
    BeforeValue();
    m_out << JsonString(name) << ':';
    m_afterKey = true;
}

void CJsonWriter::String(std::string_view text) {
    BeforeValue();
    m_out << JsonString(text);
}

void CJsonWriter::Bool(bool value) {
    BeforeValue();
    m_out << (value ? "true" : "false");
}

void CJsonWriter::Null() {
    BeforeValue();
    m_out << "null";
}

}  // namespace tarvoline::cli
