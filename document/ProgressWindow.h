#pragma once
// The progress window of transfers and conversions, as the core sees it. The Qt application
// shows a small window that keeps the main window disabled while it is open; the command-line
// tool prints to standard error; tests record.

#include <memory>
#include <string>

class IProgressWindow {
public:
    // Closing on destruction puts the owner window back on every way out.
    virtual ~IProgressWindow() = default;
    virtual void SetWindowText(const std::string& caption) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetRange(int lower, int upper) = 0;
    virtual void SetStep(int step) = 0;
    // Both handle the user's waiting input first (the Cancel button among it).
    virtual void SetPos(int position) = 0;
    // Past the upper bound the bar starts again from its lower bound.
    virtual void StepIt() = 0;
    virtual bool CancelRequested() const = 0;
};

// A progress window that shows nothing, for runs without a user interface.
class CNoProgressWindow : public IProgressWindow {
public:
    void SetWindowText(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPos(int) override {}
    void StepIt() override {}
    bool CancelRequested() const override { return false; }
};
