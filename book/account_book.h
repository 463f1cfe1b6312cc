#pragma once

#include "book/item_record.h"
#include "util/string_list.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QHash>
#include <QVariant>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QMimeData;
class TAtomicWriter;

// Why a book operation did not change the book; Done when it did.
enum class TBookOutcome {
    Done,
    CategoryExists,  // the name is taken (trimmed, ignoring case)
    ItemExists,      // the category already holds the title (ignoring case)
    NoCategory,      // no node to take the category from
    TitleTaken,      // another item of the category bears the title
    NoRecord,        // no record belongs to the node
    NotACategory,    // the node is an item node
    NotAnItem,       // the node is a category node, or none
};

// The account book: the category names of categories.dat and the records of
// items.dat, with every rule that changes them, shown as a two-level model
// (categories in book order, each with the items whose record names it).
//
// Records stay in the bytes read from items.dat; a record is copied out only
// when it is edited. A record belongs to the first category of exactly its
// name; an item node finds its record as the first record of its category
// and title, compared byte for byte, through an index rather than a walk.
// The book shows no messages and writes no file on its own: an operation
// says why it could not be done, and the caller saves the file it changed.
class TAccountBook : public QAbstractItemModel
{
    Q_OBJECT
public:
    // The raw bytes of a node's name (category name or item title).
    static constexpr int NameRole = Qt::UserRole;

    explicit TAccountBook(QObject *parent = nullptr);
    ~TAccountBook() override;

    // The decorations the tree shows, kept as values (QIcon converts to one)
    // so that the book needs no GUI library.
    void SetIcons(const QVariant &category, const QVariant &item);

    // --- Files ---
    // A missing file leaves the book as it is. Unreadable files and failed
    // writes throw EFileError; a failed write leaves the old file whole.
    void LoadCategories(const QString &path);
    void LoadItems(const QString &path);
    // The same from bytes already read: the protected book's two parts.
    // `bytes` is read in place, never copied; `keeper` owns the memory it
    // lies in and is kept, also by snapshots, for as long as anything refers
    // to those bytes. `path` names them in a message.
    void LoadCategoryBytes(const QByteArray &bytes);
    void LoadItemBytes(QByteArray bytes, const QString &path, std::shared_ptr<const void> keeper = {});
    // The same while `bytes` is still being decrypted: ready(n) waits until
    // at least the first n bytes may be read, or all of them, and returns how
    // many may; settle() runs once they are all read, before the book
    // changes, and throws to leave the book as it was.
    void LoadItemBytes(QByteArray bytes, const QString &path, std::shared_ptr<const void> keeper,
                       const std::function<qsizetype(qsizetype)> &ready, const std::function<void()> &settle);
    // How the records spell their text (book/item_record.h); set on an
    // empty book, before loading. A plain book is Ansi.
    void SetText(TBookText text)
    {
        m_text = text;
        m_delimiter = FieldDelimiterOf(text);
    }
    TBookText Text() const { return m_text; }
    void SaveCategories(const QString &path) const;
    void SaveItems(const QString &path) const;
    // The bytes the two saves write, into a writer of the caller's.
    void WriteCategories(TAtomicWriter &out) const;
    void WriteItems(TAtomicWriter &out) const;
    // The same bytes to any sink: the protected book's writer.
    using TSink = std::function<void(const char *data, qsizetype size)>;
    QByteArray CategoryBytes() const;
    void WriteItemsTo(const TSink &out) const;
    void Clear();

    // --- Reading ---
    int CategoryCount() const { return int(m_categories.size()); }
    QByteArray CategoryName(int row) const;
    qsizetype RecordCount() const { return qsizetype(m_records.size()); }
    QByteArray Record(qsizetype record) const;
    // Copies of the two lists as the files hold them: for tests and tools,
    // a book of a million items copies every record.

    static bool IsItemNode(const QModelIndex &node) { return node.isValid() && node.parent().isValid(); }
    static bool IsCategoryNode(const QModelIndex &node) { return node.isValid() && !node.parent().isValid(); }
    QModelIndex CategoryIndex(int row) const { return index(row, 0); }
    // The item node that shows `record`, or an invalid index when it has none.
    QModelIndex IndexOfRecord(qsizetype record) const;
    // The record an item node shows.
    qsizetype RecordAt(const QModelIndex &item) const;
    // The records a category's item rows show, in row order: a walk over
    // every item without making an index for each.
    const std::vector<quint32> &CategoryRecords(int row) const { return m_categories[size_t(row)]->items; }

