// What the tree keeps in view for a search text, without a window: the filter
// between the account book and the tree, also while the book changes.
#include "support/book_fixture.h"
#include "book/account_book.h"
#include "book/book_filter.h"
#include "support/temp_app_folder.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <memory>

namespace {

// Fields: category, title, program, website, login address, username,
// password, affiliate link, cloaked address, payout, payment day, description.
const QByteArray kCategories = "Travel\r\nShops\r\nCaf\xE9 Corner\r\nEmpty\r\n";
const QByteArray kItems = R("Travel|Hotels|Sleep Program|http://beds.example/|http://beds.example/in|"
                            "hoteluser|S3cretWord|http://aff.example/h|http://c.example/h|10 USD|15th|"
                            "Rooms and cr\xE8me br\xFBl\xE9" "e|\r\n"
                            "Gone|Orphan|||||||||||orphan text|\r\n"
                            "Travel|Flights||||||||||||\r\n"
                            "Shops|Books|Paper|||bookuser|zebra||||monthly|Novels|\r\n"
                            "Caf\xE9 Corner|Espresso|||||||||||Beans|\r\n");

struct TFixture : TLoadedBook
{
    TFixture() : TLoadedBook(kCategories, kItems)
    {
        filter.SetBook(&book);
        tester = std::make_unique<QAbstractItemModelTester>(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    // The tree as the filter shows it.
    QStringList Tree() const { return TreeOf(filter); }

    TBookFilter filter;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

const QStringList kWhole{"Travel:Hotels,Flights", "Shops:Books", QString::fromLatin1("Caf\xE9 Corner:Espresso"),
                         "Empty:"};

std::array<QByteArray, 10> Fields(const QByteArray &title, const QByteArray &program = {})
{
    return {title, program, {}, {}, {}, {}, {}, {}, {}, {}};
}

} // namespace

class TestBookFilter : public QObject
{
    Q_OBJECT
private slots:
    void keeps_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("tree");
        QTest::newRow("no text") << "" << kWhole;
        QTest::newRow("blanks only") << "   " << kWhole;
        QTest::newRow("title, other case") << "HOTELS" << QStringList{"Travel:Hotels"};
        QTest::newRow("program") << "sleep prog" << QStringList{"Travel:Hotels"};
        QTest::newRow("address") << "beds.example/in" << QStringList{"Travel:Hotels"};
        QTest::newRow("username of two categories") << "user"
                                                    << QStringList{"Travel:Hotels", "Shops:Books"};
        QTest::newRow("payment day") << "monthly" << QStringList{"Shops:Books"};
        QTest::newRow("description, typed without accents") << "creme brulee" << QStringList{"Travel:Hotels"};
        QTest::newRow("description, accents typed") << QString::fromUtf8("CRÈME") << QStringList{"Travel:Hotels"};
        QTest::newRow("password never") << "zebra" << QStringList{};
        QTest::newRow("password, partly") << "s3cret" << QStringList{};
        QTest::newRow("category name keeps all its items") << "trav" << QStringList{"Travel:Hotels,Flights"};
        QTest::newRow("category name without accent") << "cafe" << QStringList{QString::fromLatin1("Caf\xE9 Corner:Espresso")};
        QTest::newRow("category without items") << "empty" << QStringList{"Empty:"};
        QTest::newRow("record of no category stays out") << "orphan" << QStringList{};
        QTest::newRow("never across two fields") << "paperbookuser" << QStringList{};
        QTest::newRow("never across two items") << "novelscafe" << QStringList{};
        QTest::newRow("named categories and matching items between them") << "e" << kWhole;
        QTest::newRow("an item after a named category's") << "novels" << QStringList{"Shops:Books"};
        QTest::newRow("never across two items, the first kept by its category") << "bruleegone" << QStringList{};
        QTest::newRow("character the book cannot hold") << QString::fromUtf8("書") << QStringList{};
        QTest::newRow("accent stripped to fit the book") << QString::fromUtf8("Novęls") << QStringList{"Shops:Books"};
    }
    void keeps()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, tree);
        TFixture f;
        f.filter.SetText("o"); // a text before, so the rows come back too
        f.filter.SetText(text);
        QCOMPARE(f.Tree(), tree);
        QCOMPARE(f.filter.IsFiltering(), !text.trimmed().isEmpty());
        f.filter.SetText({});
        QCOMPARE(f.Tree(), kWhole);
    }

    void keptNodes_stayUntilTheTextChanges()
    {
        TFixture f;
        f.filter.SetText("novels", f.Node(0, 1)); // Flights, kept as the selection
        QCOMPARE(f.Tree(), (QStringList{"Travel:Flights", "Shops:Books"}));
        f.filter.Keep(f.Node(2, 0)); // hidden until now
        QCOMPARE(f.Tree(), (QStringList{"Travel:Flights", "Shops:Books", QString::fromLatin1("Caf\xE9 Corner:Espresso")}));
        f.filter.SetText("novel", f.Node(1, 0));
        QCOMPARE(f.Tree(), QStringList{"Shops:Books"});
        // The same text with a blank more changes nothing and lets nothing go.
        f.filter.SetText("novel ", f.Node(0, 0));
        QCOMPARE(f.Tree(), (QStringList{"Travel:Hotels", "Shops:Books"}));
    }

