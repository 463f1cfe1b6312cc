#include "account_book.h"

#include "item_titles.h"
#include "book/protected_file.h"
#include "util/atomic_writer.h"
#include "util/codepage.h"
#include "util/errors.h"
#include "util/text_utils.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUuid>

#include <algorithm>
#include <cstring>

namespace {

const char kCrLf[] = "\r\n";

unsigned char FoldAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool SameBytesIgnoringAsciiCase(const char *a, const char *b, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        if (FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A record starts with the name and its delimiter.
bool StartsWithField(const char *data, qsizetype size, const QByteArray &name, char delimiter)
{
    return size > name.size() && data[name.size()] == delimiter
        && std::memcmp(data, name.constData(), size_t(name.size())) == 0;
}

QByteArray JoinKey(const QByteArray &category, const QByteArray &title, char delimiter)
{
    QByteArray key;
    key.reserve(category.size() + 1 + title.size());
    key.append(category).append(delimiter).append(title);
    return key;
}

// A name that holds the delimiter can never equal a field.
bool CanBeField(const QByteArray &name, char delimiter)
{
    return !name.contains(delimiter);
}

} // namespace

TAccountBook::TAccountBook(QObject *parent) : QAbstractItemModel(parent)
{
}

TAccountBook::~TAccountBook()
{
    WipeEdited();
}

void TAccountBook::WipeEdited()
{
    // A protected book's decrypted records live in secure memory, which
    // wipes itself; those an edit copied out are wiped here.
    if (m_text == TBookText::Utf8)
        for (QByteArray &record : m_edited)
            WipeBytes(record);
}

void TAccountBook::SetIcons(const QVariant &category, const QVariant &item)
{
    m_categoryIcon = category;
    m_itemIcon = item;
}

// --- Records ---

TAccountBook::TView TAccountBook::View(qsizetype record) const
{
    const TRecordRef &ref = m_records[size_t(record)];
    if (ref.edited) {
        const QByteArray &bytes = m_edited[ref.offset];
        return {bytes.constData(), bytes.size()};
    }
    return {m_bytes.constData() + ref.offset, qsizetype(ref.length)};
}

bool TAccountBook::KeyOf(TView record, TView *key) const
{
    const auto *first = static_cast<const char *>(std::memchr(record.data, m_delimiter, size_t(record.size)));
    if (!first)
        return false;
    const qsizetype a = first - record.data;
    const auto *second =
        static_cast<const char *>(std::memchr(first + 1, m_delimiter, size_t(record.size - a - 1)));
    if (!second && a + 1 >= record.size)
        return false;
    *key = {record.data, second ? second - record.data : record.size};
    return true;
}

QByteArray TAccountBook::Record(qsizetype record) const
{
    const TView v = View(record);
    return QByteArray(v.data, v.size);
}

QByteArray TAccountBook::CategoryName(int row) const
{
    return m_categories[size_t(row)]->name;
}

void TAccountBook::SetRecord(qsizetype record, const QByteArray &bytes)
{
    TView key{};
    const bool keyedBefore = KeyOf(View(record), &key);
    if (keyedBefore)
        IndexRemove(quint32(record));
    TRecordRef &ref = m_records[size_t(record)];
    if (!ref.edited) {
        if (m_freeEdited.empty()) {
            ref.offset = m_edited.size();
            m_edited.append(QByteArray());
        } else {
            ref.offset = m_freeEdited.back();
            m_freeEdited.pop_back();
        }
        ref.edited = true;
    }
    if (m_text == TBookText::Utf8)
        WipeBytes(m_edited[ref.offset]);
    m_edited[ref.offset] = bytes;
    ref.length = quint32(bytes.size());
    const bool keyedAfter = KeyOf(View(record), &key);
    if (keyedAfter)
        IndexInsert(quint32(record));
    if (keyedBefore != keyedAfter) {
        const auto at = std::lower_bound(m_short.begin(), m_short.end(), quint32(record));
        if (keyedAfter)
            m_short.erase(at);
        else
            m_short.insert(at, quint32(record));
    }
}

void TAccountBook::RemoveRecords(const std::vector<quint32> &sorted)
{
    if (sorted.empty())
        return;
    for (quint32 r : sorted) {
        TView key{};
        if (KeyOf(View(r), &key)) {
            const auto *end = static_cast<const char *>(std::memchr(key.data, m_delimiter, size_t(key.size)));
            if (TCategory *c = FirstOfName(QByteArray::fromRawData(key.data, end - key.data))) {
                const qsizetype row = ChildRow(*c, r);
                if (row >= 0)
                    c->items.erase(c->items.begin() + row);
            }
            IndexRemove(r);
        } else {
            const auto at = std::lower_bound(m_short.begin(), m_short.end(), r);
            if (at != m_short.end() && *at == r)
                m_short.erase(at);
        }
        TRecordRef &ref = m_records[r];
        if (ref.edited) {
            if (m_text == TBookText::Utf8)
                WipeBytes(m_edited[ref.offset]);
            m_edited[ref.offset] = QByteArray();
            m_freeEdited.push_back(qint32(ref.offset));
        }
    }

    // Close the gaps, then renumber every reference to a later record.
    std::vector<quint32> newNumber(m_records.size());
    size_t kept = 0;
    auto next = sorted.begin();
    for (size_t r = 0; r < m_records.size(); ++r) {
        if (next != sorted.end() && *next == r) {
            ++next;
            continue;
        }
        newNumber[r] = quint32(kept);
        m_records[kept++] = m_records[r];
    }
    m_records.resize(kept);
    Renumber(newNumber);
}

// Everything that names records by number follows them to their new places.
void TAccountBook::Renumber(const std::vector<quint32> &newNumber)
{
    for (const auto &bucket : std::as_const(m_buckets)) {
        for (quint32 &slot : bucket->table)
            if (slot)
                slot = newNumber[slot - 1] + 1;
        for (quint32 &r : bucket->records)
            r = newNumber[r];
    }
    for (const auto &c : m_categories)
        for (quint32 &r : c->items)
            r = newNumber[r];
    for (quint32 &r : m_short)
        r = newNumber[r];
}

// --- The index ---

quint64 TAccountBook::KeyHash(TView key)
{
    quint64 h = 0xcbf29ce484222325ULL;
    const auto *p = reinterpret_cast<const unsigned char *>(key.data);
    for (qsizetype i = 0; i < key.size; ++i)
        h = (h ^ FoldAscii(p[i])) * 0x100000001b3ULL;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ULL;
    return h ^ (h >> 32);
}

void TAccountBook::IndexClear()
{
    m_buckets.clear();
    m_foldedBuckets.clear();
}

TAccountBook::TBucket *TAccountBook::BucketOf(TView category) const
{
    const auto found = m_buckets.constFind(QByteArray::fromRawData(category.data, category.size));
    return found == m_buckets.cend() ? nullptr : found->get();
}

TAccountBook::TBucket *TAccountBook::AddBucket(const QByteArray &category)
{
    auto bucket = std::make_shared<TBucket>();
    bucket->category = category;
    QByteArray folded = category;
    for (char &c : folded)
        c = char(FoldAscii(static_cast<unsigned char>(c)));
    m_foldedBuckets[folded].push_back(bucket.get());
    m_buckets.insert(bucket->category, bucket);
    return bucket.get();
}

void TAccountBook::BuildTable(TBucket &bucket) const
{
    std::vector<quint32> records = BucketRecords(bucket);
    size_t capacity = 16;
    while (capacity < records.size() * 2 + 2)
        capacity *= 2;
    bucket.table.assign(capacity, 0);
    bucket.count = 0;
    bucket.records = std::vector<quint32>();
    for (quint32 r : records)
        TableInsert(bucket, r);
}

void TAccountBook::TableInsert(TBucket &bucket, quint32 record) const
{
    if (size_t(bucket.count + 1) * 2 > bucket.table.size()) {
        bucket.records = BucketRecords(bucket);
        bucket.records.insert(std::lower_bound(bucket.records.begin(), bucket.records.end(), record), record);
        bucket.table.clear();
        BuildTable(bucket);
        return;
    }
    TView key{};
    KeyOf(View(record), &key);
    const size_t mask = bucket.table.size() - 1;
    size_t i = size_t(KeyHash(key)) & mask;
    while (bucket.table[i])
        i = (i + 1) & mask;
    bucket.table[i] = record + 1;
    ++bucket.count;
}

std::vector<quint32> TAccountBook::BucketRecords(const TBucket &bucket) const
{
    if (bucket.table.empty())
        return bucket.records;
    std::vector<quint32> records;
    records.reserve(size_t(bucket.count));
    for (quint32 slot : bucket.table)
        if (slot)
            records.push_back(slot - 1);
    std::sort(records.begin(), records.end());
    return records;
}

void TAccountBook::IndexInsert(quint32 record)
{
    TView key{};
    KeyOf(View(record), &key);
    const auto *end = static_cast<const char *>(std::memchr(key.data, m_delimiter, size_t(key.size)));
    const TView category{key.data, end - key.data};
    TBucket *bucket = BucketOf(category);
    if (!bucket)
        bucket = AddBucket(QByteArray(category.data, category.size));
    if (bucket->table.empty())
        BuildTable(*bucket);
    TableInsert(*bucket, record);
}

void TAccountBook::IndexRemove(quint32 record)
{
    TView key{};
    if (!KeyOf(View(record), &key))
        return;
    const auto *end = static_cast<const char *>(std::memchr(key.data, m_delimiter, size_t(key.size)));
    TBucket *bucket = BucketOf({key.data, end - key.data});
    if (!bucket)
        return;
    if (bucket->table.empty())
        BuildTable(*bucket);
    std::vector<quint32> &table = bucket->table;
    const size_t mask = table.size() - 1;
    const auto home = [&](quint32 slot) {
        TView k{};
        KeyOf(View(slot - 1), &k);
        return size_t(KeyHash(k)) & mask;
    };
    size_t i = home(record + 1);
    while (table[i] != record + 1) {
        if (!table[i])
            return;
        i = (i + 1) & mask;
    }
    // Shift the entries after the gap back so that no probe stops early.
    size_t j = i;
    for (;;) {
        j = (j + 1) & mask;
        if (!table[j])
            break;
        const size_t k = home(table[j]);
        const bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
        if (stays)
            continue;
        table[i] = table[j];
        i = j;
    }
    table[i] = 0;
    --bucket->count;
}

template <class F>
void TAccountBook::IndexFind(TView key, bool ignoreCase, F &&f) const
{
    const auto *end = static_cast<const char *>(std::memchr(key.data, m_delimiter, size_t(key.size)));
    if (!end)
        return;
    const TView category{key.data, end - key.data};
    // Returns true when f asked to stop.
    const auto probe = [&](TBucket &bucket) {
        if (bucket.table.empty())
            BuildTable(bucket);
        const size_t mask = bucket.table.size() - 1;
        for (size_t i = size_t(KeyHash(key)) & mask; bucket.table[i]; i = (i + 1) & mask) {
            const quint32 record = bucket.table[i] - 1;
            TView other{};
            KeyOf(View(record), &other);
            if (other.size != key.size)
                continue;
            const bool same = ignoreCase ? SameBytesIgnoringAsciiCase(other.data, key.data, key.size)
                                         : std::memcmp(other.data, key.data, size_t(key.size)) == 0;
            if (same && f(record))
                return true;
        }
        return false;
    };
    if (!ignoreCase) {
        if (TBucket *bucket = BucketOf(category))
            probe(*bucket);
        return;
    }
    QByteArray folded(category.data, category.size);
    for (char &c : folded)
        c = char(FoldAscii(static_cast<unsigned char>(c)));
    const auto group = m_foldedBuckets.constFind(folded);
    if (group == m_foldedBuckets.cend())
        return;
    for (TBucket *bucket : *group)
        if (probe(*bucket))
            return;
}

qsizetype TAccountBook::FindItem(const QByteArray &category, const QByteArray &title) const
{
    if (!CanBeField(category, m_delimiter) || !CanBeField(title, m_delimiter))
        return -1;
    const QByteArray key = JoinKey(category, title, m_delimiter);
    qsizetype first = -1;
    IndexFind({key.constData(), key.size()}, false, [&](quint32 record) {
        if (first < 0 || record < first)
            first = record;
        return false;
    });
    return first;
}

TStringList TAccountBook::ShortRecordsBefore(qsizetype record) const
{
    TStringList out;
    for (quint32 r : m_short) {
        if (record >= 0 && r >= record)
            break;
        out.append(Record(r));
    }
    return out;
}

qsizetype TAccountBook::RecordsWithoutCategory(QByteArrayList *names) const
{
    // One look per category field, not per record.
    std::vector<std::pair<quint32, const TBucket *>> orphans;
    qsizetype count = 0;
    for (const auto &bucket : std::as_const(m_buckets)) {
        if (FirstOfName(bucket->category))
            continue;
        const std::vector<quint32> records = BucketRecords(*bucket);
        if (records.empty())
            continue;
        count += qsizetype(records.size());
        orphans.emplace_back(records.front(), bucket.get());
    }
    if (names) {
        std::sort(orphans.begin(), orphans.end());
        names->clear();
        for (const auto &o : orphans)
            names->append(o.second->category);
    }
    return count;
}

// --- Categories ---

TAccountBook::TCategory *TAccountBook::FirstOfName(const QByteArray &name) const
{
    return m_firstOfName.value(name, nullptr);
}

void TAccountBook::RebuildFirstOfName()
{
    m_firstOfName.clear();
    m_firstOfName.reserve(qsizetype(m_categories.size()));
    for (const auto &c : m_categories)
        if (!m_firstOfName.contains(c->name))
            m_firstOfName.insert(c->name, c.get());
}

bool TAccountBook::HoldsRecordsOf(const TCategory *category) const
{
    return FirstOfName(category->name) == category;
}

void TAccountBook::AttachRecords()
{
    // The records of a category are those of its name's group.
    for (const auto &c : m_categories) {
        c->items.clear();
        if (FirstOfName(c->name) != c.get())
            continue;
        if (const TBucket *bucket = BucketOf({c->name.constData(), c->name.size()}))
            c->items = BucketRecords(*bucket);
    }
}

void TAccountBook::AttachOwnRecords(TCategory *category)
{
    // A category that comes to hold a name shows the records of that name
    // already in the book (left by a category removed from categories.dat,
    // say), as it will at the next start.
    std::vector<quint32> own;
    if (FirstOfName(category->name) == category)
        if (const TBucket *bucket = BucketOf({category->name.constData(), category->name.size()}))
            own = BucketRecords(*bucket);
    if (own == category->items)
        return;
    const QModelIndex node = CategoryIndex(category->row);
    if (!category->items.empty()) {
        beginRemoveRows(node, 0, int(category->items.size()) - 1);
        category->items.clear();
        endRemoveRows();
    }
    if (!own.empty()) {
        beginInsertRows(node, 0, int(own.size()) - 1);
        category->items = std::move(own);
        endInsertRows();
    }
}

qsizetype TAccountBook::ChildRow(const TCategory &category, qsizetype record) const
{
    const auto at = std::lower_bound(category.items.begin(), category.items.end(), quint32(record));
    if (at == category.items.end() || *at != record)
        return -1;
    return at - category.items.begin();
}

TAccountBook::TCategory *TAccountBook::CategoryOf(const QModelIndex &node) const
{
    if (!node.isValid() || node.model() != this)
        return nullptr;
    if (node.internalPointer())
        return static_cast<TCategory *>(node.internalPointer());
    return m_categories[size_t(node.row())].get();
}

QModelIndex TAccountBook::IndexOfRecord(qsizetype record) const
{
    TView key{};
    if (record < 0 || record >= RecordCount() || !KeyOf(View(record), &key))
        return {};
    const auto *end = static_cast<const char *>(std::memchr(key.data, m_delimiter, size_t(key.size)));
    const TCategory *c = FirstOfName(QByteArray::fromRawData(key.data, end - key.data));
    if (!c)
        return {};
    const qsizetype row = ChildRow(*c, record);
    return row < 0 ? QModelIndex() : createIndex(int(row), 0, c);
}

qsizetype TAccountBook::RecordAt(const QModelIndex &item) const
{
    if (!IsItemNode(item) || item.model() != this)
        return -1;
    return static_cast<const TCategory *>(item.internalPointer())->items[size_t(item.row())];
}

// --- Files ---

void TAccountBook::LoadCategories(const QString &path)
{
    if (!QFileInfo::exists(path))
        return;
    SetCategories(LoadStringList(path));
}

void TAccountBook::SetCategories(const TStringList &names)
{
    beginResetModel();
    m_categories.clear();
    m_categories.reserve(size_t(names.size()));
    for (const QByteArray &name : names) {
        auto c = std::make_unique<TCategory>();
        c->name = name;
        c->row = int(m_categories.size());
        m_categories.push_back(std::move(c));
    }
    RebuildFirstOfName();
    AttachRecords();
    endResetModel();
}

void TAccountBook::LoadItems(const QString &path)
{
    if (!QFileInfo::exists(path))
        return;
    LoadItemBytes(LoadFileBytes(path), path);
}

void TAccountBook::LoadCategoryBytes(const QByteArray &bytes)
{
    SetCategories(SplitLines(bytes));
}

void TAccountBook::LoadItemBytes(QByteArray bytes, const QString &path, std::shared_ptr<const void> keeper)
{
    const qsizetype size = bytes.size();
    LoadItemBytes(std::move(bytes), path, std::move(keeper), [size](qsizetype) { return size; }, [] {});
}

void TAccountBook::LoadItemBytes(QByteArray bytes, const QString &path, std::shared_ptr<const void> keeper,
                                 const std::function<qsizetype(qsizetype)> &ready, const std::function<void()> &settle)
{
    const char delimiter = m_delimiter;
    // One pass finds the lines and groups the keyed records by category;
    // the record table is sized from the lines of the file's first part, so
    // it is not copied while it grows.
    std::vector<TRecordRef> records;
    {
        qsizetype sampled = 0;
        qsizetype lines = 0;
        const QByteArray head = QByteArray::fromRawData(
            bytes.constData(), std::min<qsizetype>(ready(std::min<qsizetype>(bytes.size(), 1 << 16)), 1 << 16));
        ForEachLine(head, [&](qsizetype start, qsizetype length) {
            ++lines;
            sampled = start + length;
        });
        qsizetype estimate = lines > 1 ? qsizetype(double(bytes.size()) / double(sampled) * double(lines) * 1.05) : 0;
        // A head of short lines does not reserve more than the file's size.
        estimate = std::min(estimate, bytes.size() / qsizetype(sizeof(TRecordRef)));
        records.reserve(size_t(estimate) + 16);
        if (qsizetype(records.capacity() * sizeof(TRecordRef)) >= kLargePageThreshold)
            AdviseLargePages(records.data(), qsizetype(records.capacity() * sizeof(TRecordRef)));
    }
    std::vector<quint32> shortRecords;
    qsizetype cutShort = 0;
    QHash<QByteArray, std::shared_ptr<TBucket>> buckets;
    TBucket *last = nullptr;
    bool tooLong = false;
    const char *base = bytes.constData();
    ForEachReadyLineCounting(bytes, delimiter, ready, [&](qsizetype start, qsizetype length, qsizetype delimiters) {
        if (quint64(length) > 0xFFFFFFFFULL)
            tooLong = true;
        const auto record = quint32(records.size());
        records.push_back({start, quint32(length), false});
        const char *data = base + start;
        // An empty line holds no item to lose.
        cutShort += length > 0 && RecordFieldCount(delimiters, data, length, delimiter) < kRecordFieldCount;
        const auto *first = static_cast<const char *>(std::memchr(data, delimiter, size_t(length)));
        // Keyed as KeyOf has it: a delimiter that is not the record's last byte.
        if (!first || first + 1 >= data + length) {
            shortRecords.push_back(record);
            return;
        }
        const qsizetype size = first - data;
        if (!last || last->category.size() != size || std::memcmp(last->category.constData(), data, size_t(size)) != 0) {
            auto &bucket = buckets[QByteArray::fromRawData(data, size)];
            if (!bucket) {
                bucket = std::make_shared<TBucket>();
                bucket->category = QByteArray(data, size);
            }
            last = bucket.get();
        }
        last->records.push_back(record);
    });
    settle();
    if (tooLong)
        throw EFileError(QStringLiteral("Cannot read file \"%1\". A line is longer than 4 GB.")
                             .arg(QDir::toNativeSeparators(path)));
    beginResetModel();
    WipeEdited();
    m_bytes = std::move(bytes);
    m_keeper = std::move(keeper);
    m_records = std::move(records);
    m_edited.clear();
    m_freeEdited.clear();
    m_short = std::move(shortRecords);
    m_cutShortRead = cutShort;
    IndexClear();
    for (const auto &bucket : std::as_const(buckets)) {
        // The keys taken from the file's bytes become keys of their own.
        m_buckets.insert(bucket->category, bucket);
        QByteArray folded = bucket->category;
        for (char &c : folded)
            c = char(FoldAscii(static_cast<unsigned char>(c)));
        m_foldedBuckets[folded].push_back(bucket.get());
    }
    AttachRecords();
    endResetModel();
}

void TAccountBook::SaveCategories(const QString &path) const
{
    TAtomicWriter out(path);
    WriteCategories(out);
    out.Commit();
}

void TAccountBook::SaveItems(const QString &path) const
{
    TAtomicWriter out(path);
    WriteItems(out);
    out.Commit();
}

void TAccountBook::WriteCategories(TAtomicWriter &out) const
{
    for (const auto &c : m_categories) {
        out.Write(c->name);
        out.Write(kCrLf, 2);
    }
}

void TAccountBook::WriteItems(TAtomicWriter &out) const
{
    WriteItems([&out](const char *data, qsizetype size) { out.Write(data, size); }, m_bytes, m_records, m_edited);
}

void TAccountBook::WriteItemsTo(const TSink &out) const
{
    WriteItems(out, m_bytes, m_records, m_edited);
}

QByteArray TAccountBook::CategoryBytes() const
{
    QByteArray bytes;
    for (const auto &c : m_categories)
        bytes.append(c->name).append(kCrLf, 2);
    return bytes;
}

void TAccountBook::WriteItems(const TSink &out, const QByteArray &bytes, const std::vector<TRecordRef> &records,
                              const QByteArrayList &edited)
{
    // Records still in the bytes read, each followed by the CR LF it was
    // read with, go out as one run; only edited records and other line ends
    // are written piece by piece.
    const char *base = bytes.constData();
    const qint64 size = bytes.size();
    qint64 runStart = -1;
    qint64 runEnd = -1;
    const auto flush = [&] {
        if (runStart >= 0)
            out(base + runStart, runEnd - runStart);
        runStart = -1;
    };
    for (const TRecordRef &ref : records) {
        if (ref.edited) {
            flush();
            out(edited[ref.offset].constData(), edited[ref.offset].size());
            out(kCrLf, 2);
            continue;
        }
        if (runStart < 0 || ref.offset != runEnd) {
            flush();
            runStart = ref.offset;
        }
        const qint64 end = ref.offset + ref.length;
        if (end + 2 <= size && base[end] == '\r' && base[end + 1] == '\n') {
            runEnd = end + 2;
        } else {
            runEnd = end;
            flush();
            out(kCrLf, 2);
        }
    }
    flush();
}

TAccountBook::TItemsSnapshot TAccountBook::SnapshotItems() const
{
    TItemsSnapshot snapshot;
    snapshot.m_bytes = m_bytes;
    snapshot.m_keeper = m_keeper;
    snapshot.m_edited = m_edited;
    // The one copy a snapshot makes: 16 bytes a record, in large pages so a
    // million records do not fault in page by page.
    const qsizetype tableBytes = qsizetype(m_records.size() * sizeof(TRecordRef));
    snapshot.m_records.reserve(m_records.size());
    if (tableBytes >= kLargePageThreshold)
        AdviseLargePages(snapshot.m_records.data(), tableBytes);
    snapshot.m_records.assign(m_records.begin(), m_records.end());
    snapshot.m_size = m_bytes.size();
    for (const QByteArray &e : m_edited)
        snapshot.m_size += e.size();
    return snapshot;
}

void TAccountBook::TItemsSnapshot::Save(const QString &path) const
{
    TAtomicWriter out(path);
    WriteTo([&out](const char *data, qsizetype size) { out.Write(data, size); });
    out.Commit();
}

void TAccountBook::TItemsSnapshot::WriteTo(const TSink &out) const
{
    WriteItems(out, m_bytes, m_records, m_edited);
}

void TAccountBook::Clear()
{
    WipeEdited();
    beginResetModel();
    m_categories.clear();
    m_firstOfName.clear();
    m_bytes.clear();
    m_keeper.reset();
    m_records.clear();
    m_edited.clear();
    m_freeEdited.clear();
    m_short.clear();
    m_cutShortRead = 0;
    IndexClear();
    endResetModel();
}

// --- Rules ---

bool TAccountBook::TitleTaken(const QModelIndex &item, const QByteArray &title) const
{
    if (!IsItemNode(item) || item.model() != this)
        return false;
    const TCategory *c = CategoryOf(item.parent());
    if (!CanBeField(c->name, m_delimiter) || !CanBeField(title, m_delimiter))
        return false;
    const qsizetype own = RecordAt(item);
    const QByteArray key = JoinKey(c->name, title, m_delimiter);
    bool taken = false;
    IndexFind({key.constData(), key.size()}, false, [&](quint32 record) {
        taken = record != own && ChildRow(*c, record) >= 0;
        return taken;
    });
    return taken;
}

TBookOutcome TAccountBook::AddCategory(const QByteArray &name, QModelIndex *added)
{
    const QByteArray key = TrimAnsi(name);
    for (const auto &c : m_categories)
        if (SameTextAscii(TrimAnsi(c->name), key))
            return TBookOutcome::CategoryExists;
    const int row = CategoryCount();
    beginInsertRows(QModelIndex(), row, row);
    auto c = std::make_unique<TCategory>();
    c->name = name;
    c->row = row;
    if (!m_firstOfName.contains(name))
        m_firstOfName.insert(name, c.get());
    m_categories.push_back(std::move(c));
    endInsertRows();
    AttachOwnRecords(m_categories.back().get());
    if (added)
        *added = CategoryIndex(row);
    return TBookOutcome::Done;
}

TBookOutcome TAccountBook::AddItem(const QModelIndex &selected, const QByteArray &title, QModelIndex *added)
{
    TCategory *target = CategoryOf(IsItemNode(selected) ? selected.parent() : selected);
    if (!target)
        return TBookOutcome::NoCategory;
    // Items of a name show under the first category of that name: a later
    // one of the same name would lose the new item at the next start.
    target = FirstOfName(target->name);
    // Every record counts, also those of no category shown.
    if (CanBeField(target->name, m_delimiter) && CanBeField(title, m_delimiter)) {
        const QByteArray key = JoinKey(target->name, title, m_delimiter);
        bool exists = false;
        IndexFind({key.constData(), key.size()}, true, [&](quint32) { return exists = true; });
        if (exists)
            return TBookOutcome::ItemExists;
    }
    const QModelIndex parent = CategoryIndex(target->row);
    const int row = int(target->items.size());
    beginInsertRows(parent, row, row);
    const auto record = quint32(m_records.size());
    m_records.push_back({});
    m_short.push_back(record); // an empty record has no key until it is set
    SetRecord(record, BuildNewItemRecord(target->name, title, m_text));
    target->items.push_back(record);
    endInsertRows();
    if (added)
        *added = index(row, 0, parent);
    return TBookOutcome::Done;
}

TBookOutcome TAccountBook::RenameCategory(const QModelIndex &category, const QByteArray &name)
{
    if (!IsCategoryNode(category) || category.model() != this)
        return TBookOutcome::NotACategory;
    TCategory *c = CategoryOf(category);
    const QByteArray key = TrimAnsi(name);
    for (const auto &other : m_categories)
        if (other.get() != c && SameTextAscii(TrimAnsi(other->name), key))
            return TBookOutcome::CategoryExists;
    const QByteArray oldName = c->name;
    if (HoldsRecordsOf(c)) {
        // Byte for byte: a category whose name differs only in case keeps
        // its records.
        for (qsizetype r = 0; r < RecordCount(); ++r) {
            const TView v = View(r);
            if (!StartsWithField(v.data, v.size, oldName, m_delimiter))
                continue;
            QByteArray renamed = name;
            renamed.append(v.data + oldName.size(), v.size - oldName.size());
            SetRecord(r, renamed);
        }
    }
    c->name = name;
    RebuildFirstOfName();
    emit dataChanged(category, category);
    AttachOwnRecords(c);
    return TBookOutcome::Done;
}

TBookOutcome TAccountBook::DeleteCategory(const QModelIndex &category, TRemovedRecords *removed)
{
    if (!IsCategoryNode(category) || category.model() != this)
        return TBookOutcome::NotACategory;
    TCategory *c = CategoryOf(category);
    const QByteArray name = c->name;
    std::vector<quint32> gone;
    // Records of the name without a node go too; those of a later category
    // of the same name belong to this one.
    if (HoldsRecordsOf(c)) {
        for (qsizetype r = 0; r < RecordCount(); ++r) {
            const TView v = View(r);
            if (StartsWithField(v.data, v.size, name, m_delimiter))
                gone.push_back(quint32(r));
        }
    }
    if (removed)
        for (quint32 r : gone)
            removed->emplace_back(r, Record(r));
    const int row = c->row;
    beginRemoveRows(QModelIndex(), row, row);
    m_categories.erase(m_categories.begin() + row);
    for (size_t i = size_t(row); i < m_categories.size(); ++i)
        m_categories[i]->row = int(i);
    RebuildFirstOfName();
    RemoveRecords(gone);
    endRemoveRows();
    return TBookOutcome::Done;
}

TBookOutcome TAccountBook::DeleteItem(const QModelIndex &item, TRemovedRecords *removed)
{
    if (!IsItemNode(item) || item.model() != this)
        return TBookOutcome::NotAnItem;
    const qsizetype record = FindItem(CategoryOf(item.parent())->name, item.data(NameRole).toByteArray());
    if (record < 0)
        return TBookOutcome::NoRecord;
    if (removed)
        removed->emplace_back(quint32(record), Record(record));
    const QModelIndex node = IndexOfRecord(record);
    if (node.isValid())
        beginRemoveRows(node.parent(), node.row(), node.row());
    RemoveRecords({quint32(record)});
    if (node.isValid())
        endRemoveRows();
    return TBookOutcome::Done;
}

void TAccountBook::InsertCategory(int row, const QByteArray &name)
{
    row = std::clamp(row, 0, CategoryCount());
    beginInsertRows(QModelIndex(), row, row);
    auto c = std::make_unique<TCategory>();
    c->name = name;
    TCategory *added = c.get();
    m_categories.insert(m_categories.begin() + row, std::move(c));
    for (size_t i = size_t(row); i < m_categories.size(); ++i)
        m_categories[i]->row = int(i);
    RebuildFirstOfName();
    endInsertRows();
    AttachOwnRecords(added);
}

void TAccountBook::InsertRecords(const TRemovedRecords &records)
{
    if (records.empty())
        return;
    // Open the gaps in one pass (the reverse of RemoveRecords), renumbering
    // every reference to a later record.
    const size_t total = m_records.size() + records.size();
    std::vector<quint32> places;
    for (const auto &[place, bytes] : records)
        places.push_back(quint32(std::min<size_t>(place, total - records.size() + places.size())));
    std::vector<quint32> newNumber(m_records.size());
    std::vector<TRecordRef> moved(total);
    size_t old = 0;
    auto next = places.begin();
    for (size_t r = 0; r < total; ++r) {
        if (next != places.end() && *next == r) {
            ++next;
            continue;
        }
        newNumber[old] = quint32(r);
        moved[r] = m_records[old++];
    }
    m_records = std::move(moved);
    Renumber(newNumber);

    for (size_t i = 0; i < places.size(); ++i) {
        const quint32 record = places[i];
        // An empty record has no key until it is set.
        m_short.insert(std::lower_bound(m_short.begin(), m_short.end(), record), record);
        SetRecord(record, records[i].second);
        TView key{};
        if (!KeyOf(View(record), &key))
            continue;
        const auto *end = static_cast<const char *>(std::memchr(key.data, m_delimiter, size_t(key.size)));
        TCategory *c = FirstOfName(QByteArray::fromRawData(key.data, end - key.data));
        if (!c)
            continue;
        const auto at = std::lower_bound(c->items.begin(), c->items.end(), record);
        const int row = int(at - c->items.begin());
        beginInsertRows(CategoryIndex(c->row), row, row);
        c->items.insert(at, record);
        endInsertRows();
    }
}

TBookOutcome TAccountBook::StoreItem(const QModelIndex &item, const std::array<QByteArray, 10> &fields1to10,
                                     const QByteArray &description)
{
    if (!IsItemNode(item) || item.model() != this)
        return TBookOutcome::NotAnItem;
    if (TitleTaken(item, fields1to10[0]))
        return TBookOutcome::TitleTaken;
    const QByteArray category = CategoryOf(item.parent())->name;
    const qsizetype record = FindItem(category, item.data(NameRole).toByteArray());
    if (record < 0)
        return TBookOutcome::NoRecord;
    SetRecord(record, BuildStoredRecord(category, fields1to10, description, m_text));
    const QModelIndex node = IndexOfRecord(record);
    if (node.isValid())
        emit dataChanged(node, node);
    return TBookOutcome::Done;
}

TBookOutcome TAccountBook::StoreItem(const QModelIndex &item, const TItemRecord &record)
{
    return StoreItem(item, record.FieldsAfterCategory(), record.description);
}

// --- The model ---

QModelIndex TAccountBook::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < CategoryCount() ? createIndex(row, 0, nullptr) : QModelIndex();
    if (parent.internalPointer() || parent.model() != this)
        return {};
    const TCategory *c = m_categories[size_t(parent.row())].get();
    return size_t(row) < c->items.size() ? createIndex(row, 0, c) : QModelIndex();
}

QModelIndex TAccountBook::parent(const QModelIndex &child) const
{
    if (!child.isValid() || !child.internalPointer())
        return {};
    return createIndex(static_cast<const TCategory *>(child.internalPointer())->row, 0, nullptr);
}

int TAccountBook::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return CategoryCount();
    if (parent.internalPointer() || parent.column() != 0)
        return 0;
    return int(m_categories[size_t(parent.row())]->items.size());
}

