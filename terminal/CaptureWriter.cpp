#include "CaptureWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio_ext.h>

#include <cerrno>
#include <cstring>

#include "document/SettingsStore.h"

CCaptureSettings CCaptureSettings::Read(const ISettingsStore* store,
                                        const std::string& defaultPath) {
    CCaptureSettings s;
    s.m_strPathName = defaultPath;
    if (!store) return s;
    s.m_nPromptForFilename = store->GetProfileInt(kCaptureSection, kPromptForFilenameKey, 0);
    s.m_strPathName = store->GetProfileString(kCaptureSection, kPromptPathNameKey, defaultPath);
    s.m_nWriteMode = store->GetProfileInt(kCaptureSection, kWriteModeKey, 0);
    s.m_nIncludeBuffer = store->GetProfileInt(kCaptureSection, kIncludeBufferTextKey, 0);
    s.m_bTimeStamps = store->GetProfileInt(kCaptureSection, kTimeStampsInCaptureKey, 0) == 1;
    s.m_bStripEscapes = store->GetProfileInt(kCaptureSection, kStripEscapesKey, 0) == 1;
    return s;
}

void CCaptureSettings::Write(ISettingsStore& store) const {
    store.WriteProfileInt(kCaptureSection, kWriteModeKey, m_nWriteMode);
    store.WriteProfileInt(kCaptureSection, kIncludeBufferTextKey, m_nIncludeBuffer);
    store.WriteProfileInt(kCaptureSection, kPromptForFilenameKey, m_nPromptForFilename);
    store.WriteProfileString(kCaptureSection, kPromptPathNameKey, m_strPathName);
    store.WriteProfileInt(kCaptureSection, kTimeStampsInCaptureKey, m_bTimeStamps ? 1 : 0);
    store.WriteProfileInt(kCaptureSection, kStripEscapesKey, m_bStripEscapes ? 1 : 0);
}

namespace {

// Why an existing name is not a file the capture writes to; null for a regular file and for a
// symbolic link, which the open refuses with its own explanation.
const char* NotARegularFile(mode_t mode) {
    if (S_ISREG(mode) || S_ISLNK(mode)) return nullptr;
    if (S_ISFIFO(mode)) return "it is a named pipe, not a regular file";
    if (S_ISDIR(mode)) return std::strerror(EISDIR);
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
    if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
    return "it is not a regular file";
}

// The capture is a stream that others may read while it grows, so it is written in place, not
// through a temporary file. It never follows a symbolic link at its name: the name may sit in
// a folder others can write to, and a planted link would send the terminal's text, appended
// or over the old contents, into any file the user may write. It writes only to a regular
// file: opening a named pipe waits, in the window's thread, until some program reads it, and
// opening a device can change it (a serial line's modem lines, a tape's position). So the name
// is looked at first, and the open itself neither waits nor takes a terminal, in case another
// kind of file took the name in between; what it opened is looked at again. The bytes go to the
// file exactly as the terminal has them (binary: no line-end translation).
std::FILE* OpenCaptureFile(const std::string& path, bool append, std::string& why) {
    if (path.empty()) {
        why = std::strerror(ENOENT);
        return nullptr;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (const char* reason = NotARegularFile(st.st_mode)) {
            why = reason;
            return nullptr;
        }
    }
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY |
                      (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0) {
        const int error = errno;
        // ELOOP is also the answer to a loop of links in the folders on the way; only a link
        // at the name itself gets the plain explanation. A named pipe that took the name since
        // answers ENXIO when nobody reads it.
        const bool named = ::lstat(path.c_str(), &st) == 0;
        const char* reason = named ? NotARegularFile(st.st_mode) : nullptr;
        if (error == ELOOP && named && S_ISLNK(st.st_mode))
            why = "it is a symbolic link, and the capture does not follow links";
        else if (reason)
            why = reason;
        else
            why = std::strerror(error);
        return nullptr;
    }
    if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (const char* reason = NotARegularFile(st.st_mode)) {
        why = reason;
        ::close(fd);
        return nullptr;
    }
    // Writes to a regular file never wait anyway; the descriptor gets the ordinary flags back.
    ::fcntl(fd, F_SETFL, append ? O_APPEND : 0);
    std::FILE* file = ::fdopen(fd, append ? "ab" : "wb");
    if (!file) {
        why = std::strerror(errno);
        ::close(fd);
    }
    return file;
}

}  // namespace

// The owner stops the capture while it can still hear of a failed close; one that did not is
// past telling.
CCaptureWriter::~CCaptureWriter() {
    m_stoppedHandler = nullptr;
    Stop();
}

void CCaptureWriter::Abort() {
    if (m_pCaptureFile) std::fclose(m_pCaptureFile);
    m_pCaptureFile = nullptr;
    m_bCapturing = 0;
    m_bCapturePaused = 0;
}

