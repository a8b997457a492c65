#include "HexRows.h"

#include "terminal/ReceiveRules.h"

namespace {
// "OOOOOOOO  " then sixteen "xx " with one more space after the eighth, then one space.
constexpr int kOffsetWidth = 10;
constexpr int kHexWidth = CHexRow::kBytes * 3 + 1;
constexpr char kDigits[] = "0123456789ABCDEF";
}  // namespace

int CHexRow::HexColumn(int i) const {
    return static_cast<int>(stamp.size()) + kOffsetWidth + i * 3 + (i >= kBytes / 2 ? 1 : 0);
}

int CHexRow::CharColumn(int i) const {
    return static_cast<int>(stamp.size()) + kOffsetWidth + kHexWidth + 1 + i;
}

std::string CHexRow::Text() const {
    std::string text = stamp;
    for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(offset >> shift) & 0xF];
    text += "  ";
    for (int i = 0; i < kBytes; ++i) {
        if (i == kBytes / 2) text += ' ';
        if (i < count) {
            text += kDigits[bytes[i] >> 4];
            text += kDigits[bytes[i] & 0xF];
            text += ' ';
        } else {
            text += "   ";
        }
    }
    text += ' ';
    for (int i = 0; i < count; ++i)
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
    return text;
}

void CHexRows::Feed(const unsigned char* bytes, int count, bool sent, const RowSink& show) {
    int i = 0;
    while (i < count) {
        if (m_row.count == 0 && m_stamps)
            m_row.stamp = FormatTimeStamp(m_now ? m_now() : std::chrono::system_clock::now());
        while (i < count && m_row.count < CHexRow::kBytes) {
            m_row.bytes[m_row.count] = bytes[i++];
            m_row.sent[m_row.count] = sent;
            ++m_row.count;
        }
        show(m_row);
        if (m_row.Complete()) {
            const std::uint64_t next = m_row.offset + CHexRow::kBytes;
            m_row = CHexRow{};
            m_row.offset = next;
        }
    }
}
