#include "update_journal.h"

#include "user_files.h"

#include <QFile>
#include <QSaveFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UpdateJournal {
namespace {

const QByteArray kHeader = "tarnwick-update-journal 1";
constexpr int kMaxEntries = 1000;

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

bool Exists(const QString &path, struct stat *st = nullptr)
{
    struct stat own;
    return ::lstat(Native(path).constData(), st ? st : &own) == 0;
}

// Removes `path` when it is there; true when it is gone.
bool RemoveIfThere(const QString &path)
{
    return ::unlink(Native(path).constData()) == 0 || errno == ENOENT;
}

bool RenameOver(const QString &from, const QString &to)
{
    return ::rename(Native(from).constData(), Native(to).constData()) == 0;
}

// Makes the folder's last renames and removals durable.
void SyncFolder(const QString &folder)
{
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool IsVersionText(const QString &v)
{
    if (v.isEmpty() || v.size() > 32)
        return false;
    for (const QChar c : v)
        if (!(c.isDigit() && c.unicode() < 0x80) && c != u'.')
            return false;
    return true;
}

bool IsSwapName(const QString &name)
{
    return UpdateManifest::IsReleaseFile(name);
}

// The journal of a running swap: written whole beside its place, made
// durable, then renamed into it. The swap keeps an exclusive lock on it for
// as long as it runs, so that a recovery never acts on a swap in progress;
// the kernel drops the lock when the process dies, however it dies.
class TJournalFile
{
public:
    explicit TJournalFile(const QString &folder) : m_folder(folder) {}
    TJournalFile(const TJournalFile &) = delete;
    TJournalFile &operator=(const TJournalFile &) = delete;
    ~TJournalFile() { Release(); }

    bool Write(const TJournal &journal)
    {
        QSaveFile file(m_folder + QLatin1String(JournalName));
        file.setDirectWriteFallback(false);
        if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return false;
        // A second descriptor of the new file holds the lock past the commit.
        const int fd = ::fcntl(file.handle(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return false;
        const QByteArray bytes = Format(journal);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || file.write(bytes) != bytes.size() || !file.flush() ||
            ::fsync(fd) != 0 || !file.commit()) {
            ::close(fd);
            return false;
        }
        SyncFolder(m_folder);
        Release();
        m_lockFd = fd;
        return true;
    }

    void Remove()
    {
        RemoveIfThere(m_folder + QLatin1String(JournalName));
        SyncFolder(m_folder);
        Release();
    }

private:
    void Release()
    {
        if (m_lockFd >= 0)
            ::close(m_lockFd);
        m_lockFd = -1;
    }

    QString m_folder;
    int m_lockFd = -1;
};

// Keeps a copy of `target` as its kept file where the folder has no hard
// links: written under a name of its own first, so that a kept file is
// always whole.
bool CopyToKept(const QString &target, const QString &copy, const QString &kept)
{
    QFile in(target);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    struct stat st;
    if (::fstat(in.handle(), &st) != 0 || !RemoveIfThere(copy))
        return false;
    const int fd = ::open(Native(copy).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          st.st_mode & 0777);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, st.st_mode & 0777) == 0;
    while (ok) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty()) {
            ok = in.atEnd();
            break;
        }
        for (qsizetype done = 0; ok && done < chunk.size();) {
            const ssize_t n = ::write(fd, chunk.constData() + done, size_t(chunk.size() - done));
            ok = n > 0;
            done += ok ? n : 0;
        }
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && RenameOver(copy, kept))
        return true;
    RemoveIfThere(copy);
    return false;
}

// Puts back every file the journal names, last first, and removes what the
// swap staged. Files it cannot put back go to `lost`.
void RollBack(const QString &folder, const TJournal &journal, QStringList &restored, QStringList &lost,
              QStringList &log)
{
    for (auto it = journal.entries.crbegin(); it != journal.entries.crend(); ++it) {
        const QString target = folder + it->name;
        const QString kept = folder + KeptName(it->name);
        bool ok = true;
        bool changed = false;
        struct stat keptStat, targetStat;
        if (it->hadOld) {
            // No kept file: the swap never reached this one, the target is
            // the old file.
            if (Exists(kept, &keptStat)) {
                changed = !Exists(target, &targetStat) || targetStat.st_ino != keptStat.st_ino ||
                          targetStat.st_dev != keptStat.st_dev;
                // Only a plain file is put back: a link would send the
                // program's name anywhere.
                ok = S_ISREG(keptStat.st_mode) && RenameOver(kept, target);
                // Two names of one file rename to nothing; the second goes.
                ok = ok && RemoveIfThere(kept);
            }
        } else if (Exists(target, &targetStat)) {
            changed = true;
            ok = !S_ISDIR(targetStat.st_mode) && RemoveIfThere(target);
        }
        RemoveIfThere(folder + StagedName(it->name));
        RemoveIfThere(folder + CopyName(it->name));
        if (!ok)
            lost.append(it->name);
        else if (changed)
            restored.append(it->name);
        if (!ok || changed)
            log.append(QStringLiteral("%1 %2").arg(ok ? QStringLiteral("restored") : QStringLiteral("could not restore"),
                                                   it->name));
    }
}

