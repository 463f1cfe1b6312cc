#include "book/book_check.h"

#include <QTest>

namespace {

// '|' stands for the delimiter 0xA5, '#' for 0xA7 and '/' for a line end.
TStringList Lines(const char *s)
{
    QByteArray text(s);
    text.replace('|', '\xA5').replace('#', '\xA7');
    return text.isEmpty() ? TStringList{} : text.split('/');
}

QStringList Brief(const QList<TBookFinding> &found)
{
    static const char *const kKinds[] = {"missing", "duplicate", "short", "refused"};
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
        QTest::newRow("category missing") << Lines("A") << Lines("A|x|/Gone|y|") << QStringList{"missing i2"};
        QTest::newRow("category differs in case") << Lines("A") << Lines("a|x|") << QStringList{"missing i1"};
        QTest::newRow("duplicate title") << Lines("A/B") << Lines("A|x|/B|x|/A|x|/A|X|")
                                         << QStringList{"duplicate i3"};
        QTest::newRow("too short") << Lines("A") << Lines("A/A|/|x|/A|x|") << QStringList{"short i1", "short i2", "missing i3"};
        QTest::newRow("empty category and title are a record") << TStringList{QByteArray()} << Lines("||")
                                                               << QStringList{};
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
};

QTEST_GUILESS_MAIN(TestBookCheck)
#include "test_book_check.moc"
