#pragma once
// Which LOADs put a program from a toolchain's file into the board, in which order, and how it
// is started, decided before anything is sent.
//
// The monitor is never told where a program begins: 'G' starts it where the last LOAD went,
// and the staged start where it moves the last LOAD to. So a program is started only when one
// of its runs begins at its entry, and that run goes last. It is started as a CP/M-68K load
// file with the long header is: at 0x40000 and above with 'G'; below, the run is loaded at the
// staging address and the monitor moves it into place and starts it. The program's other runs
// go with LOADs of their own to their own addresses, first (below 0x40000 too, as a load file
// with the short header goes). A program whose entry is not where a run begins, or that has no
// start address, is loaded but not started. Refused whole, before anything is sent: a program
// reaching past the 24-bit address space, and one whose staged copy would land on another of
// its runs or, moved, reach the staging area.

#include <cstdint>
#include <string>
#include <vector>

#include "postlink/program_image.h"

struct CProgramLoadStep {
    const tarvoline::postlink::ProgramRun* run = nullptr;
    std::uint32_t loadAddress = 0;  // where LOAD puts it: its address, or the staging address
};

struct CProgramLoadPlan {
    enum class Start { Go, Staged, None };

    std::vector<CProgramLoadStep> loads;  // in the order they go; empty when refused
    Start start = Start::None;
    // Set when nothing may be sent: the whole message, naming the program and why.
    std::string refusal;
    // Start::None: why it is not started, as in "its entry 0002A000 is not where it was loaded
    // (00020000)" or "it has no start address".
    std::string notStartedReason;

    bool Refused() const { return !refusal.empty(); }
};

// The highest address the board's 24-bit address space holds, plus one.
inline constexpr std::uint32_t kBoardAddressSpace = 0x1000000;

// name: the program as the messages name it (the file's name as given).
CProgramLoadPlan PlanProgramLoad(const tarvoline::postlink::ProgramImage& image,
                                 const std::string& name);

// "Loaded NAME; not started: REASON", the message of a program loaded but not started.
std::string NotStartedMessage(const std::string& name, const std::string& reason);
