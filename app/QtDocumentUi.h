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
    // The queue that reaches the GUI thread, and the window that progress windows disable.
    void SetGuiThread(CUiCallQueue* calls, QWidget* owner) {
        m_calls = calls;
        m_owner = owner;
    }

private:
    // Runs fn on the GUI thread and waits for it.
    void OnGuiThread(const std::function<void()>& fn);

    std::function<void(const std::string&)> m_titleHandler;
    CUiCallQueue* m_calls = nullptr;
    QWidget* m_owner = nullptr;
    std::atomic<bool> m_quitting{false};
};