    void followsTheBook_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("textAfter"); // typed after the change; empty: none
        QTest::addColumn<QStringList>("tree");
        QTest::newRow("stored item now matches, its category comes back")
            << "newprog" << "store Books" << "" << QStringList{"Shops:Books"};
        QTest::newRow("stored item no longer matches") << "paper" << "store Books" << "" << QStringList{};
        QTest::newRow("stored item kept while it does not match")
            << "paper" << "keep Books, store Books" << "" << QStringList{"Shops:Books"};
        QTest::newRow("stored text found by the next keystroke") << "o" << "store Books" << "newprog"
                                                                 << QStringList{"Shops:Books"};
        QTest::newRow("added item that matches") << "newtitle" << "add to Shops" << "" << QStringList{"Shops:newtitle"};
        QTest::newRow("added item in a category that matches")
            << "shops" << "add to Shops" << "" << QStringList{"Shops:Books,newtitle"};
        QTest::newRow("added item found by the next keystroke") << "o" << "add to Shops" << "newtitle"
                                                                << QStringList{"Shops:newtitle"};
        QTest::newRow("deleted item takes its category along") << "hotels" << "delete Hotels" << ""
                                                               << QStringList{};
        QTest::newRow("records after a deleted one are still found")
            << "o" << "delete Hotels" << "novels" << QStringList{"Shops:Books"};
        QTest::newRow("nothing of a deleted item is found") << "o" << "delete Hotels" << "sleep" << QStringList{};
        QTest::newRow("records after a deleted category are still found")
            << "o" << "delete Travel" << "beans" << QStringList{QString::fromLatin1("Caf\xE9 Corner:Espresso")};
        QTest::newRow("renamed category matches now") << "voyage" << "rename Travel" << ""
                                                      << QStringList{"Voyage:Hotels,Flights"};
        QTest::newRow("renamed category no longer matches") << "travel" << "rename Travel" << "" << QStringList{};
        QTest::newRow("items of a renamed category are found by its name")
            << "o" << "rename Travel" << "voyage" << QStringList{"Voyage:Hotels,Flights"};
        QTest::newRow("book loaded again") << "hotels" << "reload" << "" << QStringList{"Travel:Hotels"};
        QTest::newRow("moved item found under its new category") << "shops" << "move Hotels to Shops" << ""
                                                                 << QStringList{"Shops:Hotels,Books"}; // file order
        QTest::newRow("moved item no longer found by its old category")
            << "o" << "move Hotels to Shops" << "travel" << QStringList{"Travel:Flights"};
        QTest::newRow("duplicate found by the next keystroke") << "o" << "duplicate Hotels" << "hotels (copy"
                                                               << QStringList{"Travel:Hotels (copy)"};
    }
    void followsTheBook()
    {
        QFETCH(QString, text);
        QFETCH(QString, change);
        QFETCH(QString, textAfter);
        QFETCH(QStringList, tree);
        TFixture f;
        f.filter.SetText(text);
        const QModelIndex books = f.Node(1, 0);
        if (change.startsWith("keep Books"))
            f.filter.Keep(books);
        if (change.endsWith("store Books"))
            QCOMPARE(f.book.StoreItem(books, Fields("Books", "newprog"), {}), TBookOutcome::Done);
        else if (change == "add to Shops")
            QCOMPARE(f.book.AddItem(f.Node(1), "newtitle"), TBookOutcome::Done);
        else if (change == "delete Hotels")
            QCOMPARE(f.book.DeleteItem(f.Node(0, 0)), TBookOutcome::Done);
        else if (change == "delete Travel")
            QCOMPARE(f.book.DeleteCategory(f.Node(0)), TBookOutcome::Done);
        else if (change == "rename Travel")
            QCOMPARE(f.book.RenameCategory(f.Node(0), "Voyage"), TBookOutcome::Done);
        else if (change == "reload")
            f.book.LoadItems(f.dir.File("items.dat"));
        else if (change == "move Hotels to Shops")
            QCOMPARE(f.book.MoveItem(f.Node(0, 0), f.Node(1)), TBookOutcome::Done);
        else if (change == "duplicate Hotels")
            QCOMPARE(f.book.DuplicateItem(f.Node(0, 0)), TBookOutcome::Done);
        if (!textAfter.isEmpty())
            f.filter.SetText(textAfter);
        QCOMPARE(f.Tree(), tree);
    }

    // Edits that leave stale text behind in the one buffer are compacted
    // away without mixing up whose text is whose.
    void manyStoresKeepEachItemsText()
    {
        TFixture f;
        f.filter.SetText("o");
        const QModelIndex books = f.Node(1, 0);
        for (int i = 0; i < 3000; ++i) {
            const QByteArray program = QByteArray(600, 'x') + QByteArray::number(i);
            QCOMPARE(f.book.StoreItem(books, Fields("Books", program), {}), TBookOutcome::Done);
            f.filter.SetText(i % 2 ? "o" : "xx");
        }
        f.filter.SetText("x2999");
        QCOMPARE(f.Tree(), QStringList{"Shops:Books"});
        f.filter.SetText("x2998");
        QCOMPARE(f.Tree(), QStringList{});
        f.filter.SetText("sleep");
        QCOMPARE(f.Tree(), QStringList{"Travel:Hotels"});
    }
};

QTEST_GUILESS_MAIN(TestBookFilter)
#include "test_book_filter.moc"
