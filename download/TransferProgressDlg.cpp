#include "TransferProgressDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "comm/DialogUnits.h"

namespace {

QWidget* FindOwner() {
    if (QWidget* active = QApplication::activeWindow()) return active->window();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !qobject_cast<QDialog*>(w)) return w;
    return nullptr;
}

}  // namespace

CTransferProgressDlg::CTransferProgressDlg(QWidget* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_status(new QLabel(this)),
      m_progress(new QProgressBar(this)),
      m_cancel(new QPushButton("Cancel", this)),
      m_owner(owner) {
    setWindowTitle(kDefaultCaption);
    const CDialogUnits du(*this);
    setFixedSize(du.X(186), du.Y(61));
    du.Place(m_status, 13, 7, 158, 8);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    du.Place(m_progress, 14, 19, 154, 13);
    m_progress->setTextVisible(false);
    du.Place(m_cancel, 68, 40, 50, 14);
    // No default button: Enter and Return do nothing here, wherever the focus is.
    m_cancel->setDefault(false);
    m_cancel->setAutoDefault(false);
    m_cancel->installEventFilter(this);
    connect(m_cancel, &QPushButton::clicked, this, &CTransferProgressDlg::reject);
    m_progress->setRange(m_nLower, m_nUpper);
    m_progress->setValue(m_nLower);
}

CTransferProgressDlg::~CTransferProgressDlg() { DestroyWindow(); }

bool CTransferProgressDlg::Create() {
    if (!m_owner) m_owner = FindOwner();
    if (m_owner == this) m_owner = nullptr;
    if (m_owner && m_owner->isEnabled()) {
        m_owner->setEnabled(false);
        m_bOwnerDisabled = true;
    }
    show();
    raise();
    PumpMessages();  // paint once before the work starts
    return true;
}

void CTransferProgressDlg::DestroyWindow() {
    const bool hadFocus = isVisible() && isActiveWindow();
    if (m_bOwnerDisabled && m_owner) {
        m_owner->setEnabled(true);
        m_bOwnerDisabled = false;
    }
    hide();
    // The keyboard goes back to the window the transfer was started from.
    if (hadFocus && m_owner && m_owner->isEnabled()) m_owner->activateWindow();
}

void CTransferProgressDlg::SetWindowText(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

void CTransferProgressDlg::SetStatus(const std::string& text) {
    m_status->setText(QString::fromStdString(text));
}

void CTransferProgressDlg::SetRange(int lower, int upper) {
    // The bar's bounds are 16-bit.
    m_nLower = static_cast<std::int16_t>(lower);
    m_nUpper = static_cast<std::int16_t>(upper);
    m_progress->setRange(m_nLower, m_nUpper);
}

void CTransferProgressDlg::SetStep(int step) { m_nStep = step; }

void CTransferProgressDlg::SetPos(int position) {
    PumpMessages();
    m_progress->setValue(position);
}

void CTransferProgressDlg::StepIt() {
    PumpMessages();
    int next = m_progress->value() + m_nStep;
    if (next > m_nUpper) next = m_nLower;  // past the end the bar starts again
    m_progress->setValue(next);
}

int CTransferProgressDlg::Pos() const { return m_progress->value(); }

QString CTransferProgressDlg::Status() const { return m_status->text(); }

void CTransferProgressDlg::reject() { RequestCancel(); }

void CTransferProgressDlg::RequestCancel() {
    m_bCancelRequested = true;
    if (m_onCancel) m_onCancel();
}

void CTransferProgressDlg::closeEvent(QCloseEvent* event) {
    if (event->spontaneous()) {  // the close box: a cancel request, the window stays
        RequestCancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

namespace {
bool IsEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
}  // namespace

void CTransferProgressDlg::keyPressEvent(QKeyEvent* event) {
    if (IsEnterKey(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CTransferProgressDlg::eventFilter(QObject* watched, QEvent* event) {
    // A focused push button takes Enter for a click of its own.
    if (watched == m_cancel && IsEnterKey(event)) return true;
    return QDialog::eventFilter(watched, event);
}

void CTransferProgressDlg::PumpMessages() {
    // Handles what is waiting, never waits: the work goes on on this thread. A window whose
    // work runs on another thread is served by this thread's own event loop instead.
    if (m_pumps) QCoreApplication::processEvents(QEventLoop::AllEvents);
}
