#include "csv.h"

#include "util/codepage.h"

#include <QByteArrayView>
#include <QFile>

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsContinuation(char c)
{
    return (uchar(c) & 0xC0) == 0x80;
}

QString LargerThan(qsizetype maxBytes)
{
    return QStringLiteral("The file is larger than %1 MB.").arg(maxBytes / (1024 * 1024));
}

QString Unreadable()
{
    return QStringLiteral("The file cannot be read to its end.");
}

QString Changed()
{
    return QStringLiteral("The file changed while it was read.");
}

// What a pass read, so that a later pass over a file on disk knows it read
// the same bytes: a file cut short or rewritten between them would else give
// rows the first pass never saw, the last one perhaps cut in two.
class TPassDigest
{
public:
    TPassDigest()
    {
        // For the processor's fastest BLAKE2b; the digest is the same without.
        static const bool ready = sodium_init() >= 0;
        Q_UNUSED(ready);
        crypto_generichash_init(&m_state, nullptr, 0, crypto_generichash_BYTES);
    }
    void Add(const char *data, qsizetype size)
    {
        if (size > 0)
            crypto_generichash_update(&m_state, reinterpret_cast<const unsigned char *>(data), quint64(size));
    }
    QByteArray Final()
    {
        QByteArray out(crypto_generichash_BYTES, Qt::Uninitialized);
        crypto_generichash_final(&m_state, reinterpret_cast<unsigned char *>(out.data()), size_t(out.size()));
        return out;
    }

private:
    crypto_generichash_state m_state;
};

// Tells whether a file is UTF-8 a piece at a time: a piece ends after its
// last byte that starts a character, so no character is cut in two.
class TUtf8Check
{
public:
    void Add(const char *data, qsizetype size)
    {
        m_pending.append(data, size);
        qsizetype cut = m_pending.size();
        for (qsizetype back = 1; back <= 4 && back <= m_pending.size(); ++back) {
            if (!IsContinuation(m_pending[m_pending.size() - back])) {
                cut = m_pending.size() - back;
                break;
            }
        }
        Check(cut);
    }
    bool Valid()
    {
        Check(m_pending.size());
        return m_valid;
    }

private:
    void Check(qsizetype cut)
    {
        m_valid = m_valid && QByteArrayView(m_pending.constData(), cut).isValidUtf8();
        m_pending.remove(0, cut);
    }

    QByteArray m_pending;
    bool m_valid = true;
};

} // namespace

TCsvSource::TCsvSource(QByteArray bytes, qsizetype chunk) : m_bytes(std::move(bytes)), m_chunk(std::max<qsizetype>(chunk, 1))
{
}

TCsvSource TCsvSource::File(const QString &path, qsizetype chunk)
{
    TCsvSource source(QByteArray(), chunk);
    source.m_path = path;
    return source;
}

TCsvSource::TFeed TCsvSource::Open() const
{
    if (m_path.isEmpty()) {
        return [bytes = m_bytes, at = qsizetype(0)](char *to, qsizetype max) mutable {
            const qsizetype n = std::min(max, bytes.size() - at);
            std::memcpy(to, bytes.constData() + at, size_t(n));
            at += n;
            return n;
        };
    }
    auto file = std::make_shared<QFile>(m_path);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file->isSequential())
        return [](char *, qsizetype) { return qsizetype(-1); };
    return [file](char *to, qsizetype max) { return qsizetype(file->read(to, max)); };
}

// Reads records from a window over the file: bytes come in a chunk at a time
// as the parse reaches them, and those of records already read are dropped
// before the next record starts.
class TCsvReader::TParser
{
public:
    // `read`: the digest of the first pass, which this one must match.
    TParser(TCsvSource::TFeed feed, qsizetype chunk, bool ansi, qsizetype maxBytes, int maxRows, QByteArray read)
        : m_feed(std::move(feed)), m_chunk(chunk), m_ansi(ansi), m_maxBytes(maxBytes), m_maxRows(maxRows),
          m_firstPass(std::move(read))
    {
        if (Have(2) && m_buf.startsWith(kByteOrderMark))
            m_pos = 3;
    }

