#pragma once

#include <QString>

// Makes every write of this process fail past `bytes` bytes of a file, as a
// full disk does, until the object goes out of scope.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(long long bytes);
    ~TFileSizeLimit();

private:
    unsigned long long m_old = 0;
    bool m_active = false;
};

// Makes a folder refuse new files until the object goes out of scope: the
// immutable attribute as root (permissions do not stop root), read-only
// permissions otherwise. Active() is false when neither could be set.
class TReadOnlyFolder
{
public:
    explicit TReadOnlyFolder(const QString &path);
    ~TReadOnlyFolder();
    bool Active() const { return m_active; }

private:
    QString m_path;
    bool m_immutable = false;
    bool m_active = false;
};