int TAccountBook::columnCount(const QModelIndex &) const
{
    return 1;
}

bool TAccountBook::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant TAccountBook::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    const bool item = index.internalPointer() != nullptr;
    if (role == Qt::DecorationRole)
        return item ? m_itemIcon : m_categoryIcon;
    if (role != Qt::DisplayRole && role != NameRole)
        return {};
    QByteArray name;
    if (item) {
        TView key{};
        if (!KeyOf(View(RecordAt(index)), &key))
            return {};
        const auto *end = static_cast<const char *>(std::memchr(key.data, m_delimiter, size_t(key.size)));
        name = QByteArray(end + 1, key.data + key.size - end - 1);
    } else {
        name = m_categories[size_t(index.row())]->name;
    }
    if (role == NameRole)
        return name;
    return DecodeBookText(name, m_text);
}

Qt::ItemFlags TAccountBook::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Items can be dragged; dropping on a category, or on an item standing
    // for its category, moves them there.
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    if (index.internalPointer())
        f |= Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled;
    return f;
}

// --- Moving and duplicating items ---

bool TAccountBook::TitleFreeIn(const TCategory *category, const QByteArray &title, qsizetype except) const
{
    // The rule of Add Item: every record of the category's name counts, also
    // those without a node, and letter case does not.
    if (!CanBeField(category->name, m_delimiter) || !CanBeField(title, m_delimiter))
        return true;
    const QByteArray key = JoinKey(category->name, title, m_delimiter);
    bool taken = false;
    IndexFind({key.constData(), key.size()}, true, [&](quint32 record) {
        taken = qsizetype(record) != except;
        return taken;
    });
    return !taken;
}

