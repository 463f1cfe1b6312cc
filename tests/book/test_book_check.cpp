#include "book/book_check.h"
#include "support/book_fixture.h"

#include <QTest>

namespace {

// '|' stands for the delimiter 0xA5, '#' for 0xA7, '/' for a line end and
// '*' for the eleven delimiters that end an item stored with nothing after
// its title.
TStringList Lines(const char *s)
{
    QByteArray text(s);
    text.replace("*", "|||||||||||").replace('|', '\xA5').replace('#', '\xA7');
    return text.isEmpty() ? TStringList{} : text.split('/');
}

QStringList Brief(const QList<TBookFinding> &found)
{
    static const char *const kKinds[] = {"missing", "duplicate", "short", "refused", "cut"};
    QStringList out;
    for (const TBookFinding &f : found)
        out << QStringLiteral("%1 %2%3").arg(kKinds[int(f.kind)]).arg(f.inCategories ? "c" : "i").arg(f.line);
    return out;
}

} // namespace

class TestBookCheck : public QObject
{
    Q_OBJECT
private slots:
    void check_data()
    {
        QTest::addColumn<TStringList>("categories");
        QTest::addColumn<TStringList>("items");
        QTest::addColumn<QStringList>("findings");
        QTest::newRow("sound book") << Lines("A/B") << Lines("A|x|||||||||||/B|x|||||||||d|one||##two|")
                                    << QStringList{};
        QTest::newRow("freshly added items are sound") << Lines("A") << Lines("A|new|||||||||||||") << QStringList{};
        QTest::newRow("category missing") << Lines("A") << Lines("A|x*/Gone|y*") << QStringList{"missing i2"};
        QTest::newRow("category differs in case") << Lines("A") << Lines("a|x*") << QStringList{"missing i1"};
        QTest::newRow("duplicate title") << Lines("A/B") << Lines("A|x*/B|x*/A|x*/A|X*")
                                         << QStringList{"duplicate i3"};
        QTest::newRow("too short") << Lines("A") << Lines("A/A|/|x*/A|x*") << QStringList{"short i1", "short i2", "missing i3"};
        QTest::newRow("empty category and title are a record") << TStringList{QByteArray()} << Lines("|*")
                                                               << QStringList{};
        QTest::newRow("cut in half") << Lines("A") << Lines("A|x*/A|y|prog|web/A|z*")
                                     << QStringList{"cut i2"};
        QTest::newRow("cut right after a delimiter") << Lines("A") << Lines("A|x|p|w|l|") << QStringList{"cut i1"};
        QTest::newRow("a description without its closing delimiter is all there")
            << Lines("A") << Lines("A|x||||||||||one||##tw") << QStringList{};
        QTest::newRow("no description at all") << Lines("A") << Lines("A|x||||||||||") << QStringList{"cut i1"};
        QTest::newRow("cut, and its category missing") << Lines("A") << Lines("Gone|y|p")
                                                       << QStringList{"missing i1", "cut i1"};
        QTest::newRow("delimiter in a category name") << Lines("A|B") << Lines("") << QStringList{"refused c1"};
        QTest::newRow("description the editor cannot store again")
            << Lines("A") << Lines("A|x|||||||||||||##|") << QStringList{"refused i1"};
        QTest::newRow("description with line breaks only") << Lines("A") << Lines("A|x|||||||||||a||||b|")
                                                          << QStringList{};
    }
    void check()
    {
        QFETCH(TStringList, categories);
        QFETCH(TStringList, items);
        QFETCH(QStringList, findings);
        const QList<TBookFinding> found = CheckBook(categories, items);
        QCOMPARE(Brief(found), findings);
        for (const TBookFinding &f : found)
            QVERIFY(!f.text.isEmpty());
    }

    // What the window tells after loading: counted as read, told again only
    // when there is more of it, and the missing categories added on request.
    void loadDamage_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<int>("cutShort");
        QTest::addColumn<int>("withoutCategory");
        QTest::addColumn<QByteArrayList>("missing");
        QTest::addColumn<int>("leftAfterAdding");
        QTest::newRow("sound") << QByteArray("A\r\n") << Lines("A|x*").join(QByteArray("\r\n")) << 0 << 0 << QByteArrayList{}
                               << 0;
        QTest::newRow("a line cut in half") << QByteArray("A\r\n") << Lines("A|x*/A|y|p|w").join(QByteArray("\r\n")) << 1 << 0
                                            << QByteArrayList{} << 0;
        QTest::newRow("two categories missing") << QByteArray("A\r\n")
                                                << Lines("Old|x*/A|x*/New|y*/Old|z*").join(QByteArray("\r\n")) << 0 << 3
                                                << QByteArrayList{"Old", "New"} << 0;
        QTest::newRow("an empty categories.dat; records without a key do not count")
            << QByteArray() << Lines("B|x*/A|y*/B/|").join(QByteArray("\r\n")) << 2 << 2
            << QByteArrayList{"B", "A"} << 0;
        QTest::newRow("one spelt like a category in another case")
            << QByteArray("Work\r\n") << Lines("work|x*/Gone|y|p").join(QByteArray("\r\n")) << 1 << 2
            << QByteArrayList{"work", "Gone"} << 1;
    }
    void loadDamage()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(int, cutShort);
        QFETCH(int, withoutCategory);
        QFETCH(QByteArrayList, missing);
        QFETCH(int, leftAfterAdding);
        TLoadedBook f(categories, items);
        const TLoadDamage damage = LoadDamageOf(f.book);
        QCOMPARE(damage.cutShort, qsizetype(cutShort));
        QCOMPARE(damage.withoutCategory, qsizetype(withoutCategory));
        QCOMPARE(damage.missingCategories, missing);
        QCOMPARE(damage.Any(), cutShort + withoutCategory > 0);
        QVERIFY(!damage.Exceeds(damage));
        QCOMPARE(damage.Exceeds(TLoadDamage{}), damage.Any());
        const QString text = DescribeLoadDamage(damage);
        QCOMPARE(text.contains("Do you want to add the missing categories"), !missing.isEmpty());
        for (const QByteArray &name : missing)
            QVERIFY(text.contains('"' + QString::fromLatin1(name) + '"'));

        const qsizetype categoriesBefore = f.book.CategoryCount();
        const int added = RecreateMissingCategories(f.book, damage.missingCategories);
        QCOMPARE(f.book.CategoryCount(), categoriesBefore + added);
        QCOMPARE(f.book.RecordsWithoutCategory(), qsizetype(leftAfterAdding));
    }
};

QTEST_GUILESS_MAIN(TestBookCheck)
#include "test_book_check.moc"
