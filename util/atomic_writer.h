#pragma once

#include <QSaveFile>
#include <QString>

// Writes a file atomically from many pieces: they are gathered into large
// blocks (a piece larger than a block goes out as it is), and the file
// replaces the old one only when Commit succeeds, so a failure leaves the
// old file whole. Throws EFileError on failure.
class TAtomicWriter
{
public:
    explicit TAtomicWriter(const QString &path);
    TAtomicWriter(const TAtomicWriter &) = delete;
    TAtomicWriter &operator=(const TAtomicWriter &) = delete;

    void Write(const char *data, qsizetype size);
    void Write(const QByteArray &bytes) { Write(bytes.constData(), bytes.size()); }
    void Commit();

private:
    void Put(const char *data, qsizetype size);
    void Flush();
    [[noreturn]] void Fail(const QString &what);

    QString m_path;
    QSaveFile m_file;
    QByteArray m_block;
};
