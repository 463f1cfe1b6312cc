#include "delete_history.h"

#include "book/protected_file.h"
#include "util/text_utils.h"

namespace {

// A protected book's records hold its secrets in the clear.
void Wipe(TAccountBook::TRemovedRecords &records)
{
    for (auto &record : records)
        WipeBytes(record.second);
}

} // namespace

TDeleteHistory::~TDeleteHistory()
{
    Clear();
}

TBookOutcome TDeleteHistory::DeleteItem(TAccountBook &book, const QModelIndex &item)
{
    TDelete gone;
    if (TAccountBook::IsItemNode(item)) {
        gone.name = item.data(TAccountBook::NameRole).toByteArray();
        gone.itemCategory = item.parent().data(TAccountBook::NameRole).toByteArray();
    }
    const TBookOutcome outcome = book.DeleteItem(item, &gone.records);
    if (outcome == TBookOutcome::Done)
        m_deletes.push_back(std::move(gone));
    return outcome;
}

TBookOutcome TDeleteHistory::DeleteCategory(TAccountBook &book, const QModelIndex &category)
{
    TDelete gone;
    gone.category = true;
    gone.row = category.row();
    gone.name = category.data(TAccountBook::NameRole).toByteArray();
    const TBookOutcome outcome = book.DeleteCategory(category, &gone.records);
    if (outcome == TBookOutcome::Done)
        m_deletes.push_back(std::move(gone));
    return outcome;
}

QByteArray TDeleteHistory::NextName() const
{
    return m_deletes.empty() ? QByteArray() : m_deletes.back().name;
}

bool TDeleteHistory::NextIsCategory() const
{
    return !m_deletes.empty() && m_deletes.back().category;
}

TBookOutcome TDeleteHistory::Undo(TAccountBook &book, QModelIndex *restored)
{
    if (m_deletes.empty())
        return TBookOutcome::NoRecord;
    TDelete &last = m_deletes.back();
    QModelIndex node;
    if (last.category) {
        // As Add Category judges a name.
        const QByteArray key = TrimAnsi(last.name);
        for (int row = 0; row < book.CategoryCount(); ++row)
            if (SameTextAscii(TrimAnsi(book.CategoryName(row)), key))
                return TBookOutcome::CategoryExists;
        book.InsertCategory(last.row, last.name);
        book.InsertRecords(last.records);
        for (int row = 0; row < book.CategoryCount() && !node.isValid(); ++row)
            if (book.CategoryName(row) == last.name)
                node = book.CategoryIndex(row);
    } else {
        QModelIndex category;
        for (int row = 0; row < book.CategoryCount() && !category.isValid(); ++row)
            if (book.CategoryName(row) == last.itemCategory)
                category = book.CategoryIndex(row);
        if (!category.isValid())
            return TBookOutcome::NoCategory;
        for (int row = 0; row < book.rowCount(category); ++row)
            if (SameTextAscii(book.index(row, 0, category).data(TAccountBook::NameRole).toByteArray(), last.name))
                return TBookOutcome::ItemExists;
        book.InsertRecords(last.records);
        if (!last.records.empty())
            node = book.IndexOfRecord(last.records.front().first);
    }
    m_deletes.pop_back();
    if (restored)
        *restored = node;
    return TBookOutcome::Done;
}

void TDeleteHistory::Clear()
{
    for (TDelete &gone : m_deletes)
        Wipe(gone.records);
    m_deletes.clear();
}
