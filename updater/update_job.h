#pragma once

#include "release_signing.h"
#include "update_journal.h"
#include "update_manifest.h"
#include "services/http_exchange.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QNetworkAccessManager;

// One run of the updater on one application folder: fetch and verify the
// signed description, download the files that differ, wait for the program
// to end, and swap the files in, all or none. Everything it fetches is
// untrusted until the signature and each file's size and digest say
// otherwise, and nothing is written over an installed file before every
// download has been checked.
class TUpdateJob : public QObject
{
    Q_OBJECT
public:
    TUpdateJob(const QString &appFolder, const QString &baseUrl, const QString &ownVersion,
               const QByteArray &publicKeyPem, QObject *parent = nullptr);
    ~TUpdateJob() override;

    void Start();
    // Finishes what an earlier run that was cut short left in the folder (see
    // update_journal.h) and notes it in the log; returns what to tell the
    // user, if anything.
    QString RecoverInterrupted();
    // Ends the run before anything is replaced; ignored once replacing began.
    void Cancel();

    // How long to wait for the program of the folder to end.
    void SetWaitLimit(int ms) { m_waitLimitMs = ms; }
    // Runs just before each file is swapped in; lets a test make that fail.
    std::function<void(const QString &name)> beforeReplace;

    const UpdateManifest::TManifest &Manifest() const { return m_manifest; }
    const QStringList &Log() const { return m_log; }
    bool IsFinished() const { return m_finished; }
    bool Succeeded() const { return m_succeeded; }
    QString Message() const { return m_message; }

    // The processes whose executable is the program file of `appFolder`.
    static QList<qint64> ProgramProcesses(const QString &appFolder);

signals:
    void described(const QString &version, const QString &notes);
    void progress(qint64 done, qint64 total, const QString &file);
    void waitingForProgram();
    void finished(bool ok, const QString &message);

private:
    enum class TStep { Manifest, Signature, File };

    void Fetch(const QString &path, qint64 cap, TStep step);
    bool TakeChunk(const QByteArray &chunk);
    void OnReplyFinished();
    void OnManifestAndSignature();
    void NextDownload();
    void WaitForProgram();
    void Replace();
    void Fail(const QString &message);
    void Finish(bool ok, const QString &message);
    void RemoveStaged();
    void WriteLog();
    void Note(const QString &line);

    QString Path(const QString &name) const { return m_folder + name; }
    static QString Staged(const QString &name) { return UpdateJournal::StagedName(name); }

    QString m_folder;
    QString m_baseUrl;
    QString m_ownVersion;
    QByteArray m_publicKey;
    int m_waitLimitMs = 60000;

    QNetworkAccessManager *m_nam;
    QPointer<THttpExchange> m_exchange; // the request under way
    TStep m_step = TStep::Manifest;
    QByteArray m_buffer;
    QByteArray m_manifestBytes;
    QByteArray m_signature;
    UpdateManifest::TManifest m_manifest;

    QList<UpdateManifest::TFile> m_plan;
    int m_next = 0;
    std::unique_ptr<QFile> m_download;
    std::unique_ptr<ReleaseSigning::TSha256> m_sha;
    qint64 m_fileBytes = 0;
    qint64 m_doneBytes = 0;
    qint64 m_totalBytes = 0;
    QStringList m_staged;

    QTimer m_waitTimer;
    QElapsedTimer m_waitClock;

    bool m_replacing = false;
    bool m_finished = false;
    bool m_succeeded = false;
    QString m_message;
    QStringList m_log;
};
