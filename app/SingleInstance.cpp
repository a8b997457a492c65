#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSettings>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

}  // namespace

CSingleInstance::CSingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), m_name(std::move(socketPath)) {
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
    m_burst.setSingleShot(true);
    m_burst.setInterval(kCoalesceMs);
    connect(&m_burst, &QTimer::timeout, this, &CSingleInstance::Dispatch);
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

QString CSingleInstance::SocketPathFor(const QString& settingsFile, QString* error) {
    const QByteArray hash =
        QCryptographicHash::hash(settingsFile.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    const QString file = "Tarvoline-" + QString::fromLatin1(hash);
    // The session's own directory is the place; without a usable one, a directory of ours
    // under the temporary directory, checked before every use.
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (runtime.startsWith('/') && CheckPrivateDirectory(runtime, false)) return runtime + "/" + file;
    const QString own = QDir::tempPath() + QString("/Tarvoline-%1").arg(::getuid());
    if (!CheckPrivateDirectory(own, true, error)) return {};
    return own + "/" + file;
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

bool CSingleInstance::HandOff(const QString& request, int timeoutMs) {
    m_error.clear();
    if (m_name.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    // Somebody else listening at our name gets nothing, and this start runs by itself.
    if (!PeerIsThisUser(socket.socketDescriptor())) {
        m_error = m_name + ": the program listening there is not this user's; ignored";
        socket.abort();
        return false;
    }
    socket.write(request.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return true;
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
        Queue(line);
    }
}

void CSingleInstance::Queue(const QByteArray& line) {
    // Requests run from the event loop, never from the socket's handler: Post Link and Load
    // opens dialogs whose loops may delete the socket once the other program has gone.
    if (!m_pending.contains(line)) m_pending.append(line);
    if (!m_burst.isActive()) m_burst.start();
}

void CSingleInstance::Dispatch() {
    const QList<QByteArray> requests = std::exchange(m_pending, {});
    for (const QByteArray& line : requests) {
        const qsizetype blank = line.indexOf(' ');
        const QByteArray verb = blank < 0 ? line : line.left(blank);
        // A path is taken only absolute: this program's working directory is not the sender's.
        QString path;
        if (blank >= 0) {
            path = QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(blank + 1)));
            if (!path.startsWith('/')) continue;
        }
        if (verb == kActivate && blank < 0)
            emit ActivationRequested();
        else if (verb == kPostLinkLoad && blank < 0)
            emit PostLinkLoadRequested();
        else if (verb == kPostLinkLoad && !path.isEmpty())
            emit PostLinkLoadFileRequested(path);
        else if (verb == kOpen && !path.isEmpty())
            emit OpenFileRequested(path);
        // Anything else is from a program of another version or no program of ours: ignored.
    }
}
