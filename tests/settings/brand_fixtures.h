#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Shared by the settings and window tests of the publisher's files.

// An animated GIF: 120 x 40 pixels, two frames (red, blue), looping.
QByteArray AnimatedGif();

// "<%%name%%>value<%%/name%%>"
QByteArray Tagged(const QByteArray &name, const QByteArray &value);

// Encrypts `plaintext` into `folder`/dbsettings.dat with the program's own
// file operation. `folder` ends with a separator.
void WriteContainer(const QString &folder, const QByteArray &plaintext);
// The plaintext of a container, or an empty array when it does not open.
QByteArray ContainerPlaintext(const QString &containerPath);
// The names of the files in `folder`, sorted.
QStringList FilesIn(const QString &folder);

// A default web browser for OpenURLInBrowser: while it lives, the desktop's
// http association points to a script that records each start's arguments.
class TFakeBrowser
{
public:
    TFakeBrowser();
    ~TFakeBrowser();
    // One entry per start, "count:[arg]...", e.g. "1:[]" for an empty address.
    QStringList Starts() const;
    void Clear() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    QByteArray m_oldData;
};
