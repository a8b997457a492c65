#include "HandOver.h"

#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include "SingleInstance.h"

namespace {

// A connection's requests still owed an answer: while there is one, the connection is not
// idle; once all are answered, it has kIdleMs to say more.
constexpr const char* kUnanswered = "tarvolineUnanswered";

QTimer* IdleTimer(QLocalSocket* socket) {
    return socket->findChild<QTimer*>(CHandOver::kIdleTimerName);
}

void Owe(QLocalSocket* socket) {
    socket->setProperty(kUnanswered, socket->property(kUnanswered).toInt() + 1);
    if (QTimer* idle = IdleTimer(socket)) idle->stop();
}

void Answered(QLocalSocket* socket) {
    const int left = socket->property(kUnanswered).toInt() - 1;
    socket->setProperty(kUnanswered, left);
    if (left <= 0)
        if (QTimer* idle = IdleTimer(socket)) idle->start(CSingleInstance::kIdleMs);
}

void Say(QLocalSocket* socket, const QByteArray& line) {
    if (socket->state() != QLocalSocket::ConnectedState) return;
    socket->write(line + '\n');
    socket->flush();  // a window that ends right after its answer still gets it out
}

// A reason as one line that fits the limit with its word and newline: controls become blanks.
QByteArray OneLine(const char* word, const QString& text) {
    QString flat;
    for (QChar c : text) flat += (c.unicode() < 0x20 || c.unicode() == 0x7F) ? QChar(' ') : c;
    flat = flat.simplified();
    QByteArray line = QByteArray(word) + ' ' + flat.toUtf8();
    while (line.size() >= CSingleInstance::kMaxRequest) {
        flat.chop(1 + (flat.size() >= 2 && flat.at(flat.size() - 2).isHighSurrogate()));
        line = QByteArray(word) + ' ' + flat.toUtf8();
    }
    return line;
}

}  // namespace

struct CHandOver::State {
    struct Asker {
        QPointer<QLocalSocket> socket;
        bool waits = false;
    };
    enum class Phase { Asked, Taken, Ended };

    ~State() {
        if (phase == Phase::Asked)
            Refuse("the running Tarvoline did not take up the request");
        else if (phase == Phase::Taken)
            Finish(Verdict::Failed, "the running Tarvoline gave up the request before its load ended");
    }
    void Tell(bool waitersOnly, const QByteArray& line, bool last) {
        for (Asker& asker : askers) {
            if (!asker.socket || (waitersOnly && !asker.waits)) continue;
            Say(asker.socket, line);
            if (last || !asker.waits) Answered(asker.socket);
        }
    }
    void Take() {
        if (phase != Phase::Asked) return;
        phase = Phase::Taken;
        Tell(false, "ok", false);
        if (!Waited()) {
            phase = Phase::Ended;
            return;
        }
        // The starts that wait hear from the window while the load runs: one that hangs is
        // given up by them.
        keepAlive = std::make_unique<QTimer>();
        keepAlive->setInterval(kKeepAliveMs);
        QObject::connect(keepAlive.get(), &QTimer::timeout, [this] { Tell(true, "running", false); });
        keepAlive->start();
    }
    void Refuse(const QString& reason) {
        if (phase != Phase::Asked) return;
        phase = Phase::Ended;
        Tell(false, OneLine("refused", reason), true);
    }
    void Finish(Verdict verdict, const QString& reason) {
        Take();
        if (phase != Phase::Taken) return;
        phase = Phase::Ended;
        keepAlive.reset();
        QByteArray line = verdict == Verdict::Loaded      ? QByteArray("loaded")
                          : verdict == Verdict::Cancelled ? QByteArray("cancelled")
                                                          : OneLine("failed", reason);
        Tell(true, line.trimmed(), true);
    }
    bool Waited() const {
        for (const Asker& asker : askers)
            if (asker.waits) return true;
        return false;
    }

    QList<Asker> askers;
    Phase phase = Phase::Asked;
    std::unique_ptr<QTimer> keepAlive;
};

void CHandOver::Take() {
    if (m_state) m_state->Take();
}

void CHandOver::Refuse(const QString& reason) {
    if (m_state) m_state->Refuse(reason);
}

bool CHandOver::Waited() const { return m_state && m_state->Waited(); }

void CHandOver::Finish(Verdict verdict, const QString& reason) {
    if (m_state) m_state->Finish(verdict, reason);
}

CHandOver CHandOver::ForSenders() {
    CHandOver answer;
    answer.m_state = std::make_shared<State>();
    return answer;
}

void CHandOver::AddSender(QLocalSocket* socket, bool waits) {
    if (!m_state) return;
    m_state->askers.append({socket, waits});
    Owe(socket);
}
