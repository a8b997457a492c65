#pragma once
// The document's user interface on Qt: message boxes without owner window, the simple beep,
// the document title for the main frame's caption, and the progress window. Widgets live on
// the GUI thread: calls from another thread (the load of an opened document runs on a worker)
// are carried over to it and wait there.

#include <atomic>
#include <functional>

#include "document/DocumentUi.h"

class CUiCallQueue;
class QWidget;

class CQtDocumentUi : public IDocumentUi {
public:
    MessageResult MessageBox(const std::string& text, const std::string& title, MessageIcon icon,
                             MessageButtons buttons, MessageResult defaultButton) override;
    void Beep() override;
    void TitleChanged(const std::string& title) override;
    std::unique_ptr<IProgressWindow> CreateProgressWindow() override;

    // While the program ends: messages are not shown (a Yes/No takes its default answer).
    void SetQuitting(bool quitting) { m_quitting = quitting; }

    void SetTitleHandler(std::function<void(const std::string&)> handler) {
        m_titleHandler = std::move(handler);
    }
    // Told of every message before it shows, on the thread that asks for it: the window
    // keeps what a load said, for the start that waits for its verdict.
    void SetMessageListener(std::function<void(const std::string& text, MessageIcon icon)> listener) {
        m_messageListener = std::move(listener);
    }
    // Told on the GUI thread when Cancel is chosen in a progress window: the document's
    // transfer stops as by its stop request, so what ran can tell a cancel from a failure.
    void SetCancelListener(std::function<void()> listener) { m_cancelListener = std::move(listener); }
    // The queue that reaches the GUI thread, and the window that progress windows disable.
    void SetGuiThread(CUiCallQueue* calls, QWidget* owner) {
        m_calls = calls;
        m_owner = owner;
    }

private:
    // Runs fn on the GUI thread and waits for it.
    void OnGuiThread(const std::function<void()>& fn);

    std::function<void(const std::string&)> m_titleHandler;
    std::function<void(const std::string&, MessageIcon)> m_messageListener;
    std::function<void()> m_cancelListener;
    CUiCallQueue* m_calls = nullptr;
    QWidget* m_owner = nullptr;
    std::atomic<bool> m_quitting{false};
};
