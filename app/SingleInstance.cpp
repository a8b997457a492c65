#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QSettings>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <utility>

static_assert(CSingleInstance::kMaxSocketPath == sizeof(sockaddr_un::sun_path) - 1);

namespace {

// The user at the other end of a connected local socket, as the kernel recorded it when that
// end connected or started listening.
bool PeerIsThisUser(qintptr descriptor) {
    if (descriptor < 0) return false;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == ::getuid();
}

void Drop(QLocalSocket* socket) {
    socket->abort();
    socket->deleteLater();
}

QString SystemText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Something of another user's lies at path (checked without following a link).
bool TakenByAnotherUser(const QString& path) {
    struct stat st{};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid != ::getuid();
}

}  // namespace

CSingleInstance::CSingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), m_name(std::move(socketPath)) {
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
    m_burst.setSingleShot(true);
    m_burst.setInterval(kCoalesceMs);
    connect(&m_burst, &QTimer::timeout, this, &CSingleInstance::Dispatch);
}

// The requests not yet handed on are answered (refused) while their senders are still there.
CSingleInstance::~CSingleInstance() {
    m_pending.clear();
    m_ready.clear();
}

bool CSingleInstance::CheckPrivateDirectory(const QString& dir, bool create, QString* error) {
    auto refuse = [&](const QString& why) {
        if (error) *error = dir + ": " + why;
        return false;
    };
    const QByteArray path = QFile::encodeName(dir);
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT || !create) return refuse(SystemText(errno));
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return refuse(SystemText(errno));
        // The umask may have taken bits away; the directory is this user's alone either way.
        if (::lstat(path.constData(), &st) != 0) return refuse(SystemText(errno));
        if (S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && ::chmod(path.constData(), 0700) == 0)
            st.st_mode = (st.st_mode & ~07777) | 0700;
    }
    if (S_ISLNK(st.st_mode)) return refuse("it is a symbolic link, not a directory of this user's");
    if (!S_ISDIR(st.st_mode)) return refuse("it is not a directory");
    if (st.st_uid != ::getuid())
        return refuse(QString("it belongs to user %1, not to this user (%2)")
                          .arg(st.st_uid)
                          .arg(::getuid()));
    if ((st.st_mode & 077) != 0)
        return refuse(QString("its mode is %1; it must be 0700 (this user's only)")
                          .arg(st.st_mode & 07777, 4, 8, QChar('0')));
    return true;
}

// The session's own directory is the place; without a usable one, a directory of ours under
// the temporary directory, checked before every use. Starts of the same user under the same
// conditions walk the same places in the same order, so the first start listens where the
// later ones look.
QString CSingleInstance::SocketPathFor(const QString& settingsFile, QString* error) {
    const QByteArray hash =
        QCryptographicHash::hash(settingsFile.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    const QString file = "Tarvoline-" + QString::fromLatin1(hash);
    QStringList passedOver;  // why each place was not taken
    auto fits = [&](const QString& dir) {
        if (QFile::encodeName(dir + "/" + file).size() <= kMaxSocketPath) return true;
        passedOver << dir + ": the socket's path would be longer than the system's limit of " +
                          QString::number(kMaxSocketPath) + " bytes";
        return false;
    };
    // Somebody's directory may be private and still closed to its owner (mode 0500, a
    // read-only file system): the socket could not be made there.
    auto writable = [&](const QString& dir) {
        if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) == 0) return true;
        passedOver << dir + ": " + SystemText(errno);
        return false;
    };

    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    QString why;
    if (runtime.startsWith('/')) {
        if (!CheckPrivateDirectory(runtime, false, &why))
            passedOver << why;
        else if (writable(runtime) && fits(runtime))
            return runtime + "/" + file;
    }
    // The temporary directory, and /tmp when a socket under that one would be too long. A
    // name that another user took first is left to them: the next spare name is ours.
    QStringList bases{QDir::tempPath()};
    if (bases.first() != "/tmp") bases << "/tmp";
    for (const QString& base : bases) {
        bool tooLong = false;
        for (int spare = 0; spare <= kSpareDirectoryNames; ++spare) {
            QString own = base + QString("/Tarvoline-%1").arg(::getuid());
            if (spare > 0) own += QString("-%1").arg(spare);
            if (!fits(own)) {
                tooLong = true;
                break;
            }
            why.clear();
            if (CheckPrivateDirectory(own, true, &why)) {
                if (writable(own)) return own + "/" + file;
                break;
            }
            passedOver << why;
            if (!TakenByAnotherUser(own)) break;  // ours but unsafe: not walked past
        }
        if (!tooLong) break;
    }
    if (error) *error = passedOver.join("; ");
    return {};
}

