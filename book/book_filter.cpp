#include "book_filter.h"

#include "account_book.h"

#include <algorithm>

TBookFilter::TBookFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    // The filter decides categories from their items itself, in one pass per
    // keystroke; Qt's recursive filtering would ask for every item again.
    setRecursiveFilteringEnabled(false);
    // Rows the book reports as changed are filtered again; nothing is sorted.
    setDynamicSortFilter(true);
}

void TBookFilter::SetBook(TAccountBook *book)
{
    if (m_book)
        disconnect(m_book, nullptr, this, nullptr);
    m_book = book;
    ForgetAll();
    m_kept.clear();
    m_matchesDirty = true;
    if (book) {
        // Connected before the proxy's own handlers, which filter the changed
        // rows at once and must see the book's new text.
        connect(book, &QAbstractItemModel::dataChanged, this, &TBookFilter::BookDataChanged);
        connect(book, &QAbstractItemModel::rowsInserted, this, &TBookFilter::BookRowsInserted);
        connect(book, &QAbstractItemModel::rowsAboutToBeRemoved, this, &TBookFilter::BookRowsAboutToBeRemoved);
        connect(book, &QAbstractItemModel::rowsRemoved, this, &TBookFilter::BookRowsRemoved);
        connect(book, &QAbstractItemModel::rowsMoved, this, &TBookFilter::BookRestructured);
        connect(book, &QAbstractItemModel::layoutChanged, this, &TBookFilter::BookRestructured);
        connect(book, &QAbstractItemModel::modelReset, this, &TBookFilter::BookRestructured);
    }
    setSourceModel(book);
    if (book) {
        // The proxy filters the changed rows again, but not their category:
        // one that gained or lost its only match, and the items of a renamed
        // category, are looked at here.
        connect(book, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &topLeft, const QModelIndex &) {
            if (!IsFiltering() || !topLeft.isValid())
                return;
            if (topLeft.parent().isValid())
                SyncCategory(topLeft.parent());
            else
                invalidateRowsFilter();
        });
        connect(book, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &parent) {
            if (IsFiltering() && parent.isValid())
                SyncCategory(parent);
        });
        connect(book, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &parent) {
            if (IsFiltering() && parent.isValid())
                SyncCategory(parent);
        });
    }
}

void TBookFilter::SyncCategory(const QModelIndex &category)
{
    EnsureMatches();
    if (filterAcceptsRow(category.row(), QModelIndex()) != mapFromSource(category).isValid())
        invalidateRowsFilter();
}

void TBookFilter::SetText(const QString &text, const QModelIndex &keep)
{
    if (text.trimmed() == m_text.trimmed()) {
        m_text = text;
        Keep(keep);
        return;
    }
    m_text = text;
    m_rule = m_book ? TSearchRule(text, m_book->Text()) : TSearchRule(text);
    m_kept.clear();
    if (keep.isValid() && keep.model() == m_book)
        m_kept.append(keep);
    m_matchesDirty = true;
    if (!IsFiltering()) {
        m_categoryNamed = {};
        m_categoryHolds = {};
        m_recordMatches = {};
    }
    emit textAboutToApply();
    invalidateRowsFilter();
}

bool TBookFilter::HasMatches() const
{
    if (!IsFiltering() || !m_book)
        return true;
    EnsureMatches();
    for (size_t c = 0; c < m_categoryNamed.size(); ++c)
        if (m_categoryNamed[c] || m_categoryHolds[c])
            return true;
    return false;
}

bool TBookFilter::IsMatch(const QModelIndex &node) const
{
    if (!m_book || !node.isValid() || node.model() != m_book)
        return false;
    if (!IsFiltering())
        return true;
    EnsureMatches();
    const QModelIndex category = node.parent().isValid() ? node.parent() : node;
    if (size_t(category.row()) < m_categoryNamed.size() && m_categoryNamed[size_t(category.row())])
        return true;
    if (!node.parent().isValid())
        return false;
    const qsizetype record = m_book->RecordAt(node);
    return record >= 0 && size_t(record) < m_recordMatches.size() && m_recordMatches[size_t(record)];
}

