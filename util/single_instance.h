#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;
class QSocketNotifier;

// One running copy per application folder. Two copies in one folder would
// each rewrite the book from their own lists and the last save would win.
// The first copy holds a lock file in the folder and listens on a local
// socket named after the folder; a later copy asks it over that socket to
// come to the front and then ends. A lock left by a copy that was killed is
// taken over.
//
// The socket lies in a folder only this user can write to (the session's
// runtime folder, else a folder of the user's own in the temporary folder),
// so that no other user can take its name first and be "activated" in the
// owner's place.
class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    // In the header, so that the book's folder takes the same lock without
    // linking the socket side.
    static inline const QString kLockFileName = QStringLiteral("tarnwick.lock");

    // `appFolder` ends with a path separator.
    explicit TSingleInstance(const QString &appFolder, QObject *parent = nullptr);
    ~TSingleInstance() override;

    enum class TClaim {
        First,       // this copy runs the book
        HandedOver,  // another copy runs it and was asked to come to the front
        Unreachable, // another copy holds the folder but did not answer
    };
    // `waitMs` bounds each step of asking a running copy.
    TClaim Claim(int waitMs = 3000);

    // The full path of the local socket for a folder: the same for every
    // spelling of the folder's path, different for different folders; empty
    // when this user has no private folder for it.
    static QString ServerName(const QString &appFolder);
    // $XDG_RUNTIME_DIR when it is this user's own and writable by nobody
    // else; otherwise <temporary folder>/tarnwick-<uid>, made owner-only and
    // used only when it is this user's real folder. With a trailing
    // separator; empty when neither will do.
    static QString SocketFolder();

    // Turns SIGTERM into terminationRequested() for as long as this object
    // lives, so that the copy ends through its usual path and the socket and
    // the lock go with it; a request that comes before the signal is
    // connected is delivered once it is. One object of the process at a time.
    void WatchTermination();

signals:
    // A later copy asked this one to come to the front.
    void activationRequested();
    // The process was asked to end (SIGTERM).
    void terminationRequested();

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    bool AskRunningCopy(int waitMs) const;
    void Listen();

    QString m_appFolder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    bool m_watchesTermination = false;
    QSocketNotifier *m_termNotifier = nullptr;
};
