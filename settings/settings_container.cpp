#include "settings_container.h"

#include "util/errors.h"
#include "util/file_crypt.h"
#include "util/string_list.h"

#include <QFile>
#include <QFileInfo>

TPlaintextGuard::~TPlaintextGuard()
{
    QFile::remove(m_path);
}

TContainerState ReadContainerText(const QString &containerPath, const QString &plainPath, QByteArray &text)
{
    text.clear();
    if (!QFileInfo::exists(containerPath))
        return TContainerState::Missing;
    TPlaintextGuard guard(plainPath);
    try {
        // A container that fails its verifier or its authentication code is
        // treated as one that does not open: a damaged or altered text must
        // not reach the window, even in part.
        if (!DecryptFileToFile(containerPath, plainPath))
            return TContainerState::Failed;
        text = JoinLines(LoadStringList(plainPath));
    } catch (const EFileError &) {
        text.clear();
        return TContainerState::Failed;
    }
    return TContainerState::Opened;
}

TContainerState ReadSettingsText(const QString &appFolder, QByteArray &text)
{
    return ReadContainerText(appFolder + QLatin1String(kContainerFileName),
                             appFolder + QLatin1String(kPlaintextFileName), text);
}

bool WriteOwnerOnlyFile(const QString &path, const QByteArray &bytes)
{
    // A stale file could be another user's or carry wider permissions; the new
    // one is created afresh so it never is.
    QFile::remove(path);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const bool ok = f.write(bytes) == bytes.size() && f.flush();
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}
