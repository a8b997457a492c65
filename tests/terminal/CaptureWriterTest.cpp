// The capture writer without a window: the start procedure with its questions, the exact bytes
// in the file, pause and resume, the enabling rules, what it refuses to write to, a write that
// fails, and the "Transfer" settings.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <vector>

#include "document/MemorySettingsStore.h"
#include "terminal/CaptureWriter.h"

namespace {

namespace fs = std::filesystem;

class CScriptedQuestions : public ICaptureQuestions {
public:
    std::optional<std::string> AskFileName() override {
        asked.push_back("file");
        return fileName;
    }
    std::optional<int> AskWriteMode() override {
        asked.push_back("mode");
        return writeMode;
    }
    std::optional<bool> AskIncludeBuffer() override {
        asked.push_back("buffer");
        return includeBuffer;
    }
    void TellCannotOpen(const std::string& message) override { told.push_back(message); }
    std::vector<std::string> told;
    std::optional<std::string> fileName;
    std::optional<int> writeMode = capture::kOverwrite;
    std::optional<bool> includeBuffer = false;
    std::vector<std::string> asked;
};

class CaptureWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("capture-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        path = (dir / "CAPTURE.TXT").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    void Fixed(int write, int include) {
        store.WriteProfileInt(kCaptureSection, kPromptForFilenameKey, 2);
        store.WriteProfileString(kCaptureSection, kPromptPathNameKey, path);
        store.WriteProfileInt(kCaptureSection, kWriteModeKey, write);
        store.WriteProfileInt(kCaptureSection, kIncludeBufferTextKey, include);
    }
    bool Start(const std::function<bool()>& buffer = {}) {
        return writer.Start(&store, "/nonexistent/CAPTURE.TXT", questions, buffer);
    }
    void Write(const std::string& bytes) {
        writer.CaptureText(reinterpret_cast<const unsigned char*>(bytes.data()),
                           static_cast<int>(bytes.size()));
    }
    std::string FileBytes() const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    std::string path;
    CMemorySettingsStore store;
    CScriptedQuestions questions;
    CCaptureWriter writer;
};

TEST_F(CaptureWriterTest, FixedSettingsStartAsksNothingAndAppends) {
    { std::ofstream(path, std::ios::binary) << "old\r\n"; }
    Fixed(capture::kAppend, capture::kIncludeNo);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_TRUE(writer.IsCapturing());
    EXPECT_FALSE(writer.IsPaused());
    Write("new\r\n");
    writer.Stop();
    EXPECT_EQ("old\r\nnew\r\n", FileBytes());
}

TEST_F(CaptureWriterTest, OverwriteTruncates) {
    { std::ofstream(path, std::ios::binary) << "old text"; }
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    ASSERT_TRUE(Start());
    Write("x");
    writer.Stop();
    EXPECT_EQ("x", FileBytes());
}

TEST_F(CaptureWriterTest, BytesAreKeptExactlyWithCrLfLineEnds) {
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    ASSERT_TRUE(Start());
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    Write("a\r\nb\r\n");
    Write(all);
    writer.Stop();
    EXPECT_EQ("a\r\nb\r\n" + all, FileBytes());
}

