// tarvoline-cli term: the board's terminal in the shell. The keys go to the board as the
// window's keyboard sends them, the board's bytes come back through the window's receive
// rules, and Ctrl-] starts a command (quit, Break, load a file, help). With standard input
// not a terminal it copies that input to the line and the line to standard output, for
// scripts. A device that goes away (an adapter unplugged for a moment) is waited for and taken
// back with the stored line settings, as the window does, unless --no-reconnect.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "commands.h"
#include "hex_term_view.h"
#include "line_loop.h"
#include "load_any.h"
#include "session.h"
#include "shell_view.h"
#include "term_keys.h"
#include "tty_mode.h"

namespace tarvoline::cli {
namespace {

using namespace std::chrono_literals;

// A lone ESC is told from the start of a key's sequence by the pause after it.
constexpr auto kEscapePause = 30ms;
// Scripts: once their input has ended, what the board still answers is copied until the
// line has been quiet this long, but no longer than kScriptTail.
constexpr auto kScriptQuiet = 500ms;
constexpr auto kScriptTail = 10s;
// Bytes written to the line at once from a script, so received bytes are shown in between.
constexpr size_t kScriptChunk = 64;
// In raw mode Ctrl-C is a byte for the board, except while there is no board.
constexpr int kCtrlC = 0x03;

constexpr const char* kCommandHelp =
    "Ctrl-] then:  q  quit    b  send Break    l  load a file (.Bin: Post Link and Load)\n"
    "              ?  this help    Ctrl-]  send one Ctrl-]\n";

// Lines of the program itself, on standard error; in raw mode a line end needs its CR.
class CNotices {
public:
    void SetRaw(bool raw) { m_raw = raw; }
    // The board's output on the same screen: a notice in cooked mode ends its open line first.
    void SetBoardView(CShellView* view) { m_view = view; }
    void Say(const std::string& text) {
        if (!m_raw && m_view) m_view->EndOpenLine();
        std::string out = m_raw ? "\r\n" : "";
        for (char c : text) {
            if (c == '\n' && m_raw) out += '\r';
            out += c;
        }
        if (!out.empty() && out.back() != '\n') out += m_raw ? "\r\n" : "\n";
        std::cerr << out << std::flush;
    }

private:
    bool m_raw = false;
    CShellView* m_view = nullptr;
};

struct Term {
    const CommandContext& context;
    Session& session;
    CShellView& view;
    CLineLoop& loop;
    CNotices& notices;
    CTtyMode* tty;  // null when standard input is no terminal
    bool reconnect;  // a lost device is waited for (the document's own retries)
    CHexTermView* hex;  // --hex: the board's bytes are shown by this view instead

    bool OutputFailed() const { return hex ? hex->OutputFailed() : view.OutputFailed(); }
    auto LastReceived() const { return hex ? hex->LastReceived() : view.LastReceived(); }
    void SetTerminalAddsCr(bool adds) {
        view.SetTerminalAddsCr(adds);
        if (hex) hex->SetTerminalAddsCr(adds);
    }

    CTarvolineDoc& Doc() { return *session.doc; }

    // The signal that ends the session: any but a Ctrl-C that cancelled a load.
    bool Ended() const { return CCliUi::Interrupted(); }
    // The document is waiting for its device to come back; its notices have said so.
    bool Waiting() const { return !session.doc->Port() && !session.doc->WaitingFor().empty(); }
    bool DeviceGone() const { return !session.doc->Port() && !(reconnect && Waiting()); }

