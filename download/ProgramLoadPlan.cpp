#include "ProgramLoadPlan.h"

#include <algorithm>
#include <cstdio>

#include "Cpm68kLoader.h"

namespace pl = tarvoline::postlink;

namespace {

std::string Hex8(std::uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::uint64_t EndOf(const pl::ProgramRun& run) {
    return std::uint64_t(run.address) + run.bytes.size();
}

bool Overlap(std::uint64_t firstA, std::uint64_t endA, std::uint64_t firstB, std::uint64_t endB) {
    return firstA < endB && firstB < endA;
}

}  // namespace

std::string NotStartedMessage(const std::string& name, const std::string& reason) {
    return "Loaded " + name + "; not started: " + reason;
}

CProgramLoadPlan PlanProgramLoad(const pl::ProgramImage& image, const std::string& name) {
    CProgramLoadPlan plan;
    const auto refuse = [&](const std::string& why) {
        plan.loads.clear();
        plan.start = CProgramLoadPlan::Start::None;
        plan.refusal = name + " was not loaded: " + why + "; nothing was sent.";
        return plan;
    };
    if (image.runs.empty()) return refuse("it holds no bytes to load");
    for (const pl::ProgramRun& run : image.runs) {
        if (EndOf(run) > kBoardAddressSpace)
            return refuse("its part at " + Hex8(run.address) + " (" + std::to_string(run.bytes.size()) +
                          " bytes) reaches past 00FFFFFF, the end of the board's address space");
    }

    const pl::ProgramRun* atEntry = nullptr;
    const pl::ProgramRun* holdingEntry = nullptr;
    if (image.hasEntry) {
        for (const pl::ProgramRun& run : image.runs) {
            if (run.address == image.entry) atEntry = &run;
            if (run.address <= image.entry && image.entry < EndOf(run)) holdingEntry = &run;
        }
    }

    if (atEntry && atEntry->address < kStagedStartBelow) {
        // Started as a load file with the long header is: loaded high, then moved into place
        // and started by the monitor. Its copy must not land on another run, nor reach the
        // staging area when moved.
        const pl::ProgramRun& staged = *atEntry;
        const std::uint64_t stagingEnd = std::uint64_t(kStagingAddress) + staged.bytes.size();
        if (EndOf(staged) > kStagingAddress)
            return refuse("its part at " + Hex8(staged.address) + " (" +
                          std::to_string(staged.bytes.size()) + " bytes) is too large to be staged at " +
                          Hex8(kStagingAddress) + " and moved into place");
        for (const pl::ProgramRun& run : image.runs) {
            if (&run != &staged && Overlap(kStagingAddress, stagingEnd, run.address, EndOf(run)))
                return refuse("its part at " + Hex8(staged.address) + " would be staged at " +
                              Hex8(kStagingAddress) + ", over its part at " + Hex8(run.address));
        }
        for (const pl::ProgramRun& run : image.runs)
            if (&run != &staged) plan.loads.push_back({&run, run.address});
        plan.loads.push_back({&staged, kStagingAddress});
        plan.start = CProgramLoadPlan::Start::Staged;
        return plan;
    }

    // The run that goes last: the one the program starts at, or else the one its entry lies
    // in, so the message names where the entry's code went.
    const pl::ProgramRun* last = atEntry ? atEntry : holdingEntry;
    for (const pl::ProgramRun& run : image.runs)
        if (&run != last) plan.loads.push_back({&run, run.address});
    if (last) plan.loads.push_back({last, last->address});
    if (atEntry) {
        plan.start = CProgramLoadPlan::Start::Go;
    } else if (image.hasEntry) {
        plan.notStartedReason = "its entry " + Hex8(image.entry) + " is not where it was loaded (" +
                                Hex8(plan.loads.back().loadAddress) + ")";
    } else {
        plan.notStartedReason = "it has no start address";
    }
    return plan;
}
