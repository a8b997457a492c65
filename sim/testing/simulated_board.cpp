#include "simulated_board.h"

#include <sys/resource.h>
#include <unistd.h>

namespace vivaz::testing {

namespace {

template <typename Predicate>
bool pollUntil(Predicate done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

SimulatedBoard::SimulatedBoard(const BoardOptions& options)
    : board_(std::make_unique<Board>(options)) {
    thread_ = std::thread([this] {
        // A real board answers within microseconds, and the host allows it 2 ms for a block
        // request. On a busy test machine the board's thread asks to be woken first; where the
        // system does not allow that, it runs at normal priority.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -10);
        board_->serve();
    });
}

SimulatedBoard::~SimulatedBoard() {
    board_->stop();
    thread_.join();
}

std::vector<std::uint8_t> SimulatedBoard::memory(std::uint32_t address, std::size_t length) const {
    return board_->readMemory(address, length);
}

void SimulatedBoard::setMemory(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    board_->writeMemory(address, bytes);
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> SimulatedBoard::writtenRanges() const {
    return board_->writtenRanges();
}

bool SimulatedBoard::waitForSent(std::string_view text, std::chrono::milliseconds timeout) const {
    return pollUntil([&] { return sent().find(text) != std::string::npos; }, timeout);
}

bool SimulatedBoard::waitForNote(std::string_view text, std::chrono::milliseconds timeout) const {
    return pollUntil(
        [&] {
            for (const auto& n : notes()) {
                if (n.find(text) != std::string::npos) {
                    return true;
                }
            }
            return false;
        },
        timeout);
}

}  // namespace vivaz::testing
