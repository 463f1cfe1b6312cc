#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A throw-away application folder for one test.
class TTempAppFolder
{
public:
    TTempAppFolder();
    // The folder with a trailing separator, as the main window expects it.
    QString Path() const { return m_dir.path() + QLatin1Char('/'); }
    QString File(const QString &name) const { return Path() + name; }
    void Write(const QString &name, const QByteArray &bytes) const;
    QByteArray Read(const QString &name) const;
    bool Exists(const QString &name) const;

private:
    QTemporaryDir m_dir;
};