void CCaptureWriter::StopFailed(int error) {
    if (m_pCaptureFile) {
        // What the stream still holds was not written and would only go after the failure, out
        // of order with what the user is told; the file keeps what was written before.
        ::__fpurge(m_pCaptureFile);
        std::fclose(m_pCaptureFile);
    }
    m_pCaptureFile = nullptr;
    m_bCapturing = 0;
    m_bCapturePaused = 0;
    m_line = CCaptureLine();
    TellStopped(error);
}

void CCaptureWriter::TellStopped(int error) {
    if (m_stoppedHandler)
        m_stoppedHandler("Capture to " + m_strPath + " stopped: " + std::strerror(error));
}

bool CCaptureWriter::Start(const ISettingsStore* store, const std::string& defaultPath,
                           ICaptureQuestions& questions,
                           const std::function<bool()>& writeBuffer) {
    m_bCapturing = 1;
    m_bCapturePaused = 0;
    const CCaptureSettings settings = CCaptureSettings::Read(store, defaultPath);

    std::string path;
    if (settings.m_nPromptForFilename == capture::kFixedFilename) {
        path = settings.m_strPathName;
    } else {
        const auto answer = questions.AskFileName();
        if (!answer) {
            Abort();
            return false;
        }
        path = *answer;
    }

    int mode = settings.m_nWriteMode;
    if (mode != capture::kOverwrite && mode != capture::kAppend) {
        const auto answer = questions.AskWriteMode();
        if (!answer) {
            Abort();
            return false;
        }
        mode = *answer;
    }

    bool includeBuffer = settings.m_nIncludeBuffer == capture::kIncludeYes;
    if (settings.m_nIncludeBuffer != capture::kIncludeYes &&
        settings.m_nIncludeBuffer != capture::kIncludeNo) {
        const auto answer = questions.AskIncludeBuffer();
        if (!answer) {
            Abort();
            return false;
        }
        includeBuffer = *answer;
    }

    std::string why;
    m_pCaptureFile = OpenCaptureFile(path, mode == capture::kAppend, why);
    if (!m_pCaptureFile) {
        Abort();
        questions.TellCannotOpen("Cannot open capture file " + path + ": " + why);
        return false;
    }
    m_strPath = path;
    m_line = CCaptureLine(settings.m_bStripEscapes == 0);
    if (includeBuffer && !(writeBuffer && writeBuffer())) {
        Abort();
        return false;
    }
    // The terminal's text goes to the file now, all but a line it has not ended yet.
    if (Taking()) Write(m_line.TakeComplete());
    // A write of the terminal's text that failed has stopped the capture and said so.
    return IsCapturing();
}

void CCaptureWriter::Stop() {
    if (Taking()) Write(m_line.TakeAll());
    m_line = CCaptureLine();
    std::FILE* file = m_pCaptureFile;
    m_pCaptureFile = nullptr;
    m_bCapturing = 0;
    m_bCapturePaused = 0;
    if (file && std::fclose(file) != 0) TellStopped(errno);
}

void CCaptureWriter::Pause() {
    if (Taking()) Write(m_line.TakeAll());
    m_bCapturePaused = 1;
}

void CCaptureWriter::CaptureQuiet() {
    if (Taking()) Write(m_line.TakeAll());
}

void CCaptureWriter::CaptureText(const unsigned char* bytes, int count) {
    if (!Taking() || count <= 0) return;
    m_line.Append(bytes, count);
    Write(m_line.TakeReady());
}

void CCaptureWriter::CaptureBackspace() {
    if (Taking()) m_line.Backspace();
}

void CCaptureWriter::CaptureCarriageReturn(int firstColumn, bool takeBackLineEnd) {
    if (!Taking()) return;
    m_line.CarriageReturn(firstColumn, takeBackLineEnd);
    Write(m_line.TakeReady());
}

void CCaptureWriter::CaptureMoveToColumn(int column) {
    if (Taking()) m_line.MoveToColumn(column);
}

void CCaptureWriter::CaptureEraseInLine(int mode, int firstColumn) {
    if (Taking()) m_line.EraseInLine(mode, firstColumn);
}

void CCaptureWriter::CaptureSequence(const unsigned char* bytes, int count) {
    if (!Taking() || count <= 0) return;
    m_line.Sequence(bytes, count);
    Write(m_line.TakeReady());
}

void CCaptureWriter::CaptureHoldLineEnd() {
    if (Taking()) m_line.HoldNextLineEnd();
}

void CCaptureWriter::CaptureLineEndSettled() {
    if (!Taking()) return;
    m_line.SettleLineEnd();
    Write(m_line.TakeReady());
}

void CCaptureWriter::Write(const std::string& bytes) {
    if (bytes.empty() || !m_pCaptureFile) return;
    // Each piece reaches the file at once: a capture can be followed while it runs, nothing
    // shown is lost if the program ends without a Stop, and a full disk is found at the piece
    // it cut short, not at some later flush.
    errno = 0;
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), m_pCaptureFile);
    if (written != bytes.size() || std::fflush(m_pCaptureFile) != 0)
        StopFailed(errno != 0 ? errno : EIO);
}
