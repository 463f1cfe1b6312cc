#include "single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMetaMethod>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QByteArray kActivate = "activate\n";
const QByteArray kActivated = "ok\n";

// A real folder (not a link) of this user that nobody else may write to;
// `allowed` are the mode bits others may still have.
bool IsPrivateFolder(const QByteArray &path, mode_t allowed)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
                    (st.st_mode & 077 & ~allowed) == 0;
    ::close(fd);
    return ok;
}

// SIGTERM reaches the event loop through a pipe: the handler itself may only
// write a byte.
int g_termPipe[2] = {-1, -1};
struct sigaction g_oldTermAction;
bool g_termWatched = false;

void OnTermSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_termPipe[1], &byte, 1);
    errno = saved;
}
} // namespace

TSingleInstance::TSingleInstance(const QString &appFolder, QObject *parent)
    : QObject(parent), m_appFolder(appFolder)
{
}

TSingleInstance::~TSingleInstance()
{
    if (m_watchesTermination) {
        ::sigaction(SIGTERM, &g_oldTermAction, nullptr);
        g_termWatched = false;
    }
    // Removes the socket.
    if (m_server)
        m_server->close();
}

QString TSingleInstance::SocketFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && IsPrivateFolder(runtime, 0055))
        return QFile::decodeName(runtime) + u'/';
    const QByteArray own = QFile::encodeName(QDir::tempPath()) + "/tarnwick-" + QByteArray::number(::geteuid());
    // Made here: owner-only whatever the umask. Found there: used only when
    // it is this user's own, unreadable to others, and no link; a name taken
    // by someone else leaves the copy without a socket, never with theirs.
    if (::mkdir(own.constData(), 0700) == 0)
        ::chmod(own.constData(), 0700);
    if (IsPrivateFolder(own, 0))
        return QFile::decodeName(own) + u'/';
    return {};
}

QString TSingleInstance::ServerName(const QString &appFolder)
{
    QString canonical = QFileInfo(appFolder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(QFileInfo(appFolder).absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex();
    const QString folder = SocketFolder();
    if (folder.isEmpty())
        return {};
    const QString path = folder + QStringLiteral("tarnwick-") + QString::fromLatin1(hash.left(32));
    // A socket's path has to fit its address.
    if (QFile::encodeName(path).size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
        return {};
    return path;
}

void TSingleInstance::WatchTermination()
{
    if (g_termWatched)
        return;
    if (g_termPipe[0] < 0 && ::pipe2(g_termPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_termNotifier = new QSocketNotifier(g_termPipe[0], QSocketNotifier::Read, this);
    connect(m_termNotifier, &QSocketNotifier::activated, this, [this] {
        // A request that comes before anyone listens waits for them.
        if (!isSignalConnected(QMetaMethod::fromSignal(&TSingleInstance::terminationRequested))) {
            m_termNotifier->setEnabled(false);
            return;
        }
        char bytes[16];
        while (::read(g_termPipe[0], bytes, sizeof bytes) > 0) {
        }
        emit terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = OnTermSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_watchesTermination = g_termWatched = ::sigaction(SIGTERM, &action, &g_oldTermAction) == 0;
}

void TSingleInstance::connectNotify(const QMetaMethod &signal)
{
    if (m_termNotifier && signal == QMetaMethod::fromSignal(&TSingleInstance::terminationRequested))
        m_termNotifier->setEnabled(true);
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
    const QString name = ServerName(m_appFolder);
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
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
    if (name.isEmpty())
        return; // a later copy is then told the book is open elsewhere
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