    // The first record whose category and title equal the names byte for
    // byte, or -1.
    qsizetype FindItem(const QByteArray &category, const QByteArray &title) const;
    TItemRecord ReadItem(qsizetype record) const { return ReadItemRecord(Record(record), m_text); }
    // The records before `record` (all of them for -1) too short to name a
    // category and a title, in file order.
    TStringList ShortRecordsBefore(qsizetype record) const;
    // Records of items.dat, as the last LoadItems read them, with fewer
    // fields than an item has (RecordFieldCount): a line cut short, whose
    // missing fields read as empty. Empty lines do not count.
    qsizetype CutRecordsRead() const { return m_cutShortRead; }
    // Records whose category field names no category of the book: no node
    // shows them. `names`, when given, receives those category fields in the
    // order of their first record.
    qsizetype RecordsWithoutCategory(QByteArrayList *names = nullptr) const;
    // True when another item node of `item`'s category bears `title`, byte
    // for byte.
    bool TitleTaken(const QModelIndex &item, const QByteArray &title) const;

    // --- Rules that change the book ---
    // Appends a category; no node is selected or changed.
    TBookOutcome AddCategory(const QByteArray &name, QModelIndex *added = nullptr);
    // Adds an empty item to the category of `selected` (the first category
    // of that name); `added` receives its node.
    TBookOutcome AddItem(const QModelIndex &selected, const QByteArray &title, QModelIndex *added = nullptr);
    // Renames the category of `category`'s own entry; its records follow.
    TBookOutcome RenameCategory(const QModelIndex &category, const QByteArray &name);
    // Records a delete took away: each with the number it had in items.dat
    // (ascending) and its bytes, so that they can be put back as they were.
    using TRemovedRecords = std::vector<std::pair<quint32, QByteArray>>;
    // Removes the category's own entry and, when it holds the records of
    // its name, every record of that name; `removed` receives them.
    TBookOutcome DeleteCategory(const QModelIndex &category, TRemovedRecords *removed = nullptr);
    // Removes the item's record; `removed` receives it.
    TBookOutcome DeleteItem(const QModelIndex &item, TRemovedRecords *removed = nullptr);
    // Undoing a delete: a category entry back at `row` (at the end when the
    // book has fewer), showing the records of its name.
    void InsertCategory(int row, const QByteArray &name);
    // Records back at the numbers they had (as a delete reported them, the
    // latest delete first), each shown under the category of its name.
    void InsertRecords(const TRemovedRecords &records);
    // Rewrites the item's record as a stored item with the given fields 1 to
    // 10 and description; the category is the node's parent's.
    TBookOutcome StoreItem(const QModelIndex &item, const std::array<QByteArray, 10> &fields1to10,
                           const QByteArray &description);
    // The same with the fields taken by name from `record`; its category
    // field is not read. TitleTaken when another item of the category bears
    // the record's title.
    TBookOutcome StoreItem(const QModelIndex &item, const TItemRecord &record);

    // --- Moving and duplicating items ---
    // Moves the item into the category of `target` (a category node, or an
    // item node standing for its category; items of a name belong to the
    // first category of that name). Only the record's category field changes:
    // the record keeps its other bytes and its place in items.dat, so the item
    // shows among its new siblings in file order. A title the category already
    // holds, ignoring case, is refused as Add Item refuses it. Moving an item
    // into its own category changes nothing. `moved` receives its new node.
    TBookOutcome MoveItem(const QModelIndex &item, const QModelIndex &target, QModelIndex *moved = nullptr);
    // Appends to items.dat a copy of the item's record under the first free
    // title "<title> (copy)", "<title> (copy 2)"... of its category (free
    // ignoring case, as Add Item judges); the copy shows last in the category.
    TBookOutcome DuplicateItem(const QModelIndex &item, QModelIndex *added = nullptr);

    // --- Drag and drop: an item dropped on a category, or on an item of
    // another category, moves there ---
    // The payload names this book and the record, so a drop from another
    // program or another book is refused.
    static const QString ItemMimeType;
    // A drop never changes the book by itself: the view hands the item and
    // the category this names to whoever decides the move (MoveItem).
    // Invalid when the drop names no move: another payload, an item gone
    // since the drag began, its own category, no category.
    QModelIndex DroppedItem(const QMimeData *data, Qt::DropAction action, const QModelIndex &parent,
                            QModelIndex *category) const;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    // Changes nothing: the model's own decoding would read the payload as
    // rows to insert.
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

    // --- The model ---
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct TCategory
    {
        QByteArray name;
        int row = 0;
        std::vector<quint32> items; // record numbers, ascending
    };
    struct TRecordRef
    {
        qint64 offset = 0; // into m_bytes, or the slot in m_edited
        quint32 length = 0;
        bool edited = false;
    };
    // Bytes of a record without copying them.
    struct TView
    {
        const char *data;
        qsizetype size;
    };

