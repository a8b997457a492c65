#include "SplashWindow.h"

#include <QEvent>
#include <QPainter>
#include <QScreen>

bool CSplashWindow::s_bShowSplash = true;
CSplashWindow* CSplashWindow::s_pSplashWindow = nullptr;

void CSplashWindow::ShowSplashScreen(QWidget* owner) {
    if (!s_bShowSplash || s_pSplashWindow) return;
    QPixmap bitmap(":/res/splash.png");
    if (bitmap.isNull()) return;  // no picture, no splash
    s_pSplashWindow = new CSplashWindow(owner, bitmap);
    s_pSplashWindow->show();
    s_pSplashWindow->repaint();
}

CSplashWindow::CSplashWindow(QWidget* owner, QPixmap bitmap)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_bitmap(std::move(bitmap)),
      m_owner(owner) {
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
    setFixedSize(m_bitmap.size());
    // Centred over the owner, or over the screen without one.
    QRect area = owner ? owner->frameGeometry() : screen()->availableGeometry();
    if (owner && !owner->isVisible()) area = screen()->availableGeometry();
    move(area.center() - rect().center());
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CSplashWindow::HideSplashScreen);
    m_timer.start(kTimerMs);
}

CSplashWindow::~CSplashWindow() {
    if (s_pSplashWindow == this) s_pSplashWindow = nullptr;
}

void CSplashWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_bitmap);
}

bool CSplashWindow::PreTranslateAppMessage(QEvent* event) {
    if (!s_pSplashWindow) return false;
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Keeps a shortcut from acting on the key that closes the splash.
            event->accept();
            return true;
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
            s_pSplashWindow->HideSplashScreen();
            return true;
        default:
            return false;
    }
}

void CSplashWindow::HideSplashScreen() {
    if (s_pSplashWindow == this) s_pSplashWindow = nullptr;
    m_timer.stop();
    QPointer<QWidget> owner = m_owner;
    close();
    if (owner) owner->repaint();
}
