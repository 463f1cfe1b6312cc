#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Comma-separated values as RFC 4180 describes them, in UTF-8. Files come from
// outside, so reading is bounded and every fault is reported with the row it
// is in instead of guessed around.

constexpr qsizetype kCsvMaxBytes = 32 * 1024 * 1024;
constexpr int kCsvMaxRows = 500000;
constexpr int kCsvMaxFields = 256;

struct TCsvRow
{
    int row = 0;  // 1 for the first record of the file (the header)
    int line = 0; // the line the record starts on
    QStringList fields;
    QString fault; // why the row is malformed; empty when it is sound
};

struct TCsvTable
{
    QList<TCsvRow> rows; // empty lines are left out
    // A fault of the whole file (too large, too many rows); rows read before
    // it are kept, but the file should not be used.
    QString fault;
    bool readAsAnsi = false; // the bytes were not UTF-8 and were read as Windows-1252
};

// Where the bytes of a CSV file come from: held in memory, or a file on disk
// that is read again, a chunk at a time, by every reader made from it, so
// that a large file is never held whole.
class TCsvSource
{
public:
    static constexpr qsizetype kChunk = 64 * 1024;

    // Implicit, so that bytes in memory may be passed wherever a source is.
    TCsvSource(QByteArray bytes, qsizetype chunk = kChunk);
    // A regular file: a pipe could not be read a second time.
    static TCsvSource File(const QString &path, qsizetype chunk = kChunk);

    // Gives up to `max` bytes into `to` at each call and tells how many: 0
    // at the end, -1 when the file cannot be opened or read.
    using TFeed = std::function<qsizetype(char *to, qsizetype max)>;
    // A new pass over the bytes from their start.
    TFeed Open() const;
    qsizetype Chunk() const { return m_chunk; }

private:
    QByteArray m_bytes;
    QString m_path; // empty for bytes in memory
    qsizetype m_chunk;
};

// The rows of ReadCsv one at a time, so that a large file's rows need not
// all be held at once. A first pass over the bytes settles the encoding of
// the whole file before any of it is decoded; rows are then read from a
// window of a few chunks.
class TCsvReader
{
public:
    explicit TCsvReader(const TCsvSource &source, qsizetype maxBytes = kCsvMaxBytes, int maxRows = kCsvMaxRows);
    ~TCsvReader();
    TCsvReader(const TCsvReader &) = delete;
    TCsvReader &operator=(const TCsvReader &) = delete;

    // The next row; false at the end of the file, or at a fault of the whole
    // file, which Fault() then tells (rows given before it stand).
    bool Next(TCsvRow &row);
    const QString &Fault() const { return m_fault; }
    bool ReadAsAnsi() const { return m_readAsAnsi; }
    // CR and LF bytes of the whole file, quoted or not: no file has more
    // rows than one more than these.
    qsizetype LineBreaks() const { return m_lineBreaks; }

private:
    class TParser;
    std::unique_ptr<TParser> m_parser;
    QString m_fault;
    bool m_readAsAnsi = false;
    qsizetype m_lineBreaks = 0;
};

// Reads a whole file: a UTF-8 byte-order mark is skipped; records end at CR LF, LF
// or a lone CR; a field in double quotes may hold commas, line breaks and
// doubled quotes. A file that is not valid UTF-8 is read as Windows-1252.
TCsvTable ReadCsv(const TCsvSource &source, qsizetype maxBytes = kCsvMaxBytes, int maxRows = kCsvMaxRows);
TCsvTable ReadCsv(const QByteArray &data, qsizetype maxBytes = kCsvMaxBytes, int maxRows = kCsvMaxRows);

// One record in UTF-8 ending in CR LF; a field is quoted when it holds a
// comma, a double quote, CR or LF, or starts or ends with a blank.
QByteArray CsvRecord(const QStringList &fields);
