#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// One running copy per application folder. Two copies in one folder would
// each rewrite the book from their own lists and the last save would win.
// The first copy holds a lock file in the folder and listens on a local
// socket named after the folder; a later copy asks it over that socket to
// come to the front and then ends. A lock left by a copy that was killed is
// taken over.
class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    static const QString kLockFileName;

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

    // The local socket's name for a folder: the same for every spelling of
    // the folder's path, different for different folders.
    static QString ServerName(const QString &appFolder);

signals:
    // A later copy asked this one to come to the front.
    void activationRequested();

private:
    bool AskRunningCopy(int waitMs) const;
    void Listen();

    QString m_appFolder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
