// The account book's rules and storage, without a window or a display.
#include "support/book_fixture.h"
#include "book/account_book.h"
#include "support/temp_app_folder.h"
#include "util/errors.h"
#include "util/text_utils.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = R("Travel|Hotels|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel notes|\r\n"
                            "Gone|Orphan|||||||||||x|\r\n"
                            "Travel|Flights|||||||||||| \r\n"
                            "Shops|Books|bp||||||||||\r\n");

struct TBookFixture : TLoadedBook
{
    explicit TBookFixture(const QByteArray &categories = kCategories, const QByteArray &items = kItems)
        : TLoadedBook(categories, items)
    {
    }
};

// The rule an item node finds its record by, as a walk over the list.
qsizetype FirstRecordWalked(const TStringList &items, const QByteArray &category, const QByteArray &title)
{
    for (qsizetype i = 0; i < items.size(); ++i)
        if (RecordIs(items[i], category, title))
            return i;
    return -1;
}

QByteArray RandomName(QRandomGenerator &rng)
{
    // Few letters in both cases: names collide, also ignoring case.
    static const char kLetters[] = "aAbB";
    QByteArray out;
    const int size = rng.bounded(1, 3);
    for (int i = 0; i < size; ++i)
        out.append(kLetters[rng.bounded(4)]);
    return out;
}

QByteArray Title(const QModelIndex &node)
{
    return node.data(TAccountBook::NameRole).toByteArray();
}

} // namespace

class TestAccountBook : public QObject
{
    Q_OBJECT
private slots:
    // --- Files: read as lines, written back with CR LF, nothing else changed ---

