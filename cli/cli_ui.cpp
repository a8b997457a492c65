#include "cli_ui.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <ostream>

#include "document/TarvolineDoc.h"

namespace tarvoline::cli {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_lastSignal{0};
std::atomic<CTarvolineDoc*> g_stopTarget{nullptr};
std::atomic<int> g_wakeFd{-1};
std::atomic<bool> g_keepHandling{false};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void SetHandlers(void (*handler)(int)) {
    for (int sig : kSignals) std::signal(sig, handler);
}

extern "C" void OnInterrupt(int sig) {
    // The first Ctrl-C (or SIGTERM, or a hang-up) stops the transfer at its next look, so the
    // line is restored; a second one ends the program at once, unless a loop that answers at
    // once (and has a terminal to put back) watches the wake-up descriptor.
    g_interrupted = true;
    g_lastSignal = sig;
    if (CTarvolineDoc* doc = g_stopTarget.load()) doc->StopTransfer();
    if (const int fd = g_wakeFd.load(); fd >= 0) {
        const char byte = 's';
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    if (!g_keepHandling.load()) SetHandlers(SIG_DFL);
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
    g_lastSignal = 0;
    SetHandlers(OnInterrupt);
}

CCliUi::~CCliUi() {
    g_stopTarget = nullptr;
    g_wakeFd = -1;
    g_keepHandling = false;
    SetHandlers(SIG_DFL);
}

void CCliUi::WakeOnSignal(int fd, bool keepHandling) {
    g_wakeFd = fd;
    g_keepHandling = keepHandling;
    // A signal that came before the loop watched is not lost: the loop sees it at once.
    if (fd >= 0 && g_interrupted.load()) {
        const char byte = 's';
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    if (keepHandling) SetHandlers(OnInterrupt);
}

int CCliUi::LastSignal() { return g_lastSignal.load(); }

void CCliUi::ClearInterrupted() {
    g_interrupted = false;
    g_lastSignal = 0;
}

void CCliUi::StopOnInterrupt(CTarvolineDoc* doc) {
    g_stopTarget = doc;
    if (doc && g_interrupted.load()) doc->StopTransfer();
}

bool CCliUi::Interrupted() { return g_interrupted.load(); }

MessageResult CCliUi::MessageBox(const std::string& text, const std::string&, MessageIcon,
                                 MessageButtons buttons, MessageResult defaultButton) {
    ++m_messages;
    if (m_beforeMessage) m_beforeMessage();
    m_err << text << "\n";
    m_err.flush();
    return buttons == MessageButtons::YesNo ? defaultButton : MessageResult::Ok;
}

bool ShareOneFile(int a, int b) {
    struct stat sa{}, sb{};
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::unique_ptr<IProgressWindow> CCliUi::CreateProgressWindow() {
    return std::make_unique<CStderrProgress>(m_err, m_showProgress);
}

}  // namespace tarvoline::cli