TBookOutcome TAccountBook::MoveItem(const QModelIndex &item, const QModelIndex &target, QModelIndex *moved)
{
    if (!IsItemNode(item) || item.model() != this)
        return TBookOutcome::NotAnItem;
    TCategory *to = CategoryOf(IsItemNode(target) ? target.parent() : target);
    if (!to)
        return TBookOutcome::NoCategory;
    to = FirstOfName(to->name);
    // A name holding the delimiter cannot be a record's first field: the
    // item would leave the tree.
    if (!CanBeField(to->name, m_delimiter))
        return TBookOutcome::NoCategory;
    TCategory *from = CategoryOf(item.parent());
    const qsizetype record = RecordAt(item);
    if (to == from) {
        if (moved)
            *moved = item;
        return TBookOutcome::Done;
    }
    if (!TitleFreeIn(to, item.data(NameRole).toByteArray(), record))
        return TBookOutcome::ItemExists;

    const TView v = View(record);
    const auto *delimiter = static_cast<const char *>(std::memchr(v.data, m_delimiter, size_t(v.size)));
    QByteArray bytes = to->name;
    bytes.append(delimiter, v.data + v.size - delimiter);

    const int fromRow = item.row();
    const auto at = std::lower_bound(to->items.begin(), to->items.end(), quint32(record));
    const int toRow = int(at - to->items.begin());
    const QModelIndex toParent = CategoryIndex(to->row);
    beginMoveRows(item.parent(), fromRow, fromRow, toParent, toRow);
    from->items.erase(from->items.begin() + fromRow);
    to->items.insert(to->items.begin() + toRow, quint32(record));
    SetRecord(record, bytes);
    endMoveRows();
    if (moved)
        *moved = index(toRow, 0, toParent);
    return TBookOutcome::Done;
}

