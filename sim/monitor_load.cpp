// The LOAD dialogue from the monitor's side: '+' at the console rate, then, at the download
// rate with two stop bits, the host's '+', a '=' before each block, the closing 00 00 and '-'.
#include "monitor.h"

namespace vivaz {

namespace {

using namespace std::chrono_literals;

// How long the monitor waits for the host inside the dialogue before it gives up and returns
// to its prompt; each '#' it sent makes the host pause 5 s more.
constexpr auto kIdle = 10s;
constexpr auto kPerWait = 5s;
constexpr auto kKeepGoingReply = 2s;

std::string hexByte(unsigned char b) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

}  // namespace

void Monitor::startLoad(std::string_view args) {
    std::uint32_t fields[3] = {};
    int n = 0;
    std::string_view rest = args;
    while (!rest.empty() && n < 4) {
        const auto space = rest.find(' ');
        const auto word = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
        if (word.empty()) {
            continue;
        }
        if (n == 3 || !parseHexField(word, fields[n])) {
            n = -1;
            break;
        }
        ++n;
    }
    if (n != 3) {
        emit("LOAD: usage LOAD rrrrrrrr aaaaaaaa cccccccc (hex rate, address, count)\r\n");
        prompt();
        return;
    }
    const auto [rate, address, count] = fields;
    if (!isSupportedRate(rate)) {
        emit("LOAD: the UART cannot run at " + std::to_string(rate) + " baud\r\n");
        prompt();
        return;
    }
    if (address > SparseMemory::kMask || count > SparseMemory::kSize - address) {
        emit("LOAD: " + hex8(count) + " bytes at " + hex8(address) + " do not fit in memory\r\n");
        prompt();
        return;
    }
    out_.note("LOAD " + std::to_string(count) + " bytes at " + hex8(address) + ", blocks at " +
              std::to_string(rate) + " baud");
    const Faults& f = options_.faults;
    if (f.noGoAhead) {
        out_.note("fault: no '+' for this LOAD");
        return;  // back at the command line, without a word
    }
    if (f.echoLoadCommand) {
        emit("LOAD " + hex8(rate) + " " + hex8(address) + " " + hex8(count) + "\r\n");
    }
    emit(std::string(static_cast<std::size_t>(f.waitRequests), '#'));
    emit("+");
    LineFormat download;
    download.baud = rate;
    download.stopBits = 2;
    setUart(download);
    loadAddress_ = address;
    loadCount_ = count;
    keepGoingSent_ = 0;
    receiver_ = std::make_unique<LoadReceiver>(memory_, address, count);
    state_ = State::AwaitHostPlus;
    deadline_ = now_ + kIdle + kPerWait * f.waitRequests;
}

void Monitor::loadBytes(std::string_view bytes, const LineFormat& line) {
    if (!uartAccepts(uart_, line)) {
        abortLoad(std::to_string(bytes.size()) + " byte(s) arrived at " + line.text() +
                  " while the UART is at " + uart_.text());
        return;
    }
    for (std::size_t i = 0; i < bytes.size() && receiver_; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        deadline_ = now_ + kIdle;
        if (state_ == State::AwaitHostPlus) {
            if (b != '+') {
                abortLoad("expected the host's '+', got " + hexByte(b));
                return;
            }
            state_ = State::Blocks;
            if (receiver_->blockDue()) {
                requestBlock();
            }
            continue;
        }
        if (state_ == State::KeepGoing) {
            if (b != 0) {
                out_.note("LOAD: host answered '&' with " + hexByte(b) + ", expected 00");
            }
            if (keepGoingSent_ < options_.faults.keepGoing) {
                ++keepGoingSent_;
                emit("&");
                deadline_ = now_ + kKeepGoingReply;
            } else {
                loadSucceeded();
            }
            continue;
        }
        switch (receiver_->feed(b)) {
            case LoadReceiver::Event::None:
                break;
            case LoadReceiver::Event::BlockComplete:
                if (receiver_->blockDue()) {
                    requestBlock();
                }
                break;
            case LoadReceiver::Event::EndOfData:
                loadComplete();
                break;
            case LoadReceiver::Event::Error:
                abortLoad(receiver_->error());
                return;
        }
    }
}

void Monitor::requestBlock() {
    const int block = receiver_->blocks() + 1;
    if (options_.faults.lateBlock == block) {
        out_.note("fault: request for block " + std::to_string(block) + " delayed " +
                  std::to_string(options_.faults.lateMs) + " ms");
        pendingRequest_ = now_ + std::chrono::milliseconds(options_.faults.lateMs);
        return;
    }
    sendRequest();
}

void Monitor::sendRequest() {
    if (!receiver_) {
        return;
    }
    const int block = receiver_->blocks() + 1;
    const Faults& f = options_.faults;
    char request = '=';
    if (f.requestByte && f.requestBlock == block) {
        request = static_cast<char>(*f.requestByte);
        out_.note("fault: byte " + hexByte(*f.requestByte) + " instead of '=' for block " +
                  std::to_string(block));
    }
    emit(std::string_view(&request, 1));
    receiver_->requestSent();
}

void Monitor::loadComplete() {
    out_.note("LOAD received " + std::to_string(receiver_->received()) + " bytes in " +
              std::to_string(receiver_->blocks()) + " block(s) at " + hex8(loadAddress_));
    lastLoadAddress_ = loadAddress_;
    lastLoadCount_ = loadCount_;
    program_ = loadAddress_;
    moveArmed_ = false;
    if (options_.faults.keepGoing > 0) {
        state_ = State::KeepGoing;
        keepGoingSent_ = 1;
        emit("&");
        deadline_ = now_ + kKeepGoingReply;
        return;
    }
    loadSucceeded();
}

void Monitor::loadSucceeded() {
    receiver_.reset();
    pendingRequest_.reset();
    deadline_.reset();
    state_ = State::Command;
    if (options_.faults.noCompletion) {
        out_.note("fault: no '-' for this LOAD");
        setUart(consoleFormat());
        restartChatter();
        return;
    }
    emit("-");
    setUart(consoleFormat());
    emit("\r\nLoaded " + hex8(lastLoadCount_) + " bytes at " + hex8(loadAddress_) + "\r\n");
    prompt();
    goKeyArmed_ = true;
    restartChatter();
}

void Monitor::abortLoad(std::string why) {
    out_.note("LOAD error: " + why);
    receiver_.reset();
    pendingRequest_.reset();
    deadline_.reset();
    state_ = State::Command;
    emit("\r\nLOAD error: " + why + "\r\n");
    setUart(consoleFormat());
    prompt();
    restartChatter();
}

void Monitor::loadTimeout() {
    if (state_ == State::KeepGoing) {
        out_.note("LOAD: no answer to '&'");
        loadSucceeded();
        return;
    }
    abortLoad(state_ == State::AwaitHostPlus ? "the host's '+' did not come"
                                             : "the host went quiet");
}

}  // namespace vivaz