bool TBookFilter::Accepts(const QModelIndex &node) const
{
    if (!m_book || !node.isValid() || node.model() != m_book)
        return false;
    if (!node.parent().isValid())
        return filterAcceptsRow(node.row(), QModelIndex());
    return filterAcceptsRow(node.parent().row(), QModelIndex()) && filterAcceptsRow(node.row(), node.parent());
}

QVariant TBookFilter::data(const QModelIndex &index, int role) const
{
    if ((role == ShownKeptRole || role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole)
        && IsFiltering() && index.isValid()) {
        const QModelIndex node = mapToSource(index);
        const bool kept = !IsMatch(node)
                          && (node.parent().isValid() || size_t(node.row()) >= m_categoryHolds.size()
                              || !m_categoryHolds[size_t(node.row())]);
        if (role == ShownKeptRole)
            return kept;
        if (kept)
            return QStringLiteral("Does not match the search; shown because it is selected");
    }
    return QSortFilterProxyModel::data(index, role);
}

void TBookFilter::Keep(const QModelIndex &node)
{
    if (!m_book || !node.isValid() || node.model() != m_book)
        return;
    m_kept.removeIf([](const QPersistentModelIndex &k) { return !k.isValid(); });
    if (!m_kept.contains(node))
        m_kept.append(node);
    if (IsFiltering() && !ShownIndex(node).isValid())
        invalidateRowsFilter();
}

QModelIndex TBookFilter::ShownIndex(const QModelIndex &node) const
{
    if (!m_book || !node.isValid() || node.model() != m_book)
        return {};
    if (node.parent().isValid() && !mapFromSource(node.parent()).isValid())
        return {};
    return mapFromSource(node);
}

bool TBookFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (!IsFiltering() || !m_book)
        return true;
    EnsureMatches();
    if (!sourceParent.isValid()) {
        const auto c = size_t(sourceRow);
        if (c < m_categoryNamed.size() && (m_categoryNamed[c] || m_categoryHolds[c]))
            return true;
        return KeptCategory(sourceRow);
    }
    const int categoryRow = sourceParent.row();
    if (categoryRow >= m_book->CategoryCount())
        return false;
    if (size_t(categoryRow) < m_categoryNamed.size() && m_categoryNamed[size_t(categoryRow)])
        return true;
    // Called for every item row as the proxy maps a category: no index is made.
    const std::vector<quint32> &records = m_book->CategoryRecords(categoryRow);
    if (size_t(sourceRow) < records.size() && records[size_t(sourceRow)] < m_recordMatches.size()
        && m_recordMatches[records[size_t(sourceRow)]])
        return true;
    return KeptItem(sourceRow, categoryRow);
}

bool TBookFilter::KeptCategory(int row) const
{
    for (const QPersistentModelIndex &k : m_kept) {
        if (!k.isValid())
            continue;
        const QModelIndex parent = k.parent();
        if ((parent.isValid() ? parent.row() : k.row()) == row)
            return true;
    }
    return false;
}

bool TBookFilter::KeptItem(int row, int categoryRow) const
{
    for (const QPersistentModelIndex &k : m_kept)
        if (k.isValid() && k.row() == row && k.parent().isValid() && k.parent().row() == categoryRow)
            return true;
    return false;
}

