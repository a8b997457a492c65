#pragma once
// The progress window of transfers and conversions: caption, one status line, a bar and a
// Cancel button. It belongs to the thread doing the work and keeps the main window disabled
// while it is open, so the work behaves like a modal operation without giving up its thread.
// The window handles the user's input only when it is stepped.

#include <QDialog>
#include <functional>

#include "document/ProgressWindow.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CTransferProgressDlg : public QDialog, public IProgressWindow {
    Q_OBJECT
public:
    static constexpr const char* kDefaultCaption = "XMODEM File Transfer";

    // owner: the main window to disable; null finds the application's active top-level window.
    explicit CTransferProgressDlg(QWidget* owner = nullptr);
    // Closes the window, and so enables the owner again, on every way out.
    ~CTransferProgressDlg() override;

    // Disables the owner if it is enabled, then shows the window.
    bool Create();
    // Enables the owner again if this window disabled it, then closes.
    void DestroyWindow();

    void SetWindowText(const std::string& caption) override;
    void SetStatus(const std::string& text) override;
    void SetRange(int lower, int upper) override;
    void SetStep(int step) override;
    void SetPos(int position) override;
    void StepIt() override;
    bool CancelRequested() const override { return m_bCancelRequested; }

    int Pos() const;
    QString Status() const;

    // Called on this window's thread when the user asks to cancel.
    void SetCancelHandler(std::function<void()> handler) { m_onCancel = std::move(handler); }
    // Whether stepping the window handles this thread's waiting events; off when the work
    // runs on another thread and this thread's event loop is free.
    void SetPumpsMessages(bool pumps) { m_pumps = pumps; }

public slots:
    void accept() override {}  // Enter does not close the window
    void reject() override;    // Cancel, Esc and the close box only record the request

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PumpMessages();
    void RequestCancel();

    QLabel* m_status;
    QProgressBar* m_progress;
    QPushButton* m_cancel;
    QWidget* m_owner;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nStep = 10;
    bool m_bCancelRequested = false;
    bool m_bOwnerDisabled = false;
    bool m_pumps = true;
    std::function<void()> m_onCancel;
};