    // The next row; false at the end or at a fault of the whole file.
    bool Next(TCsvRow &row, QString &fault)
    {
        for (;;) {
            if (m_pos >= m_chunk) {
                m_buf.remove(0, m_pos);
                m_pos = 0;
            }
            if (!Have(m_pos))
                break;
            if (m_rowNumber >= m_maxRows) {
                fault = QStringLiteral("The file has more than %1 rows.").arg(m_maxRows);
                return false;
            }
            row = TCsvRow();
            row.line = m_line;
            const bool empty = ReadRecord(row);
            if (!m_fault.isEmpty())
                break; // the file changed or failed under the reader: the row may be cut short
            if (empty)
                continue;
            row.row = ++m_rowNumber;
            return true;
        }
        fault = m_fault;
        return false;
    }

private:
    // Whether byte i of the window exists, reading on to it if need be.
    bool Have(qsizetype i)
    {
        while (i >= m_buf.size() && !m_end) {
            const qsizetype old = m_buf.size();
            m_buf.resize(old + m_chunk);
            const qsizetype got = m_feed(m_buf.data() + old, m_chunk);
            m_buf.resize(old + std::max<qsizetype>(got, 0));
            m_read += std::max<qsizetype>(got, 0);
            m_digest.Add(m_buf.constData() + old, got);
            if (got < 0)
                m_fault = Unreadable();
            else if (m_read > m_maxBytes)
                m_fault = LargerThan(m_maxBytes);
            else if (got == 0 && m_digest.Final() != m_firstPass)
                m_fault = Changed();
            m_end = got <= 0 || !m_fault.isEmpty();
        }
        return i < m_buf.size();
    }
    char At(qsizetype i) { return Have(i) ? m_buf.at(i) : '\0'; }

    QString Text(const char *data, qsizetype size) const
    {
        return m_ansi ? FromAnsi(QByteArray::fromRawData(data, size)) : FromUtf8(QByteArrayView(data, size));
    }

    // Consumes a line end at m_pos if there is one.
    bool LineEnd()
    {
        const char c = At(m_pos);
        if (c == '\r') {
            m_pos += At(m_pos + 1) == '\n' ? 2 : 1;
        } else if (c == '\n') {
            ++m_pos;
        } else {
            return false;
        }
        ++m_line;
        return true;
    }

    void Fault(TCsvRow &row, const QString &why)
    {
        if (row.fault.isEmpty())
            row.fault = why;
    }

    // Reads one record; true when it was an empty line.
    bool ReadRecord(TCsvRow &row)
    {
        if (LineEnd())
            return true;
        // Rows are as wide as the one before, mostly: one allocation each.
        row.fields.reserve(m_width);
        for (;;) {
            QString field;
            if (At(m_pos) == '"') {
                field = ReadQuoted(row);
            } else {
                const qsizetype start = m_pos;
                while (Have(m_pos)) {
                    const char c = m_buf.at(m_pos);
                    if (c == ',' || c == '\r' || c == '\n')
                        break;
                    if (c == '"')
                        Fault(row, QStringLiteral("a double quote inside a field that does not start with one"));
                    ++m_pos;
                }
                field = Text(m_buf.constData() + start, m_pos - start);
            }
            if (row.fields.size() < kCsvMaxFields)
                row.fields.append(std::move(field));
            else
                Fault(row, QStringLiteral("more than %1 fields").arg(kCsvMaxFields));
            if (!Have(m_pos) || LineEnd()) {
                m_width = std::max<qsizetype>(row.fields.size(), 1);
                return false;
            }
            ++m_pos; // the comma
        }
    }

    QString ReadQuoted(TCsvRow &row)
    {
        ++m_pos; // opening quote
        // Gathered in runs between doubled quotes, and decoded once.
        m_field.truncate(0);
        qsizetype run = m_pos;
        const auto take = [&](qsizetype end) { m_field.append(m_buf.constData() + run, end - run); };
        for (;;) {
            if (!Have(m_pos)) {
                take(m_pos);
                Fault(row, QStringLiteral("a quoted field is not closed before the end of the file"));
                return Text(m_field.constData(), m_field.size());
            }
            const char c = m_buf.at(m_pos);
            if (c == '"') {
                if (At(m_pos + 1) == '"') {
                    take(m_pos + 1); // one of the two
                    m_pos += 2;
                    run = m_pos;
                    continue;
                }
                take(m_pos);
                ++m_pos;
                break;
            }
            if (c == '\n' || (c == '\r' && At(m_pos + 1) != '\n'))
                ++m_line;
            ++m_pos;
        }
        // After the closing quote only a comma or the end of the record may follow.
        const auto ends = [this] {
            const char c = m_buf.at(m_pos);
            return c == ',' || c == '\r' || c == '\n';
        };
        if (Have(m_pos) && !ends()) {
            Fault(row, QStringLiteral("text after the closing quote of a field"));
            while (Have(m_pos) && !ends())
                m_field.append(m_buf.at(m_pos++));
        }
        return Text(m_field.constData(), m_field.size());
    }

