#include "temp_app_folder.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

TTempAppFolder::TTempAppFolder()
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder");
}

void TTempAppFolder::Write(const QString &name, const QByteArray &bytes) const
{
    QFile f(File(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(File(name)));
}

QByteArray TTempAppFolder::Read(const QString &name) const
{
    QFile f(File(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool TTempAppFolder::Exists(const QString &name) const
{
    return QFileInfo::exists(File(name));
}