    TView View(qsizetype record) const;
    // Field 0 and field 1 joined by their delimiter ("category¥title"); false
    // for a record too short to have both.
    bool KeyOf(TView record, TView *key) const;
    TCategory *CategoryOf(const QModelIndex &node) const;
    TCategory *FirstOfName(const QByteArray &name) const;
    void RebuildFirstOfName();
    void SetCategories(const TStringList &names);
    void WipeEdited();
    void AttachRecords();
    void SetRecord(qsizetype record, const QByteArray &bytes);
    void RemoveRecords(const std::vector<quint32> &sorted);
    void Renumber(const std::vector<quint32> &newNumber);
    qsizetype ChildRow(const TCategory &category, qsizetype record) const;
    bool HoldsRecordsOf(const TCategory *category) const;

    // The index: the keyed records grouped by their category field, and in
    // each group, once it is first asked, a table by key (open addressing
    // over record numbers, hashed with ASCII letters folded so one table
    // answers both comparisons). Opening a book groups the records in the
    // pass that finds them; no table is built until a lookup needs it.
    struct TBucket
    {
        QByteArray category;           // the category field, exactly
        std::vector<quint32> records;  // ascending; until the table is built
        std::vector<quint32> table;    // record + 1, 0 = free; empty = not built
        qsizetype count = 0;           // records in the table
    };
    static quint64 KeyHash(TView key);
    void IndexClear();
    void IndexInsert(quint32 record);
    void IndexRemove(quint32 record);
    // Calls f(record) for every record whose key equals `key` (exactly, or
    // ignoring ASCII case) until f returns true.
    template <class F>
    void IndexFind(TView key, bool ignoreCase, F &&f) const;
    TBucket *BucketOf(TView category) const;
    TBucket *AddBucket(const QByteArray &category);
    void BuildTable(TBucket &bucket) const;
    void TableInsert(TBucket &bucket, quint32 record) const;
    std::vector<quint32> BucketRecords(const TBucket &bucket) const;
    void AttachOwnRecords(TCategory *category);

    std::vector<std::unique_ptr<TCategory>> m_categories;
    QHash<QByteArray, TCategory *> m_firstOfName;
    TBookText m_text = TBookText::Ansi;
    char m_delimiter = kFieldDelimiter;
    QByteArray m_bytes;                 // items.dat as read
    std::shared_ptr<const void> m_keeper; // owns m_bytes's memory when not m_bytes itself
    std::vector<TRecordRef> m_records;  // items.dat order
    QByteArrayList m_edited;            // records copied out by an edit
    std::vector<qint32> m_freeEdited;   // slots of m_edited to reuse
    std::vector<quint32> m_short;       // records without a key, ascending
    qsizetype m_cutShortRead = 0;
    QHash<QByteArray, std::shared_ptr<TBucket>> m_buckets;   // by exact category field
    QHash<QByteArray, std::vector<TBucket *>> m_foldedBuckets; // by ASCII-folded field
    QVariant m_categoryIcon;
    QVariant m_itemIcon;

    // Moving, duplicating, drag and drop
    bool TitleFreeIn(const TCategory *category, const QByteArray &title, qsizetype except) const;
    qsizetype DroppedRecord(const QMimeData *data) const;
    QModelIndex DropCategory(const QMimeData *data, Qt::DropAction action, const QModelIndex &parent,
                             qsizetype *record) const;
    static QByteArray NewDragToken();
    const QByteArray m_dragToken = NewDragToken(); // tells this book's payloads from any other's

public:
    // The records as they stand at one moment, taken without copying their
    // bytes (the buffers are shared), written out byte for byte as SaveItems
    // writes them. A snapshot is independent of the book: it may be saved on
    // another thread while the book changes or is destroyed.
    class TItemsSnapshot
    {
    public:
        void Save(const QString &path) const;
        void WriteTo(const TSink &out) const;
        // About the bytes Save writes.
        qint64 Size() const { return m_size; }

    private:
        friend class TAccountBook;
        QByteArray m_bytes;
        std::shared_ptr<const void> m_keeper;
        std::vector<TRecordRef> m_records;
        QByteArrayList m_edited;
        qint64 m_size = 0;
    };
    TItemsSnapshot SnapshotItems() const;

private:
    static void WriteItems(const TSink &out, const QByteArray &bytes, const std::vector<TRecordRef> &records,
                           const QByteArrayList &edited);
};