void RemoveLeftovers(const QString &folder, const TJournal &journal)
{
    for (const TEntry &entry : journal.entries)
        for (const QString &name : {KeptName(entry.name), StagedName(entry.name), CopyName(entry.name)})
            RemoveIfThere(folder + name);
}

} // namespace

QString StagedName(const QString &name)
{
    return u'.' + name + QStringLiteral(".update-new");
}

QString KeptName(const QString &name)
{
    return u'.' + name + QStringLiteral(".update-old");
}

QString CopyName(const QString &name)
{
    return u'.' + name + QStringLiteral(".update-copy");
}

QByteArray Format(const TJournal &journal)
{
    QByteArray out = kHeader + '\n';
    out += "from " + journal.fromVersion.toUtf8() + '\n';
    out += "to " + journal.toVersion.toUtf8() + '\n';
    out += journal.installed ? "state installed\n" : "state replacing\n";
    for (const TEntry &entry : journal.entries)
        out += (entry.hadOld ? "old " : "new ") + entry.name.toUtf8() + '\n';
    return out;
}

std::optional<TJournal> Parse(const QByteArray &bytes, QString &error)
{
    if (bytes.size() > MaxJournalSize || !bytes.endsWith('\n')) {
        error = QStringLiteral("the journal is too large or cut short");
        return std::nullopt;
    }
    const QList<QByteArray> lines = bytes.chopped(1).split('\n');
    if (lines.size() < 4 || lines.size() > 4 + kMaxEntries || lines[0] != kHeader || !lines[1].startsWith("from ") ||
        !lines[2].startsWith("to ") || (lines[3] != "state replacing" && lines[3] != "state installed")) {
        error = QStringLiteral("the journal is not one of this updater");
        return std::nullopt;
    }
    TJournal journal;
    journal.fromVersion = QString::fromLatin1(lines[1].mid(5));
    journal.toVersion = QString::fromLatin1(lines[2].mid(3));
    journal.installed = lines[3] == "state installed";
    if (!IsVersionText(journal.fromVersion) || !IsVersionText(journal.toVersion)) {
        error = QStringLiteral("the journal names no readable version");
        return std::nullopt;
    }
    QSet<QString> seen;
    for (qsizetype i = 4; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const QString name = QString::fromUtf8(line.mid(4));
        // Only plain files of the folder itself that a release may carry.
        if ((!line.startsWith("old ") && !line.startsWith("new ")) || name.toUtf8() != line.mid(4) ||
            !IsSwapName(name) || seen.contains(name)) {
            error = QStringLiteral("the journal names a file it may not touch");
            return std::nullopt;
        }
        seen.insert(name);
        journal.entries.append({name, line.startsWith("old ")});
    }
    return journal;
}

TSwapResult Swap(const QString &appFolder, const QString &fromVersion, const QString &toVersion,
                 const QList<TSwapFile> &files, const TSwapHooks &hooks)
{
    TSwapResult result;
    const auto step = [&] {
        if (hooks.afterStep)
            hooks.afterStep();
    };
    if (Exists(appFolder + QLatin1String(JournalName))) {
        result.failure = QStringLiteral("an earlier update was interrupted and has not been put back yet");
        return result;
    }
    TJournal journal{fromVersion, toVersion, false, {}};
    for (const TSwapFile &file : files) {
        struct stat st;
        const bool hadOld = Exists(appFolder + file.name, &st);
        // A kept file from before this swap would be taken for this one's.
        if (!IsSwapName(file.name) || (hadOld && !S_ISREG(st.st_mode)) ||
            !RemoveIfThere(appFolder + KeptName(file.name)) || !RemoveIfThere(appFolder + CopyName(file.name))) {
            result.failure = QStringLiteral("\"%1\" could not be prepared").arg(file.name);
            return result;
        }
        journal.entries.append({file.name, hadOld});
    }
    // Nothing is swapped that a recovery would not read back.
    QString unreadable;
    if (!Parse(Format(journal), unreadable)) {
        result.failure = QStringLiteral("the update could not be recorded: %1").arg(unreadable);
        return result;
    }
    TJournalFile record(appFolder);
    if (!record.Write(journal)) {
        result.failure = QStringLiteral("the update could not be recorded in the program's folder");
        return result;
    }
    step();

    for (qsizetype i = 0; i < files.size(); ++i) {
        const TSwapFile &file = files[i];
        if (hooks.beforeReplace)
            hooks.beforeReplace(file.name);
        const QString target = appFolder + file.name;
        const QString staged = appFolder + StagedName(file.name);
        const QString kept = appFolder + KeptName(file.name);
        if (::chmod(Native(staged).constData(), mode_t(file.mode)) != 0) {
            result.failure = QStringLiteral("the new \"%1\" could not be prepared").arg(file.name);
            break;
        }
        // The installed file stays reachable under a second name until every
        // new file is in place; the target itself is never missing.
        if (journal.entries[i].hadOld) {
            if (::link(Native(target).constData(), Native(kept).constData()) != 0 &&
                !CopyToKept(target, appFolder + CopyName(file.name), kept)) {
                result.failure = QStringLiteral("\"%1\" could not be kept for a restore").arg(file.name);
                break;
            }
            step();
        }
        if (!RenameOver(staged, target)) {
            result.failure = QStringLiteral("\"%1\" could not be replaced").arg(file.name);
            break;
        }
        result.log.append(QStringLiteral("replaced %1").arg(file.name));
        step();
    }

    if (result.failure.isEmpty()) {
        SyncFolder(appFolder);
        journal.installed = true;
        if (!record.Write(journal))
            result.failure = QStringLiteral("the update could not be recorded in the program's folder");
    }
    if (!result.failure.isEmpty()) {
        QStringList restored;
        RollBack(appFolder, journal, restored, result.lost, result.log);
        // Whatever could not be put back is left to the next start.
        if (result.lost.isEmpty())
            record.Remove();
        return result;
    }
    step();
    for (const TEntry &entry : std::as_const(journal.entries)) {
        if (entry.hadOld) {
            RemoveIfThere(appFolder + KeptName(entry.name));
            step();
        }
    }
    record.Remove();
    step();
    result.ok = true;
    return result;
}

