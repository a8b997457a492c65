#include "shell_view.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <string_view>

#include "output_writer.h"

namespace tarvoline::cli {

bool LocaleIsUtf8() {
    const char* old = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = old ? old : "C";
    bool utf8 = false;
    if (std::setlocale(LC_CTYPE, "")) {
        const char* codeset = nl_langinfo(CODESET);
        utf8 = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    return utf8;
}

CShellView::CShellView(int fd, bool terminal, bool utf8)
    : m_fd(fd), m_terminal(terminal), m_utf8(utf8) {
    m_rules.SetEscapes(true);
}

void CShellView::OnCommRxData(const unsigned char* bytes, int count) {
    if (!m_showing || count <= 0) return;
    m_lastReceived = Clock::now();
    Process(bytes, count);
}

void CShellView::ShowNotice(const std::string& line) {
    if (!m_notice) return;
    // The document waits for a device that went away; a session that ends instead says less.
    std::string text = line;
    constexpr std::string_view kWaiting = "; waiting for it";
    if (const size_t at = text.find(kWaiting); at != std::string::npos && !m_waitsForDevice)
        text.erase(at, kWaiting.size());
    m_notice(text);
}

void CShellView::ShowBoardWords(const std::string& text) {
    m_boardWords = true;
    Process(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    m_boardWords = false;
}

void CShellView::EndOpenLine() {
    if (!m_lineOpen || m_failed) return;
    m_out = (m_terminal && !m_terminalAddsCr) ? "\r\n" : "\n";
    Flush();
}

void CShellView::Process(const unsigned char* bytes, int count) {
    m_rules.Process(bytes, count, *this, nullptr);
    Flush();
}

void CShellView::AppendText(const unsigned char* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        const unsigned char b = bytes[i];
        // The rules give every line end as CR LF; the text matched has LF alone.
        if (b != 0x0D && !m_boardWords) m_program.Append(static_cast<char>(b));
        if (b == 0x0D && (!m_terminal || m_terminalAddsCr)) continue;
        if (b >= 0x80 && m_utf8) {
            m_out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            m_out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        } else {
            m_out.push_back(static_cast<char>(b));
        }
    }
}

void CShellView::DeleteLastChar() {
    if (!m_boardWords) m_program.EraseLast();
    if (m_terminal) {
        m_out += "\b \b";
        return;
    }
    // A file keeps what it was given; only what is not written yet can be taken back.
    while (!m_out.empty() && (static_cast<unsigned char>(m_out.back()) & 0xC0) == 0x80)
        m_out.pop_back();
    if (!m_out.empty()) m_out.pop_back();
}

void CShellView::Beep() {
    if (m_terminal) m_out.push_back('\a');
}

void CShellView::CarriageReturn(int, bool takeBackLineEnd) {
    if (takeBackLineEnd) {
        if (!m_boardWords) m_program.EraseLast();  // the LF of the line end
        if (!m_out.empty() && m_out.back() == '\n') {
            m_out.pop_back();
        } else if (m_terminal) {
            m_out += "\x1b[A";  // the line end is on the screen: back up to the line it ended
        }
    }
    if (m_terminal && (m_out.empty() || m_out.back() != '\r')) m_out.push_back('\r');
}

void CShellView::EscapeSequence(const CEscapeSequence& seq) {
    if (seq.IsTitle() && !m_passTitles) return;
    m_out += seq.bytes;
}

void CShellView::Flush() {
    if (!m_out.empty()) m_lineOpen = m_out.back() != '\n';
    if (!m_failed && !WriteAllBounded(m_fd, m_out)) m_failed = true;
    m_out.clear();
}

}  // namespace tarvoline::cli
