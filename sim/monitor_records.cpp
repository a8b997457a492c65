// The record loader's dialogue: '%' at the console rate, record text at 57600 baud until the
// line is quiet, a report and '%', then the host's own '%' back at the console rate.
#include "monitor.h"

namespace vivaz {

namespace {

using namespace std::chrono_literals;

constexpr unsigned kRecordBaud = 57600;
// The host switches to 57600 and starts about 110 ms after it has the '%', and on a link with a
// long round trip (up to a second) the first record reaches the board that much later still;
// with no records at all the host looks for the closing '%' from some 600 ms after it until
// about 2.5 s later. The first record must come within this time ...
constexpr auto kFirstByte = 2s;
// ... and the text ends when the line has been quiet this long (the host allows 500 ms).
constexpr auto kQuiet = 200ms;
constexpr auto kClosingPercent = 5s;

}  // namespace

void Monitor::startRecords(std::string_view options) {
    loaderOptions_ = std::string(options);
    out_.note("record loader started (lo " + loaderOptions_ + ")");
    records_ = std::make_unique<RecordStream>(memory_);
    garbled_ = 0;
    emit("%");
    LineFormat f;
    f.baud = kRecordBaud;
    setUart(f);
    state_ = State::RecordWait;
    deadline_ = now_ + kFirstByte;
}

void Monitor::recordBytes(std::string_view bytes, const LineFormat& line) {
    if (refuse(bytes, line)) {
        garbled_ += bytes.size();
    } else {
        records_->feed(bytes);
    }
    state_ = State::RecordText;
    deadline_ = now_ + kQuiet;
}

void Monitor::recordsQuiet() {
    records_->finish();
    const RecordLoadReport& r = records_->report();
    std::string report = "\r\n";
    for (const auto& e : r.errors) {
        report += e + "\r\n";
        out_.note("record loader: " + e);
    }
    if (garbled_ > 0) {
        report += std::to_string(garbled_) + " byte(s) garbled (not at 57600 baud)\r\n";
    }
    if (!r.ended) {
        report += "no end record\r\n";
    }
    if (r.linesAfterEnd > 0) {
        report += std::to_string(r.linesAfterEnd) + " line(s) after the end record ignored\r\n";
    }
    report += std::to_string(r.dataRecords) + " records, " +
              hex8(static_cast<std::uint32_t>(r.bytes)) + " bytes loaded, " +
              std::to_string(r.errors.size()) + " bad\r\n";
    out_.note("record loader: " + std::to_string(r.dataRecords) + " records, " +
              std::to_string(r.bytes) + " bytes, " + std::to_string(r.errors.size()) + " bad");
    if (r.startAddress && *r.startAddress != 0) {
        program_ = *r.startAddress & SparseMemory::kMask;
    } else if (r.firstAddress) {
        program_ = *r.firstAddress;
    }
    emit(report);
    emit("%");
    setUart(consoleFormat());
    state_ = State::AwaitPercent;
    deadline_ = now_ + kClosingPercent;
}

void Monitor::awaitPercentBytes(std::string_view bytes, const LineFormat& line) {
    if (refuse(bytes, line)) {
        return;
    }
    if (bytes.empty()) {
        return;
    }
    if (bytes.front() != '%') {
        out_.note("record loader: expected the host's '%', got other text");
    }
    deadline_.reset();
    recordsDone();
    const auto rest = bytes.front() == '%' ? bytes.substr(1) : bytes;
    if (!rest.empty()) {
        receive(rest, line, now_);
    }
}

void Monitor::recordsDone() {
    state_ = State::Command;
    mode_ = Mode::Main;
    emit("\r\n");
    if (moveArmed_) {
        stagedStart();
    }
    records_.reset();
    prompt();
    restartChatter();
}

void Monitor::stagedStart() {
    moveArmed_ = false;
    const auto& markers = records_->report().markers;
    if (markers.size() < 2 || markers[1] < markers[0]) {
        emit("mo: expected two address records, start and end\r\n");
        out_.note("staged start: no start and end address records");
        return;
    }
    const std::uint32_t to = markers[0];
    const std::uint32_t length = markers[1] - markers[0];
    if (length > lastLoadCount_) {
        out_.note("staged start: moving " + std::to_string(length) + " bytes, only " +
                  std::to_string(lastLoadCount_) + " were loaded");
    }
    memory_.move(*lastLoadAddress_, to, length);
    out_.note("moved " + std::to_string(length) + " bytes from " + hex8(*lastLoadAddress_) +
              " to " + hex8(to));
    emit("Moved " + hex8(length) + " bytes from " + hex8(*lastLoadAddress_) + " to " + hex8(to) +
         "\r\n");
    program_ = to;
    startProgram(to);
}

}  // namespace vivaz