void TBookFilter::EnsureMatches() const
{
    if (!m_matchesDirty)
        return;
    if (m_stale > (qint64(1) << 20) && m_stale > m_folded.size() / 2) {
        QByteArray compact;
        compact.reserve(m_folded.size() - m_stale);
        m_places.clear();
        for (size_t r = 0; r < m_spans.size(); ++r) {
            TSpan &s = m_spans[r];
            if (s.offset < 0)
                continue;
            const qint64 at = compact.size();
            compact.append(m_folded.constData() + s.offset, s.size);
            s.offset = at;
            m_places.push_back({at, qint32(s.size), qint32(r)});
        }
        m_folded = std::move(compact);
        m_stale = 0;
    }
    const int categories = m_book->CategoryCount();
    m_categoryNamed.assign(size_t(categories), 0);
    m_categoryHolds.assign(size_t(categories), 0);
    m_recordMatches.assign(size_t(m_book->RecordCount()), 0);
    FoldAll();
    std::vector<char> skip;
    for (int c = 0; c < categories; ++c) {
        if (!m_rule.MatchesCategory(m_book->CategoryName(c)))
            continue;
        m_categoryNamed[size_t(c)] = 1; // all its items stay
        if (skip.empty())
            skip.assign(m_recordMatches.size(), 0);
        for (const quint32 record : m_book->CategoryRecords(c))
            if (record < skip.size())
                skip[record] = 1;
    }
    ScanBuffer(skip);
    for (int c = 0; c < categories; ++c) {
        if (m_categoryNamed[size_t(c)])
            continue;
        for (const quint32 record : m_book->CategoryRecords(c)) {
            if (record < m_recordMatches.size() && m_recordMatches[record]) {
                m_categoryHolds[size_t(c)] = 1;
                break;
            }
        }
    }
    m_matchesDirty = false;
}

void TBookFilter::ScanBuffer(const std::vector<char> &skip) const
{
    // Records lie side by side in the buffer, in the order of m_places. Runs
    // of them are scanned in one pass each; the items of a category whose
    // name matches stay anyway and are left out.
    const auto skipped = [&](const TPlace &p) {
        return p.record >= 0 && size_t(p.record) < skip.size() && skip[size_t(p.record)];
    };
    size_t first = 0;
    while (first < m_places.size()) {
        if (skipped(m_places[first])) {
            ++first;
            continue;
        }
        size_t last = first;
        while (last + 1 < m_places.size() && !skipped(m_places[last + 1]))
            ++last;
        ScanPlaces(first, last);
        first = last + 1;
    }
}

void TBookFilter::ScanPlaces(size_t first, size_t last) const
{
    // A hit is credited to the record it lies wholly inside, and the scan
    // goes on after that record.
    const char *const data = m_folded.constData();
    const qint64 size = m_places[last].offset + m_places[last].size;
    const qint64 needle = std::max<qint64>(1, m_rule.FoldedSize());
    size_t place = first;
    qint64 from = m_places[first].offset;
    while (from < size) {
        const qsizetype found = m_rule.IndexInFolded(data + from, size - from);
        if (found < 0)
            break;
        const qint64 at = from + found;
        while (place < last && m_places[place + 1].offset <= at)
            ++place;
        const TPlace &p = m_places[place];
        const qint64 end = p.offset + p.size;
        if (p.record < 0) {
            from = end; // stale text
        } else if (at + needle > end) {
            from = at + 1; // runs into the next record
        } else {
            if (size_t(p.record) < m_recordMatches.size())
                m_recordMatches[size_t(p.record)] = 1;
            from = end;
        }
    }
}

void TBookFilter::FoldAll() const
{
    if (m_allFolded && m_spans.size() == size_t(m_book->RecordCount()))
        return;
    if (m_spans.size() < size_t(m_book->RecordCount()))
        m_spans.resize(size_t(m_book->RecordCount()));
    for (size_t r = 0; r < m_spans.size(); ++r)
        if (m_spans[r].offset < 0)
            FoldRecord(qsizetype(r));
    m_allFolded = true;
}

void TBookFilter::FoldRecord(qsizetype record) const
{
    TSpan &s = m_spans[size_t(record)];
    const QByteArray folded = FoldedSearchText(m_book->ReadItem(record), m_book->Text());
    s.offset = m_folded.size();
    s.size = folded.size();
    m_folded.append(folded);
    m_places.push_back({s.offset, qint32(s.size), qint32(record)});
}