TRecovery Recover(const QString &appFolder)
{
    TRecovery recovery;
    const QString path = appFolder + QLatin1String(JournalName);
    const auto damaged = [&](const QString &why) {
        recovery.outcome = TOutcome::Damaged;
        recovery.log.append(QStringLiteral("the journal of an interrupted update was removed unread: %1").arg(why));
        // unlink removes a link itself, never what it points to.
        RemoveIfThere(path);
        SyncFolder(appFolder);
        return recovery;
    };
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return recovery;
        return damaged(errno == ELOOP ? QStringLiteral("it is a link") : QString::fromLocal8Bit(strerror(errno)));
    }
    struct TCloser
    {
        int fd;
        ~TCloser() { ::close(fd); }
    } closer{fd};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        recovery.outcome = TOutcome::Busy;
        return recovery;
    }
    // The journal may have been replaced or removed while the lock was
    // taken: only the one that is still in place counts.
    struct stat opened, current;
    if (::fstat(fd, &opened) != 0 || !Exists(path, &current) || opened.st_ino != current.st_ino ||
        opened.st_dev != current.st_dev) {
        recovery.outcome = TOutcome::Busy;
        return recovery;
    }
    if (!S_ISREG(opened.st_mode) || opened.st_uid != ::geteuid())
        return damaged(QStringLiteral("it is not a file of this user"));
    if (opened.st_size > MaxJournalSize)
        return damaged(QStringLiteral("it is too large"));
    QByteArray bytes(qsizetype(opened.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    QString error;
    const std::optional<TJournal> journal = Parse(bytes, error);
    if (!journal)
        return damaged(error);

    recovery.fromVersion = journal->fromVersion;
    recovery.toVersion = journal->toVersion;
    if (journal->installed) {
        RemoveLeftovers(appFolder, *journal);
        recovery.outcome = TOutcome::Completed;
        recovery.log.append(QStringLiteral("the interrupted update to version %1 was complete; its leftovers were "
                                           "removed")
                                .arg(journal->toVersion));
    } else {
        RollBack(appFolder, *journal, recovery.restored, recovery.lost, recovery.log);
        recovery.outcome = recovery.lost.isEmpty() ? TOutcome::RolledBack : TOutcome::Incomplete;
        recovery.log.append(recovery.lost.isEmpty()
                                ? QStringLiteral("the interrupted update to version %1 was undone; version %2 is back")
                                      .arg(journal->toVersion, journal->fromVersion)
                                : QStringLiteral("the interrupted update to version %1 could not be undone whole")
                                      .arg(journal->toVersion));
        if (!recovery.lost.isEmpty())
            return recovery;
    }
    RemoveIfThere(path);
    SyncFolder(appFolder);
    return recovery;
}

QString RecoveryMessage(const TRecovery &recovery)
{
    switch (recovery.outcome) {
    case TOutcome::Nothing:
    case TOutcome::Busy:
    case TOutcome::Completed:
        return {};
    case TOutcome::RolledBack:
        return QStringLiteral("The update to version %1 was interrupted before it was complete. The program's files "
                              "of version %2 have been put back, so the program is as it was before the update. You "
                              "can try the update again with Check Updates.")
            .arg(recovery.toVersion, recovery.fromVersion);
    case TOutcome::Incomplete:
        return QStringLiteral("The update to version %1 was interrupted before it was complete, and these files of "
                              "version %2 could not be put back: %3. Please install the program anew.")
            .arg(recovery.toVersion, recovery.fromVersion, recovery.lost.join(QStringLiteral(", ")));
    case TOutcome::Damaged:
        return QStringLiteral("An update of the program was interrupted, and its record in the program's folder "
                              "could not be read, so some of the program's files may belong to another version. If "
                              "the program does not work as before, please install it anew.");
    }
    return {};
}

} // namespace UpdateJournal