    TCsvSource::TFeed m_feed;
    const qsizetype m_chunk;
    const bool m_ansi;
    const qsizetype m_maxBytes;
    const int m_maxRows;
    QByteArray m_buf;   // the window: bytes from the start of the current record on
    QByteArray m_field; // a quoted field's bytes
    QString m_fault;
    const QByteArray m_firstPass;
    TPassDigest m_digest;
    qsizetype m_read = 0;
    bool m_end = false;
    qsizetype m_width = 1;
    qsizetype m_pos = 0;
    int m_line = 1;
    int m_rowNumber = 0;
};

TCsvReader::TCsvReader(const TCsvSource &source, qsizetype maxBytes, int maxRows)
{
    // The first pass: the size bound, the encoding and the line breaks.
    TCsvSource::TFeed feed = source.Open();
    QByteArray chunk(source.Chunk(), Qt::Uninitialized);
    TUtf8Check utf8;
    TPassDigest digest;
    QByteArray head; // the first bytes, until it is known whether they are a byte-order mark
    bool headDone = false;
    qsizetype size = 0;
    for (;;) {
        const qsizetype got = feed(chunk.data(), chunk.size());
        if (got < 0) {
            m_fault = Unreadable();
            return;
        }
        size += got;
        if (size > maxBytes) {
            m_fault = LargerThan(maxBytes);
            return;
        }
        const char *data = chunk.constData();
        digest.Add(data, got);
        m_lineBreaks += std::count(data, data + got, '\n') + std::count(data, data + got, '\r');
        if (headDone) {
            utf8.Add(data, got);
        } else {
            head.append(data, got);
            if (head.size() >= 3 || got == 0) {
                const qsizetype skip = head.startsWith(kByteOrderMark) ? 3 : 0;
                utf8.Add(head.constData() + skip, head.size() - skip);
                head = QByteArray();
                headDone = true;
            }
        }
        if (got == 0)
            break;
    }
    m_readAsAnsi = !utf8.Valid();
    m_parser = std::make_unique<TParser>(source.Open(), source.Chunk(), m_readAsAnsi, maxBytes, maxRows, digest.Final());
}

TCsvReader::~TCsvReader() = default;

bool TCsvReader::Next(TCsvRow &row)
{
    if (!m_parser || !m_fault.isEmpty())
        return false;
    if (m_parser->Next(row, m_fault))
        return true;
    m_parser.reset();
    return false;
}

TCsvTable ReadCsv(const TCsvSource &source, qsizetype maxBytes, int maxRows)
{
    TCsvTable table;
    TCsvReader reader(source, maxBytes, maxRows);
    table.readAsAnsi = reader.ReadAsAnsi();
    TCsvRow row;
    while (reader.Next(row))
        table.rows.append(std::move(row));
    table.fault = reader.Fault();
    return table;
}

TCsvTable ReadCsv(const QByteArray &data, qsizetype maxBytes, int maxRows)
{
    return ReadCsv(TCsvSource(data), maxBytes, maxRows);
}

QByteArray CsvRecord(const QStringList &fields)
{
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            out += ',';
        const QString &f = fields[i];
        const bool quote = f.contains(u',') || f.contains(u'"') || f.contains(u'\r') || f.contains(u'\n')
            || (!f.isEmpty() && (f.front() == u' ' || f.back() == u' '));
        if (quote) {
            QString q = f;
            q.replace(u'"', QStringLiteral("\"\""));
            out += '"' + q.toUtf8() + '"';
        } else {
            out += f.toUtf8();
        }
    }
    out += "\r\n";
    return out;
}