void TBookFilter::ForgetRecord(qsizetype record)
{
    if (record < 0 || size_t(record) >= m_spans.size())
        return;
    TSpan &s = m_spans[size_t(record)];
    if (s.offset >= 0) {
        m_stale += s.size;
        const auto place = std::lower_bound(m_places.begin(), m_places.end(), s.offset,
                                            [](const TPlace &p, qint64 offset) { return p.offset < offset; });
        if (place != m_places.end() && place->offset == s.offset)
            place->record = -1;
    }
    s = TSpan();
    m_allFolded = false;
}

void TBookFilter::ForgetAll()
{
    m_folded = QByteArray();
    m_spans = {};
    m_places = {};
    m_allFolded = false;
    m_stale = 0;
    m_matchesDirty = true;
}

void TBookFilter::BookDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    m_matchesDirty = true;
    if (!topLeft.isValid())
        return;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        const QModelIndex node = topLeft.siblingAtRow(row);
        if (TAccountBook::IsItemNode(node)) {
            ForgetRecord(m_book->RecordAt(node));
            continue;
        }
        // A category's name is part of its items' text.
        const int items = m_book->rowCount(node);
        for (int i = 0; i < items; ++i)
            ForgetRecord(m_book->RecordAt(m_book->index(i, 0, node)));
    }
}

void TBookFilter::BookRowsInserted(const QModelIndex &parent, int first, int last)
{
    m_matchesDirty = true;
    if (m_spans.empty())
        return;
    const size_t known = m_spans.size();
    qsizetype appended = 0;
    if (parent.isValid()) {
        for (int row = first; row <= last; ++row) {
            const qsizetype record = m_book->RecordAt(m_book->index(row, 0, parent));
            if (record >= qsizetype(known))
                ++appended;
            else
                ForgetRecord(record); // an existing record under a new node may read differently
        }
    }
    // New records are appended; any other change of the record numbers
    // leaves nothing of the folded text usable.
    if (m_book->RecordCount() == qsizetype(known) + appended) {
        m_spans.resize(size_t(m_book->RecordCount()));
        m_allFolded = false;
    }
    else
        ForgetAll();
}

void TBookFilter::BookRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last)
{
    m_removing.clear();
    if (!parent.isValid())
        return;
    for (int row = first; row <= last; ++row)
        m_removing.push_back(m_book->RecordAt(m_book->index(row, 0, parent)));
}

void TBookFilter::BookRowsRemoved(const QModelIndex &parent, int, int)
{
    m_matchesDirty = true;
    std::vector<qsizetype> gone;
    gone.swap(m_removing);
    if (m_spans.empty())
        return;
    std::sort(gone.begin(), gone.end());
    const bool itemsOnly = parent.isValid() && !gone.empty() && gone.front() >= 0
                           && std::adjacent_find(gone.begin(), gone.end()) == gone.end()
                           && m_book->RecordCount() + qsizetype(gone.size()) == qsizetype(m_spans.size());
    if (!itemsOnly) {
        ForgetAll();
        return;
    }
    // The records after each removed one move up by one.
    for (auto r = gone.rbegin(); r != gone.rend(); ++r) {
        ForgetRecord(*r);
        m_spans.erase(m_spans.begin() + *r);
    }
    for (TPlace &p : m_places)
        if (p.record >= 0)
            p.record -= qint32(std::upper_bound(gone.begin(), gone.end(), qsizetype(p.record)) - gone.begin());
}

void TBookFilter::BookRestructured()
{
    ForgetAll();
}

bool TBookFilter::dropMimeData(const QMimeData *data, Qt::DropAction action, int, int, const QModelIndex &parent)
{
    if (!m_book)
        return false;
    QModelIndex category;
    // Persistent: whoever takes the request may ask and store first.
    const QPersistentModelIndex item = m_book->DroppedItem(data, action, mapToSource(parent), &category);
    if (!item.isValid())
        return false;
    emit moveRequested(item, category);
    return true;
}
