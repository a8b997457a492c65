#pragma once
// A small JSON writer for the commands' --json output: objects, arrays, strings, booleans and
// null, written as they come, with the commas and the string escapes done here.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tarvoline::cli {

// text as a JSON string, quotes included: ", \ and the control characters escaped; other
// bytes (UTF-8 text, or what a device name holds) go as they are.
std::string JsonString(std::string_view text);

class CJsonWriter {
public:
    explicit CJsonWriter(std::ostream& out) : m_out(out) {}
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the next member of the open object.
    void Key(std::string_view name);
    void String(std::string_view text);
    void Bool(bool value);
    void Null();

private:
    void BeforeValue();
    std::ostream& m_out;
    std::vector<bool> m_first;  // per open object or array: nothing written in it yet
    bool m_afterKey = false;
};

}  // namespace tarvoline::cli
