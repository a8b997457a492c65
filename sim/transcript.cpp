#include "transcript.h"

namespace vivaz {

void Transcript::add(TranscriptEntry::Kind kind, std::string text, const LineFormat& format) {
    // Consecutive chunks of one direction at one format read best as one entry.
    if (kind != TranscriptEntry::Kind::Note && !entries_.empty() && entries_.back().kind == kind &&
        entries_.back().format == format) {
        entries_.back().text += text;
        return;
    }
    entries_.push_back({kind, std::chrono::steady_clock::now(), std::move(text), format});
}

std::vector<std::string> Transcript::notes() const {
    std::vector<std::string> out;
    for (const auto& e : entries_) {
        if (e.kind == TranscriptEntry::Kind::Note) {
            out.push_back(e.text);
        }
    }
    return out;
}

std::string Transcript::joined(TranscriptEntry::Kind kind) const {
    std::string out;
    for (const auto& e : entries_) {
        if (e.kind == kind) {
            out += e.text;
        }
    }
    return out;
}

}  // namespace vivaz