    void loadAndSave_keepEveryByte_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("book as written") << kItems;
        QTest::newRow("last line without an end") << R("A|x|\r\nA|y|");
        QTest::newRow("lone CR and lone LF") << R("A|x|\rA|y|\nA|z|\r\n");
        QTest::newRow("LF CR is two breaks") << R("A|x|\n\rA|y|");
        QTest::newRow("NUL ends the text") << R("A|x|\r\nA|y") + QByteArray(1, '\0') + R("|junk\r\n");
        QTest::newRow("empty lines and short records") << R("\r\n\r\nA\r\nA|\r\n|\r\n");
        QTest::newRow("CR at the very end") << R("A|x|\r");
        QTest::newRow("added item shape") << R("A|New|||||||||||||\r\n");
        QRandomGenerator rng(1306);
        static const char kBytes[] = {'a', 'B', '\r', '\n', '\xA5', '\xA7', '\0', ' '};
        for (int row = 0; row < 40; ++row) {
            QByteArray bytes;
            const int size = rng.bounded(0, 60);
            for (int i = 0; i < size; ++i)
                bytes.append(kBytes[rng.bounded(row % 2 ? 6 : 8)]);
            QTest::addRow("random %d", row) << bytes;
        }
    }
    void loadAndSave_keepEveryByte()
    {
        QFETCH(QByteArray, bytes);
        TBookFixture f("A\r\n", bytes);
        QCOMPARE(ItemList(f.book), SplitLines(bytes));
        QCOMPARE(f.SavedItems(), JoinLines(SplitLines(bytes)));
        f.book.SnapshotItems().Save(f.dir.File("snapshot.dat"));
        QCOMPARE(f.dir.Read("snapshot.dat"), JoinLines(SplitLines(bytes)));
        f.book.SaveCategories(f.dir.File("cats.dat"));
        QCOMPARE(f.dir.Read("cats.dat"), QByteArray("A\r\n"));
    }

    // Records cut short (fewer fields than an item has) are counted while
    // the lines are found; the count is the one of each record looked at
    // alone, wherever its delimiters fall.
    void cutRecords_data()
    {
        loadAndSave_keepEveryByte_data();
        QTest::newRow("cut in half") << R("A|x|||||||||||\r\nA|y|prog|http://w\r\nA|z|||||||||||\r\n");
        QTest::newRow("cut after a delimiter") << R("A|x|p|w|l|\r\n");
        QTest::newRow("the description without its closing delimiter") << R("A|x||||||||||one||##tw\r\n");
        QTest::newRow("eleven delimiters, no description") << R("A|x||||||||||\r\n");
        QTest::newRow("long description of delimiters") << R("A|x||||||||||") + QByteArray(5000, '\xA5') + "\r\n";
        QTest::newRow("a long record cut short") << R("A|x|") + QByteArray(5000, 'p') + R("|u|\r\n");
    }
    void cutRecords()
    {
        QFETCH(QByteArray, bytes);
        TBookFixture f("A\r\n", bytes);
        qsizetype cut = 0;
        for (const QByteArray &line : SplitLines(bytes)) {
            const qsizetype fields = SplitRecord(line).size();
            cut += !line.isEmpty() && fields < kItemFieldCount + 1;
        }
        QCOMPARE(f.book.CutRecordsRead(), cut);
        f.book.Clear();
        QCOMPARE(f.book.CutRecordsRead(), 0);
    }

    void tree_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QStringList>("tree");
        QTest::newRow("book order, orphans have no node")
            << kCategories << kItems << QStringList{"Travel:Hotels,Flights", "Shops:Books"};
        QTest::newRow("twins: the first node takes every record")
            << QByteArray("X\r\nY\r\nX\r\n") << R("X|a|\r\nY|b|\r\nX|c|\r\n") << QStringList{"X:a,c", "Y:b", "X:"};
        QTest::newRow("names are compared byte for byte")
            << QByteArray("Travel\r\nTRAVEL\r\n") << R("TRAVEL|a|\r\nTravel|b|\r\ntravel|c|\r\n")
            << QStringList{"Travel:b", "TRAVEL:a"};
        QTest::newRow("an item titled like a category does not capture its items")
            << QByteArray("A\r\nB\r\n") << R("A|B|\r\nB|x|\r\n") << QStringList{"A:B", "B:x"};
        QTest::newRow("short records and a two-field record without a closing delimiter")
            << QByteArray("A\r\n") << R("A\r\nA|\r\nA|t\r\n|\r\nA||\r\n") << QStringList{"A:t,"};
        QTest::newRow("an empty category name") << QByteArray("\r\nA") << R("|e|\r\n") << QStringList{":e", "A:"};
    }
    void tree()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(QStringList, tree);
        TBookFixture f(categories, items);
        QCOMPARE(f.Tree(), tree);
    }

    void missingFiles_leaveTheBook_andUnreadableOnesThrow()
    {
        TTempAppFolder dir;
        TAccountBook book;
        book.LoadCategories(dir.File("categories.dat"));
        book.LoadItems(dir.File("items.dat"));
        QCOMPARE(book.rowCount(), 0);
        QVERIFY(QDir().mkdir(dir.File("items.dat")));
        QVERIFY_THROWS_EXCEPTION(EFileError, book.LoadItems(dir.File("items.dat")));
        QVERIFY_THROWS_EXCEPTION(EFileError, book.SaveItems(dir.File("items.dat")));
        QVERIFY(QFileInfo(dir.File("items.dat")).isDir());
    }

    // --- Rules ---

    void addCategory_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("added");
        QTest::newRow("new") << QByteArray("Hosting") << true;
        QTest::newRow("taken, other case and blanks") << QByteArray(" travel\t") << false;
        QTest::newRow("accented letters are not folded") << QByteArray("SH\xD6PS") << true;
        QTest::newRow("a blank inside is another name") << QByteArray("Sho ps") << true;
    }
    void addCategory()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, added);
        TBookFixture f(kCategories + "sh\xF6ps\r\n");
        QSignalSpy inserted(&f.book, &QAbstractItemModel::rowsInserted);
        QModelIndex node;
        QCOMPARE(f.book.AddCategory(name, &node), added ? TBookOutcome::Done : TBookOutcome::CategoryExists);
        QCOMPARE(CategoryList(f.book).size(), added ? 4 : 3);
        QCOMPARE(inserted.size(), added ? 1 : 0);
        if (added) {
            QCOMPARE(CategoryList(f.book).last(), name);
            QCOMPARE(node, f.Node(3));
            QCOMPARE(inserted[0][1].toInt(), 3);
        }
    }

    void addItem_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<int>("category");
        QTest::addColumn<int>("item");
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("tree");
        const int done = int(TBookOutcome::Done);
        QTest::newRow("into the category") << kCategories << 1 << -1 << QByteArray("Music") << done
                                           << QStringList{"Travel:Hotels,Flights", "Shops:Books,Music"};
        QTest::newRow("into the item's category") << kCategories << 0 << 1 << QByteArray("Cars") << done
                                                  << QStringList{"Travel:Hotels,Flights,Cars", "Shops:Books"};
        QTest::newRow("taken, other case") << kCategories << 0 << -1 << QByteArray("hOTELS")
                                           << int(TBookOutcome::ItemExists) << QStringList{};
        QTest::newRow("leading blank is another title") << kCategories << 0 << -1 << QByteArray(" Hotels") << done
                                                        << QStringList{"Travel:Hotels,Flights, Hotels", "Shops:Books"};
        QTest::newRow("a record without a node blocks the title")
            << kCategories + "GONE\r\n" << 2 << -1 << QByteArray("orphan") << int(TBookOutcome::ItemExists)
            << QStringList{};
        QTest::newRow("a later twin adds to the first node of the name")
            << kCategories + "Shops\r\n" << 2 << -1 << QByteArray("Toys") << done
            << QStringList{"Travel:Hotels,Flights", "Shops:Books,Toys", "Shops:"};
        QTest::newRow("nothing selected") << kCategories << -1 << -1 << QByteArray("x")
                                          << int(TBookOutcome::NoCategory) << QStringList{};
    }
    void addItem()
    {
        QFETCH(QByteArray, categories);
        QFETCH(int, category);
        QFETCH(int, item);
        QFETCH(QByteArray, title);
        QFETCH(int, outcome);
        QFETCH(QStringList, tree);
        TBookFixture f(categories);
        const QStringList before = f.Tree();
        QModelIndex added;
        const QModelIndex at = category < 0 ? QModelIndex() : f.Node(category, item);
        QCOMPARE(int(f.book.AddItem(at, title, &added)), outcome);
        if (outcome != int(TBookOutcome::Done)) {
            QCOMPARE(f.Tree(), before);
            QCOMPARE(f.SavedItems(), kItems);
            return;
        }
        QCOMPARE(f.Tree(), tree);
        QCOMPARE(added.data(TAccountBook::NameRole).toByteArray(), title);
        QCOMPARE(ItemList(f.book).last(), added.parent().data(TAccountBook::NameRole).toByteArray() + R("|")
                                               + title + R("|||||||||||||"));
        QCOMPARE(f.book.ReadItem(f.book.RecordAt(added)).fields[1], title);
    }

    void renameCategory_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("renamed");
        QTest::addColumn<QByteArray>("savedCategories");
        QTest::addColumn<QByteArray>("savedItems");
        QTest::newRow("same name in capitals: records follow")
            << kCategories << kItems << 0 << QByteArray("TRAVEL") << true << QByteArray("TRAVEL\r\nShops\r\n")
            << QByteArray(kItems).replace("Travel\xA5", "TRAVEL\xA5");
        QTest::newRow("other category's name, other case")
            << kCategories << kItems << 0 << QByteArray("shops") << false << kCategories << kItems;
        QTest::newRow("other category's name with blanks")
            << kCategories << kItems << 0 << QByteArray(" Shops ") << false << kCategories << kItems;
        // Hand-made names that differ only in case are separate categories:
        // a rename acts on the selected one's own entry and records.
        QTest::newRow("a case twin keeps its records")
            << QByteArray("TRAVEL\r\nTravel\r\n") << R("TRAVEL|Big|||||||||||\r\nTravel|Small|||||||||||\r\n")
            << 1 << QByteArray("Trips") << true << QByteArray("TRAVEL\r\nTrips\r\n")
            << R("TRAVEL|Big|||||||||||\r\nTrips|Small|||||||||||\r\n");
        QTest::newRow("a one-field record of the name follows")
            << QByteArray("Travel\r\n") << R("Travel|Small|\r\nTravel|\r\n") << 0 << QByteArray("Trips") << true
            << QByteArray("Trips\r\n") << R("Trips|Small|\r\nTrips|\r\n");
        QTest::newRow("a later exact twin holds no records") << QByteArray("X\r\nX\r\n") << R("X|a|\r\n") << 1
                                                             << QByteArray("Y") << true << QByteArray("X\r\nY\r\n")
                                                             << R("X|a|\r\n");
    }
    void renameCategory()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(int, row);
        QFETCH(QByteArray, name);
        QFETCH(bool, renamed);
        QFETCH(QByteArray, savedCategories);
        QFETCH(QByteArray, savedItems);
        TBookFixture f(categories, items);
        const int children = f.book.rowCount(f.Node(row));
        QSignalSpy changed(&f.book, &QAbstractItemModel::dataChanged);
        QCOMPARE(f.book.RenameCategory(f.Node(row), name),
                 renamed ? TBookOutcome::Done : TBookOutcome::CategoryExists);
        QCOMPARE(f.SavedItems(), savedItems);
        f.book.SaveCategories(f.dir.File("cats.dat"));
        QCOMPARE(f.dir.Read("cats.dat"), savedCategories);
        QCOMPARE(f.book.CategoryName(row), renamed ? name : SplitLines(categories)[row]);
        QCOMPARE(changed.size(), renamed ? 1 : 0);
        // The items stay under the node and are found by the new name.
        QCOMPARE(f.book.rowCount(f.Node(row)), children);
        for (int k = 0; k < children; ++k)
            QCOMPARE(f.book.FindItem(f.book.CategoryName(row), Title(f.Node(row, k))), f.book.RecordAt(f.Node(row, k)));
    }

    void deleteCategory_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QByteArray>("savedCategories");
        QTest::addColumn<QByteArray>("savedItems");
        QTest::newRow("its records go, also those without a node")
            << kCategories << kItems + R("Travel|NoNode\r\nTravel|\r\n") << 0 << QStringList{"Shops:Books"}
            << QByteArray("Shops\r\n") << R("Gone|Orphan|||||||||||x|\r\nShops|Books|bp||||||||||\r\n");
        QTest::newRow("a case twin keeps its records")
            << QByteArray("TRAVEL\r\nTravel\r\n") << R("TRAVEL|Big|||||||||||\r\nTravel|Small|||||||||||\r\n")
            << 1 << QStringList{"TRAVEL:Big"} << QByteArray("TRAVEL\r\n") << R("TRAVEL|Big|||||||||||\r\n");
        // The records of a name belong to its first node; an empty later twin
        // of exactly the same name takes none of them with it.
        QTest::newRow("a later exact twin takes no records")
            << QByteArray("Travel\r\nTravel\r\n") << R("Travel|Hotels|||||||||||\r\n") << 1
            << QStringList{"Travel:Hotels"} << QByteArray("Travel\r\n") << R("Travel|Hotels|||||||||||\r\n");
    }
    void deleteCategory()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(int, row);
        QFETCH(QStringList, tree);
        QFETCH(QByteArray, savedCategories);
        QFETCH(QByteArray, savedItems);
        TBookFixture f(categories, items);
        QSignalSpy removed(&f.book, &QAbstractItemModel::rowsRemoved);
        QCOMPARE(f.book.DeleteCategory(f.Node(row)), TBookOutcome::Done);
        QCOMPARE(f.Tree(), tree);
        QCOMPARE(f.SavedItems(), savedItems);
        f.book.SaveCategories(f.dir.File("cats.dat"));
        QCOMPARE(f.dir.Read("cats.dat"), savedCategories);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed[0][1].toInt(), row);
    }

    void storeAndDeleteItem()
    {
        TBookFixture f(kCategories, kItems + R("Shops|Fresh|||||||||||||\r\n"));
        QSignalSpy changed(&f.book, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&f.book, &QAbstractItemModel::modelReset);
        QSignalSpy layout(&f.book, &QAbstractItemModel::layoutChanged);
        const QModelIndex fresh = f.Node(1, 1);
        // Another item of the category bears the title: nothing changes.
        QCOMPARE(f.book.StoreItem(fresh, {"Books"}, {}), TBookOutcome::TitleTaken);
        QVERIFY(f.book.TitleTaken(fresh, "Books"));
        QVERIFY(!f.book.TitleTaken(fresh, "BOOKS"));
        QVERIFY(!f.book.TitleTaken(fresh, "Fresh"));
        QVERIFY(!f.book.TitleTaken(fresh, "Hotels"));
        QCOMPARE(f.book.StoreItem(fresh, {"Fresh!", "p", "", "", "", "", "", "", "", "day"}, "one\r\ntwo"),
                 TBookOutcome::Done);
        QCOMPARE(ItemList(f.book).last(), R("Shops|Fresh!|p||||||||day|one||##two|"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].value<QModelIndex>(), fresh);
        QCOMPARE(changed[0][1].value<QModelIndex>(), fresh);
        QCOMPARE(fresh.data().toString(), QString("Fresh!"));
        QCOMPARE(f.book.FindItem("Shops", "Fresh"), -1);
        QCOMPARE(f.book.ReadItem(f.book.FindItem("Shops", "Fresh!")).description, QByteArray("one\r\ntwo"));
        // Only the stored record changed in the file.
        QCOMPARE(f.SavedItems(), kItems + R("Shops|Fresh!|p||||||||day|one||##two|\r\n"));

        QSignalSpy removed(&f.book, &QAbstractItemModel::rowsRemoved);
        QCOMPARE(f.book.DeleteItem(f.Node(0, 0)), TBookOutcome::Done);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(f.Tree(), (QStringList{"Travel:Flights", "Shops:Books,Fresh!"}));
        QCOMPARE(f.book.FindItem("Shops", "Books"), 2);
        QCOMPARE(f.book.DeleteItem(f.Node(0)), TBookOutcome::NotAnItem);
        QCOMPARE(reset.size(), 0);
        QCOMPARE(layout.size(), 0);
    }

    // A snapshot writes the book as it was when taken, whatever the book
    // does afterwards, and the same bytes a save wrote then.
    void snapshot_keepsTheStateItWasTakenIn()
    {
        TBookFixture f;
        QCOMPARE(f.book.StoreItem(f.Node(1, 0), {"Books", "edited"}, "d"), TBookOutcome::Done);
        const QByteArray then = f.SavedItems();
        const TAccountBook::TItemsSnapshot snapshot = f.book.SnapshotItems();
        QCOMPARE(snapshot.Size(), qint64(kItems.size()) + f.book.Record(3).size());
        QCOMPARE(f.book.StoreItem(f.Node(1, 0), {"Books", "again"}, "e"), TBookOutcome::Done);
        QCOMPARE(f.book.AddItem(f.Node(0), "Trains"), TBookOutcome::Done);
        QCOMPARE(f.book.DeleteItem(f.Node(0, 0)), TBookOutcome::Done);
        QVERIFY(f.SavedItems() != then);
        f.book.Clear();
        snapshot.Save(f.dir.File("snapshot.dat"));
        QCOMPARE(f.dir.Read("snapshot.dat"), then);
    }

    void shortRecordsBefore()
    {
        TBookFixture f("A\r\n", R("\r\nA\r\nA|x|\r\nA|\r\nA|y|\r\n"));
        QCOMPARE(f.book.ShortRecordsBefore(f.book.FindItem("A", "x")), (TStringList{"", "A"}));
        QCOMPARE(f.book.ShortRecordsBefore(f.book.FindItem("A", "y")), (TStringList{"", "A", R("A|")}));
        QCOMPARE(f.book.ShortRecordsBefore(-1), (TStringList{"", "A", R("A|")}));
    }

    // --- Any sequence of commands keeps the index, the tree and the files in step ---

    void randomCommands_keepIndexTreeAndFilesInStep_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("extra"); // records added to the file before opening
        for (quint32 seed = 1; seed <= 12; ++seed)
            QTest::addRow("seed %u", seed) << seed << 0;
        // Groups large enough that their tables grow and shrink, records of
        // a category without a node and of names that differ only in case,
        // and short records between them, all read from the file.
        for (quint32 seed = 13; seed <= 16; ++seed)
            QTest::addRow("seed %u, opened with 60 more", seed) << seed << 60;
    }
    void randomCommands_keepIndexTreeAndFilesInStep()
    {
        QFETCH(quint32, seed);
        QFETCH(int, extra);
        QRandomGenerator rng(seed);
        QByteArray items = R("a|x|\r\nB|x|\r\na|y|||||||||||\r\na|x|\r\n");
        for (int i = 0; i < extra; ++i) {
            static const char *const kCategories[] = {"a", "a", "a", "A", "b", "B", "Gone"};
            items += rng.bounded(10) == 0 ? R("short|\r\n")
                                          : kCategories[rng.bounded(7)] + R("|") + RandomName(rng) + R("|p|\r\n");
        }
        TBookFixture f("a\r\nB\r\na\r\n", items);
        QAbstractItemModelTester tester(&f.book, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int step = 0; step < 60; ++step) {
            const int categories = f.book.rowCount();
            const QModelIndex category = categories ? f.Node(rng.bounded(categories)) : QModelIndex();
            const int items = f.book.rowCount(category);
            const QModelIndex item = items ? f.book.index(rng.bounded(items), 0, category) : QModelIndex();
            switch (rng.bounded(6)) {
            case 0: f.book.AddCategory(RandomName(rng)); break;
            case 1: f.book.AddItem(rng.bounded(2) ? item : category, RandomName(rng)); break;
            case 2: f.book.RenameCategory(category, RandomName(rng)); break;
            case 3: if (rng.bounded(3) == 0) f.book.DeleteCategory(category); break;
            case 4: f.book.DeleteItem(item); break;
            default: f.book.StoreItem(item, {RandomName(rng), RandomName(rng)}, RandomName(rng)); break;
            }
            const TStringList list = ItemList(f.book);
            for (int c = 0; c < f.book.rowCount(); ++c) {
                const QByteArray name = f.book.CategoryName(c);
                for (int k = 0; k < f.book.rowCount(f.Node(c)); ++k) {
                    const QModelIndex node = f.Node(c, k);
                    const QByteArray title = Title(node);
                    QCOMPARE(f.book.FindItem(name, title), FirstRecordWalked(list, name, title));
                    QCOMPARE(f.book.IndexOfRecord(f.book.RecordAt(node)), node);
                    bool sibling = false;
                    for (int o = 0; o < f.book.rowCount(f.Node(c)); ++o)
                        sibling |= o != k && Title(f.Node(c, o)) == title;
                    QCOMPARE(f.book.TitleTaken(node, title), sibling);
                }
                const QByteArray absent = RandomName(rng);
                QCOMPARE(f.book.FindItem(name, absent), FirstRecordWalked(list, name, absent));
            }
            // What was saved reads back as the same book.
            if (step % 6 != 5)
                continue;
            f.book.SaveCategories(f.dir.File("categories.dat"));
            f.book.SaveItems(f.dir.File("items.dat"));
            QCOMPARE(f.dir.Read("items.dat"), JoinLines(list));
            TAccountBook again;
            again.LoadCategories(f.dir.File("categories.dat"));
            again.LoadItems(f.dir.File("items.dat"));
            QCOMPARE(TBookFixture::TreeOf(again), f.Tree());
        }
    }
};

QTEST_GUILESS_MAIN(TestAccountBook)
#include "test_account_book.moc"
