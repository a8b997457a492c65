#include "RebuildLoad.h"

#include <vector>

#include "document/DocumentUi.h"
#include "document/TarvolineDoc.h"
#include "download/DocumentTransfers.h"
#include "download/PostLinkCommands.h"

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