QString CSingleInstance::DefaultName(QString* error) {
    return SocketPathFor(QSettings("Hollowbrook Works", "Tarvoline").fileName(), error);
}

QString CSingleInstance::FileRequest(const char* verb, const QString& absolutePath) {
    // Printable ASCII stays as it is, so the line reads as the path it carries.
    QByteArray keep;
    for (char c = 0x20; c < 0x7F; ++c)
        if (c != '%') keep += c;
    return QString::fromLatin1(verb) + ' ' +
           QString::fromLatin1(QFile::encodeName(absolutePath).toPercentEncoding(keep));
}

std::unique_ptr<QLocalSocket> CSingleInstance::Connect(int timeoutMs) {
    m_error.clear();
    if (m_name.isEmpty()) return nullptr;
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(m_name);
    if (!socket->waitForConnected(timeoutMs)) return nullptr;
    // Somebody else listening at our name gets nothing, and this start runs by itself.
    if (!PeerIsThisUser(socket->socketDescriptor())) {
        m_error = m_name + ": the program listening there is not this user's; ignored";
        socket->abort();
        return nullptr;
    }
    return socket;
}

bool CSingleInstance::HandOff(const QString& request, int timeoutMs) {
    std::unique_ptr<QLocalSocket> socket = Connect(timeoutMs);
    if (!socket) return false;
    socket->write(request.toUtf8() + '\n');
    if (!socket->waitForBytesWritten(timeoutMs)) return false;
    socket->disconnectFromServer();
    if (socket->state() != QLocalSocket::UnconnectedState) socket->waitForDisconnected(timeoutMs);
    return true;
}

CHandOverResult CSingleInstance::Ask(const QString& request, bool waitForLoad,
                                     const std::function<bool()>& stopped, int answerMs) {
    using Outcome = CHandOverResult::Outcome;
    std::unique_ptr<QLocalSocket> socket = Connect(2000);
    if (!socket) return {};
    const QByteArray line = (waitForLoad ? QByteArray(kWait) + ' ' : QByteArray()) + request.toUtf8();
    socket->write(line + '\n');
    // From here on the window may have the request: every way out says what is known.
    auto noAnswer = [&](const QString& why) {
        return CHandOverResult{Outcome::NoAnswer,
                               "the running Tarvoline (" + m_name + ") " + why +
                                   "; whether it did anything with the request is not known"};
    };
    if (!socket->waitForBytesWritten(2000)) return noAnswer("did not take the request");
    bool taken = false;
    QDeadlineTimer silence(answerMs);
    QByteArray received;
    for (;;) {
        while (socket->canReadLine()) {
            QByteArray answer = socket->readLine(kMaxRequest + 1);
            if (!answer.endsWith('\n')) return noAnswer("answered with a line too long");
            answer.chop(1);
            silence.setRemainingTime(answerMs);
            const qsizetype blank = answer.indexOf(' ');
            const QByteArray word = blank < 0 ? answer : answer.left(blank);
            const QString text = blank < 0 ? QString() : QString::fromUtf8(answer.mid(blank + 1));
            if (word == "refused") return {Outcome::Refused, text};
            if (word == "ok") {
                if (!waitForLoad) return {Outcome::Taken, {}};
                taken = true;
            } else if (taken && word == "loaded") {
                return {Outcome::Loaded, {}};
            } else if (taken && word == "failed") {
                return {Outcome::Failed, text};
            } else if (taken && word == "cancelled") {
                return {Outcome::Cancelled, {}};
            }
            // "running", and what a later version may add, only show the window is alive.
        }
        if (socket->bytesAvailable() > kMaxRequest) return noAnswer("answered with a line too long");
        if (stopped && stopped()) return {Outcome::Interrupted, {}};
        if (silence.hasExpired())
            return noAnswer(QString(taken ? "said nothing more about the load for %1 s"
                                          : "gave no answer within %1 s")
                                .arg(answerMs / 1000.0));
        if (socket->state() != QLocalSocket::ConnectedState)
            return noAnswer(taken ? "ended the connection before the load ended"
                                  : "ended the connection without an answer (a version that "
                                    "does not answer?)");
        socket->waitForReadyRead(int(std::min<qint64>(100, std::max<qint64>(1, silence.remainingTime()))));
    }
}

