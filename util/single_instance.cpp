#include "single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

const QString TSingleInstance::kLockFileName = QStringLiteral("tarnwick.lock");

namespace {
const QByteArray kActivate = "activate\n";
const QByteArray kActivated = "ok\n";
} // namespace

TSingleInstance::TSingleInstance(const QString &appFolder, QObject *parent)
    : QObject(parent), m_appFolder(appFolder)
{
}

TSingleInstance::~TSingleInstance()
{
    if (m_server)
        m_server->close();
}

QString TSingleInstance::ServerName(const QString &appFolder)
{
    QString canonical = QFileInfo(appFolder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(QFileInfo(appFolder).absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex();
    QString name = QStringLiteral("tarnwick-") + QString::fromLatin1(hash.left(32));
#ifdef Q_OS_UNIX
    // Sockets of all users share one folder; each user gets names of its own.
    name += QLatin1Char('-') + QString::number(::getuid());
#endif
    return name;
}

TSingleInstance::TClaim TSingleInstance::Claim(int waitMs)
{
    m_lock = std::make_unique<QLockFile>(m_appFolder + kLockFileName);
    // A running copy's lock never goes stale by age, however long it runs;
    // one whose process is gone is stale at once and taken over.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        Listen();
        return TClaim::First;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        // No lock can be made here (a read-only folder): nothing could be
        // saved by two copies either, so this one runs.
        m_lock.reset();
        return TClaim::First;
    }
    m_lock.reset();
    return AskRunningCopy(waitMs) ? TClaim::HandedOver : TClaim::Unreachable;
}

bool TSingleInstance::AskRunningCopy(int waitMs) const
{
    QLocalSocket socket;
    socket.connectToServer(ServerName(m_appFolder));
    if (!socket.waitForConnected(waitMs))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(waitMs))
        return false;
    QByteArray answer;
    while (answer.size() < kActivated.size() && socket.waitForReadyRead(waitMs))
        answer += socket.readAll();
    return answer.startsWith(kActivated);
}

void TSingleInstance::Listen()
{
    const QString name = ServerName(m_appFolder);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the folder's lock: a socket of that name is left over from a
    // copy that was killed.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        return; // a later copy is then told the book is open elsewhere
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                // Only the one request is understood, and only a short one.
                if (socket->bytesAvailable() > 64) {
                    socket->abort();
                    return;
                }
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == kActivate) {
                    emit activationRequested();
                    socket->write(kActivated);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
}
