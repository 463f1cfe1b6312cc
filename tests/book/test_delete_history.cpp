// Deletes taken back: the book's files come back byte for byte, in a plain
// and in a protected book alike, and an undo that would show a record
// nowhere or twice is refused and kept.
#include "book/delete_history.h"

#include <QTest>

namespace {

// '|' stands for the book's delimiter. Travel's records stand apart, with a
// record of no category and a record too short for a key among them.
const char *const kCategories = "Travel\r\nShops\r\nMusic\r\n";
const char *const kItems = "Travel|Hotels|hp|||||||||notes|\r\n"
                           "Gone|Orphan||\r\n"
                           "Shops|Books|bp||||||||||\r\n"
                           "short\r\n"
                           "Travel|Flights|||||||||| |\r\n"
                           "Music|Vinyl|\r\n"
                           "Travel|Trains|tp|\r\n";

QByteArray Spelt(const char *text, TBookText kind)
{
    return QByteArray(text).replace('|', FieldDelimiterOf(kind));
}

QByteArray ItemBytes(const TAccountBook &book)
{
    QByteArray out;
    book.WriteItemsTo([&](const char *data, qsizetype size) { out.append(data, size); });
    return out;
}

struct TBook
{
    explicit TBook(TBookText kind)
    {
        book.SetText(kind);
        book.LoadCategoryBytes(QByteArray(kCategories));
        book.LoadItemBytes(Spelt(kItems, kind), QStringLiteral("items.dat"));
        categories = book.CategoryBytes();
        items = ItemBytes(book);
    }
    QModelIndex Node(int category, int item = -1) const
    {
        const QModelIndex c = book.CategoryIndex(category);
        return item < 0 ? c : book.index(item, 0, c);
    }
    bool AsLoaded() const { return book.CategoryBytes() == categories && ItemBytes(book) == items; }
    TAccountBook book;
    QByteArray categories;
    QByteArray items;
};

} // namespace

class TestDeleteHistory : public QObject
{
    Q_OBJECT
private slots:
    void undo_bringsTheFilesBackByteForByte_data()
    {
        QTest::addColumn<int>("kind");
        // Deletes in order: (category, item), item -1 deletes the category.
        QTest::addColumn<QList<QPoint>>("deletes");
        QTest::addColumn<QString>("restored"); // the node the last undo names
        for (const TBookText kind : {TBookText::Ansi, TBookText::Utf8}) {
            const QByteArray name = kind == TBookText::Ansi ? "plain, " : "protected, ";
            QTest::newRow(name + "first item") << int(kind) << QList<QPoint>{{0, 0}} << "Hotels";
            QTest::newRow(name + "item between others") << int(kind) << QList<QPoint>{{0, 1}} << "Flights";
            QTest::newRow(name + "last record") << int(kind) << QList<QPoint>{{0, 2}} << "Trains";
            QTest::newRow(name + "category with items apart")
                << int(kind) << QList<QPoint>{{0, -1}} << "Travel";
            QTest::newRow(name + "last category") << int(kind) << QList<QPoint>{{2, -1}} << "Music";
            QTest::newRow(name + "two items, undone in turn")
                << int(kind) << QList<QPoint>{{0, 2}, {0, 0}} << "Trains";
            QTest::newRow(name + "an item, then its category")
                << int(kind) << QList<QPoint>{{0, 1}, {0, -1}} << "Flights";
            QTest::newRow(name + "a category, then a record before its own")
                << int(kind) << QList<QPoint>{{1, -1}, {0, 0}} << "Shops";
        }
    }
    void undo_bringsTheFilesBackByteForByte()
    {
        QFETCH(int, kind);
        QFETCH(QList<QPoint>, deletes);
        QFETCH(QString, restored);
        TBook f{TBookText(kind)};
        TDeleteHistory history;
        for (const QPoint &d : deletes) {
            const TBookOutcome done = d.y() < 0 ? history.DeleteCategory(f.book, f.Node(d.x()))
                                                : history.DeleteItem(f.book, f.Node(d.x(), d.y()));
            QCOMPARE(done, TBookOutcome::Done);
        }
        QVERIFY(!f.AsLoaded());
        QModelIndex node;
        for (qsizetype i = 0; i < deletes.size(); ++i)
            QCOMPARE(history.Undo(f.book, &node), TBookOutcome::Done);
        QVERIFY(history.IsEmpty());
        QCOMPARE(f.book.CategoryBytes(), f.categories);
        QCOMPARE(ItemBytes(f.book), f.items);
        QCOMPARE(node.data(TAccountBook::NameRole).toByteArray(), restored.toLatin1());
        // The index answers for the records put back, the tree shows them.
        QCOMPARE(f.book.FindItem("Travel", "Flights"), 4);
        QCOMPARE(f.book.rowCount(f.Node(0)), 3);
        QCOMPARE(f.Node(0, 2).data().toString(), QString("Trains"));
        QCOMPARE(f.book.RecordsWithoutCategory(), 1);
    }

