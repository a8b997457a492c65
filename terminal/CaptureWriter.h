#pragma once
// Text capture: the capture file and its state (off, on, paused), the writer that the terminal
// hands every appended pass to, the start procedure with its three questions, and the capture
// settings of section "Transfer". Qt-free.
//
// The file holds the text as the terminal shows it: the bytes handed to CaptureText, in order,
// with the current line held back (CCaptureLine) so that a BS, and the line edits of escape
// sequences, change it as they change the screen. The held line is written when the next line
// begins, when the capture pauses or stops, and at CaptureQuiet (the terminal calls it after a
// second without received data). Escape sequences are kept as received unless the settings
// leave them out. The file is it is opened in binary mode
// so the terminal's CR LF line ends stay CR LF. Only a regular file is captured to: a symbolic
// link at the file's name is refused, never followed, and so is a named pipe, a device or a
// directory, which is never opened in a way that could wait. A file that cannot be opened leaves
// capture off and says why. A write or close that fails stops the capture and says why; what
// was written before stays in the file.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "terminal/CaptureLine.h"
#include "terminal/ReceiveRules.h"

class ISettingsStore;

inline constexpr const char* kCaptureSection = "Transfer";
inline constexpr const char* kPromptForFilenameKey = "Prompt For Filename";
inline constexpr const char* kPromptPathNameKey = "Prompt Path Name";
inline constexpr const char* kWriteModeKey = "Write Mode";
inline constexpr const char* kIncludeBufferTextKey = "Include Buffer Text";
inline constexpr const char* kTimeStampsInCaptureKey = "Time Stamps";
inline constexpr const char* kStripEscapesKey = "Strip Escapes";

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
    int m_bStripEscapes = 0;  // escape sequences are left out of the capture

    // Reads the integers with default 0 and the path with the given default.
    static CCaptureSettings Read(const ISettingsStore* store, const std::string& defaultPath);
    // Writes all six values.
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
    // Told, on the thread that wrote, that a write or the close failed and the capture is off:
    // "Capture to FILE stopped: <system text>".
    using StoppedHandler = std::function<void(const std::string& message)>;

    CCaptureWriter() = default;
    ~CCaptureWriter() override;
    CCaptureWriter(const CCaptureWriter&) = delete;
    CCaptureWriter& operator=(const CCaptureWriter&) = delete;

    // Starts capturing: asks what the settings leave open, opens the file and, when the
    // terminal text is to be included, calls writeBuffer, which hands it to CaptureText and
    // returns false when there is no terminal to take it from. False (capture left off) when a
    // question is cancelled or there is no terminal (nothing reported), or when the file cannot
    // be opened ("Cannot open capture file X: <system text>" through TellCannotOpen; for a
    // symbolic link "...: it is a symbolic link, and the capture does not follow links"; for a
    // named pipe "...: it is a named pipe, not a regular file", and so on).
    bool Start(const ISettingsStore* store, const std::string& defaultPath,
               ICaptureQuestions& questions, const std::function<bool()>& writeBuffer);
    // Closes the file and turns capture off. A close that fails (what was still buffered could
    // not be written) is told to the stopped handler.
    void Stop();
    void SetStoppedHandler(StoppedHandler handler) { m_stoppedHandler = std::move(handler); }
    // What is held is written first: the file has everything shown up to the pause.
    void Pause();
    void Resume() { m_bCapturePaused = 0; }

    // Writes the bytes while capture is on, not paused, and a file is open. A write that fails
    // turns capture off and is told to the stopped handler.
    void CaptureText(const unsigned char* bytes, int count) override;
    void CaptureBackspace() override;
    void CaptureCarriageReturn(int firstColumn, bool takeBackLineEnd) override;
    void CaptureMoveToColumn(int column) override;
    void CaptureEraseInLine(int mode, int firstColumn) override;
    void CaptureSequence(const unsigned char* bytes, int count) override;
    void CaptureHoldLineEnd() override;
    void CaptureLineEndSettled() override;
    // The terminal has been quiet a while: the held line is written.
    void CaptureQuiet() override;
    bool HoldsText() const { return !m_line.Empty(); }

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
    bool Taking() const { return m_bCapturing == 1 && m_bCapturePaused == 0 && m_pCaptureFile; }
    void Write(const std::string& bytes);
    // Capture off after a failure with the given errno; the handler hears of it.
    void StopFailed(int error);
    void TellStopped(int error);

    int m_bCapturing = 0;
    int m_bCapturePaused = 0;
    std::FILE* m_pCaptureFile = nullptr;
    std::string m_strPath;  // the open file's name, for the failure message
    CCaptureLine m_line;
    StoppedHandler m_stoppedHandler;
};
