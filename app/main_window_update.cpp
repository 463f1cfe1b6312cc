// The update check of the main window: the description file from the update
// site, the offer, and the hand-over to the updater program.
#include "main_window.h"

#include "services/http_client.h"
#include "services/update_check.h"
#include "settings/branding_settings.h"
#include "util/codepage.h"
#include "util/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QToolButton>

using namespace UpdateCheck;

void TfrmMain::btnUpdateClick()
{
    CheckForUpdates(false);
}

QByteArray TfrmMain::UpdateSite() const
{
    return m_updateBaseURL.isEmpty() ? QByteArray(UpdateBaseURL) : m_updateBaseURL;
}

bool TfrmMain::DownloadToFile(const QByteArray &url, const QString &path)
{
    QFile::remove(path);
    QFile file(path);
    // Not being able to create the file is a fault of the folder, not of the
    // update site: it goes to the error reporter.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw EFileError(QStringLiteral("Cannot create the file \"%1\": %2")
                             .arg(QDir::toNativeSeparators(path), file.errorString()));

    // The disconnect after a download would also end a request that another
    // handler started while this one waited; that one is left to finish.
    const auto disconnectClient = [this] {
        if (!IdHTTP1->Busy())
            IdHTTP1->Disconnect();
    };
    try {
        QCoreApplication::processEvents();
        IdHTTP1->GetToFile(url, file);
        if (!file.flush())
            throw EFileError(file.errorString());
        file.close();
        disconnectClient();
        return true;
    } catch (const std::exception &) {
        disconnectClient();
        file.close();
        QFile::remove(path);
        return false;
    }
}

bool TfrmMain::CheckForUpdates(bool quiet)
{
    // A second check while one waits would delete the description the first
    // is still writing, and every message would come twice.
    if (m_checkingUpdates)
        return false;
    m_checkingUpdates = true;
    const auto done = qScopeGuard([this] { m_checkingUpdates = false; });
    const bool wasShown = isVisible();
    const QByteArray site = UpdateSite();
    const QString local = AppFolder() + QLatin1String(DescriptionFile);
    bool downloaded = false;
    {
        // A check the user asked for shows on its button that it is working.
        if (!quiet)
            btnUpdate->setCursor(Qt::WaitCursor);
        const auto idle = qScopeGuard([this, quiet] {
            if (!quiet)
                btnUpdate->unsetCursor();
        });
        downloaded = DownloadToFile(site + DescriptionFile, local);
    }
    if (downloaded && QFileInfo::exists(local)) {
        const TUpdateOffer offer = DecideUpdate(ReadDescription(local).version, AppVersion, LocaleDecimalSeparator());
        if (offer.offered) {
            if (Messages().MessageDlg(offer.question, TMsgDlgType::mtInformation, mbOK | mbCancel) !=
                TModalResult::mrOk)
                return false;
            const QString updater = AppFolder() + QLatin1String(UpdaterProgram);
            const QFileInfo updaterInfo(updater);
            if (!updaterInfo.isFile() || !updaterInfo.isExecutable()) {
                Messages().MessageDlg(UpdaterMissingText, TMsgDlgType::mtWarning, mbOK);
                return false;
            }
            if (Messages().MessageDlg(CloseToUpdateText, TMsgDlgType::mtInformation, mbOK | mbCancel) ==
                TModalResult::mrCancel)
                return false;
            // Whether the updater really started is not known here; the
            // window closes all the same so that it can replace the files.
            // It works in the application folder, not wherever the program
            // happened to be started from.
            QProcess::startDetached(updater, {FromAnsi(site), QString::fromLatin1(AppVersion), QStringLiteral("A")},
                                    AppFolder());
            close();
            return true;
        }
    }
    // A window closed while the check waited is on its way out; telling its
    // user there is no update would only hold up the end of the program.
    const bool closedMeanwhile = wasShown && !isVisible();
    if (!quiet && !closedMeanwhile)
        Messages().MessageDlg(NoUpdatesText, TMsgDlgType::mtInformation, mbOK);
    return false;
}
