#include "private_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr QFileDevice::Permissions kOwnerFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
} // namespace

bool MakeOwnerOnlyFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        const QString parent = info.absolutePath();
        if (!QDir().mkpath(parent))
            return false;
        if (!QDir().mkdir(info.absoluteFilePath(), kOwnerFolder) && !QFileInfo(path).isDir())
            return false;
    } else if (!info.isDir()) {
        return false;
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::WriteOther
                                            | QFileDevice::ExeOther;
    if (!(QFile::permissions(path) & others))
        return true;
    return QFile::setPermissions(path, kOwnerFolder);
}
