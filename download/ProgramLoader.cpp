#include "ProgramLoader.h"

#include "BoardReport.h"
#include "Cpm68kLoader.h"
#include "DownloadImage.h"
#include "ProgramLoadPlan.h"
#include "TransferContext.h"

ProgramLoadVerdict LoadProgramImage(const CTransferContext& ctx,
                                    const tarvoline::postlink::ProgramImage& image,
                                    const std::string& name) {
    const CProgramLoadPlan plan = PlanProgramLoad(image, name);
    if (plan.Refused()) {
        ctx.ShowError(plan.refusal);
        return ProgramLoadVerdict::Failed;
    }
    if (plan.start == CProgramLoadPlan::Start::Staged) {
        // The staged start is judged by the board's report of its records: a pattern that
        // cannot judge it stops the load before anything is sent.
        const CFailurePattern failure(ctx.loadFailurePattern);
        if (!failure.Error().empty()) {
            ctx.ShowError(InvalidPatternMessage(ctx.loadFailurePattern, failure.Error()));
            return ProgramLoadVerdict::Failed;
        }
    }
    for (const CProgramLoadStep& step : plan.loads) {
        const auto length = static_cast<std::int32_t>(step.run->bytes.size());
        if (DownloadImage(ctx, step.run->bytes.data(), length, step.loadAddress, length,
                          "Sending Program") != 0)
            return ProgramLoadVerdict::Failed;
    }
    switch (plan.start) {
        case CProgramLoadPlan::Start::Go:
            return StartWithGo(ctx) ? ProgramLoadVerdict::Started : ProgramLoadVerdict::Failed;
        case CProgramLoadPlan::Start::Staged: {
            const auto& run = *plan.loads.back().run;
            const auto end = static_cast<std::uint32_t>(run.address + run.bytes.size());
            return StartStaged(ctx, run.address, end) ? ProgramLoadVerdict::Started
                                                      : ProgramLoadVerdict::Failed;
        }
        case CProgramLoadPlan::Start::None:
            break;
    }
    // What the board said after the last load goes to the terminal, as after a start.
    CMonitorLink link(ctx.port, ctx.StopTest());
    link.LinkDrain(10, ctx.boardWords);
    if (link.Lost()) return ProgramLoadVerdict::Failed;
    ctx.ShowError(NotStartedMessage(name, plan.notStartedReason));
    return ProgramLoadVerdict::NotStarted;
}
