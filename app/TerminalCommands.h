#pragma once
// The terminal's commands in the window: the five Capture Text commands with their enabling and
// the capture pane, and the Wrap Text check mark. The capture file and its state belong to the
// main frame; the appearance and send dialogs are the view's.

#include <QObject>
#include <memory>

class CMainFrame;
class ICaptureQuestions;
class ISettingsStore;

class CTerminalCommands : public QObject {
    Q_OBJECT
public:
    // store may be null: Start then uses the read defaults and Options does nothing.
    CTerminalCommands(CMainFrame& frame, ISettingsStore* store, QObject* parent = nullptr);
    ~CTerminalCommands() override;

    void OnCaptureStart();
    void OnCaptureStop();
    void OnCapturePause();
    void OnCaptureResume();
    void OnCaptureOptions();
    void OnFormatWrap();
    // The enabling of the capture commands and the wrap check mark.
    void UpdateCommands();

private:
    CMainFrame& m_frame;
    ISettingsStore* m_store;
    std::unique_ptr<ICaptureQuestions> m_questions;
};
