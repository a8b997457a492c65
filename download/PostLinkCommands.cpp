#include "PostLinkCommands.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "DocumentTransfers.h"
#include "document/DocumentUi.h"
#include "document/TarvolineDoc.h"
#include "postlink/conversion_text.h"
#include "postlink/file_io.h"
#include "postlink/post_link_file.h"

namespace pl = tarvoline::postlink;

namespace {

// The converter's progress, shown in the progress window.
class CProgressObserver : public pl::PostLinkObserver {
public:
    explicit CProgressObserver(IDocumentUi& ui) : m_ui(ui) {}
    void SetCaption(std::string_view caption) override { Window().SetWindowText(std::string(caption)); }
    void SetStatus(std::string_view status) override { Window().SetStatus(std::string(status)); }
    void SetRange(int low, int high) override { Window().SetRange(low, high); }
    void SetStep(int step) override { Window().SetStep(step); }
    void SetPosition(int position) override { Window().SetPos(position); }
    void StepIt() override { Window().StepIt(); }
    void Close() override { m_window.reset(); }

private:
    IProgressWindow& Window() {
        if (!m_window) m_window = m_ui.CreateProgressWindow();
        return *m_window;
    }
    IDocumentUi& m_ui;
    std::unique_ptr<IProgressWindow> m_window;
};

void ShowError(IDocumentUi& ui, const std::string& text) {
    ui.MessageBox(text, "Error", MessageIcon::Exclamation);
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return {};
    return path.substr(0, slash + 1);
}

CPostLinkOutcome PostLinkFile(IDocumentUi& ui, const std::string& path) {
    CPostLinkOutcome outcome;
    if (!pl::CutBinExtension(path)) {
        ShowError(ui, std::string(pl::kInvalidBinFileMessage));
        return outcome;
    }
    pl::PostLinkRun run;
    {
        CProgressObserver progress(ui);
        run = pl::PostLinkFile(path, progress);
    }  // the window closes before any message
    outcome.basePath = run.basePath;

    bool anyConfiguration = false;
    for (const auto& o : run.outcomes) {
        if (o.report.systemError || o.report.result != pl::kPostLinkNoConfiguration)
            anyConfiguration = true;
        if (!pl::ContinuesSeries(o.report)) {
            ShowError(ui, "Post Link, configuration " + std::to_string(o.configId) + ": " +
                              pl::DescribeConversion(o.configId, o.report));
        }
        // Load-file names match whatever their case, here as everywhere: a configuration that
        // writes "lower.run" wrote the .RUN file.
        if (o.report.loadFile && o.report.loadFile->error == 0) {
            const std::string& written = o.report.loadFile->path;
            const std::string& base = *run.basePath;
            if (written.size() == base.size() + 4 && written.compare(0, base.size(), base) == 0 &&
                strcasecmp(written.c_str() + base.size(), ".RUN") == 0) {
                outcome.wroteRunFile = true;
                outcome.runPath = written;
            }
        }
    }
    if (!anyConfiguration && !run.outcomes.empty())
        ShowError(ui, path + " holds none of configurations 1, 2 and 3; nothing was written.");
    return outcome;
}

bool PostLinkAndLoad(CTarvolineDoc& doc, const std::string& binPath) {
    CPostLinkOutcome converted = PostLinkFile(doc.Ui(), binPath);
    if (!converted.basePath) return false;
    const std::string runPath =
        converted.wroteRunFile ? converted.runPath : *converted.basePath + ".RUN";
    if (!converted.wroteRunFile) {
        // Loading an older file of that name would put a stale program into the board.
        ShowError(doc.Ui(), "Post Link did not write " + runPath + "; nothing was loaded.");
        return false;
    }
    return TransferCpm68kFile(doc, runPath);
}

std::string DocumentBinPath(const std::string& docPath) {
    if (docPath.size() < 3) return {};
    const std::string kind = Upper(docPath.substr(docPath.size() - 3));
    if (kind != "RUN" && kind != "APP") return {};
    const std::string binPath = pl::FindFileIgnoringCase(docPath.substr(0, docPath.size() - 3) + "BIN");
    // Looked at, not opened: opening a named pipe of that name would wait for a writer.
    struct stat st{};
    if (::stat(binPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(binPath.c_str(), R_OK) == 0)
        return binPath;
    return {};  // nothing beside it to convert: nothing is done, as for any other document
}

void LoadDocumentImage(CTarvolineDoc& doc, const std::string& docPath) {
    const std::string binPath = DocumentBinPath(docPath);
    if (!binPath.empty()) PostLinkAndLoad(doc, binPath);
}
