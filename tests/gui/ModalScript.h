#pragma once
// Answers the modal dialogs that open while it lives: each step waits for a dialog of its type
// to be the active modal window, acts on it once, and the next step waits for the next one.
// Steps should close their dialog with a queued click (Click below), so no step blocks the
// timer that runs the script. A step whose dialog has not come within kStepLimit fails the
// test, and from then on every modal window is closed, so a missed dialog never hangs a test.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

// Clicks a button once the current event is done.
inline void Click(QWidget* button) {
    auto* b = qobject_cast<QAbstractButton*>(button);
    if (b) QTimer::singleShot(0, b, &QAbstractButton::click);
}

class CModalScript {
public:
    static constexpr std::chrono::seconds kStepLimit{10};

    CModalScript() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start();
    }
    template <class T, class F>
    CModalScript& Then(F act) {
        m_steps.push_back([act](QWidget* w) {
            auto* dialog = qobject_cast<T*>(w);
            if (!dialog) return false;
            act(dialog);
            return true;
        });
        return *this;
    }
    bool Done() const { return m_next == m_steps.size(); }
    size_t StepsDone() const { return m_next; }
    // Modal windows seen that no step was waiting for.
    int unexpected = 0;

private:
    void Tick() {
        QWidget* w = QApplication::activeModalWidget();
        if (m_next < m_steps.size() && std::chrono::steady_clock::now() - m_progress > kStepLimit) {
            if (!m_failed)
                ADD_FAILURE() << "the dialog of step " << m_next + 1 << " did not come within "
                              << kStepLimit.count() << " s";
            m_failed = true;
            if (w) {
                if (auto* dialog = qobject_cast<QDialog*>(w))
                    QTimer::singleShot(0, dialog, &QDialog::reject);
                else
                    QTimer::singleShot(0, w, &QWidget::close);
            }
            return;
        }
        if (!w || !w->isVisible() || w == m_last) return;
        if (m_next < m_steps.size() && m_steps[m_next](w)) {
            m_last = w;
            ++m_next;
            m_progress = std::chrono::steady_clock::now();
            return;
        }
        // Nothing waits for it: close it so the test does not hang.
        ++unexpected;
        m_last = w;
        QTimer::singleShot(0, w, &QWidget::close);
    }

    QTimer m_timer;
    std::vector<std::function<bool(QWidget*)>> m_steps;
    size_t m_next = 0;
    QPointer<QWidget> m_last;
    std::chrono::steady_clock::time_point m_progress = std::chrono::steady_clock::now();
    bool m_failed = false;
};
