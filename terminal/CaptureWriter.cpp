#include "CaptureWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    return s;
}

void CCaptureSettings::Write(ISettingsStore& store) const {
    store.WriteProfileInt(kCaptureSection, kWriteModeKey, m_nWriteMode);
    store.WriteProfileInt(kCaptureSection, kIncludeBufferTextKey, m_nIncludeBuffer);
    store.WriteProfileInt(kCaptureSection, kPromptForFilenameKey, m_nPromptForFilename);
    store.WriteProfileString(kCaptureSection, kPromptPathNameKey, m_strPathName);
    store.WriteProfileInt(kCaptureSection, kTimeStampsInCaptureKey, m_bTimeStamps ? 1 : 0);
}

namespace {

// The capture is a stream that others may read while it grows, so it is written in place, not
// through a temporary file. It never follows a symbolic link at its name: the name may sit in
// a folder others can write to, and a planted link would send the terminal's text, appended
// or over the old contents, into any file the user may write. The bytes go to the file
// exactly as the terminal has them (binary: no line-end translation).
std::FILE* OpenCaptureFile(const std::string& path, bool append, std::string& why) {
    if (path.empty()) {
        why = std::strerror(ENOENT);
        return nullptr;
    }
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        // ELOOP is also the answer to a loop of links in the folders on the way; only a link
        // at the name itself gets the plain explanation.
        if (error == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            why = "it is a symbolic link, and the capture does not follow links";
        else
            why = std::strerror(error);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, append ? "ab" : "wb");
    if (!file) {
        why = std::strerror(errno);
        ::close(fd);
    }
    return file;
}

}  // namespace

CCaptureWriter::~CCaptureWriter() { Stop(); }

void CCaptureWriter::Abort() {
    if (m_pCaptureFile) std::fclose(m_pCaptureFile);
    m_pCaptureFile = nullptr;
    m_bCapturing = 0;
    m_bCapturePaused = 0;
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
    if (includeBuffer && !(writeBuffer && writeBuffer())) {
        Abort();
        return false;
    }
    return true;
}

void CCaptureWriter::Stop() {
    if (m_pCaptureFile) std::fclose(m_pCaptureFile);
    m_pCaptureFile = nullptr;
    m_bCapturing = 0;
    m_bCapturePaused = 0;
}

void CCaptureWriter::CaptureText(const unsigned char* bytes, int count) {
    if (m_bCapturing != 1 || m_bCapturePaused != 0 || !m_pCaptureFile || count <= 0) return;
    std::fwrite(bytes, 1, static_cast<size_t>(count), m_pCaptureFile);
    // Each piece reaches the file at once: a capture can be followed while it runs, and
    // nothing shown is lost if the program ends without a Stop.
    std::fflush(m_pCaptureFile);
}
