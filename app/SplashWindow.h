#pragma once
// The splash picture shown when the main frame is created: a borderless window over the frame,
// closed after 1.5 s or by the first key press or mouse click anywhere in the program, which
// that key or click does not go on to reach.

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QEvent;

class CSplashWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 1500;

    static void EnableSplashScreen(bool enable) { s_bShowSplash = enable; }
    static void ShowSplashScreen(QWidget* owner);
    // True when the event closed the splash and is used up.
    static bool PreTranslateAppMessage(QEvent* event);
    static CSplashWindow* Current() { return s_pSplashWindow; }

    void HideSplashScreen();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    CSplashWindow(QWidget* owner, QPixmap bitmap);
    ~CSplashWindow() override;

    static bool s_bShowSplash;
    static CSplashWindow* s_pSplashWindow;
    QPixmap m_bitmap;
    QPointer<QWidget> m_owner;
    QTimer m_timer;
};
