#pragma once
// One running program per user and settings store. The first instance listens on a local
// socket in a directory only this user can enter: $XDG_RUNTIME_DIR, or else, when that is not
// there, not private, not writable or too deep for a socket's path, TMPDIR/Tarvoline-<uid>
// (created with mode 0700; an existing one is used only when it is a directory of this user's
// with no access for anyone else), under /tmp when TMPDIR is too deep. A name that another user
// took first is passed over for Tarvoline-<uid>-1, -2, ... A later start connects, hands over
// its request, reads the answer and ends.
//
// Requests are lines of at most kMaxRequest bytes, newline included:
//   activate              bring the window (or its open dialog) to the front
//   postlink-load         Post Link and Load with its file dialog
//   postlink-load PATH    Post Link and Load of PATH, no dialog
//   open PATH             open PATH as a document (connect, convert, load)
//   wait postlink-load PATH, wait open PATH
//                         the same, and the load's verdict is wanted too
// PATH is absolute; its bytes are percent-encoded where they are '%', controls or not ASCII,
// so every file name fits on one line and arrives byte for byte.
//
// Every request is answered with a line, at most kMaxRequest bytes with its newline:
//   ok                    the window took the request (a load has started)
//   refused TEXT          it did not, and why (TEXT names the file and the reason)
// and a "wait" request, once taken, with one more when its load has ended:
//   loaded                loaded and started
//   failed TEXT           not loaded or not started: what the window said about it
//   cancelled             the load was cancelled
// preceded, while the load runs, by "running" every CHandOver::kKeepAliveMs. TEXT is one line
// of UTF-8.
// A sender that does not read (an older one) loses nothing: the answer goes nowhere. A window
// that does not answer (an older one, which takes no "wait", or a hung one) is given up by the
// sender after kAnswerMs without a line, for the answer as between the lines that follow it.
//
// Only a peer of this user counts: the sender checks who listens and the listener who
// connected (SO_PEERCRED); anyone else is ignored. A longer line drops its connection, as
// does a connection that says nothing for kIdleMs while none of its requests is unanswered.
// Requests that come within kCoalesceMs of the first of a burst are handed on once each, in
// order of arrival: ten "activate"s raise the window once; the same file asked for twice loads
// once. Each sender still gets its own answer: all that asked for the same thing share it.
// Each request of a burst is handed on in a turn of the event loop of its own, so a message
// that one of them shows does not hold back the answers to the others.

#include <QByteArray>
#include <QList>
#include <QLocalServer>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "HandOver.h"

class QLocalSocket;

// What became of a request handed to a running instance, as its answer says.
struct CHandOverResult {
    enum class Outcome {
        NotHandedOver,  // nobody of this user listens: this start runs on its own
        Taken,
        Refused,
        Loaded,
        Failed,
        Cancelled,
        NoAnswer,     // handed over, but no answer came in time: nothing is known
        Interrupted,  // this start stopped waiting (a signal)
    };
    Outcome outcome = Outcome::NotHandedOver;
    QString text;  // the window's reason, or why there is no answer
};

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kActivate = "activate";
    static constexpr const char* kPostLinkLoad = "postlink-load";
    static constexpr const char* kOpen = "open";
    static constexpr const char* kWait = "wait";
    static constexpr int kMaxRequest = 4096;
    static constexpr int kCoalesceMs = 150;
    static constexpr int kIdleMs = 5000;
    static constexpr int kAnswerMs = 10000;
    // The longest path a local socket can have (sun_path less its terminating zero).
    static constexpr int kMaxSocketPath = 107;
    // How many other names a start tries when other users hold the private directory's names.
    static constexpr int kSpareDirectoryNames = 4;

    // socketPath: where to listen and connect; empty when no safe place was found, and then
    // this instance neither hands off nor listens.
    explicit CSingleInstance(QString socketPath = DefaultName(), QObject* parent = nullptr);
    ~CSingleInstance() override;

    // The socket for this user and the program's own settings store; empty (with the reason
    // written to error) when there is no directory safe to put it in.
    static QString DefaultName(QString* error);
    static QString DefaultName() { return DefaultName(nullptr); }
    // The same for a given settings file: programs that share a settings store share the
    // instance.
    static QString SocketPathFor(const QString& settingsFile, QString* error = nullptr);
    // True when dir is a directory (not a link to one) of this user's with no access for group
    // or others. With create, a missing one is made so. Otherwise false and the reason.
    static bool CheckPrivateDirectory(const QString& dir, bool create, QString* error = nullptr);

    // The request line for a file (verb, a blank, the encoded absolute path), without newline.
    static QString FileRequest(const char* verb, const QString& absolutePath);

    // Hands the request to another instance of this user and reads its answer, and with
    // waitForLoad the verdict of the load too. No line for answerMs counts as no answer.
    // stopped is asked between looks (every 100 ms): true ends the wait.
    CHandOverResult Ask(const QString& request, bool waitForLoad,
                        const std::function<bool()>& stopped = {}, int answerMs = kAnswerMs);
    // True when another instance of this user was handed the request; its answer is not read,
    // as starts of earlier versions did not.
    bool HandOff(const QString& request = kActivate, int timeoutMs = 2000);
    // Starts listening; false when the name cannot be had.
    bool Listen();
    const QString& Name() const { return m_name; }
    // Why the last HandOff, Ask or Listen did not succeed, when it was not simply that nobody
    // listens.
    const QString& LastError() const { return m_error; }

signals:
    void ActivationRequested();
    void PostLinkLoadRequested();
    // The handler answers through answer before anything that waits for the user.
    void PostLinkLoadFileRequested(const QString& path, CHandOver answer);
    void OpenFileRequested(const QString& path, CHandOver answer);

private:
    struct Pending {
        QByteArray line;  // without "wait "
        CHandOver answer;
    };
    // Connects and checks who listens; null (m_error says why, when it matters) otherwise.
    std::unique_ptr<QLocalSocket> Connect(int timeoutMs);
    void OnConnection();
    void OnReadyRead(QLocalSocket* socket);
    void Queue(QLocalSocket* socket, QByteArray line);
    void Dispatch();
    void HandOnNext();
    void HandOn(const Pending& request);

    QString m_name;
    QString m_error;
    QLocalServer m_server;
    QList<Pending> m_pending;  // the burst being gathered, each request once
    QList<Pending> m_ready;    // the burst being handed on, one request per turn of the loop
    bool m_handOnQueued = false;
    QTimer m_burst;
};
