#include "RebuildLoad.h"

#include <cstdio>
#include <variant>
#include <vector>

#include "document/DocumentUi.h"
#include "document/TarvolineDoc.h"
#include "download/DocumentTransfers.h"
#include "download/PostLinkCommands.h"
#include "download/ProgramFileLoad.h"
#include "postlink/program_image.h"

namespace {

// The document's user interface with its messages kept instead of shown; the progress window
// and the rest go through.
class CHeldMessagesUi : public IDocumentUi {
public:
    explicit CHeldMessagesUi(IDocumentUi& shown) : m_shown(shown) {}
    MessageResult MessageBox(const std::string& text, const std::string&, MessageIcon,
                             MessageButtons buttons, MessageResult defaultButton) override {
        m_held.push_back(text);
        return buttons == MessageButtons::YesNo ? defaultButton : MessageResult::Ok;
    }
    void Beep() override { m_shown.Beep(); }
    void TitleChanged(const std::string& title) override { m_shown.TitleChanged(title); }
    std::unique_ptr<IProgressWindow> CreateProgressWindow() override {
        return m_shown.CreateProgressWindow();
    }
    bool HeldAny() const { return !m_held.empty(); }

private:
    IDocumentUi& m_shown;
    std::vector<std::string> m_held;
};

}  // namespace

CRebuildLoadOutcome PostLinkAndLoadQuietConversion(CTarvolineDoc& doc, const std::string& binPath) {
    CRebuildLoadOutcome outcome;
    CHeldMessagesUi held(doc.Ui());
    const CPostLinkOutcome converted = PostLinkFile(held, binPath);
    if (!converted.basePath || !converted.wroteRunFile || held.HeldAny()) {
        outcome.conversionFailed = true;
        return outcome;
    }
    outcome.started = TransferCpm68kFile(doc, converted.runPath);
    return outcome;
}

CRebuildLoadOutcome LoadProgramQuietRead(CTarvolineDoc& doc, const std::string& path) {
    CRebuildLoadOutcome outcome;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::uint8_t head[512];
    const std::size_t size = f ? std::fread(head, 1, sizeof head, f) : 0;
    if (f) std::fclose(f);
    if (JudgeLoadFile(head, size) != LoadFileContent::Program) {
        // A load file, or what is not a program at all: Load Program's own words for it.
        outcome.started = TransferProgramFile(doc, path) == ProgramLoadVerdict::Started;
        return outcome;
    }
    namespace pl = tarvoline::postlink;
    pl::ProgramReadResult read = pl::ReadProgramFile(path);
    if (std::holds_alternative<pl::ProgramReadError>(read)) {
        outcome.conversionFailed = true;
        return outcome;
    }
    outcome.started =
        TransferProgramImage(doc, std::get<pl::ProgramImage>(read), path) == ProgramLoadVerdict::Started;
    return outcome;
}
