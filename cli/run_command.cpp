// tarvoline-cli run FILE: a test program on the board, for hardware-in-the-loop tests. The
// file is loaded and started as `load` does; the line stays open (the program's first output
// is read like the rest) and the board's output is copied to standard output until the
// program's output (what follows the monitor's line announcing the start) matches --until
// (exit 0) or --fail-on (1), the device goes (1), or --timeout passes (124).

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "commands.h"
#include "download/PosixRegex.h"
#include "line_loop.h"
#include "load_any.h"
#include "session.h"
#include "shell_view.h"

namespace tarvoline::cli {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A search of the whole output for each byte would cost more than the line brings; new
// output is searched at most this often, and once more when the line goes quiet.
constexpr auto kSearchInterval = 20ms;

// --until or --fail-on: none when not given.
using Pattern = std::optional<CPosixRegex>;

bool Matches(const Pattern& pattern, const std::string& text) {
    return pattern && pattern->Matches(text);
}

// "5", "2.5", "90s", "2m", "1h": seconds as timeout(1) reads them.
std::optional<std::chrono::milliseconds> ParseDuration(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !(value > 0) || value > 1e6) return std::nullopt;
    double scale = 1;
    const std::string unit(end);
    if (unit == "m") scale = 60;
    else if (unit == "h") scale = 3600;
    else if (!unit.empty() && unit != "s") return std::nullopt;
    return std::chrono::milliseconds(static_cast<long long>(value * scale * 1000));
}

// Ends the wait when the time is up: stops a load still running and wakes the loop.
class CDeadline {
public:
    CDeadline(std::optional<std::chrono::milliseconds> limit, CTarvolineDoc& doc, CLineLoop& loop) {
        if (!limit) return;
        const auto end = Clock::now() + *limit;
        m_thread = std::thread([this, end, &doc, &loop] {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_until(lock, end, [this] { return m_done; })) return;
            m_passed = true;
            doc.StopTransfer();
            loop.Wake();
        });
    }
    ~CDeadline() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    bool Passed() const { return m_passed.load(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_passed{false};
    std::thread m_thread;
};

struct RunArguments {
    PortOptions port;
    std::string file;
    std::optional<std::string> until, failOn, timeout;
    std::optional<std::chrono::milliseconds> limit;
};

std::optional<RunArguments> Parse(const CommandContext& context, Pattern& until, Pattern& failOn) {
    RunArguments a;
    const ValueOption options[] = {{"--until", &a.until}, {"--fail-on", &a.failOn},
                                   {"--timeout", &a.timeout}};
    std::vector<std::string> files;
    if (!ParseArguments(context, "run", context.arguments, a.port, options, files))
        return std::nullopt;
    if (files.size() != 1) {
        UsageError(context, "run", files.empty() ? "which file?" : "one file at a time");
        return std::nullopt;
    }
    a.file = files[0];
    if (a.timeout) {
        a.limit = ParseDuration(*a.timeout);
        if (!a.limit) {
            UsageError(context, "run",
                       "--timeout " + *a.timeout + ": not a time; give seconds, e.g. 30, 2.5 or 2m");
            return std::nullopt;
        }
    }
    for (auto [name, text, pattern] : {std::tuple{"--until", &a.until, &until},
                                       std::tuple{"--fail-on", &a.failOn, &failOn}}) {
        if (!*text) continue;
        const std::string& reason = pattern->emplace(**text, CPosixRegex::Options{.lines = true}).Error();
        if (!reason.empty()) {
            UsageError(context, "run",
                       std::string(name) + " " + **text + ": not a regular expression: " + reason);
            return std::nullopt;
        }
    }
    return a;
}

}  // namespace

int RunRun(const CommandContext& context) {
    Pattern until, failOn;
    const std::optional<RunArguments> args = Parse(context, until, failOn);
    if (!args) return kExitUsage;
    std::signal(SIGPIPE, SIG_IGN);  // a closed output is told by the write

    CShellView view(STDOUT_FILENO, ::isatty(STDOUT_FILENO) == 1, LocaleIsUtf8());
    // The tool's own lines go to standard error; on the same screen as the board's output they
    // start on a line of their own.
    const bool oneScreen = ShareOneFile(STDOUT_FILENO, STDERR_FILENO);
    const auto ownLine = [&]() -> std::ostream& {
        if (oneScreen) view.EndOpenLine();
        return context.err;
    };
    // Nothing before the program's start is its output; what the board says at the end of the
    // load is shown (a staged start's own words among it), never judged.
    view.SetShowing(false);
    view.SetNoticeHandler([&](const std::string& line) { ownLine() << line << "\n"; });
    Session session(context, args->port, &view);
    session.doc->SetBoardWordsHandler([&view](const std::string& text) { view.ShowBoardWords(text); });
    // The load runs on this thread: its messages may end the view's line.
    session.ui.SetBeforeMessage([&] { if (oneScreen) view.EndOpenLine(); });
    if (!session.Connected()) return session.ExitCode(false);
    CLineLoop loop(session.calls, false);
    CDeadline deadline(args->limit, *session.doc, loop);

    const auto timedOut = [&] {
        ownLine() << "tarvoline-cli run: no verdict within --timeout " << *args->timeout << "\n";
        return kExitTimeout;
    };
    if (!LoadAnyFile(*session.doc, args->file, true, context.err)) {
        if (deadline.Passed()) return timedOut();
        return session.ExitCode(false);
    }
    // The start has been sent and the loader read nothing after it: what the watcher hands
    // over from here on came after the start, the program's output after the monitor's line
    // announcing it.
    view.StartSent();
    view.SetShowing(true);

    const CProgramOutput& output = view.ProgramOutput();
    std::uint64_t searched = output.Changes();
    Clock::time_point lastSearch{};
    for (;;) {
        const bool fresh = output.Changes() != searched;
        const auto now = Clock::now();
        if (fresh && (now - lastSearch >= kSearchInterval || now - view.LastReceived() >= kSearchInterval)) {
            searched = output.Changes();
            lastSearch = now;
            if (Matches(failOn, output.Text())) {
                ownLine() << "tarvoline-cli run: the output matched --fail-on " << *args->failOn
                          << "\n";
                return kExitFailure;
            }
            if (Matches(until, output.Text())) return kExitSuccess;
        }
        if (CCliUi::Interrupted()) return kExitInterrupted;
        if (deadline.Passed()) return timedOut();
        if (view.OutputFailed()) {
            context.err << "tarvoline-cli run: standard output is gone\n";
            return kExitFailure;
        }
        if (!session.doc->Port()) {
            ownLine() << "tarvoline-cli run: the line is gone\n";
            return kExitFailure;
        }
        loop.Wait(-1, output.Changes() != searched ? kSearchInterval : 1000ms);
    }
}

}  // namespace tarvoline::cli
