// Which LOADs a program's runs take, in which order, and how it starts: one table of layouts.

#include <gtest/gtest.h>

#include "download/ProgramLoadPlan.h"

namespace {

namespace pl = tarvoline::postlink;
using Start = CProgramLoadPlan::Start;

pl::ProgramRun Run(std::uint32_t address, std::size_t size) {
    return {address, std::vector<std::uint8_t>(size, 0x4E)};
}

pl::ProgramImage Image(std::vector<pl::ProgramRun> runs, std::optional<std::uint32_t> entry) {
    pl::ProgramImage image;
    image.runs = std::move(runs);
    image.hasEntry = entry.has_value();
    image.entry = entry.value_or(0);
    return image;
}

struct Layout {
    const char* what;
    pl::ProgramImage image;
    // Expected: each LOAD as (address of the run, where it goes), in order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> loads;
    Start start;
    std::string notStarted;  // the reason, for Start::None
    std::string refusal;     // the whole message when refused
};

TEST(ProgramLoadPlan, EachLayoutGoesInTheOrderItCanBeStartedFromOrIsRefused) {
    const std::string p = "prog.elf";
    const Layout layouts[] = {
        {"one run at its entry", Image({Run(0x20000, 300)}, 0x20000),
         {{0x20000, 0x20000}}, Start::Go, "", ""},
        {"the run at the entry goes last",
         Image({Run(0x20000, 300), Run(0x28000, 16), Run(0x30000, 8)}, 0x28000),
         {{0x20000, 0x20000}, {0x30000, 0x30000}, {0x28000, 0x28000}}, Start::Go, "", ""},
        {"entry inside the run: loaded, not started",
         Image({Run(0x20000, 0x10000)}, 0x2A000), {{0x20000, 0x20000}}, Start::None,
         "its entry 0002A000 is not where it was loaded (00020000)", ""},
        {"entry inside the second run: that one last, and named",
         Image({Run(0x20000, 16), Run(0x28000, 0x100), Run(0x30000, 8)}, 0x28010),
         {{0x20000, 0x20000}, {0x30000, 0x30000}, {0x28000, 0x28000}}, Start::None,
         "its entry 00028010 is not where it was loaded (00028000)", ""},
        {"entry outside every run: ascending, the last named",
         Image({Run(0x20000, 16), Run(0x28000, 16)}, 0x50000),
         {{0x20000, 0x20000}, {0x28000, 0x28000}}, Start::None,
         "its entry 00050000 is not where it was loaded (00028000)", ""},
        {"no start address", Image({Run(0x20000, 16), Run(0x28000, 16)}, std::nullopt),
         {{0x20000, 0x20000}, {0x28000, 0x28000}}, Start::None, "it has no start address", ""},
        {"below 0x40000 at the entry: staged", Image({Run(0x10000, 500)}, 0x10000),
         {{0x10000, 0x2D0000}}, Start::Staged, "", ""},
        {"straddling 0x40000 from below: staged whole",
         Image({Run(0x3F000, 0x2000)}, 0x3F000), {{0x3F000, 0x2D0000}}, Start::Staged, "", ""},
        {"staged with high runs: those first, the staged one last",
         Image({Run(0x10000, 64), Run(0x50000, 64)}, 0x10000),
         {{0x50000, 0x50000}, {0x10000, 0x2D0000}}, Start::Staged, "", ""},
        {"two runs below 0x40000", Image({Run(0x1000, 16), Run(0x8000, 16), Run(0x20000, 16)}, 0x1000),
         {}, Start::None, "",
         "prog.elf was not loaded: it has parts at 00001000, 00008000 and 00020000 below "
         "00040000, and the staged start that places a program there moves only one; nothing "
         "was sent."},
        {"a run below 0x40000 away from the entry",
         Image({Run(0x10000, 16), Run(0x50000, 16)}, 0x50000), {}, Start::None, "",
         "prog.elf was not loaded: its part at 00010000 lies below 00040000, where only the "
         "staged start places a program, and that starts it at 00010000, not at its entry "
         "00050000; nothing was sent."},
        {"a run below 0x40000 and no start address", Image({Run(0x10000, 16)}, std::nullopt),
         {}, Start::None, "",
         "prog.elf was not loaded: its part at 00010000 lies below 00040000, where only the "
         "staged start places a program, and that starts it, but the file gives no start "
         "address; nothing was sent."},
        {"the staging area taken by another run",
         Image({Run(0x10000, 0x100), Run(0x2D0080, 16)}, 0x10000), {}, Start::None, "",
         "prog.elf was not loaded: its part at 00010000 would be staged at 002D0000, over its "
         "part at 002D0080; nothing was sent."},
        {"past the 24-bit address space", Image({Run(0xFFFF00, 0x200)}, 0xFFFF00), {},
         Start::None, "",
         "prog.elf was not loaded: its part at 00FFFF00 (512 bytes) reaches past 00FFFFFF, the "
         "end of the board's address space; nothing was sent."},
        {"nothing to load", Image({}, 0x20000), {}, Start::None, "",
         "prog.elf was not loaded: it holds no bytes to load; nothing was sent."},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.what);
        const CProgramLoadPlan plan = PlanProgramLoad(layout.image, p);
        EXPECT_EQ(plan.refusal, layout.refusal);
        std::vector<std::pair<std::uint32_t, std::uint32_t>> loads;
        for (const CProgramLoadStep& step : plan.loads)
            loads.emplace_back(step.run->address, step.loadAddress);
        EXPECT_EQ(loads, layout.loads);
        EXPECT_EQ(plan.start, layout.start);
        EXPECT_EQ(plan.notStartedReason, layout.notStarted);
    }
    EXPECT_EQ(NotStartedMessage("prog.s37", "its entry 0002A000 is not where it was loaded (00020000)"),
              "Loaded prog.s37; not started: its entry 0002A000 is not where it was loaded "
              "(00020000)");
}

}  // namespace