TEST_F(CaptureWriterTest, AllAskedInOrderAndCancelInTheSecondLeavesCaptureOff) {
    Fixed(1, 1);
    store.WriteProfileInt(kCaptureSection, kPromptForFilenameKey, 1);
    questions.fileName = path;
    questions.writeMode.reset();
    EXPECT_FALSE(Start());
    EXPECT_EQ((std::vector<std::string>{"file", "mode"}), questions.asked);
    EXPECT_FALSE(writer.IsCapturing());
    EXPECT_FALSE(writer.IsFileOpen());
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(CaptureWriterTest, CancelInAnyQuestionLeavesCaptureOff) {
    for (int cancelled = 0; cancelled < 3; ++cancelled) {
        CScriptedQuestions q;
        q.fileName = path;
        if (cancelled == 0) q.fileName.reset();
        if (cancelled == 1) q.writeMode.reset();
        if (cancelled == 2) q.includeBuffer.reset();
        CCaptureWriter w;
        EXPECT_FALSE(w.Start(&store, path, q, {})) << cancelled;
        EXPECT_EQ(static_cast<size_t>(cancelled + 1), q.asked.size());
        EXPECT_FALSE(w.IsCapturing());
        EXPECT_FALSE(w.IsPaused());
    }
}

TEST_F(CaptureWriterTest, AnswersOfTheQuestionsAreUsedAndNotStored) {
    questions.fileName = path;
    questions.writeMode = capture::kAppend;
    questions.includeBuffer = false;
    ASSERT_TRUE(Start());
    EXPECT_EQ((std::vector<std::string>{"file", "mode", "buffer"}), questions.asked);
    EXPECT_TRUE(store.WriteLog().empty());
    EXPECT_TRUE(writer.IsFileOpen());
}

TEST_F(CaptureWriterTest, SettingsOtherThanTheFixedValuesAsk) {
    Fixed(0, 7);
    store.WriteProfileInt(kCaptureSection, kPromptForFilenameKey, 3);
    questions.fileName = path;
    ASSERT_TRUE(Start());
    EXPECT_EQ((std::vector<std::string>{"file", "mode", "buffer"}), questions.asked);
}

TEST_F(CaptureWriterTest, IncludedBufferTextComesFirst) {
    Fixed(capture::kOverwrite, capture::kIncludeYes);
    ASSERT_TRUE(Start([&] {
        // Capture is on while the buffer is written.
        Write("a\r\nb");
        return true;
    }));
    Write("c");
    writer.Stop();
    EXPECT_EQ("a\r\nbc", FileBytes());
}

TEST_F(CaptureWriterTest, IncludeBufferWithoutATerminalLeavesCaptureOff) {
    Fixed(capture::kOverwrite, capture::kIncludeYes);
    EXPECT_FALSE(Start([] { return false; }));
    EXPECT_FALSE(writer.IsCapturing());
    EXPECT_FALSE(writer.IsFileOpen());
}

TEST_F(CaptureWriterTest, BufferAnsweredNoIsNotWritten) {
    Fixed(capture::kOverwrite, capture::kAsk);
    bool called = false;
    ASSERT_TRUE(Start([&] { return called = true; }));
    EXPECT_FALSE(called);
}

TEST_F(CaptureWriterTest, PausedDataIsMissingAfterResume) {
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    ASSERT_TRUE(Start());
    Write("one ");
    writer.Pause();
    EXPECT_TRUE(writer.IsPaused());
    EXPECT_TRUE(writer.IsCapturing());
    Write("lost ");
    writer.Resume();
    Write("two");
    writer.Stop();
    EXPECT_EQ("one two", FileBytes());
}

TEST_F(CaptureWriterTest, FileThatCannotBeOpenedLeavesCaptureOffAndSaysWhy) {
    const std::string missing = (dir / "missing" / "x.txt").string();
    const std::pair<std::string, std::string> cases[] = {
        {missing, "Cannot open capture file " + missing + ": No such file or directory"},
        {dir.string(), "Cannot open capture file " + dir.string() + ": Is a directory"},
        {std::string(), "Cannot open capture file : No such file or directory"}};
    for (const auto& [bad, message] : cases) {
        Fixed(capture::kOverwrite, capture::kIncludeNo);
        store.WriteProfileString(kCaptureSection, kPromptPathNameKey, bad);
        questions.told.clear();
        EXPECT_FALSE(Start()) << bad;
        EXPECT_FALSE(writer.IsCapturing());
        EXPECT_FALSE(writer.IsFileOpen());
        EXPECT_EQ(questions.told, std::vector<std::string>{message});
    }
}

TEST_F(CaptureWriterTest, ASymbolicLinkAtTheFileNameIsRefusedInEitherMode) {
    // A link planted at the capture's name would send the terminal's text into the file it
    // points to, appended or over it; and a link to a missing file would create that file.
    fs::create_directory(dir / "home");
    const std::string profile = (dir / "home" / ".profile").string();
    { std::ofstream(profile, std::ios::binary) << "export PATH=/usr/bin\n"; }
    fs::create_symlink(profile, path);
    const std::string refused =
        "Cannot open capture file " + path + ": it is a symbolic link, and the capture does not follow links";
    for (int mode : {capture::kOverwrite, capture::kAppend}) {
        Fixed(mode, capture::kIncludeNo);
        questions.told.clear();
        EXPECT_FALSE(Start()) << mode;
        EXPECT_FALSE(writer.IsCapturing());
        EXPECT_FALSE(writer.IsFileOpen());
        EXPECT_EQ(questions.told, std::vector<std::string>{refused});
    }
    std::ifstream in(profile, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "export PATH=/usr/bin\n");

    fs::remove(path);
    fs::create_symlink(dir / "home" / ".profile2", path);
    Fixed(capture::kAppend, capture::kIncludeNo);
    questions.told.clear();
    EXPECT_FALSE(Start());
    EXPECT_EQ(questions.told, std::vector<std::string>{refused});
    EXPECT_FALSE(fs::exists(dir / "home" / ".profile2"));
}

TEST_F(CaptureWriterTest, ALinkAmongTheFoldersOnTheWayIsFollowedAsAnyPathIs) {
    // Only the file's own name is guarded: a folder reached through a link is the user's choice.
    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "via");
    path = (dir / "via" / "CAPTURE.TXT").string();
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    ASSERT_TRUE(Start());
    Write("kept");
    writer.Stop();
    std::ifstream in(dir / "real" / "CAPTURE.TXT", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");
}

TEST_F(CaptureWriterTest, ANamedPipeOrADeviceIsRefusedWithoutWaiting) {
    // Opening a named pipe for writing waits until some program reads it; the capture must not
    // wait at all. Should it ever wait, the test opens the pipe's reading end itself, which ends
    // the wait, and fails.
    ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600));
    for (int mode : {capture::kOverwrite, capture::kAppend}) {
        Fixed(mode, capture::kIncludeNo);
        questions.told.clear();
        auto started = std::async(std::launch::async, [&] { return Start(); });
        int reader = -1;
        if (started.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
            ADD_FAILURE() << "the capture waited in the open of a named pipe";
        }
        EXPECT_FALSE(started.get()) << mode;
        writer.Stop();
        if (reader >= 0) ::close(reader);
        EXPECT_FALSE(writer.IsCapturing());
        EXPECT_FALSE(writer.IsFileOpen());
        EXPECT_EQ(questions.told,
                  std::vector<std::string>{"Cannot open capture file " + path +
                                           ": it is a named pipe, not a regular file"});
    }

    // A pipe that someone reads would not make the open wait, and is still no capture file.
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    Fixed(capture::kAppend, capture::kIncludeNo);
    questions.told.clear();
    EXPECT_FALSE(Start());
    EXPECT_EQ(questions.told,
              std::vector<std::string>{"Cannot open capture file " + path +
                                       ": it is a named pipe, not a regular file"});
    ::close(reader);

    path = "/dev/null";
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    questions.told.clear();
    EXPECT_FALSE(Start());
    EXPECT_FALSE(writer.IsFileOpen());
    EXPECT_EQ(questions.told, std::vector<std::string>{
                                  "Cannot open capture file /dev/null: it is a device, not a regular file"});
}

