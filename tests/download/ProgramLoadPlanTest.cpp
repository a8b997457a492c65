// Which LOADs a program's runs take, in which order, and how it starts: one table of layouts.

#include <gtest/gtest.h>

#include <optional>

#include "download/ProgramLoadPlan.h"

namespace {

namespace pl = tarvoline::postlink;
using Start = CProgramLoadPlan::Start;

pl::ProgramRun Bytes(std::uint32_t address, std::size_t size) {
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
        {"one run at its entry", Image({Bytes(0x120000, 300)}, 0x120000),
         {{0x120000, 0x120000}}, Start::Go, "", ""},
        {"the run at the entry goes last",
         Image({Bytes(0x120000, 300), Bytes(0x128000, 16), Bytes(0x130000, 8)}, 0x128000),
         {{0x120000, 0x120000}, {0x130000, 0x130000}, {0x128000, 0x128000}}, Start::Go, "", ""},
        {"entry inside the run: loaded, not started",
         Image({Bytes(0x120000, 0x10000)}, 0x12A000), {{0x120000, 0x120000}}, Start::None,
         "its entry 0012A000 is not where it was loaded (00120000)", ""},
        {"entry inside the second run: that one last, and named",
         Image({Bytes(0x120000, 16), Bytes(0x128000, 0x100), Bytes(0x130000, 8)}, 0x128010),
         {{0x120000, 0x120000}, {0x130000, 0x130000}, {0x128000, 0x128000}}, Start::None,
         "its entry 00128010 is not where it was loaded (00128000)", ""},
        {"entry outside every run: ascending, the last named",
         Image({Bytes(0x120000, 16), Bytes(0x128000, 16)}, 0x150000),
         {{0x120000, 0x120000}, {0x128000, 0x128000}}, Start::None,
         "its entry 00150000 is not where it was loaded (00128000)", ""},
        {"no start address", Image({Bytes(0x120000, 16), Bytes(0x128000, 16)}, std::nullopt),
         {{0x120000, 0x120000}, {0x128000, 0x128000}}, Start::None, "it has no start address", ""},
        {"below 0x40000 at the entry: staged", Image({Bytes(0x10000, 500)}, 0x10000),
         {{0x10000, 0x2D0000}}, Start::Staged, "", ""},
        {"straddling 0x40000 from below: staged whole",
         Image({Bytes(0x3F000, 0x2000)}, 0x3F000), {{0x3F000, 0x2D0000}}, Start::Staged, "", ""},
        {"staged with high runs: those first, the staged one last",
         Image({Bytes(0x10000, 64), Bytes(0x50000, 64)}, 0x10000),
         {{0x50000, 0x50000}, {0x10000, 0x2D0000}}, Start::Staged, "", ""},
        {"two runs below 0x40000: the other loaded in place, the entry's staged",
         Image({Bytes(0x1000, 16), Bytes(0x8000, 16), Bytes(0x50000, 16)}, 0x1000),
         {{0x8000, 0x8000}, {0x50000, 0x50000}, {0x1000, 0x2D0000}}, Start::Staged, "", ""},
        {"below 0x40000 with the entry inside: loaded in place, not started",
         Image({Bytes(0x20000, 0x10000)}, 0x2A000), {{0x20000, 0x20000}}, Start::None,
         "its entry 0002A000 is not where it was loaded (00020000)", ""},
        {"below 0x40000 without a start address: loaded in place",
         Image({Bytes(0x10000, 16)}, std::nullopt), {{0x10000, 0x10000}}, Start::None,
         "it has no start address", ""},
        {"the staging area taken by another run",
         Image({Bytes(0x10000, 0x100), Bytes(0x2D0080, 16)}, 0x10000), {}, Start::None, "",
         "prog.elf was not loaded: its part at 00010000 would be staged at 002D0000, over its "
         "part at 002D0080; nothing was sent."},
        {"past the 24-bit address space", Image({Bytes(0xFFFF00, 0x200)}, 0xFFFF00), {},
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