    void undo_refusesWhatTheBookHasTakenSince_data()
    {
        QTest::addColumn<QPoint>("deleted");
        QTest::addColumn<QByteArray>("since"); // "category NAME", "item NAME", "rename NAME"
        QTest::addColumn<int>("outcome");
        QTest::newRow("item title taken, other case")
            << QPoint(0, 1) << QByteArray("item FLIGHTS") << int(TBookOutcome::ItemExists);
        QTest::newRow("category name taken with blanks")
            << QPoint(1, -1) << QByteArray("category  shops ") << int(TBookOutcome::CategoryExists);
        QTest::newRow("item's category renamed")
            << QPoint(0, 1) << QByteArray("rename Trips") << int(TBookOutcome::NoCategory);
        QTest::newRow("other title: put back") << QPoint(0, 1) << QByteArray("item Flight") << int(TBookOutcome::Done);
    }
    void undo_refusesWhatTheBookHasTakenSince()
    {
        QFETCH(QPoint, deleted);
        QFETCH(QByteArray, since);
        QFETCH(int, outcome);
        TBook f{TBookText::Ansi};
        TDeleteHistory history;
        QCOMPARE(deleted.y() < 0 ? history.DeleteCategory(f.book, f.Node(deleted.x()))
                                 : history.DeleteItem(f.book, f.Node(deleted.x(), deleted.y())),
                 TBookOutcome::Done);
        const QByteArray what = since.left(since.indexOf(' '));
        const QByteArray name = since.mid(what.size() + 1);
        if (what == "category")
            QCOMPARE(f.book.AddCategory(name), TBookOutcome::Done);
        else if (what == "item")
            QCOMPARE(f.book.AddItem(f.Node(0), name), TBookOutcome::Done);
        else
            QCOMPARE(f.book.RenameCategory(f.Node(0), name), TBookOutcome::Done);
        const QByteArray before = ItemBytes(f.book);
        QCOMPARE(int(history.Undo(f.book)), outcome);
        QCOMPARE(history.IsEmpty(), outcome == int(TBookOutcome::Done));
        if (outcome != int(TBookOutcome::Done))
            QCOMPARE(ItemBytes(f.book), before);
        else
            QVERIFY(ItemBytes(f.book).contains(Spelt("|Flights|", TBookText::Ansi)));
    }

    void nextNamesTheLatestDelete()
    {
        TBook f{TBookText::Ansi};
        TDeleteHistory history;
        QVERIFY(history.IsEmpty());
        history.DeleteItem(f.book, f.Node(0, 0));
        history.DeleteCategory(f.book, f.Node(1));
        QCOMPARE(history.NextName(), QByteArray("Shops"));
        QVERIFY(history.NextIsCategory());
        history.Undo(f.book);
        QCOMPARE(history.NextName(), QByteArray("Hotels"));
        QVERIFY(!history.NextIsCategory());
        // A refused delete is not kept.
        QCOMPARE(history.DeleteItem(f.book, f.Node(0)), TBookOutcome::NotAnItem);
        QCOMPARE(history.NextName(), QByteArray("Hotels"));
    }
};

QTEST_GUILESS_MAIN(TestDeleteHistory)
#include "test_delete_history.moc"
