#include "BoardReport.h"

#include <regex.h>

struct CFailurePattern::Compiled {
    regex_t regex;
};

CFailurePattern::CFailurePattern(const std::string& pattern) {
    auto* compiled = new Compiled;
    const int rc = regcomp(&compiled->regex, pattern.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB);
    if (rc != 0) {
        char text[256];
        regerror(rc, &compiled->regex, text, sizeof text);
        m_error = text;
        delete compiled;
        return;
    }
    m_compiled = compiled;
}

CFailurePattern::~CFailurePattern() {
    if (!m_compiled) return;
    regfree(&m_compiled->regex);
    delete m_compiled;
}

std::optional<std::string> CFailurePattern::FirstMatchingLine(const std::string& text) const {
    if (!m_compiled) return std::nullopt;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        // Each line on its own, so that '^' and '$' mean its start and end.
        const std::string line = text.substr(start, end - start);
        if (!line.empty() && regexec(&m_compiled->regex, line.c_str(), 0, nullptr, 0) == 0)
            return line;
        start = end + 1;
    }
    return std::nullopt;
}

std::string InvalidPatternMessage(const std::string& pattern, const std::string& error) {
    return "The load failure pattern \"" + pattern + "\" is not a regular expression (" + error +
           "); nothing was sent.";
}