    std::optional<std::string> AskForPath();
    void LoadFile();
    // True to go on, false to quit.
    bool RunCommand(int key);
};

std::optional<std::string> Term::AskForPath() {
    std::cerr << "File to load: " << std::flush;
    std::string line;
    for (;;) {
        if (!loop.Wait(STDIN_FILENO, -1ms)) {
            if (CCliUi::Interrupted() || DeviceGone()) return std::nullopt;  // Ctrl-C: no load
            continue;
        }
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return std::nullopt;  // Ctrl-D
        if (c == '\n') break;
        line += c;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.rfind("~/", 0) == 0 && std::getenv("HOME")) line = std::getenv("HOME") + line.substr(1);
    if (line.empty()) return std::nullopt;
    return line;
}

void Term::LoadFile() {
    // The path is typed with the terminal's own line editing, and the load's progress and
    // messages read as anywhere else; Ctrl-C cancels the question or the load, not the session.
    // The board's words meanwhile (its report of the load, a started program's first output)
    // still show with the raw session's CR LF: the cooked terminal adds the CR itself.
    tty->Restore();
    SetTerminalAddsCr(tty->CookedAddsCr());
    notices.SetRaw(false);
    std::cerr << "\n";
    if (const std::optional<std::string> path = AskForPath()) {
        bool loaded = false;
        // On the document's worker, as in the window: this thread goes on showing the board.
        const bool started = Doc().StartTransfer(
            [&] { loaded = LoadAnyFile(Doc(), *path, false, context.err); });
        if (started) Doc().WaitForTransfer();
        if (!CCliUi::Interrupted()) notices.Say(loaded ? "--- loaded " + *path + " ---" : "--- not loaded ---");
    }
    if (CCliUi::Interrupted() && CCliUi::LastSignal() == SIGINT) {
        notices.Say("--- cancelled ---");
        CCliUi::ClearInterrupted();
    }
    tty->MakeRaw();
    SetTerminalAddsCr(false);
    notices.SetRaw(true);
}

bool Term::RunCommand(int key) {
    switch (key) {
        case 'q':
        case 'Q':
            return false;
        case 'b':
        case 'B':
            notices.Say("--- Break ---");
            Doc().OnSendBreak();
            return true;
        case 'l':
        case 'L':
            LoadFile();
            return true;
        case '?':
        case 'h':
        case 'H':
            notices.Say(kCommandHelp);
            return true;
        default:
            notices.Say("--- Ctrl-] " + (key >= 0x20 && key < 0x7F ? std::string(1, char(key)) : "^" + std::string(1, char(key ^ 0x40))) +
                        " is not a command; Ctrl-] ? lists them ---");
            return true;
    }
}

// What ended the session, as the exit code.
int Ending(Term& term) {
    if (term.Ended()) return kExitInterrupted;
    if (term.OutputFailed()) {
        term.notices.Say("tarvoline-cli term: standard output is gone");
        return kExitFailure;
    }
    term.notices.Say("tarvoline-cli term: the line is gone");
    return kExitFailure;
}

bool Running(Term& term) {
    return !term.Ended() && !term.DeviceGone() && !term.OutputFailed();
}

int Interactive(Term& term) {
    CKeyTranslator keys(LocaleIsUtf8());
    if (!term.tty->MakeRaw()) {
        term.notices.Say("tarvoline-cli term: the terminal refused raw mode: " +
                         std::string(std::strerror(errno)));
        return kExitFailure;
    }
    term.notices.SetRaw(true);
    term.notices.Say("--- " + term.Doc().LineStatus() + "; Ctrl-] ? help, Ctrl-] q quit ---");
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastKey{};
    while (Running(term)) {
        const bool input = term.loop.Wait(STDIN_FILENO, keys.Pending() ? kEscapePause : -1ms);
        if (!Running(term)) break;
        std::vector<KeyAction> actions;
        if (input) {
            unsigned char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;  // the terminal went
            if (n > 0) actions = keys.Feed(buffer, static_cast<size_t>(n));
            lastKey = Clock::now();
        } else if (keys.Pending() && Clock::now() - lastKey >= kEscapePause) {
            // Only a real pause settles a lone ESC; the board's bytes also end a wait.
            actions = keys.Idle();
        }
        for (const KeyAction& a : actions) {
            if (a.kind == KeyAction::Send && a.value == kCtrlC && term.Waiting()) {
                // No board to take it: Ctrl-C is the user's way out, as in a shell.
                term.tty->Restore();
                term.notices.SetRaw(false);
                return kExitInterrupted;
            }
            if (a.kind == KeyAction::Send) {
                term.Doc().SendChar(a.value);
            } else if (!term.RunCommand(a.value)) {
                term.tty->Restore();
                term.notices.SetRaw(false);
                return kExitSuccess;
            }
        }
    }
    const int code = Ending(term);
    term.tty->Restore();
    return code;
}

int Scripted(Term& term) {
    using Clock = std::chrono::steady_clock;
    bool inputOpen = true;
    bool afterCr = false;
    Clock::time_point ended{}, lastSent = Clock::now();
    while (Running(term)) {
        // While the device is away the input waits: a line sent now would be lost.
        const bool waiting = term.Waiting();
        if (!inputOpen) {
            // Quiet since the last byte either way: the answer to the last line has come.
            // A device still away at the end of the tail is a line that is gone.
            const auto now = Clock::now();
            const auto lastTraffic = std::max(term.LastReceived(), lastSent);
            if (now - ended >= kScriptTail && waiting) break;
            if (!waiting && (now - lastTraffic >= kScriptQuiet || now - ended >= kScriptTail)) {
                if (term.hex) term.hex->EndOpenLine();
                return kExitSuccess;
            }
        }
        const bool readInput = inputOpen && !waiting;
        const bool input = term.loop.Wait(readInput ? STDIN_FILENO : -1, readInput ? -1ms : 50ms);
        if (!input || !Running(term)) continue;
        unsigned char buffer[kScriptChunk];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            inputOpen = false;
            ended = Clock::now();
            continue;
        }
        // As a paste in the window: the monitor ends a command on CR, so a bare LF goes out
        // as CR LF; a CR LF stays as it is.
        std::string bytes;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n' && !afterCr) bytes += '\r';
            bytes += static_cast<char>(buffer[i]);
            afterCr = buffer[i] == '\r';
        }
        if (!term.Doc().SendBlock(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()))) {
            term.notices.Say("tarvoline-cli term: the line took no more input");
            return kExitFailure;
        }
        lastSent = Clock::now();
    }
    return Ending(term);
}

}  // namespace

