#include "hex_term_view.h"

#include "output_writer.h"

namespace tarvoline::cli {

CHexTermView::CHexTermView(int fd, bool terminal) : m_fd(fd), m_terminal(terminal) {}

void CHexTermView::OnCommRxData(const unsigned char* bytes, int count) {
    if (count <= 0) return;
    m_lastReceived = Clock::now();
    m_rows.Feed(bytes, count, false, [this](const CHexRow& row) { Show(row); });
    Flush();
}

void CHexTermView::Show(const CHexRow& row) {
    if (!m_terminal) {
        m_openRow.clear();
        if (row.Complete())
            m_out += row.Text() + LineEnd();
        else
            m_openRow = row.Text();
        return;
    }
    // The open row only grows, so writing it again over itself leaves nothing of the old one.
    if (m_rowOnScreen) m_out += '\r';
    m_out += row.Text();
    m_rowOnScreen = !row.Complete();
    if (row.Complete()) m_out += LineEnd();
}

void CHexTermView::EndOpenLine() {
    if (m_terminal) {
        if (!m_rowOnScreen) return;
        m_rowOnScreen = false;  // the row is written whole again on the next line
        m_out += LineEnd();
    } else {
        if (m_openRow.empty()) return;
        m_out += m_openRow + LineEnd();
        m_openRow.clear();
    }
    Flush();
}

void CHexTermView::Flush() {
    if (!m_failed && !WriteAllBounded(m_fd, m_out)) m_failed = true;
    m_out.clear();
}

}  // namespace tarvoline::cli
