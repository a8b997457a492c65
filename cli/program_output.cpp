#include "program_output.h"

namespace tarvoline::cli {

void CProgramOutput::StartSent() {
    m_state = State::Monitor;
    m_monitorLine.clear();
    m_text.clear();
    ++m_changes;
}

void CProgramOutput::Append(char c) {
    switch (m_state) {
        case State::BeforeStart:
            return;
        case State::Monitor:
            if (c != '\n') {
                m_monitorLine.push_back(c);
                return;
            }
            // Anywhere in the line: a monitor may announce it after its prompt.
            if (m_monitorLine.find(kAnnouncement) != std::string::npos) m_state = State::Program;
            m_monitorLine.clear();
            return;
        case State::Program:
            m_text.push_back(c);
            ++m_changes;
            // Kept to its limit in steps, so that trimming costs little per byte.
            if (m_text.size() > kLimit + kLimit / 8) m_text.erase(0, m_text.size() - kLimit);
            return;
    }
}

void CProgramOutput::EraseLast() {
    if (m_state == State::Monitor && !m_monitorLine.empty()) m_monitorLine.pop_back();
    if (m_state != State::Program) return;
    if (!m_text.empty()) m_text.pop_back();
    ++m_changes;
}

}  // namespace tarvoline::cli
