// vivaz-sim: a simulated ViVaz board on a pseudo-terminal.
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "board.h"
#include "cli_options.h"

namespace {

vivaz::Board* g_board = nullptr;

extern "C" void onSignal(int) {
    if (g_board != nullptr) {
        g_board->stop();
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto cl = vivaz::parseCommandLine({argv + 1, argv + argc}, error);
    if (!cl) {
        std::cerr << "vivaz-sim: " << error
                  << "\nUsage: vivaz-sim [OPTIONS]  (vivaz-sim --help lists them)\n";
        return 2;
    }
    if (cl->help) {
        std::cout << vivaz::usageText();
        return 0;
    }
    if (cl->version) {
        std::cout << "vivaz-sim " << VIVAZ_SIM_VERSION << "\n";
        return 0;
    }
    try {
        vivaz::Board board(cl->board);
        std::cout << board.devicePath() << std::endl;
        if (!cl->link.empty()) {
            vivaz::makeDeviceLink(cl->link, board.devicePath());
        }
        if (!cl->quiet) {
            board.setNoteSink(
                [](const std::string& text) { std::cout << "vivaz-sim: " << text << std::endl; });
        }
        g_board = &board;
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        std::signal(SIGPIPE, SIG_IGN);

        std::optional<vivaz::Board::Clock::time_point> until;
        if (cl->timeoutSeconds > 0) {
            until = vivaz::Board::Clock::now() +
                    std::chrono::duration_cast<vivaz::Board::Clock::duration>(
                        std::chrono::duration<double>(cl->timeoutSeconds));
        }
        board.serve(until);
        g_board = nullptr;

        if (!cl->link.empty()) {
            ::unlink(cl->link.c_str());
        }
        if (!cl->dumpPath.empty()) {
            std::ofstream dump(cl->dumpPath, std::ios::binary);
            dump << board.memoryAsSRecords();
            if (!dump) {
                std::cerr << "vivaz-sim: cannot write " << cl->dumpPath << "\n";
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "vivaz-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