// What a child process saw of a capture: the messages of the stopped handler, whether capture
// was still on, and the file's bytes as the child read them back.
struct ChildReport {
    bool exited = false;
    int code = -1;
    std::vector<std::string> fields;
};

// Runs body in a child process, which writes its findings as NUL-ended fields to the given
// descriptor. The parent waits at most 30 s, then kills the child.
ChildReport RunInChild(const std::function<void(int out)>& body) {
    ChildReport report;
    int fds[2];
    if (::pipe(fds) != 0) return report;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        body(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != pid) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    report.exited = WIFEXITED(status);
    report.code = report.exited ? WEXITSTATUS(status) : -1;
    for (size_t start = 0, end; (end = bytes.find('\0', start)) != std::string::npos;
         start = end + 1)
        report.fields.push_back(bytes.substr(start, end - start));
    return report;
}

void Field(int out, const std::string& text) {
    const std::string bytes = text + '\0';
    [[maybe_unused]] const ssize_t n = ::write(out, bytes.data(), bytes.size());
}

std::string ReadAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The capture runs until the file can take no more: the next piece stops it, the handler is
// told once with the system's text, later pieces go nowhere, and the file keeps what was written
// before. The report's fields: each message, then "on"/"off", then the file's bytes.
void CaptureUntilFull(CCaptureWriter& writer, int out) {
    std::vector<std::string> told;
    writer.SetStoppedHandler([&](const std::string& message) { told.push_back(message); });
    const std::string big(64 * 1024, 'x');
    auto write = [&](const std::string& bytes) {
        writer.CaptureText(reinterpret_cast<const unsigned char*>(bytes.data()),
                           static_cast<int>(bytes.size()));
    };
    write("kept line\r\n");
    write(big);
    write("after\r\n");
    writer.Stop();
    for (const std::string& message : told) Field(out, message);
    Field(out, writer.IsCapturing() || writer.IsFileOpen() ? "on" : "off");
}

TEST_F(CaptureWriterTest, AFileTooLargeStopsTheCaptureAndSaysWhy) {
    // The file-size limit stands in for a full disk: the write that passes it fails with EFBIG.
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    const ChildReport report = RunInChild([&](int out) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        if (!Start()) return;
        CaptureUntilFull(writer, out);
    });
    ASSERT_TRUE(report.exited);
    EXPECT_EQ(report.fields,
              (std::vector<std::string>{"Capture to " + path + " stopped: File too large", "off"}));
    const std::string kept = FileBytes();
    EXPECT_EQ(kept.rfind("kept line\r\nx", 0), 0u) << kept.substr(0, 40);
    EXPECT_LE(kept.size(), 4096u);
    EXPECT_EQ(kept.find("after"), std::string::npos);
}

