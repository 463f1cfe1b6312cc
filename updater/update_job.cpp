#include "update_job.h"

#include "release_version.h"
#include "services/capped_reply.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>

#include <unistd.h>

using namespace UpdateManifest;

namespace {

constexpr int kTransferTimeoutMs = 30000;
constexpr int kWaitPollMs = 200;

int PermissionsToMode(QFileDevice::Permissions p)
{
    int mode = 0;
    mode |= p & QFileDevice::ReadOwner ? 0400 : 0;
    mode |= p & QFileDevice::WriteOwner ? 0200 : 0;
    mode |= p & QFileDevice::ExeOwner ? 0100 : 0;
    mode |= p & QFileDevice::ReadGroup ? 0040 : 0;
    mode |= p & QFileDevice::WriteGroup ? 0020 : 0;
    mode |= p & QFileDevice::ExeGroup ? 0010 : 0;
    mode |= p & QFileDevice::ReadOther ? 0004 : 0;
    mode |= p & QFileDevice::WriteOther ? 0002 : 0;
    mode |= p & QFileDevice::ExeOther ? 0001 : 0;
    return mode;
}

// Nobody but the owner may change an installed program file.
int InstalledMode(int mode)
{
    return mode & 0755;
}

} // namespace

TUpdateJob::TUpdateJob(const QString &appFolder, const QString &baseUrl, const QString &ownVersion,
                       const QByteArray &publicKeyPem, QObject *parent)
    : QObject(parent),
      m_folder(QDir(appFolder).absolutePath() + u'/'),
      m_baseUrl(baseUrl),
      m_ownVersion(ownVersion),
      m_publicKey(publicKeyPem),
      m_nam(new QNetworkAccessManager(this))
{
    m_waitTimer.setInterval(kWaitPollMs);
    connect(&m_waitTimer, &QTimer::timeout, this, &TUpdateJob::WaitForProgram);
}

TUpdateJob::~TUpdateJob()
{
    if (!m_finished && !m_replacing)
        RemoveStaged();
    // Before the manager their replies came from.
    qDeleteAll(findChildren<THttpExchange *>(Qt::FindDirectChildrenOnly));
}

void TUpdateJob::Note(const QString &line)
{
    m_log.append(QDateTime::currentDateTime().toString(Qt::ISODate) + u' ' + line);
}

void TUpdateJob::Start()
{
    Note(QStringLiteral("update of %1 from %2, running version %3").arg(m_folder, m_baseUrl, m_ownVersion));
    const QUrl base(m_baseUrl);
    if (!base.isValid() || (base.scheme() != u"http" && base.scheme() != u"https") || base.host().isEmpty() ||
        !m_baseUrl.endsWith(u'/')) {
        Fail(QStringLiteral("The address of the update site is not valid."));
        return;
    }
    if (!ReleaseVersion::Check(m_ownVersion.toStdString()).ok) {
        Fail(QStringLiteral("The running version \"%1\" cannot be compared with an update.").arg(m_ownVersion));
        return;
    }
    Fetch(QString::fromLatin1(ManifestName), MaxManifestSize, TStep::Manifest);
}

void TUpdateJob::Cancel()
{
    if (m_finished || m_replacing)
        return;
    Fail(QStringLiteral("The update was cancelled."));
}

void TUpdateJob::Fetch(const QString &path, qint64 cap, TStep step)
{
    m_step = step;
    m_buffer.clear();
    QNetworkRequest request(QUrl(m_baseUrl + path));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    // Read as it arrives, never past the cap, and given up on when the site
    // goes quiet; OnReplyFinished tells why a reply over the cap ended.
    m_exchange = new THttpExchange(m_nam->get(request), cap, kTransferTimeoutMs,
                                   [this](const QByteArray &chunk) { return TakeChunk(chunk); }, this);
    connect(m_exchange, &THttpExchange::finished, this, &TUpdateJob::OnReplyFinished);
}

bool TUpdateJob::TakeChunk(const QByteArray &chunk)
{
    if (!m_exchange || m_finished)
        return false;
    if (m_step != TStep::File) {
        m_buffer.append(chunk);
        return true;
    }
    if (m_download->write(chunk) != chunk.size()) {
        Fail(QStringLiteral("The file \"%1\" could not be written: %2")
                 .arg(m_plan.value(m_next).name, m_download->errorString()));
        return false;
    }
    m_sha->Add(chunk);
    m_fileBytes += chunk.size();
    emit progress(m_doneBytes + m_fileBytes, m_totalBytes, m_plan.value(m_next).name);
    return true;
}

