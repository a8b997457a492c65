#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalSocket>
#include <QSettings>
#include <unistd.h>

CSingleInstance::CSingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)) {
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
}

QString CSingleInstance::DefaultName() {
    // Programs that share a settings store share the instance.
    const QString store = QSettings("Hollowbrook Works", "Tarvoline").fileName();
    const QByteArray hash =
        QCryptographicHash::hash(store.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QString("Tarvoline-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool CSingleInstance::HandOff(const QString& request, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(request.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return true;
}

bool CSingleInstance::Listen() {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_name)) return true;
    // A socket left by an instance that ended without cleaning up: nobody answers it.
    if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(m_name);
        return m_server.listen(m_name);
    }
    return false;
}

void CSingleInstance::OnConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QList<QByteArray> requests;
            while (socket->canReadLine()) requests.append(socket->readLine().trimmed());
            // A request runs from the event loop, not from here: Post Link and Load opens
            // dialogs whose loops may delete this socket once the other program has gone.
            for (const QByteArray& line : requests) {
                if (line == kActivate)
                    QMetaObject::invokeMethod(this, &CSingleInstance::ActivationRequested,
                                              Qt::QueuedConnection);
                else if (line == kPostLinkLoad)
                    QMetaObject::invokeMethod(this, &CSingleInstance::PostLinkLoadRequested,
                                              Qt::QueuedConnection);
            }
        });
    }
}
