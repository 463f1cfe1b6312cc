#include "csv.h"

#include "util/codepage.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

QString Decode(const QByteArray &data, bool *ansi)
{
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    *ansi = utf8.hasError();
    if (*ansi)
        text = FromAnsi(bytes);
    return text;
}

} // namespace

class TCsvReader::TParser
{
public:
    TParser(QString text, int maxRows) : m_text(std::move(text)), m_maxRows(maxRows) {}

    // The next row; false at the end or at a fault of the whole file.
    bool Next(TCsvRow &row, QString &fault)
    {
        while (m_pos < m_text.size()) {
            if (m_rowNumber >= m_maxRows) {
                fault = QStringLiteral("The file has more than %1 rows.").arg(m_maxRows);
                return false;
            }
            row = TCsvRow();
            row.line = m_line;
            if (ReadRecord(row))
                continue; // an empty line
            row.row = ++m_rowNumber;
            return true;
        }
        m_text = QString(); // all read: the decoded file goes before its rows are used
        return false;
    }

private:
    QChar At(qsizetype i) const { return i < m_text.size() ? m_text[i] : QChar(); }

    // Consumes a line end at m_pos if there is one.
    bool LineEnd()
    {
        const QChar c = At(m_pos);
        if (c == u'\r') {
            m_pos += At(m_pos + 1) == u'\n' ? 2 : 1;
        } else if (c == u'\n') {
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
            if (At(m_pos) == u'"') {
                ReadQuoted(row, field);
            } else {
                // Cut out whole: a field built a character at a time holds
                // spare room, which a file of many rows multiplies.
                const qsizetype start = m_pos;
                while (m_pos < m_text.size()) {
                    const QChar c = m_text[m_pos];
                    if (c == u',' || c == u'\r' || c == u'\n')
                        break;
                    if (c == u'"')
                        Fault(row, QStringLiteral("a double quote inside a field that does not start with one"));
                    ++m_pos;
                }
                field = m_text.mid(start, m_pos - start);
            }
            if (row.fields.size() < kCsvMaxFields)
                row.fields.append(std::move(field));
            else
                Fault(row, QStringLiteral("more than %1 fields").arg(kCsvMaxFields));
            if (m_pos >= m_text.size() || LineEnd()) {
                m_width = std::max<qsizetype>(row.fields.size(), 1);
                return false;
            }
            ++m_pos; // the comma
        }
    }

    void ReadQuoted(TCsvRow &row, QString &field)
    {
        ++m_pos; // opening quote
        // Taken in runs between doubled quotes, for the reason above.
        qsizetype run = m_pos;
        const auto take = [&](qsizetype end) { field.append(QStringView(m_text).mid(run, end - run)); };
        for (;;) {
            if (m_pos >= m_text.size()) {
                take(m_pos);
                Fault(row, QStringLiteral("a quoted field is not closed before the end of the file"));
                return;
            }
            const QChar c = m_text[m_pos];
            if (c == u'"') {
                if (At(m_pos + 1) == u'"') {
                    take(m_pos + 1); // one of the two
                    m_pos += 2;
                    run = m_pos;
                    continue;
                }
                take(m_pos);
                ++m_pos;
                break;
            }
            if (c == u'\n' || (c == u'\r' && At(m_pos + 1) != u'\n'))
                ++m_line;
            ++m_pos;
        }
        // After the closing quote only a comma or the end of the record may follow.
        if (m_pos < m_text.size() && At(m_pos) != u',' && At(m_pos) != u'\r' && At(m_pos) != u'\n') {
            Fault(row, QStringLiteral("text after the closing quote of a field"));
            while (m_pos < m_text.size() && At(m_pos) != u',' && At(m_pos) != u'\r' && At(m_pos) != u'\n')
                field += m_text[m_pos++];
        }
    }

    QString m_text;
    const int m_maxRows;
    qsizetype m_width = 1;
    qsizetype m_pos = 0;
    int m_line = 1;
    int m_rowNumber = 0;
};

TCsvReader::TCsvReader(const QByteArray &data, qsizetype maxBytes, int maxRows)
{
    if (data.size() > maxBytes) {
        m_fault = QStringLiteral("The file is larger than %1 MB.").arg(maxBytes / (1024 * 1024));
        return;
    }
    m_parser = std::make_unique<TParser>(Decode(data, &m_readAsAnsi), maxRows);
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

TCsvTable ReadCsv(const QByteArray &data, qsizetype maxBytes, int maxRows)
{
    TCsvTable table;
    TCsvReader reader(data, maxBytes, maxRows);
    table.readAsAnsi = reader.ReadAsAnsi();
    TCsvRow row;
    while (reader.Next(row))
        table.rows.append(std::move(row));
    table.fault = reader.Fault();
    return table;
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
