#include "cli_ui.h"

#include <atomic>
#include <csignal>
#include <ostream>

#include "document/TarvolineDoc.h"

namespace tarvoline::cli {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<CTarvolineDoc*> g_stopTarget{nullptr};

extern "C" void OnInterrupt(int) {
    // The first Ctrl-C (or SIGTERM) stops the transfer at its next look, so the line is
    // restored; a second one ends the program at once.
    g_interrupted = true;
    if (CTarvolineDoc* doc = g_stopTarget.load()) doc->StopTransfer();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

class CStderrProgress : public IProgressWindow {
public:
    CStderrProgress(std::ostream& err, bool draw) : m_err(err), m_draw(draw) {}
    ~CStderrProgress() override {
        if (m_draw && m_drawn) m_err << "\n";
        m_err.flush();
    }
    void SetWindowText(const std::string& caption) override { m_caption = caption; }
    void SetStatus(const std::string& text) override { m_status = text; }
    void SetRange(int lower, int upper) override {
        m_lower = lower;
        m_upper = upper;
    }
    void SetStep(int step) override { m_step = step; }
    void SetPos(int pos) override {
        m_pos = pos;
        Draw();
    }
    void StepIt() override {
        m_pos += m_step;
        if (m_pos > m_upper) m_pos = m_lower;
        Draw();
    }
    bool CancelRequested() const override { return g_interrupted.load(); }

private:
    void Draw() {
        if (!m_draw) return;
        constexpr int kWidth = 30;
        int span = m_upper > m_lower ? m_upper - m_lower : 1;
        int filled = (m_pos - m_lower) * kWidth / span;
        m_err << "\r" << m_caption << ": " << m_status << " [" << std::string(filled, '#')
              << std::string(kWidth - filled, ' ') << "] " << (m_pos - m_lower) << "/" << span;
        m_err.flush();
        m_drawn = true;
    }

    std::ostream& m_err;
    bool m_draw;
    bool m_drawn = false;
    std::string m_caption, m_status;
    int m_lower = 0, m_upper = 100, m_step = 10, m_pos = 0;
};

}  // namespace

CCliUi::CCliUi(std::ostream& err, bool showProgress) : m_err(err), m_showProgress(showProgress) {
    g_interrupted = false;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

CCliUi::~CCliUi() {
    g_stopTarget = nullptr;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void CCliUi::StopOnInterrupt(CTarvolineDoc* doc) {
    g_stopTarget = doc;
    if (doc && g_interrupted.load()) doc->StopTransfer();
}

bool CCliUi::Interrupted() { return g_interrupted.load(); }

MessageResult CCliUi::MessageBox(const std::string& text, const std::string&, MessageIcon,
                                 MessageButtons buttons, MessageResult defaultButton) {
    ++m_messages;
    m_err << text << "\n";
    m_err.flush();
    return buttons == MessageButtons::YesNo ? defaultButton : MessageResult::Ok;
}

std::unique_ptr<IProgressWindow> CCliUi::CreateProgressWindow() {
    return std::make_unique<CStderrProgress>(m_err, m_showProgress);
}

}  // namespace tarvoline::cli
