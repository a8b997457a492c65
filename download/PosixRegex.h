#pragma once
// A POSIX extended regular expression, compiled once: the patterns users give the loaders and
// the command-line tool (a load failure pattern, run's --until and --fail-on).

#include <memory>
#include <string>

class CPosixRegex {
public:
    struct Options {
        bool ignoreCase = false;
        // '^' and '$' match at each line end inside the text, and '.' never crosses one.
        bool lines = false;
    };

    CPosixRegex(const std::string& pattern, Options options);
    ~CPosixRegex();
    CPosixRegex(const CPosixRegex&) = delete;
    CPosixRegex& operator=(const CPosixRegex&) = delete;

    // Empty when the pattern compiled; else the system's reason ("Unmatched ( or \\(").
    const std::string& Error() const { return m_error; }
    // False when the pattern did not compile.
    bool Matches(const std::string& text) const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> m_compiled;
    std::string m_error;
};