TEST_F(CaptureWriterTest, TerminalTextThatDoesNotFitLeavesCaptureOffAndSaysWhy) {
    Fixed(capture::kOverwrite, capture::kIncludeYes);
    const ChildReport report = RunInChild([&](int out) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<std::string> told;
        writer.SetStoppedHandler([&](const std::string& message) { told.push_back(message); });
        const bool started = Start([&] {
            Write("the terminal's text, longer than the limit\r\n");
            return true;
        });
        for (const std::string& message : told) Field(out, message);
        Field(out, started ? "started" : "not started");
        Field(out, writer.IsCapturing() || writer.IsFileOpen() ? "on" : "off");
    });
    ASSERT_TRUE(report.exited);
    EXPECT_EQ(report.fields,
              (std::vector<std::string>{"Capture to " + path + " stopped: File too large",
                                        "not started", "off"}));
}

TEST_F(CaptureWriterTest, AFullFileSystemStopsTheCaptureAndSaysWhy) {
    // A small file system of its own, in a mount namespace of the child's own, so nothing is
    // left mounted whatever happens. It needs the right to mount; without it the test is skipped
    // (the file-size limit above takes the same way out of the writer).
    const fs::path small = dir / "small";
    fs::create_directory(small);
    path = (small / "CAPTURE.TXT").string();
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    const ChildReport report = RunInChild([&](int out) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=16k") != 0)
            ::_exit(77);
        if (!Start()) return;
        CaptureUntilFull(writer, out);
        Field(out, ReadAll(path));
    });
    ASSERT_TRUE(report.exited);
    if (report.code == 77) GTEST_SKIP() << "no right to mount a file system here";
    ASSERT_EQ(report.fields.size(), 3u);
    EXPECT_EQ(report.fields[0], "Capture to " + path + " stopped: No space left on device");
    EXPECT_EQ(report.fields[1], "off");
    const std::string& kept = report.fields[2];
    EXPECT_EQ(kept.rfind("kept line\r\nx", 0), 0u) << kept.substr(0, 40);
    EXPECT_LE(kept.size(), 16u * 1024);
    EXPECT_EQ(kept.find("after"), std::string::npos);
}

TEST_F(CaptureWriterTest, NothingIsWrittenWhileOff) {
    Write("before");
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    ASSERT_TRUE(Start());
    writer.Stop();
    Write("after");
    EXPECT_EQ("", FileBytes());
}

struct EnablingCase {
    const char* state;
    bool start, stop, pause, resume, options;
};

void PrintTo(const EnablingCase& c, std::ostream* os) { *os << c.state; }

class CaptureEnabling : public CaptureWriterTest,
                        public ::testing::WithParamInterface<EnablingCase> {};

TEST_P(CaptureEnabling, FollowsTheState) {
    const EnablingCase& c = GetParam();
    Fixed(capture::kOverwrite, capture::kIncludeNo);
    if (std::string(c.state) != "off") {
        ASSERT_TRUE(Start());
    }
    if (std::string(c.state) == "paused") writer.Pause();
    EXPECT_EQ(c.start, writer.CanStart());
    EXPECT_EQ(c.stop, writer.CanStop());
    EXPECT_EQ(c.pause, writer.CanPause());
    EXPECT_EQ(c.resume, writer.CanResume());
    EXPECT_EQ(c.options, writer.CanChangeOptions());
}

INSTANTIATE_TEST_SUITE_P(States, CaptureEnabling,
                         ::testing::Values(EnablingCase{"off", true, false, false, false, true},
                                           EnablingCase{"on", false, true, true, false, false},
                                           EnablingCase{"paused", false, true, false, true,
                                                        false}),
                         [](const auto& info) { return std::string(info.param.state); });

TEST(CaptureSettings, ReadDefaultsAndWriteAllFour) {
    CMemorySettingsStore store;
    const CCaptureSettings absent = CCaptureSettings::Read(&store, "");
    EXPECT_EQ(0, absent.m_nPromptForFilename);
    EXPECT_EQ(0, absent.m_nWriteMode);
    EXPECT_EQ(0, absent.m_nIncludeBuffer);
    EXPECT_EQ("", absent.m_strPathName);
    EXPECT_EQ("/home/x/CAPTURE.TXT", CCaptureSettings::Read(&store, "/home/x/CAPTURE.TXT")
                                         .m_strPathName);
    absent.Write(store);
    EXPECT_EQ(0, store.GetProfileInt("Transfer", "Prompt For Filename", -1));
    EXPECT_EQ(0, store.GetProfileInt("Transfer", "Write Mode", -1));
    EXPECT_EQ(0, store.GetProfileInt("Transfer", "Include Buffer Text", -1));
    EXPECT_EQ("", store.GetProfileString("Transfer", "Prompt Path Name", "x"));
    EXPECT_TRUE(store.Find("Transfer", "Prompt Path Name").has_value());
}

}  // namespace
