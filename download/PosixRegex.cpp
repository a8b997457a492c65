#include "PosixRegex.h"

#include <regex.h>

struct CPosixRegex::Compiled {
    regex_t regex;
    ~Compiled() { regfree(&regex); }
};

CPosixRegex::CPosixRegex(const std::string& pattern, Options options) {
    const int flags = REG_EXTENDED | REG_NOSUB | (options.ignoreCase ? REG_ICASE : 0) |
                      (options.lines ? REG_NEWLINE : 0);
    regex_t regex;
    const int rc = regcomp(&regex, pattern.c_str(), flags);
    if (rc != 0) {
        char text[256];
        regerror(rc, &regex, text, sizeof text);
        m_error = text;
        return;
    }
    m_compiled.reset(new Compiled{regex});
}

CPosixRegex::~CPosixRegex() = default;

bool CPosixRegex::Matches(const std::string& text) const {
    return m_compiled && regexec(&m_compiled->regex, text.c_str(), 0, nullptr, 0) == 0;
}
