#pragma once
// What `run` judges: the started program's own output. The text shown once the start has been
// sent still holds the monitor's words first (the end of the load's report and its prompt when
// they were still on their way, the echo of G, a staged start's "Moved ..." line) up to its
// line announcing the start ("Starting program at 00020000"); the program's output is what
// follows that line. Before the start nothing is kept at all.
//
// Fed the text as shown, with LF line ends. User-interface thread only.

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvoline::cli {

class CProgramOutput {
public:
    // The text kept for matching: its last kLimit bytes.
    static constexpr size_t kLimit = 64 * 1024;
    // What a line of the monitor's announcing the start holds.
    static constexpr std::string_view kAnnouncement = "Starting program";

    // The start has been sent: from now on the monitor's announcement is looked for.
    void StartSent();
    void Append(char c);
    // A BS that erased the last character shown.
    void EraseLast();

    // Seen the monitor's announcement: the program is talking.
    bool Announced() const { return m_state == State::Program; }
    const std::string& Text() const { return m_text; }
    // Grows with every change to Text(); tells a matcher that there is something new.
    std::uint64_t Changes() const { return m_changes; }

private:
    enum class State { BeforeStart, Monitor, Program };
    State m_state = State::BeforeStart;
    std::string m_monitorLine;  // the monitor's line being received, until its line end
    std::string m_text;
    std::uint64_t m_changes = 0;
};

}  // namespace tarvoline::cli