void TUpdateJob::OnReplyFinished()
{
    THttpExchange *exchange = m_exchange;
    if (!exchange || m_finished)
        return;
    if (exchange->OverCap()) {
        Fail(m_step == TStep::File ? QStringLiteral("The file \"%1\" from the update site is larger than the update "
                                                    "says.")
                                         .arg(m_plan.value(m_next).name)
                                   : QStringLiteral("The update site sent more than expected."));
        return;
    }
    m_exchange = nullptr;
    QNetworkReply *reply = exchange->Reply();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        Note(QStringLiteral("request %1 failed: %2 (status %3)")
                 .arg(reply->url().toString(), reply->errorString())
                 .arg(status));
        Fail(QStringLiteral("The update site could not be reached or did not have the update (%1).")
                 .arg(reply->errorString()));
        return;
    }
    switch (m_step) {
    case TStep::Manifest:
        m_manifestBytes = m_buffer;
        Fetch(QString::fromLatin1(SignatureName), ReleaseSigning::SignatureSize, TStep::Signature);
        return;
    case TStep::Signature:
        m_signature = m_buffer;
        OnManifestAndSignature();
        return;
    case TStep::File: {
        const TFile &file = m_plan[m_next];
        m_download->close();
        if (m_fileBytes != file.size || m_sha->Hex() != file.sha256) {
            Fail(QStringLiteral("The file \"%1\" from the update site is not the one the update describes.")
                     .arg(file.name));
            return;
        }
        Note(QStringLiteral("downloaded %1 (%2 bytes), digest checked").arg(file.name).arg(file.size));
        m_doneBytes += file.size;
        ++m_next;
        NextDownload();
        return;
    }
    }
}

void TUpdateJob::OnManifestAndSignature()
{
    // Nothing of the description is looked at before its signature holds.
    if (!ReleaseSigning::Verify(m_publicKey, m_manifestBytes, m_signature)) {
        Fail(QStringLiteral("The update is not signed by the publisher of this program; it was not installed."));
        return;
    }
    QString error;
    const std::optional<TManifest> manifest = Parse(m_manifestBytes, error);
    if (!manifest) {
        Fail(QStringLiteral("The update cannot be installed: %1.").arg(error));
        return;
    }
    m_manifest = *manifest;
    Note(QStringLiteral("signed update to version %1 (from %2 on)").arg(m_manifest.version, m_manifest.minVersion));
    emit described(m_manifest.version, m_manifest.notes);
    const double own = ReleaseVersion::Value(m_ownVersion.toStdString());
    if (!(ReleaseVersion::Value(m_manifest.version.toStdString()) > own)) {
        Fail(QStringLiteral("The update offers version %1, which is not newer than the running version %2.")
                 .arg(m_manifest.version, m_ownVersion));
        return;
    }
    if (ReleaseVersion::Value(m_manifest.minVersion.toStdString()) > own) {
        Fail(QStringLiteral("Version %1 cannot be updated from the running version %2; it needs version %3 or "
                            "later. Please install it anew.")
                 .arg(m_manifest.version, m_ownVersion, m_manifest.minVersion));
        return;
    }

    for (const TFile &file : m_manifest.files) {
        const QFileInfo installed(Path(file.name));
        if (installed.exists() && (!installed.isFile() || installed.isSymLink())) {
            Fail(QStringLiteral("\"%1\" in the program's folder is not a plain file; the update was not installed.")
                     .arg(file.name));
            return;
        }
        if (installed.exists() && installed.size() == file.size &&
            PermissionsToMode(installed.permissions()) == InstalledMode(file.mode) &&
            ReleaseSigning::FileSha256Hex(installed.filePath()) == file.sha256)
            continue;
        m_plan.append(file);
        m_totalBytes += file.size;
    }
    Note(QStringLiteral("%1 of %2 files differ").arg(m_plan.size()).arg(m_manifest.files.size()));
    NextDownload();
}

