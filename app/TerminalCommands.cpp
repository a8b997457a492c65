#include "TerminalCommands.h"

#include <QAction>
#include <QMenu>

#include "CommandIds.h"
#include "document/FirstRunDefaults.h"
#include "MainFrame.h"
#include "document/SettingsStore.h"
#include "terminal/CaptureDialogs.h"
#include "terminal/TarvolineView.h"

CTerminalCommands::CTerminalCommands(CMainFrame& frame, ISettingsStore* store, QObject* parent)
    : QObject(parent),
      m_frame(frame),
      m_store(store),
      m_questions(std::make_unique<CCaptureDialogQuestions>(&frame)) {
    auto on = [this](int id, void (CTerminalCommands::*handler)()) {
        connect(m_frame.Action(id), &QAction::triggered, this, handler);
    };
    on(cmd::kCaptureStart, &CTerminalCommands::OnCaptureStart);
    on(cmd::kCaptureStop, &CTerminalCommands::OnCaptureStop);
    on(cmd::kCapturePause, &CTerminalCommands::OnCapturePause);
    on(cmd::kCaptureResume, &CTerminalCommands::OnCaptureResume);
    on(cmd::kCaptureOptions, &CTerminalCommands::OnCaptureOptions);
    on(cmd::kFormatWrap, &CTerminalCommands::OnFormatWrap);
    connect(m_frame.Action(cmd::kTimeStamps), &QAction::triggered, this, [this](bool on) {
        if (CTarvolineView* view = m_frame.View()) view->OnViewTimeStamps(on);
        UpdateCommands();
    });
    connect(m_frame.Action(cmd::kAnsiColours), &QAction::triggered, this, [this](bool on) {
        if (CTarvolineView* view = m_frame.View()) view->OnViewAnsi(on);
        UpdateCommands();
    });
    for (QMenu* menu : {m_frame.CaptureMenu(), m_frame.FormatMenu(), m_frame.TransferMenu()})
        connect(menu, &QMenu::aboutToShow, this, &CTerminalCommands::UpdateCommands);
    UpdateCommands();
}

CTerminalCommands::~CTerminalCommands() = default;

void CTerminalCommands::UpdateCommands() {
    const CCaptureWriter& capture = m_frame.Capture();
    m_frame.Action(cmd::kCaptureStart)->setEnabled(capture.CanStart());
    m_frame.Action(cmd::kCaptureStop)->setEnabled(capture.CanStop());
    m_frame.Action(cmd::kCapturePause)->setEnabled(capture.CanPause());
    m_frame.Action(cmd::kCaptureResume)->setEnabled(capture.CanResume());
    m_frame.Action(cmd::kCaptureOptions)->setEnabled(capture.CanChangeOptions());
    m_frame.Action(cmd::kFormatWrap)->setChecked(m_frame.View() && m_frame.View()->WrapOn());
    m_frame.Action(cmd::kTimeStamps)->setChecked(m_frame.View() && m_frame.View()->TimeStampsOn());
    m_frame.Action(cmd::kAnsiColours)->setChecked(m_frame.View() && m_frame.View()->AnsiOn());
}

void CTerminalCommands::OnCaptureStart() {
    if (!m_frame.Capture().CanStart()) return;
    CTarvolineView* view = m_frame.View();
    const bool started =
        m_frame.Capture().Start(m_store, DefaultCapturePath(), *m_questions, [view] {
            if (!view) return false;
            view->WriteBufferToCapture();
            return true;
        });
    if (started) m_frame.ShowCaptureState(true);
    UpdateCommands();
}

void CTerminalCommands::OnCaptureStop() {
    if (!m_frame.Capture().CanStop()) return;
    m_frame.OnCaptureStop();
    UpdateCommands();
}

void CTerminalCommands::OnCapturePause() {
    if (!m_frame.Capture().CanPause()) return;
    m_frame.Capture().Pause();
    UpdateCommands();
}

void CTerminalCommands::OnCaptureResume() {
    if (!m_frame.Capture().CanResume()) return;
    m_frame.Capture().Resume();
    UpdateCommands();
}

void CTerminalCommands::OnCaptureOptions() {
    if (!m_store || !m_frame.Capture().CanChangeOptions()) return;
    CCaptureOptionsDlg dialog(CCaptureSettings::Read(m_store, ""), &m_frame);
    if (dialog.exec() != QDialog::Accepted) return;
    dialog.Settings().Write(*m_store);
    if (CTarvolineView* view = m_frame.View()) view->ApplyTimeStamps();
}

void CTerminalCommands::OnFormatWrap() {
    if (CTarvolineView* view = m_frame.View()) view->OnFormatWrap();
    UpdateCommands();
}
