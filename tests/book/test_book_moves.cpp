// Moving and duplicating items, and dragging them, on the account book
// without a window or a display.
#include "support/book_fixture.h"
#include "book/account_book.h"
#include "book/book_filter.h"
#include "support/temp_app_folder.h"
#include "util/text_utils.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = R("Travel|Hotels|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel##notes|\r\n"
                            "Gone|Orphan|||||||||||x|\r\n"
                            "Travel|Flights|||||||||||| \r\n"
                            "Shops|Books|bp||||||||||\r\n");

struct TBookFixture : TLoadedBook
{
    explicit TBookFixture(const QByteArray &categories = kCategories, const QByteArray &items = kItems)
        : TLoadedBook(categories, items)
    {
        // Checks every signal the rules send against the model's rows.
        tester = std::make_unique<QAbstractItemModelTester>(&book,
                                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    std::unique_ptr<QAbstractItemModelTester> tester;
};

} // namespace

class TestBookMoves : public QObject
{
    Q_OBJECT
private slots:
    void moveItem_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QPoint>("item");   // category row, item row
        QTest::addColumn<QPoint>("target"); // category row, item row or -1
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QByteArray>("saved");

        const QByteArray hotelsInShops = R("Shops|Hotels|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel##notes|\r\n"
                                           "Gone|Orphan|||||||||||x|\r\n"
                                           "Travel|Flights|||||||||||| \r\n"
                                           "Shops|Books|bp||||||||||\r\n");
        QTest::newRow("record keeps its bytes and its place in the file")
            << kCategories << kItems << QPoint(0, 0) << QPoint(1, -1) << int(TBookOutcome::Done)
            << QStringList{"Travel:Flights", "Shops:Hotels,Books"} << hotelsInShops;
        QTest::newRow("an item node stands for its category")
            << kCategories << kItems << QPoint(0, 0) << QPoint(1, 0) << int(TBookOutcome::Done)
            << QStringList{"Travel:Flights", "Shops:Hotels,Books"} << hotelsInShops;
        QTest::newRow("lands after its new siblings of earlier records")
            << kCategories << kItems << QPoint(1, 0) << QPoint(0, -1) << int(TBookOutcome::Done)
            << QStringList{"Travel:Hotels,Flights,Books", "Shops:"}
            << R("Travel|Hotels|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel##notes|\r\n"
                 "Gone|Orphan|||||||||||x|\r\n"
                 "Travel|Flights|||||||||||| \r\n"
                 "Travel|Books|bp||||||||||\r\n");
        QTest::newRow("title taken in other letter case")
            << kCategories << kItems + R("Travel|BOOKS|\r\n") << QPoint(0, 2) << QPoint(1, -1)
            << int(TBookOutcome::ItemExists) << QStringList{"Travel:Hotels,Flights,BOOKS", "Shops:Books"}
            << kItems + R("Travel|BOOKS|\r\n");
        QTest::newRow("a record without a node holds its title too")
            << kCategories << kItems + R("shops|Flights|\r\n") << QPoint(0, 1) << QPoint(1, -1)
            << int(TBookOutcome::ItemExists) << QStringList{"Travel:Hotels,Flights", "Shops:Books"}
            << kItems + R("shops|Flights|\r\n");
        QTest::newRow("a blank makes another title")
            << kCategories << kItems + R("Travel|Books |\r\n") << QPoint(0, 2) << QPoint(1, -1)
            << int(TBookOutcome::Done) << QStringList{"Travel:Hotels,Flights", "Shops:Books,Books "}
            << kItems + R("Shops|Books |\r\n");
        QTest::newRow("its own title in a category named like its own but for case")
            << QByteArray("Travel\r\nTRAVEL\r\n") << R("Travel|Hotels|x|\r\n") << QPoint(0, 0) << QPoint(1, -1)
            << int(TBookOutcome::Done) << QStringList{"Travel:", "TRAVEL:Hotels"} << R("TRAVEL|Hotels|x|\r\n");
        QTest::newRow("into its own category nothing changes")
            << kCategories << kItems << QPoint(0, 1) << QPoint(0, 0) << int(TBookOutcome::Done)
            << QStringList{"Travel:Hotels,Flights", "Shops:Books"} << kItems;
        QTest::newRow("a later category of the same name means the first")
            << QByteArray("Travel\r\nShops\r\nTravel\r\n") << kItems << QPoint(1, 0) << QPoint(2, -1)
            << int(TBookOutcome::Done) << QStringList{"Travel:Hotels,Flights,Books", "Shops:", "Travel:"}
            << R("Travel|Hotels|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel##notes|\r\n"
                 "Gone|Orphan|||||||||||x|\r\n"
                 "Travel|Flights|||||||||||| \r\n"
                 "Travel|Books|bp||||||||||\r\n");
        QTest::newRow("a two-field record without a closing delimiter")
            << kCategories << R("Travel|Bare") << QPoint(0, 0) << QPoint(1, -1) << int(TBookOutcome::Done)
            << QStringList{"Travel:", "Shops:Bare"} << R("Shops|Bare\r\n");
        QTest::newRow("a category is no item")
            << kCategories << kItems << QPoint(0, -1) << QPoint(1, -1) << int(TBookOutcome::NotAnItem)
            << QStringList{"Travel:Hotels,Flights", "Shops:Books"} << kItems;
        QTest::newRow("a category name holding the delimiter takes no item")
            << QByteArray("Travel\r\nA\xA5" "B\r\n") << kItems << QPoint(0, 0) << QPoint(1, -1)
            << int(TBookOutcome::NoCategory) << QStringList{"Travel:Hotels,Flights", "A\u00A5B:"} << kItems;
    }
    void moveItem()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(QPoint, item);
        QFETCH(QPoint, target);
        QFETCH(int, outcome);
        QFETCH(QStringList, tree);
        QFETCH(QByteArray, saved);
        TBookFixture f(categories, items);
        const QPersistentModelIndex node = f.Node(item.x(), item.y());
        const QByteArray title = node.data(TAccountBook::NameRole).toByteArray();
        QModelIndex moved;
        QCOMPARE(int(f.book.MoveItem(node, f.Node(target.x(), target.y()), &moved)), outcome);
        QCOMPARE(f.Tree(), tree);
        QCOMPARE(f.SavedItems(), saved);
        if (outcome != int(TBookOutcome::Done))
            return;
        // The node the caller selects next, and views holding the old one,
        // both show the moved item.
        QCOMPARE(moved.data(TAccountBook::NameRole).toByteArray(), title);
        QCOMPARE(QModelIndex(node), moved);
        QCOMPARE(f.book.FindItem(moved.parent().data(TAccountBook::NameRole).toByteArray(), title),
                 f.book.RecordAt(moved));
    }

    void duplicateItem_data()
    {
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QPoint>("item");
        QTest::addColumn<QByteArray>("copy"); // the record appended
        QTest::newRow("every field and the description")
            << kItems << QPoint(0, 0) << R("Travel|Hotels (copy)|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel##notes|");
        QTest::newRow("a taken copy title counts on")
            << kItems + R("Travel|Hotels (copy)|\r\n") << QPoint(0, 0)
            << R("Travel|Hotels (copy 2)|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel##notes|");
        QTest::newRow("taken in other letter case")
            << kItems + R("Travel|HOTELS (COPY)|\r\n") << QPoint(0, 0)
            << R("Travel|Hotels (copy 2)|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel##notes|");
        QTest::newRow("taken by a record without a node")
            << kItems + R("travel|Hotels (copy)|\r\n") << QPoint(0, 0)
            << R("Travel|Hotels (copy 2)|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel##notes|");
        QTest::newRow("a copy of a copy counts on from its base")
            << kItems + R("Shops|Books (copy)|z|\r\n") << QPoint(1, 1) << R("Shops|Books (copy 2)|z|");
        QTest::newRow("a copy title in another category is free")
            << kItems + R("Shops|Flights (copy)|\r\n") << QPoint(0, 1) << R("Travel|Flights (copy)|||||||||||| ");
        QTest::newRow("a freshly added record keeps its shape")
            << kItems + R("Shops|Fresh|||||||||||||\r\n") << QPoint(1, 1) << R("Shops|Fresh (copy)|||||||||||||");
        QTest::newRow("a two-field record without a closing delimiter")
            << kItems + R("Shops|Bare") << QPoint(1, 1) << R("Shops|Bare (copy)");
    }
    void duplicateItem()
    {
        QFETCH(QByteArray, items);
        QFETCH(QPoint, item);
        QFETCH(QByteArray, copy);
        TBookFixture f(kCategories, items);
        const TStringList before = ItemList(f.book);
        const int rows = f.book.rowCount(f.Node(item.x()));
        QModelIndex added;
        QCOMPARE(f.book.DuplicateItem(f.Node(item.x(), item.y()), &added), TBookOutcome::Done);
        QCOMPARE(ItemList(f.book), before + TStringList{copy});
        QCOMPARE(added, f.Node(item.x(), rows));
        QCOMPARE(f.book.RecordAt(added), f.book.RecordCount() - 1);
        QByteArray category, title;
        QVERIFY(RecordKey(copy, &category, &title));
        QCOMPARE(added.data(TAccountBook::NameRole).toByteArray(), title);
        QCOMPARE(f.book.FindItem(category, title), f.book.RecordCount() - 1);
        QCOMPARE(f.SavedItems(), JoinLines(before + TStringList{copy}));
    }

    // --- Drag and drop ---

    void drop_data()
    {
        QTest::addColumn<QString>("payload"); // how the dropped data was made
        QTest::addColumn<int>("action");
        QTest::addColumn<QPoint>("onto"); // category row, item row or -1; (-1, -1) the empty area
        QTest::addColumn<bool>("moves");
        QTest::newRow("on a category") << "own" << int(Qt::MoveAction) << QPoint(1, -1) << true;
        QTest::newRow("on an item of another category") << "own" << int(Qt::MoveAction) << QPoint(1, 0) << true;
        QTest::newRow("on the empty area") << "own" << int(Qt::MoveAction) << QPoint(-1, -1) << false;
        QTest::newRow("on its own category") << "own" << int(Qt::MoveAction) << QPoint(0, -1) << false;
        QTest::newRow("on its sibling") << "own" << int(Qt::MoveAction) << QPoint(0, 1) << false;
        QTest::newRow("as a copy") << "own" << int(Qt::CopyAction) << QPoint(1, -1) << false;
        QTest::newRow("from another book") << "other book" << int(Qt::MoveAction) << QPoint(1, -1) << false;
        QTest::newRow("another program's text") << "text" << int(Qt::MoveAction) << QPoint(1, -1) << false;
        QTest::newRow("the token with a record out of range")
            << "out of range" << int(Qt::MoveAction) << QPoint(1, -1) << false;
        QTest::newRow("the token with a number that is no number")
            << "no number" << int(Qt::MoveAction) << QPoint(1, -1) << false;
        QTest::newRow("an item renamed since the drag began")
            << "renamed" << int(Qt::MoveAction) << QPoint(1, -1) << false;
        QTest::newRow("a record number naming a record without a node")
            << "orphan" << int(Qt::MoveAction) << QPoint(1, -1) << false;
    }
    void drop()
    {
        QFETCH(QString, payload);
        QFETCH(int, action);
        QFETCH(QPoint, onto);
        QFETCH(bool, moves);
        TBookFixture f;
        TBookFixture other;
        const QModelIndex hotels = f.Node(0, 0);
        std::unique_ptr<QMimeData> data;
        if (payload == "other book") {
            data.reset(other.book.mimeData({other.Node(0, 0)}));
        } else if (payload == "text") {
            data = std::make_unique<QMimeData>();
            data->setText("Hotels");
        } else {
            data.reset(f.book.mimeData({hotels}));
            QByteArray bytes = data->data(TAccountBook::ItemMimeType);
            const QByteArrayList parts = bytes.split('\n');
            QCOMPARE(parts.size(), 3);
            if (payload == "out of range")
                bytes = parts[0] + "\n4\n" + parts[2];
            else if (payload == "no number")
                bytes = parts[0] + "\n-0x1\n" + parts[2];
            else if (payload == "orphan")
                bytes = parts[0] + "\n1\n" + R("Gone|Orphan");
            data->setData(TAccountBook::ItemMimeType, bytes);
            if (payload == "renamed") {
                std::array<QByteArray, 10> fields{"Inns"};
                QCOMPARE(f.book.StoreItem(hotels, fields, {}), TBookOutcome::Done);
            }
        }
        const QByteArray before = f.SavedItems();
        const QModelIndex parent = onto.x() < 0 ? QModelIndex() : f.Node(onto.x(), onto.y());
        QCOMPARE(f.book.canDropMimeData(data.get(), Qt::DropAction(action), -1, -1, parent), moves);
        QModelIndex category;
        const QModelIndex item = f.book.DroppedItem(data.get(), Qt::DropAction(action), parent, &category);
        QCOMPARE(item.isValid(), moves);
        // The drop itself changes nothing; whoever decides moves the item.
        QVERIFY(!f.book.dropMimeData(data.get(), Qt::DropAction(action), -1, -1, parent));
        QCOMPARE(f.SavedItems(), before);
        if (!moves)
            return;
        QCOMPARE(item, hotels);
        QCOMPARE(category, f.Node(1));
        QModelIndex moved;
        QCOMPARE(f.book.MoveItem(item, category, &moved), TBookOutcome::Done);
        QCOMPARE(f.Tree(), (QStringList{"Travel:Flights", "Shops:Hotels,Books"}));
        QCOMPARE(moved, f.Node(1, 0));
    }

    void drag_offersOneItemAlone()
    {
        TBookFixture f;
        QVERIFY(!f.book.mimeData({f.Node(0)}));
        QVERIFY(!f.book.mimeData({f.Node(0, 0), f.Node(0, 1)}));
        QVERIFY(!f.book.mimeData({}));
        std::unique_ptr<QMimeData> data(f.book.mimeData({f.Node(0, 1)}));
        QVERIFY(data);
        // Nothing another program could paste or read a secret from.
        QCOMPARE(data->formats(), QStringList{TAccountBook::ItemMimeType});
        QVERIFY(!data->data(TAccountBook::ItemMimeType).contains("hpw"));
        QCOMPARE(f.book.mimeTypes(), QStringList{TAccountBook::ItemMimeType});
        QVERIFY(f.book.flags(f.Node(0, 1)) & Qt::ItemIsDragEnabled);
        QVERIFY(!(f.book.flags(f.Node(0)) & Qt::ItemIsDragEnabled));
    }

    // The tree's filter passes a drop on as a request in nodes of the book,
    // also while a search hides some rows; the book is not changed by it.
    void drop_throughTheFilter_requestsTheMove_data()
    {
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<QPoint>("onto"); // shown category row, item row or -1
        QTest::addColumn<int>("outcome"); // of the requested move; -1: no request
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<int>("shownCategories");
        const QStringList moved{"Travel:Flights", "Shops:Hotels,Books"};
        const QStringList stayed{"Travel:Hotels,Flights", "Shops:Books"};
        // Travel, left with Flights alone, no longer matches.
        QTest::newRow("on an item of another category")
            << QByteArray() << QPoint(1, 0) << int(TBookOutcome::Done) << moved << 1;
        QTest::newRow("title taken there")
            << R("Shops|HOTELS|\r\n") << QPoint(1, -1) << int(TBookOutcome::ItemExists)
            << QStringList{"Travel:Hotels,Flights", "Shops:Books,HOTELS"} << 2;
        QTest::newRow("on its own category") << QByteArray() << QPoint(0, -1) << -1 << stayed << 2;
    }
    void drop_throughTheFilter_requestsTheMove()
    {
        QFETCH(QByteArray, extra);
        QFETCH(QPoint, onto);
        QFETCH(int, outcome);
        QFETCH(QStringList, tree);
        QFETCH(int, shownCategories);
        TBookFixture f(kCategories, kItems + extra);
        TBookFilter filter;
        filter.SetBook(&f.book);
        filter.SetText("o"); // Hotels, Books and their categories stay; Flights goes
        QCOMPARE(filter.rowCount(filter.index(0, 0)), 1);
        const QModelIndex hotels = filter.index(0, 0, filter.index(0, 0));
        std::unique_ptr<QMimeData> data(filter.mimeData({hotels}));
        QVERIFY(data);
        const QModelIndex category = filter.index(onto.x(), 0);
        const QModelIndex target = onto.y() < 0 ? category : filter.index(onto.y(), 0, category);
        QSignalSpy requested(&filter, &TBookFilter::moveRequested);
        const QByteArray before = f.SavedItems();
        QCOMPARE(filter.dropMimeData(data.get(), Qt::MoveAction, -1, -1, target), outcome >= 0);
        QCOMPARE(requested.size(), outcome < 0 ? 0 : 1);
        QCOMPARE(f.SavedItems(), before);
        if (outcome >= 0) {
            const auto item = requested[0][0].value<QModelIndex>();
            const auto to = requested[0][1].value<QModelIndex>();
            QCOMPARE(item.model(), &f.book);
            QCOMPARE(item, f.Node(0, 0));
            QCOMPARE(to, f.Node(1));
            QCOMPARE(int(f.book.MoveItem(item, to)), outcome);
        }
        QCOMPARE(f.Tree(), tree);
        QCOMPARE(filter.rowCount(), shownCategories);
    }
};

QTEST_GUILESS_MAIN(TestBookMoves)
#include "test_book_moves.moc"
