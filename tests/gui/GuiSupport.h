#pragma once
// Helpers of the GUI tests: waiting with the event loop running, answering message boxes.

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <vector>

// Runs the event loop until done() holds or the time passes.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Records and closes every message box that opens while it lives.
class CMessageBoxCatcher {
public:
    CMessageBoxCatcher() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box && box->isVisible()) {
                    texts.push_back(box->text());
                    box->done(QMessageBox::Ok);
                }
            }
        });
        m_timer.start();
    }
    std::vector<QString> texts;

private:
    QTimer m_timer;
};
