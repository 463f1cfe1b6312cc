#pragma once

#include <QSaveFile>
#include <QString>

// Writes a file atomically from many pieces: they are gathered into large
// blocks (a piece larger than a block goes out as it is), and the file
// replaces the old one only when Commit succeeds, so a failure leaves the
// old file whole. Throws EFileError on failure, naming the file and the
// system's own reason ("No space left on device").
class TAtomicWriter
{
public:
    explicit TAtomicWriter(const QString &path);
    TAtomicWriter(const TAtomicWriter &) = delete;
    TAtomicWriter &operator=(const TAtomicWriter &) = delete;

    void Write(const char *data, qsizetype size);
    void Write(const QByteArray &bytes) { Write(bytes.constData(), bytes.size()); }
    // Puts every byte written so far on the disk, in the file that is to
    // replace the old one; the old one is still in place. Two files that
    // must change together are both prepared before either is committed.
    void Prepare();
    // Prepares, then replaces the old file.
    void Commit();

    // For tests: a full disk or a file system turned read-only at will. The
    // fault is asked before each write of the file's bytes and before the
    // file replaces the old one; a nonzero errno fails that step with it.
    enum class TStep { Write, Replace };
    using TFault = int (*)(const QString &path, TStep step);
    static void SetFault(TFault fault);

private:
    void Put(const char *data, qsizetype size);
    void Flush();
    [[noreturn]] void Fail(const QString &what, const QString &why);
    [[noreturn]] void Fail(const QString &what, int error);

    QString m_path;
    QSaveFile m_file;
    QByteArray m_block;
    bool m_prepared = false;
};
