#pragma once
// Bytes as the rows of a hex view: each row the offset of its first byte, sixteen bytes in hex
// and the same bytes as characters, for example
//
//   00000010  4D 44 20 30 20 32 30 0D  0A 3E 20 00 41 42 43 44  MD 0 20..> .ABCD
//
// with, when time stamps are on, the time of the row's first byte in front
// ("[hh:mm:ss.mmm] "). A row fills in as its bytes come: until it has sixteen, the open row
// is given again with each new byte, its character column already in its place. Each byte
// remembers whether it was sent from here (local echo) or received, so a view can mark the
// sent ones. Only printable ASCII shows as itself in the character column; every other byte
// shows as '.'. Qt-free.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

struct CHexRow {
    static constexpr int kBytes = 16;
    std::uint64_t offset = 0;
    std::string stamp;  // empty without time stamps
    std::array<unsigned char, kBytes> bytes{};
    std::array<bool, kBytes> sent{};
    int count = 0;

    bool Complete() const { return count == kBytes; }
    // The row as one line, without a line end; an open row is as wide as a full one, except
    // that its character column holds only the bytes it has.
    std::string Text() const;
    // Where byte i's two hex digits and its character are in Text().
    int HexColumn(int i) const;
    int CharColumn(int i) const;
};

class CHexRows {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    // Called for each row a batch touched, in order: the open row from before (given again,
    // longer), then new rows. A row that is Complete() is not given again.
    using RowSink = std::function<void(const CHexRow& row)>;

    // A stamp before each row, the time of its first byte; now gives the time (the system
    // clock when empty).
    void SetTimeStamps(bool on, Clock now = {}) {
        m_stamps = on;
        m_now = std::move(now);
    }
    // Takes bytes into the rows. sent: they were sent from here, not received.
    void Feed(const unsigned char* bytes, int count, bool sent, const RowSink& show);
    // The next byte starts a row at offset 0.
    void Reset() { m_row = CHexRow{}; }
    // The row that has some bytes but not all: the next batch gives it again.
    bool RowOpen() const { return m_row.count > 0; }

private:
    CHexRow m_row;  // the open row, or an empty one at the next offset
    bool m_stamps = false;
    Clock m_now;
};
