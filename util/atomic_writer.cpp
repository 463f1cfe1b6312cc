#include "atomic_writer.h"

#include "errors.h"

#include <QDir>
#include <QFileInfo>

namespace {
constexpr qsizetype kBlock = 1 << 20;
}

TAtomicWriter::TAtomicWriter(const QString &path) : m_path(path), m_file(path)
{
    const bool isNew = !QFileInfo::exists(path);
    if (!m_file.open(QIODevice::WriteOnly))
        Fail(QStringLiteral("Cannot create file"));
    // A new file is owner-only before its first byte; an existing one keeps
    // the mode its owner gave it, which QSaveFile carries over.
    if (isNew && !m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        Fail(QStringLiteral("Cannot create file"));
    m_block.reserve(kBlock);
}

void TAtomicWriter::Write(const char *data, qsizetype size)
{
    if (m_block.size() + size > kBlock) {
        Flush();
        if (size >= kBlock) {
            Put(data, size);
            return;
        }
    }
    m_block.append(data, size);
}

void TAtomicWriter::Commit()
{
    Flush();
    if (!m_file.commit())
        throw EFileError(QStringLiteral("Cannot write file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(m_path), m_file.errorString()));
}

void TAtomicWriter::Put(const char *data, qsizetype size)
{
    if (m_file.write(data, size) != size)
        Fail(QStringLiteral("Cannot write file"));
}

void TAtomicWriter::Flush()
{
    if (m_block.isEmpty())
        return;
    Put(m_block.constData(), m_block.size());
    m_block.resize(0);
}

void TAtomicWriter::Fail(const QString &what)
{
    m_file.cancelWriting();
    throw EFileError(QStringLiteral("%1 \"%2\". %3")
                         .arg(what, QDir::toNativeSeparators(m_path), m_file.errorString()));
}