TBookOutcome TAccountBook::DuplicateItem(const QModelIndex &item, QModelIndex *added)
{
    if (!IsItemNode(item) || item.model() != this)
        return TBookOutcome::NotAnItem;
    TCategory *c = CategoryOf(item.parent());
    const QByteArray title =
        DuplicateTitle(item.data(NameRole).toByteArray(), [&](const QByteArray &t) { return !TitleFreeIn(c, t, -1); });

    // The record with its title replaced; whatever follows the title stays.
    const TView v = View(RecordAt(item));
    TView key{};
    KeyOf(v, &key);
    QByteArray bytes(v.data, v.size);
    const auto titleStart =
        static_cast<const char *>(std::memchr(key.data, m_delimiter, size_t(key.size))) + 1 - v.data;
    bytes.replace(titleStart, key.size - titleStart, title);

    const QModelIndex parent = CategoryIndex(c->row);
    const int row = int(c->items.size());
    beginInsertRows(parent, row, row);
    const auto record = quint32(m_records.size());
    m_records.push_back({});
    m_short.push_back(record); // an empty record has no key until it is set
    SetRecord(record, bytes);
    c->items.push_back(record);
    endInsertRows();
    if (added)
        *added = index(row, 0, parent);
    return TBookOutcome::Done;
}

