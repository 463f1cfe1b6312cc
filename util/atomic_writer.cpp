#include "atomic_writer.h"

#include "errors.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <unistd.h>

namespace {
constexpr qsizetype kBlock = 1 << 20;
std::atomic<TAtomicWriter::TFault> g_fault{nullptr};

int InjectedFault(const QString &path, TAtomicWriter::TStep step)
{
    const TAtomicWriter::TFault fault = g_fault.load();
    return fault ? fault(path, step) : 0;
}
} // namespace

void TAtomicWriter::SetFault(TFault fault)
{
    g_fault.store(fault);
}

TAtomicWriter::TAtomicWriter(const QString &path) : m_path(path), m_file(path)
{
    const bool isNew = !QFileInfo::exists(path);
    if (!m_file.open(QIODevice::WriteOnly))
        Fail(QStringLiteral("Cannot create file"), m_file.errorString());
    // A new file is owner-only before its first byte; an existing one keeps
    // the mode its owner gave it, which QSaveFile carries over.
    if (isNew && !m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        Fail(QStringLiteral("Cannot create file"), m_file.errorString());
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
    m_prepared = false;
}

void TAtomicWriter::Prepare()
{
    if (m_prepared)
        return;
    Flush();
    // The file replaces the old one only once its bytes are known to be on
    // the disk: a full disk or a failing device may tell only here.
    if (::fsync(m_file.handle()) != 0 && errno != EINVAL)
        Fail(QStringLiteral("Cannot write file"), errno);
    m_prepared = true;
}

void TAtomicWriter::Commit()
{
    Prepare();
    if (const int injected = InjectedFault(m_path, TStep::Replace))
        Fail(QStringLiteral("Cannot write file"), injected);
    if (!m_file.commit())
        throw EFileError(QStringLiteral("Cannot write file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(m_path), m_file.errorString()));
}

// The bytes go to the file's descriptor directly: QSaveFile reports a write
// that stopped part-way without the system's reason, and the reason is what
// the user needs to hear.
void TAtomicWriter::Put(const char *data, qsizetype size)
{
    m_prepared = false;
    if (const int injected = InjectedFault(m_path, TStep::Write))
        Fail(QStringLiteral("Cannot write file"), injected);
    const int fd = m_file.handle();
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail(QStringLiteral("Cannot write file"), errno);
        }
        if (written == 0)
            Fail(QStringLiteral("Cannot write file"), EIO);
        data += written;
        size -= written;
    }
}

void TAtomicWriter::Flush()
{
    if (m_block.isEmpty())
        return;
    Put(m_block.constData(), m_block.size());
    m_block.resize(0);
}

void TAtomicWriter::Fail(const QString &what, int error)
{
    Fail(what, qt_error_string(error));
}

void TAtomicWriter::Fail(const QString &what, const QString &why)
{
    // Taken before cancelling, which puts its own words in errorString().
    m_file.cancelWriting();
    throw EFileError(QStringLiteral("%1 \"%2\". %3").arg(what, QDir::toNativeSeparators(m_path), why));
}