void TUpdateJob::NextDownload()
{
    if (m_next >= m_plan.size()) {
        emit progress(m_totalBytes, m_totalBytes, QString());
        m_waitClock.start();
        emit waitingForProgram();
        WaitForProgram();
        if (!m_finished && !m_replacing)
            m_waitTimer.start();
        return;
    }
    const TFile &file = m_plan[m_next];
    const QString staged = Path(Staged(file.name));
    m_staged.append(staged);
    QFile::remove(staged);
    m_download = std::make_unique<QFile>(staged);
    if (!m_download->open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        Fail(QStringLiteral("A file could not be created in the program's folder: %1").arg(m_download->errorString()));
        return;
    }
    m_sha = std::make_unique<ReleaseSigning::TSha256>();
    m_fileBytes = 0;
    emit progress(m_doneBytes, m_totalBytes, file.name);
    Fetch(QString::fromLatin1(FilesFolder) + QString::fromLatin1(QUrl::toPercentEncoding(file.name)), file.size,
          TStep::File);
}

QList<qint64> TUpdateJob::ProgramProcesses(const QString &appFolder)
{
    const QString program = QFileInfo(QDir(appFolder).absolutePath() + u'/' + QLatin1String(ProgramName))
                                .canonicalFilePath();
    const QString deleted = QDir(QDir(appFolder).canonicalPath()).filePath(QLatin1String(ProgramName)) +
                            QStringLiteral(" (deleted)");
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == qint64(::getpid()))
            continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/") + entry + QStringLiteral("/exe"));
        if (!exe.isEmpty() && ((!program.isEmpty() && exe == program) || exe == deleted))
            found.append(pid);
    }
    return found;
}

void TUpdateJob::WaitForProgram()
{
    if (m_finished)
        return;
    if (!ProgramProcesses(m_folder).isEmpty()) {
        if (m_waitClock.elapsed() > m_waitLimitMs) {
            m_waitTimer.stop();
            Fail(QStringLiteral("The program is still running, so its files cannot be replaced. Close it and "
                                "try the update again."));
        }
        return;
    }
    m_waitTimer.stop();
    Replace();
}

void TUpdateJob::Replace()
{
    m_replacing = true;
    QList<UpdateJournal::TSwapFile> files;
    for (const TFile &file : std::as_const(m_plan))
        files.append({file.name, InstalledMode(file.mode)});
    const UpdateJournal::TSwapResult swap =
        UpdateJournal::Swap(m_folder, m_ownVersion, m_manifest.version, files, {beforeReplace, {}});
    for (const QString &line : swap.log)
        Note(line);
    if (swap.ok) {
        m_staged.clear();
        Finish(true, QStringLiteral("Version %1 is installed.").arg(m_manifest.version));
        return;
    }
    RemoveStaged();
    QString message = QStringLiteral("The update could not be installed: %1.").arg(swap.failure);
    message += swap.lost.isEmpty() ? QStringLiteral(" Your program is unchanged.")
                                   : QStringLiteral(" These files could not be put back: %1. Please install the "
                                                    "program anew.")
                                         .arg(swap.lost.join(QStringLiteral(", ")));
    Finish(false, message);
}

QString TUpdateJob::RecoverInterrupted()
{
    const UpdateJournal::TRecovery recovery = UpdateJournal::Recover(m_folder);
    for (const QString &line : recovery.log)
        Note(line);
    // Told at once: this run may be cut short as well.
    if (!recovery.log.isEmpty())
        WriteLog();
    return UpdateJournal::RecoveryMessage(recovery);
}

void TUpdateJob::RemoveStaged()
{
    if (m_download)
        m_download->close();
    for (const QString &path : std::as_const(m_staged))
        QFile::remove(path);
    m_staged.clear();
}

void TUpdateJob::Fail(const QString &message)
{
    if (m_finished)
        return;
    if (THttpExchange *exchange = m_exchange) {
        m_exchange = nullptr;
        exchange->disconnect(this);
        exchange->Cancel();
    }
    m_waitTimer.stop();
    RemoveStaged();
    Finish(false, message);
}

void TUpdateJob::Finish(bool ok, const QString &message)
{
    m_finished = true;
    m_succeeded = ok;
    m_message = message;
    Note((ok ? QStringLiteral("done: ") : QStringLiteral("failed: ")) + message);
    WriteLog();
    emit finished(ok, message);
}

void TUpdateJob::WriteLog()
{
    // Only the last run is kept; a log that cannot be written changes nothing.
    QSaveFile log(Path(QString::fromLatin1(LogName)));
    if (!log.open(QIODevice::WriteOnly))
        return;
    log.write(m_log.join(u'\n').toUtf8() + '\n');
    log.commit();
}
