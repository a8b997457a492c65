#include "CaptureWriter.h"

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

    // Binary mode: the bytes go to the file exactly as the terminal has them.
    m_pCaptureFile = path.empty() ? nullptr
                                  : std::fopen(path.c_str(), mode == capture::kAppend ? "ab" : "wb");
    if (!m_pCaptureFile) {
        const int error = path.empty() ? ENOENT : errno;
        Abort();
        questions.TellCannotOpen("Cannot open capture file " + path + ": " + std::strerror(error));
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