// --- Drag and drop ---

const QString TAccountBook::ItemMimeType = QStringLiteral("application/x-tarnwick-book-item");

QByteArray TAccountBook::NewDragToken()
{
    return QUuid::createUuid().toByteArray(QUuid::Id128);
}

Qt::DropActions TAccountBook::supportedDragActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions TAccountBook::supportedDropActions() const
{
    return Qt::MoveAction;
}

QStringList TAccountBook::mimeTypes() const
{
    return {ItemMimeType};
}

QMimeData *TAccountBook::mimeData(const QModelIndexList &indexes) const
{
    // One item at a time: the tree selects one node.
    if (indexes.size() != 1 || !IsItemNode(indexes[0]) || indexes[0].model() != this)
        return nullptr;
    const qsizetype record = RecordAt(indexes[0]);
    TView key{};
    KeyOf(View(record), &key);
    QByteArray payload = m_dragToken;
    payload.append('\n').append(QByteArray::number(record)).append('\n').append(key.data, key.size);
    auto *data = new QMimeData;
    data->setData(ItemMimeType, payload);
    return data;
}

qsizetype TAccountBook::DroppedRecord(const QMimeData *data) const
{
    if (!data || !data->hasFormat(ItemMimeType))
        return -1;
    const QByteArray payload = data->data(ItemMimeType);
    // Nothing of a payload is read before it has shown this book's token.
    const QByteArray head = m_dragToken + '\n';
    if (!payload.startsWith(head))
        return -1;
    const qsizetype end = payload.indexOf('\n', head.size());
    if (end < 0 || end - head.size() > 10)
        return -1;
    bool ok = false;
    const qlonglong record = payload.mid(head.size(), end - head.size()).toLongLong(&ok);
    if (!ok || record < 0 || record >= RecordCount())
        return -1;
    // The record must still be the item that was dragged.
    TView key{};
    if (!KeyOf(View(record), &key) || payload.size() - end - 1 != key.size
        || std::memcmp(payload.constData() + end + 1, key.data, size_t(key.size)) != 0)
        return -1;
    return IndexOfRecord(record).isValid() ? record : -1;
}

