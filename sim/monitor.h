// The ViVaz monitor as the simulated board runs it: the command line with its editing, the
// commands, the LOAD dialogue and the record loader's dialogue. It is driven by what the line
// delivers and by the passing of time; it talks back through MonitorOutput and keeps no thread
// or descriptor of its own, so the tests can also drive it directly.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "board_clock.h"
#include "line_format.h"
#include "load_receiver.h"
#include "memory.h"
#include "options.h"
#include "records.h"

namespace vivaz {

class MonitorOutput {
  public:
    virtual ~MonitorOutput() = default;
    // Bytes for the line, sent while the board's UART is set to `uart`.
    virtual void send(std::string_view bytes, const LineFormat& uart) = 0;
    // What the board noticed: refused bytes, protocol errors, loads, program starts.
    virtual void note(const std::string& text) = 0;
};

class Monitor {
  public:
    using Clock = std::chrono::steady_clock;

    Monitor(MonitorOutput& out, SparseMemory& memory, const BoardOptions& options,
            Clock::time_point now);

    // The banner and the first prompt (with greetOnCr: once the first CR comes).
    void powerOn();
    // Bytes that arrived while the sending side's line was set to `line`.
    void receive(std::string_view bytes, const LineFormat& line, Clock::time_point now);
    // Acts on whatever time-out or delayed answer has fallen due by `now`.
    void tick(Clock::time_point now);
    std::optional<Clock::time_point> deadline() const;

    // Faults change from now on; a changed chatter period starts at `now`.
    void setFaults(const Faults& faults, Clock::time_point now);
    const LineFormat& uart() const { return uart_; }
    std::optional<std::uint32_t> lastStart() const { return lastStart_; }
    DateTime clock(Clock::time_point now) const { return clock_.read(now); }

  private:
    enum class State {
        Command,
        AwaitHostPlus,  // '+' sent, the host's '+' due at the download rate
        Blocks,         // blocks and the closing 00 00
        KeepGoing,      // '&' sent, the host's 00 due
        RecordWait,     // '%' sent, record text due at 57600
        RecordText,     // record text arriving, ends when the line is quiet
        AwaitPercent,   // the host's closing '%' due at the console rate
    };
    enum class Mode { Main, M8 };

    // monitor.cpp: the command line
    void emit(std::string_view bytes);
    void setUart(const LineFormat& f);
    void greet();
    void prompt();
    void commandByte(char c);
    void execute(const std::string& line);
    void help();
    void memoryDump(std::string_view args);
    void date(std::string_view args);
    void go(std::string_view args);
    void arm(std::string_view args);
    void startProgram(std::uint32_t address);
    LineFormat consoleFormat() const;
    // The chatter fault: its period starts again whenever the monitor comes back to its command
    // line, and a line falls due only there.
    void restartChatter();
    void chatter(Clock::time_point now);

    // monitor_load.cpp: the LOAD dialogue
    void startLoad(std::string_view args);
    void loadBytes(std::string_view bytes, const LineFormat& line);
    void requestBlock();
    void sendRequest();
    void loadComplete();
    void loadSucceeded();
    void abortLoad(std::string why);  // by value: the receiver that holds it goes first
    void loadTimeout();

    // monitor_records.cpp: the record loader dialogue
    void startRecords(std::string_view options);
    void recordBytes(std::string_view bytes, const LineFormat& line);
    void recordsQuiet();
    void awaitPercentBytes(std::string_view bytes, const LineFormat& line);
    void recordsDone();
    void stagedStart();

    bool refuse(std::string_view bytes, const LineFormat& line);

    MonitorOutput& out_;
    SparseMemory& memory_;
    BoardOptions options_;
    BoardClock clock_;
    Clock::time_point now_;
    LineFormat uart_;
    State state_ = State::Command;
    Mode mode_ = Mode::Main;
    std::string line_;
    std::optional<Clock::time_point> deadline_;

    // LOAD
    std::unique_ptr<LoadReceiver> receiver_;
    std::uint32_t loadAddress_ = 0;
    std::uint32_t loadCount_ = 0;
    int keepGoingSent_ = 0;
    std::optional<Clock::time_point> pendingRequest_;
    std::optional<std::uint32_t> lastLoadAddress_;
    std::uint32_t lastLoadCount_ = 0;
    // Right after a LOAD, a lone 'G' starts the program without waiting for CR.
    bool goKeyArmed_ = false;
    bool awaitingCr_ = false;  // greetOnCr: powered on, the banner not yet sent

    // record loader
    std::unique_ptr<RecordStream> records_;
    std::string loaderOptions_;
    std::size_t garbled_ = 0;
    bool moveArmed_ = false;

    // chatter
    std::optional<Clock::time_point> chatterDue_;
    std::uint32_t chatterCount_ = 0;

    std::optional<std::uint32_t> program_;  // what G starts
    std::optional<std::uint32_t> lastStart_;
};

// Helpers shared by the monitor's files.
std::string hex8(std::uint32_t v);
bool parseHexField(std::string_view text, std::uint32_t& out);

}  // namespace vivaz
