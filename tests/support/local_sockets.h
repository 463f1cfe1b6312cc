#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/stat.h>

// The local sockets lying directly in `folder`.
inline int SocketsIn(const QString &folder)
{
    int found = 0;
    for (const QString &name : QDir(folder).entryList(QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        struct stat st;
        if (::lstat(QFile::encodeName(folder + u'/' + name).constData(), &st) == 0 && S_ISSOCK(st.st_mode))
            ++found;
    }
    return found;
}
