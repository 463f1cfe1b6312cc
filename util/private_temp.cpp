#include "private_temp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <limits>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString kPrefix = QStringLiteral("tarnwick-private-");

QString RootOr(const QString &root)
{
    return root.isEmpty() ? QDir::tempPath() : root;
}

QString ExecutableOf(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

// A process number counts as a run of this program while the process behind
// it runs the same executable: a number the system has given to some other
// program since does not keep a folder alive. A run of this program cannot
// be looked into (it makes itself undumpable), so a process that exists but
// cannot be looked into counts as one too.
bool RunStillGoing(qint64 pid)
{
    if (pid == QCoreApplication::applicationPid())
        return true;
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    const QString exe = ExecutableOf(pid);
    return exe.isEmpty() || exe == ExecutableOf(QCoreApplication::applicationPid());
}

} // namespace

QString PrivateTemp::Template(const QString &purpose, const QString &root)
{
    return QDir(RootOr(root)).filePath(kPrefix + purpose + u'-' + QString::number(QCoreApplication::applicationPid()) +
                                       QStringLiteral("-XXXXXX"));
}

int PrivateTemp::RemoveLeftovers(const QString &root)
{
    static const QRegularExpression name(QStringLiteral("^tarnwick-private-[a-z]+-([0-9]{1,10})-[A-Za-z0-9]{6}$"));
    const QDir dir(RootOr(root));
    const uint me = geteuid();
    int removed = 0;
    const QStringList entries = dir.entryList({kPrefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &entry : entries) {
        const QRegularExpressionMatch m = name.match(entry);
        if (!m.hasMatch())
            continue;
        const QFileInfo info(dir.filePath(entry));
        if (info.isSymLink() || !info.isDir() || info.ownerId() != me)
            continue;
        if (RunStillGoing(m.captured(1).toLongLong()))
            continue;
        if (QDir(info.filePath()).removeRecursively())
            ++removed;
    }
    return removed;
}

bool MakeProcessUndumpable()
{
    return prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}
