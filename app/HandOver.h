#pragma once
// What the window owes the starts that asked for one request over the single-instance socket:
// its answer and, to those that wait, the verdict of the load (the lines are described with
// CSingleInstance). Copies share the one answer. A request whose last copy goes unanswered is
// refused; one taken whose verdict never came is told it failed. A handle made by default
// stands for nobody (a request of this window's own): every call does nothing.
//
// While a connection has a request unanswered it is not idle: its idle timer (a child of the
// socket named kIdleTimerName) is stopped, and started again once all are answered.

#include <QMetaType>
#include <QString>
#include <memory>

class QLocalSocket;

class CHandOver {
public:
    enum class Verdict { Loaded, Failed, Cancelled };

    void Take();
    void Refuse(const QString& reason);
    // Some start waits for the verdict of the load.
    bool Waited() const;
    // The load ended; the starts that wait are told, after "ok" if it was not yet said.
    void Finish(Verdict verdict, const QString& reason = {});

    // For the listener: a request with nobody yet, and each connection that asked for it.
    static CHandOver ForSenders();
    void AddSender(QLocalSocket* socket, bool waits);

    static constexpr int kKeepAliveMs = 1000;
    static constexpr const char* kIdleTimerName = "idle";

private:
    struct State;
    std::shared_ptr<State> m_state;
};
Q_DECLARE_METATYPE(CHandOver)

