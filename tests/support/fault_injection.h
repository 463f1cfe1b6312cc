#pragma once

#include "util/atomic_writer.h"

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

// Makes one step of the atomic writes of files named `fileName` fail with
// `error` (ENOSPC as a full disk, EROFS as a file system turned read-only),
// from the step's (skip + 1)-th time on, until the object goes out of scope.
class TWriteFault
{
public:
    TWriteFault(const QString &fileName, TAtomicWriter::TStep step, int error, int skip = 0);
    ~TWriteFault();
    TWriteFault(const TWriteFault &) = delete;
    TWriteFault &operator=(const TWriteFault &) = delete;
};
