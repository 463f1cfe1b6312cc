#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <memory>

// A window's control by its objectName, as a user's tools would find it. A
// control that is not there (or not of that type) ends the test at once with
// its name, instead of as a crash on a null pointer further on.
template <class T>
T *Child(const QObject &root, const char *name)
{
    T *found = root.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s named \"%s\" under %s", T::staticMetaObject.className(), name,
               qPrintable(root.objectName()));
    return found;
}

template <class T>
T *Child(const QObject *root, const char *name)
{
    return Child<T>(*root, name);
}

template <class T, class W>
T *Child(const std::unique_ptr<W> &root, const char *name)
{
    return Child<T>(*root, name);
}
