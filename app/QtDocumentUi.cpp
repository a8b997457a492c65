#include "QtDocumentUi.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <atomic>

#include "document/UiCallQueue.h"
#include "download/TransferProgressDlg.h"

namespace {

bool OnGuiThreadNow() { return QThread::currentThread() == qApp->thread(); }

MessageResult ShowMessageBox(const std::string& text, const std::string& title, MessageIcon icon,
                             MessageButtons buttons, MessageResult defaultButton) {
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                     : QMessageBox::Information,
                    QString::fromStdString(title), QString::fromStdString(text));
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultButton == MessageResult::Yes ? QMessageBox::Yes
                                                                 : QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (buttons != MessageButtons::YesNo) return MessageResult::Ok;
    return answer == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
}

// A progress window for a worker thread: the window itself lives on the GUI thread and every
// call is carried there. It does not pump anything on the worker; the GUI thread's own loop
// keeps it painted and takes the Cancel button, whose request the worker reads at once.
class CGuiThreadProgress : public IProgressWindow {
public:
    CGuiThreadProgress(CUiCallQueue& calls, QWidget* owner, std::function<void()> onCancel)
        : m_calls(calls) {
        m_calls.Call([&] {
            m_dlg = std::make_unique<CTransferProgressDlg>(owner);
            m_dlg->SetPumpsMessages(false);
            m_dlg->SetCancelHandler([this, onCancel] {
                m_cancel.store(true);
                if (onCancel) onCancel();
            });
            m_dlg->Create();
        });
    }
    ~CGuiThreadProgress() override {
        m_calls.Call([&] { m_dlg.reset(); });
    }
    void SetWindowText(const std::string& t) override { On([&] { m_dlg->SetWindowText(t); }); }
    void SetStatus(const std::string& t) override { On([&] { m_dlg->SetStatus(t); }); }
    void SetRange(int l, int u) override { On([&] { m_dlg->SetRange(l, u); }); }
    void SetStep(int s) override { On([&] { m_dlg->SetStep(s); }); }
    void SetPos(int p) override { On([&] { m_dlg->SetPos(p); }); }
    void StepIt() override { On([&] { m_dlg->StepIt(); }); }
    bool CancelRequested() const override { return m_cancel.load(); }

private:
    void On(const std::function<void()>& fn) { m_calls.Call(fn); }
    CUiCallQueue& m_calls;
    std::unique_ptr<CTransferProgressDlg> m_dlg;
    std::atomic<bool> m_cancel{false};
};

}  // namespace

void CQtDocumentUi::OnGuiThread(const std::function<void()>& fn) {
    if (OnGuiThreadNow() || !m_calls)
        fn();
    else
        m_calls->Call(fn);
}

MessageResult CQtDocumentUi::MessageBox(const std::string& text, const std::string& title,
                                        MessageIcon icon, MessageButtons buttons,
                                        MessageResult defaultButton) {
    if (m_messageListener) m_messageListener(text, icon);
    if (m_quitting) return buttons == MessageButtons::YesNo ? defaultButton : MessageResult::Ok;
    MessageResult result = MessageResult::Ok;
    OnGuiThread([&] { result = ShowMessageBox(text, title, icon, buttons, defaultButton); });
    return result;
}

void CQtDocumentUi::Beep() {
    OnGuiThread([] { QApplication::beep(); });
}

void CQtDocumentUi::TitleChanged(const std::string& title) {
    OnGuiThread([&] {
        if (m_titleHandler) m_titleHandler(title);
    });
}

std::unique_ptr<IProgressWindow> CQtDocumentUi::CreateProgressWindow() {
    if (!OnGuiThreadNow() && m_calls)
        return std::make_unique<CGuiThreadProgress>(*m_calls, m_owner, m_cancelListener);
    auto dlg = std::make_unique<CTransferProgressDlg>(m_owner);
    dlg->SetCancelHandler(m_cancelListener);
    dlg->Create();
    return dlg;
}