int RunTerm(const CommandContext& context) {
    PortOptions port;
    std::vector<std::string> files;
    bool reconnect = true;
    bool titles = false;
    bool hex = false;
    std::vector<std::string> arguments;
    for (const std::string& a : context.arguments) {
        if (a == "--no-reconnect")
            reconnect = false;
        else if (a == "--titles")
            titles = true;
        else if (a == "--hex")
            hex = true;
        else
            arguments.push_back(a);
    }
    if (!ParseArguments(context, "term", arguments, port, {}, files)) return kExitUsage;
    if (!files.empty()) {
        UsageError(context, "term", "takes no file: " + files[0]);
        return kExitUsage;
    }
    std::signal(SIGPIPE, SIG_IGN);  // a closed output is told by the write
    const bool interactive = ::isatty(STDIN_FILENO) == 1;
    CShellView view(STDOUT_FILENO, ::isatty(STDOUT_FILENO) == 1, LocaleIsUtf8());
    CNotices notices;
    view.SetNoticeHandler([&notices](const std::string& line) { notices.Say(line); });
    view.SetWaitsForDevice(reconnect);
    view.SetPassTitles(titles);
    if (ShareOneFile(STDOUT_FILENO, STDERR_FILENO)) notices.SetBoardView(&view);
    std::optional<CTtyMode> tty;
    if (interactive) tty.emplace(STDIN_FILENO);
    std::optional<CHexTermView> hexView;
    if (hex) {
        hexView.emplace(STDOUT_FILENO, ::isatty(STDOUT_FILENO) == 1);
        hexView->SetNoticeHandler([&notices](const std::string& line) { notices.Say(line); });
    }
    Session session(context, port, hexView ? static_cast<ITerminalView*>(&*hexView) : &view);
    if (!session.Connected()) return session.ExitCode(false);
    CLineLoop loop(session.calls, true);
    Term term{context, session, view,     loop, notices, tty ? &*tty : nullptr,
              reconnect, hexView ? &*hexView : nullptr};
    return interactive ? Interactive(term) : Scripted(term);
}

}  // namespace tarvoline::cli