QModelIndex TAccountBook::DropCategory(const QMimeData *data, Qt::DropAction action, const QModelIndex &parent,
                                       qsizetype *record) const
{
    // Dropped on a category, or on or between the items of one; a drop
    // between categories or on the empty area names none.
    if (action != Qt::MoveAction || !parent.isValid() || parent.model() != this)
        return {};
    *record = DroppedRecord(data);
    if (*record < 0)
        return {};
    const QModelIndex category = IsItemNode(parent) ? parent.parent() : parent;
    const TCategory *to = FirstOfName(CategoryOf(category)->name);
    if (to == CategoryOf(IndexOfRecord(*record).parent()))
        return {};
    return category;
}

bool TAccountBook::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                   const QModelIndex &parent) const
{
    qsizetype record = -1;
    return DropCategory(data, action, parent, &record).isValid();
}

QModelIndex TAccountBook::DroppedItem(const QMimeData *data, Qt::DropAction action, const QModelIndex &parent,
                                      QModelIndex *category) const
{
    qsizetype record = -1;
    const QModelIndex to = DropCategory(data, action, parent, &record);
    if (!to.isValid())
        return {};
    if (category)
        *category = to;
    return IndexOfRecord(record);
}

bool TAccountBook::dropMimeData(const QMimeData *, Qt::DropAction, int, int, const QModelIndex &)
{
    return false;
}
