#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Swapping a release's files into the application folder so that a process
// killed at any moment leaves a folder that is one version or the other.
//
// Before the first installed file changes, a journal naming every file of the
// swap, and whether an installed file was there before it, is made durable in
// the folder. Each installed file stays reachable under a second name until
// every new file is in; then the journal is marked installed, the old files
// go and the journal goes last. Whoever finds the journal afterwards (the
// next start of the program or of the updater) puts the old files back while
// it is not marked installed, and otherwise only clears what the swap left.
//
// The journal is read as untrusted input: bounded in size, never followed
// through a link, and refused whole when it names anything but plain,
// non-user files of the folder itself.
namespace UpdateJournal {

inline constexpr char JournalName[] = "updater.journal";
inline constexpr qint64 MaxJournalSize = 1 << 20;

struct TEntry
{
    QString name;
    bool hadOld = false; // an installed file was there before the swap
    bool operator==(const TEntry &) const = default;
};

struct TJournal
{
    QString fromVersion;
    QString toVersion;
    bool installed = false; // every new file is in; only leftovers remain
    QList<TEntry> entries;
    bool operator==(const TJournal &) const = default;
};

QByteArray Format(const TJournal &journal);
std::optional<TJournal> Parse(const QByteArray &bytes, QString &error);

// The swap's own files beside `name`: the new one before it goes in, the old
// one while it is kept, and a copy of the old one on its way to being kept.
QString StagedName(const QString &name);
QString KeptName(const QString &name);
QString CopyName(const QString &name);

struct TSwapFile
{
    QString name;
    int mode = 0644; // what the new file gets
};

struct TSwapHooks
{
    // Just before each file is swapped in.
    std::function<void(const QString &name)> beforeReplace;
    // After each change to the folder the swap makes on its way: the journal
    // written, each file kept and each renamed, the journal marked, each
    // leftover removed, the journal removed.
    std::function<void()> afterStep;
};

struct TSwapResult
{
    bool ok = false;
    QString failure;  // what went wrong, for "could not be installed: ..."
    QStringList lost; // files that could not be put back after a failure
    QStringList log;
};

// Swaps in every file of `files`, each already written beside its target as
// StagedName(name), all or none. `appFolder` ends with a separator. A journal
// left by an earlier swap is not overwritten: the swap is refused.
TSwapResult Swap(const QString &appFolder, const QString &fromVersion, const QString &toVersion,
                 const QList<TSwapFile> &files, const TSwapHooks &hooks = {});

enum class TOutcome {
    Nothing,    // no journal
    RolledBack, // the old files are back, byte for byte
    Completed,  // the journal said installed; its leftovers are cleared
    Busy,       // a swap is running right now; nothing was touched
    Incomplete, // some old files could not be put back; the journal stays
    Damaged,    // the journal could not be trusted; it was removed
};

struct TRecovery
{
    TOutcome outcome = TOutcome::Nothing;
    QString fromVersion;
    QString toVersion;
    QStringList restored; // files put back
    QStringList lost;
    QStringList log;
};

// Finishes what a swap that was cut short left in `appFolder` (ending with a
// separator). Cheap when there is no journal.
TRecovery Recover(const QString &appFolder);

// What to tell the user about a recovery, once; empty when there is nothing
// to tell.
QString RecoveryMessage(const TRecovery &recovery);

} // namespace UpdateJournal