bool CSingleInstance::Listen() {
    if (m_name.isEmpty()) return false;
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_name)) return true;
    // A socket left by an instance that ended without cleaning up (nobody answers it), or one
    // that another user's program holds (ignored by HandOff): ours replaces it.
    if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(m_name);
        if (m_server.listen(m_name)) return true;
    }
    m_error = m_name + ": " + m_server.errorString();
    return false;
}

void CSingleInstance::OnConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsThisUser(socket->socketDescriptor())) {
            Drop(socket);
            continue;
        }
        // What the peer may make this program hold: one request and its newline, then one byte
        // that tells it is too long.
        socket->setReadBufferSize(kMaxRequest + 1);
        auto* idle = new QTimer(socket);
        idle->setObjectName(CHandOver::kIdleTimerName);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [socket] { Drop(socket); });
        idle->start(kIdleMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
    }
}

void CSingleInstance::OnReadyRead(QLocalSocket* socket) {
    while (socket->bytesAvailable() > 0) {
        const QByteArray head = socket->peek(kMaxRequest + 1);
        const qsizetype end = head.indexOf('\n');
        if (end < 0 && head.size() <= kMaxRequest) return;  // the rest of the line is still coming
        // The limit counts the newline: a newline at kMaxRequest ends a line one byte too long.
        if (end < 0 || end >= kMaxRequest) {
            Drop(socket);  // longer than any request: dropped unread
            return;
        }
        QByteArray line = socket->read(end + 1);
        line.chop(1);
        if (line.endsWith('\r')) line.chop(1);
        Queue(socket, line);
    }
}

void CSingleInstance::Queue(QLocalSocket* socket, QByteArray line) {
    // Requests run from the event loop, never from the socket's handler: Post Link and Load
    // opens dialogs whose loops may delete the socket once the other program has gone.
    // "wait" goes with a file's request, which is the same request whether waited for or not;
    // on anything else it is left on, and the request refused.
    const QByteArray waitPrefix = QByteArray(kWait) + ' ';
    const bool waits = line.startsWith(waitPrefix) && line.indexOf(' ', waitPrefix.size()) > 0;
    if (waits) line.remove(0, waitPrefix.size());
    auto same = std::find_if(m_pending.begin(), m_pending.end(),
                             [&](const Pending& p) { return p.line == line; });
    if (same == m_pending.end()) {
        m_pending.append({line, CHandOver::ForSenders()});
        same = m_pending.end() - 1;
    }
    same->answer.AddSender(socket, waits);
    if (!m_burst.isActive()) m_burst.start();
}

void CSingleInstance::Dispatch() {
    m_ready.append(std::exchange(m_pending, {}));
    if (!m_handOnQueued && !m_ready.isEmpty()) {
        m_handOnQueued = true;
        QTimer::singleShot(0, this, &CSingleInstance::HandOnNext);
    }
}

void CSingleInstance::HandOnNext() {
    m_handOnQueued = false;
    if (m_ready.isEmpty()) return;
    const Pending request = m_ready.takeFirst();
    // The next one is handed on in the next turn of the loop, which a dialog that this one
    // opens runs too: no request waits for its answer behind another's message box.
    if (!m_ready.isEmpty()) {
        m_handOnQueued = true;
        QTimer::singleShot(0, this, &CSingleInstance::HandOnNext);
    }
    HandOn(request);
}

void CSingleInstance::HandOn(const Pending& request) {
    const QByteArray& line = request.line;
    CHandOver answer = request.answer;
    const qsizetype blank = line.indexOf(' ');
    const QByteArray verb = blank < 0 ? line : line.left(blank);
    if (blank < 0 && (verb == kActivate || verb == kPostLinkLoad)) {
        answer.Take();  // before the file dialog that Post Link and Load opens
        if (verb == kActivate)
            emit ActivationRequested();
        else
            emit PostLinkLoadRequested();
        return;
    }
    if (verb == kWait) {
        answer.Refuse("only the load of a named file can be waited for");
        return;
    }
    if (blank < 0 || (verb != kPostLinkLoad && verb != kOpen)) {
        // From a program of another version or no program of ours.
        answer.Refuse(QString("this Tarvoline does not know the request \"%1\"")
                          .arg(QString::fromUtf8(line.left(80))));
        return;
    }
    // A path is taken only absolute: this program's working directory is not the sender's.
    const QString path = QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(blank + 1)));
    if (!path.startsWith('/')) {
        answer.Refuse(path + ": not an absolute path; nothing was loaded");
        return;
    }
    if (verb == kPostLinkLoad)
        emit PostLinkLoadFileRequested(path, answer);
    else
        emit OpenFileRequested(path, answer);
}
