// What crossed the line and what the board noticed, in order, with times and line formats.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "line_format.h"

namespace vivaz {

struct TranscriptEntry {
    enum class Kind {
        Received,  // from the host; `format` is the host's line setting at the time
        Sent,      // to the host; `format` is the board's UART setting
        Note,      // a diagnostic of the board, in `text`
    };
    Kind kind = Kind::Note;
    std::chrono::steady_clock::time_point at;
    std::string text;
    LineFormat format;
};

class Transcript {
  public:
    void add(TranscriptEntry::Kind kind, std::string text, const LineFormat& format = {});
    const std::vector<TranscriptEntry>& entries() const { return entries_; }
    // All bytes of one direction, joined.
    std::string received() const { return joined(TranscriptEntry::Kind::Received); }
    std::string sent() const { return joined(TranscriptEntry::Kind::Sent); }
    std::vector<std::string> notes() const;
    void clear() { entries_.clear(); }

  private:
    std::string joined(TranscriptEntry::Kind kind) const;
    std::vector<TranscriptEntry> entries_;
};

}  // namespace vivaz
