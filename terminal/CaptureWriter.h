#pragma once
// Text capture: the capture file and its state (off, on, paused), the writer that the terminal
// hands every appended pass to, the start procedure with its three questions, and the capture
// settings of section "Transfer". Qt-free.
//
// The file holds exactly the bytes handed to CaptureText, in order; it is opened in binary mode
// so the terminal's CR LF line ends stay CR LF. A symbolic link at the file's name is refused,
// never followed. A file that cannot be opened leaves capture off and says why; write errors
// are not noticed.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "terminal/ReceiveRules.h"

class ISettingsStore;

inline constexpr const char* kCaptureSection = "Transfer";
inline constexpr const char* kPromptForFilenameKey = "Prompt For Filename";
inline constexpr const char* kPromptPathNameKey = "Prompt Path Name";
inline constexpr const char* kWriteModeKey = "Write Mode";
inline constexpr const char* kIncludeBufferTextKey = "Include Buffer Text";
inline constexpr const char* kTimeStampsInCaptureKey = "Time Stamps";

// Values of the settings: 1 asks at each start, the others fix the answer.
namespace capture {
inline constexpr int kAsk = 1;
inline constexpr int kFixedFilename = 2;
inline constexpr int kOverwrite = 2;
inline constexpr int kAppend = 3;
inline constexpr int kIncludeYes = 2;
inline constexpr int kIncludeNo = 3;
}  // namespace capture

// The four "Transfer" values as one record.
struct CCaptureSettings {
    int m_nPromptForFilename = 0;
    std::string m_strPathName;
    int m_nWriteMode = 0;
    int m_nIncludeBuffer = 0;
    int m_bTimeStamps = 0;  // the terminal's time stamps go into the capture too

    // Reads the integers with default 0 and the path with the given default.
    static CCaptureSettings Read(const ISettingsStore* store, const std::string& defaultPath);
    // Writes all five values.
    void Write(ISettingsStore& store) const;
};

// The start dialogs' questions. Each answers nothing (std::nullopt) when cancelled.
class ICaptureQuestions {
public:
    virtual ~ICaptureQuestions() = default;
    // The file name typed or browsed for (may be empty).
    virtual std::optional<std::string> AskFileName() = 0;
    // capture::kOverwrite or capture::kAppend.
    virtual std::optional<int> AskWriteMode() = 0;
    // True to write the terminal's text first.
    virtual std::optional<bool> AskIncludeBuffer() = 0;
    // The file could not be opened: the user is told why (capture stays off).
    virtual void TellCannotOpen(const std::string& message) = 0;
};

class CCaptureWriter : public ICaptureSink {
public:
    CCaptureWriter() = default;
    ~CCaptureWriter() override;
    CCaptureWriter(const CCaptureWriter&) = delete;
    CCaptureWriter& operator=(const CCaptureWriter&) = delete;

    // Starts capturing: asks what the settings leave open, opens the file and, when the
    // terminal text is to be included, calls writeBuffer, which hands it to CaptureText and
    // returns false when there is no terminal to take it from. False (capture left off) when a
    // question is cancelled or there is no terminal (nothing reported), or when the file cannot
    // be opened ("Cannot open capture file X: <system text>" through TellCannotOpen; for a
    // symbolic link "...: it is a symbolic link, and the capture does not follow links").
    bool Start(const ISettingsStore* store, const std::string& defaultPath,
               ICaptureQuestions& questions, const std::function<bool()>& writeBuffer);
    // Closes the file and turns capture off.
    void Stop();
    void Pause() { m_bCapturePaused = 1; }
    void Resume() { m_bCapturePaused = 0; }

    // Writes the bytes while capture is on, not paused, and a file is open.
    void CaptureText(const unsigned char* bytes, int count) override;

    bool IsCapturing() const { return m_bCapturing == 1; }
    bool IsPaused() const { return m_bCapturePaused == 1; }
    bool IsFileOpen() const { return m_pCaptureFile != nullptr; }

    // The enabling rules of the five commands.
    bool CanStart() const { return m_bCapturing != 1; }
    bool CanStop() const { return m_bCapturing != 0; }
    bool CanPause() const { return m_bCapturing == 1 && m_bCapturePaused == 0; }
    bool CanResume() const { return m_bCapturing == 1 && m_bCapturePaused == 1; }
    bool CanChangeOptions() const { return m_bCapturing == 0; }

private:
    void Abort();

    int m_bCapturing = 0;
    int m_bCapturePaused = 0;
    std::FILE* m_pCaptureFile = nullptr;
};
