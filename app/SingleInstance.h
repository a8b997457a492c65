#pragma once
// One running program per user and settings store. The first instance listens on a local
// socket in a directory only this user can enter: $XDG_RUNTIME_DIR, or else
// TMPDIR/Tarvoline-<uid> (created with mode 0700; an existing one is used only when it is a
// directory of this user's with no access for anyone else). A later start connects, hands over
// its request and ends.
//
// Requests are lines of at most kMaxRequest bytes, newline included:
//   activate              bring the window (or its open dialog) to the front
//   postlink-load         Post Link and Load with its file dialog
//   postlink-load PATH    Post Link and Load of PATH, no dialog
//   open PATH             open PATH as a document (connect, convert, load)
// PATH is absolute; its bytes are percent-encoded where they are '%', controls or not ASCII,
// so every file name fits on one line and arrives byte for byte.
//
// Only a peer of this user counts: the sender checks who listens and the listener who
// connected (SO_PEERCRED); anyone else is ignored. A longer line drops its connection, as
// does a connection that says nothing for kIdleMs. Requests that come within kCoalesceMs of
// the first of a burst are handed on once each, in order of arrival: ten "activate"s raise the
// window once; the same file asked for twice loads once.

#include <QByteArray>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>

class QLocalSocket;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kActivate = "activate";
    static constexpr const char* kPostLinkLoad = "postlink-load";
    static constexpr const char* kOpen = "open";
    static constexpr int kMaxRequest = 4096;
    static constexpr int kCoalesceMs = 150;
    static constexpr int kIdleMs = 5000;

    // socketPath: where to listen and connect; empty when no safe place was found, and then
    // this instance neither hands off nor listens.
    explicit CSingleInstance(QString socketPath = DefaultName(), QObject* parent = nullptr);

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

    // True when another instance of this user took the request: this one should end.
    bool HandOff(const QString& request = kActivate, int timeoutMs = 2000);
    // Starts listening; false when the name cannot be had.
    bool Listen();
    const QString& Name() const { return m_name; }
    // Why the last HandOff or Listen did not succeed, when it was not simply that nobody
    // listens.
    const QString& LastError() const { return m_error; }

signals:
    void ActivationRequested();
    void PostLinkLoadRequested();
    void PostLinkLoadFileRequested(const QString& path);
    void OpenFileRequested(const QString& path);

private:
    void OnConnection();
    void OnReadyRead(QLocalSocket* socket);
    void Queue(const QByteArray& line);
    void Dispatch();

    QString m_name;
    QString m_error;
    QLocalServer m_server;
    QList<QByteArray> m_pending;  // the burst being gathered, each request once
    QTimer m_burst;
};
