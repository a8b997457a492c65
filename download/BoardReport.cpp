#include "BoardReport.h"

std::optional<std::string> CFailurePattern::FirstMatchingLine(const std::string& text) const {
    if (!m_regex.Error().empty()) return std::nullopt;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        // Each line on its own, so that '^' and '$' mean its start and end.
        const std::string line = text.substr(start, end - start);
        if (!line.empty() && m_regex.Matches(line))
            return line;
        start = end + 1;
    }
    return std::nullopt;
}

std::string InvalidPatternMessage(const std::string& pattern, const std::string& error) {
    return "The load failure pattern \"" + pattern + "\" is not a regular expression (" + error +
           "); nothing was sent.";
}
