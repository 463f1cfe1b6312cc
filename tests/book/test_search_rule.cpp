#include "book/item_record.h"
#include "book/item_titles.h"
#include "book/search_rule.h"

#include <QTest>

namespace {

// An item whose every field names itself, so a row can aim at one field.
TItemRecord Item(int field, const QByteArray &value)
{
    TItemRecord item;
    item.complete = true;
    item.fields[0] = "Cat";
    item.fields[1] = "Title";
    if (field < kItemFieldCount)
        item.fields[field] = value;
    else
        item.description = value;
    return item;
}

QByteArray StoredRecord(const TItemRecord &item)
{
    std::array<QByteArray, 10> rest;
    for (int i = 0; i < 10; ++i)
        rest[i] = item.fields[i + 1];
    return BuildStoredRecord(item.fields[0], rest, item.description);
}

} // namespace

class TestSearchRule : public QObject
{
    Q_OBJECT
private slots:
    // Wherever the text lies in a long folded text, on either side of the
    // places the scan tests many at a time, it is found there and first.
    void indexInFolded_everyPlace_data()
    {
        QTest::addColumn<QByteArray>("needle");
        QTest::newRow("one byte") << QByteArray("q");
        QTest::newRow("two bytes") << QByteArray("zq");
        QTest::newRow("common letters") << QByteArray("tte");
        QTest::newRow("rare bytes first and last") << QByteArray("zeeeeq");
        QTest::newRow("longer than a block") << QByteArray("xyzzy-0123456789-abcdefghijklmnopqrstuvwxyz-9");
    }
    void indexInFolded_everyPlace()
    {
        QFETCH(QByteArray, needle);
        const TSearchRule rule(needle);
        for (const qsizetype size : QList<qsizetype>{needle.size(), 31, 32, 33, 64, 97, 200}) {
            if (size < needle.size())
                continue;
            for (qsizetype at = 0; at + needle.size() <= size; ++at) {
                // Near misses everywhere else: the needle with its last byte changed.
                QByteArray text;
                while (text.size() < size)
                    text += needle.left(needle.size() - 1) + "x";
                text.truncate(size);
                text.replace(at, needle.size(), needle);
                const qsizetype expected = text.indexOf(needle);
                QCOMPARE(rule.IndexInFolded(text.constData(), text.size()), expected);
                QVERIFY(rule.MatchesFolded(text));
                text[at + needle.size() - 1] = '!';
                QCOMPARE(rule.IndexInFolded(text.constData(), text.size()), text.indexOf(needle));
            }
        }
    }

    void fold_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("folded");
        QTest::newRow("ascii case") << QByteArray("AbC xyZ") << QByteArray("abc xyz");
        QTest::newRow("acute and grave") << QByteArray("\xC9t\xE9 \xE0") << QByteArray("ete a");
        QTest::newRow("umlauts") << QByteArray("\xC4\xD6\xDC\xE4\xF6\xFC") << QByteArray("aouaou");
        QTest::newRow("sharp s spells out") << QByteArray("Stra\xDF" "e") << QByteArray("strasse");
        QTest::newRow("ligatures") << QByteArray("\xC6\xE6\x8C\x9C") << QByteArray("aeaeoeoe");
        QTest::newRow("caron letters of the 0x80 block") << QByteArray("\x8A\x9A\x8E\x9E\x9F") << QByteArray("sszzy");
        QTest::newRow("thorn and eth") << QByteArray("\xDE\xF0") << QByteArray("thd");
        QTest::newRow("typographic quotes and dashes")
            << QByteArray("\x93q\x94 \x92s \x96") << QByteArray("\"q\" 's -");
        QTest::newRow("symbols stay") << QByteArray("\x80 \xA7 \xD7 \xF7 $") << QByteArray("\x80 \xA7 \xD7 \xF7 $");
    }
    void fold()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, folded);
        QCOMPARE(FoldAnsi(text), folded);
    }

    void item_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("field"); // 11 = description
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("matches");
        QTest::newRow("title, other case") << "shop" << 1 << QByteArray("Big SHOP") << true;
        QTest::newRow("accent in the book, none typed") << "cafe" << 2 << QByteArray("Caf\xE9 Program") << true;
        QTest::newRow("accent typed, none in the book") << "caf\u00E9" << 2 << QByteArray("CAFE") << true;
        QTest::newRow("sharp s typed as ss") << "strasse" << 5 << QByteArray("stra\xDF" "e") << true;
        QTest::newRow("one s finds a sharp s") << "ras" << 5 << QByteArray("stra\xDF" "e") << true;
        QTest::newRow("category") << "travel" << 0 << QByteArray("Travel") << true;
        QTest::newRow("website") << "example.org" << 3 << QByteArray("http://example.org/") << true;
        QTest::newRow("login address") << "/signin" << 4 << QByteArray("http://x/signin") << true;
        QTest::newRow("username") << "joe@" << 5 << QByteArray("joe@mail") << true;
        QTest::newRow("password never") << "hunter2" << 6 << QByteArray("hunter2") << false;
        QTest::newRow("affiliate link") << "aff=7" << 7 << QByteArray("http://x/?aff=7") << true;
        QTest::newRow("cloaked address") << "ex.am" << 8 << QByteArray("http://ex.am/p") << true;
        QTest::newRow("payout") << "$50" << 9 << QByteArray("$50") << true;
        QTest::newRow("payment day") << "15th" << 10 << QByteArray("the 15th") << true;
        QTest::newRow("description, later line") << "second" << 11 << QByteArray("first\r\nSecond line") << true;
        QTest::newRow("no match across a line break") << "first second" << 11 << QByteArray("first\r\nsecond")
                                                      << false;
        QTest::newRow("no match across fields") << "titleprog" << 2 << QByteArray("Prog") << false;
        QTest::newRow("description with symbols of the escapes") << "a\u00A7b" << 11 << QByteArray("a\xA7" "b")
                                                                 << true;
        QTest::newRow("surrounding blanks ignored") << "  shop  " << 1 << QByteArray("shop") << true;
        QTest::newRow("not there") << "bank" << 1 << QByteArray("shop") << false;
        QTest::newRow("empty search keeps everything") << "" << 1 << QByteArray("x") << true;
        QTest::newRow("blank search keeps everything") << "   " << 1 << QByteArray("x") << true;
        QTest::newRow("letter outside the code page loses its accent") << "\u0151" "z" << 2 << QByteArray("oz")
                                                                       << true;
        QTest::newRow("character outside the code page matches nothing") << "\u4E2D" << 2 << QByteArray("?")
                                                                         << false;
        QTest::newRow("euro sign") << "\u20AC" "5" << 9 << QByteArray("\x80" "5") << true;
    }
    void item()
    {
        QFETCH(QString, search);
        QFETCH(int, field);
        QFETCH(QByteArray, value);
        QFETCH(bool, matches);
        const TItemRecord item = Item(field, value);
        const TSearchRule rule(search);
        // Every way of asking gives the same answer, so a model may keep
        // folded text, raw lines or split records.
        QCOMPARE(rule.MatchesItem(item), matches);
        QCOMPARE(rule.MatchesRecord(StoredRecord(item)), matches);
        QCOMPARE(rule.MatchesFolded(FoldedSearchText(item)), matches);
    }

    void record_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QByteArray>("search");
        QTest::addColumn<bool>("matches");
        const QByteArray added = QByteArray("Cat\xA5New item") + QByteArray(13, '\xA5');
        QTest::newRow("freshly added item, title") << added << QByteArray("new") << true;
        QTest::newRow("freshly added item, category") << added << QByteArray("cat") << true;
        QTest::newRow("description line feed pair is a break")
            << QByteArray("C\xA5T\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5" "ab\xA7\xA7" "cd\xA5") << QByteArray("bc")
            << false;
        QTest::newRow("password field skipped in a raw line")
            << QByteArray("C\xA5T\xA5\xA5\xA5\xA5\xA5secret\xA5\xA5\xA5\xA5\xA5\xA5") << QByteArray("secret") << false;
        QTest::newRow("hand-made line without closing delimiter")
            << QByteArray("C\xA5T\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5tail") << QByteArray("tail") << true;
        QTest::newRow("too short line still finds its title") << QByteArray("C\xA5Only") << QByteArray("only")
                                                              << true;
    }
    void record()
    {
        QFETCH(QByteArray, record);
        QFETCH(QByteArray, search);
        QFETCH(bool, matches);
        QCOMPARE(TSearchRule(search).MatchesRecord(record), matches);
    }

    // The scan tests sixteen places at a time; a text is found wherever it
    // stands, also in the last places that do not fill a block, and a text
    // that differs in one byte is not.
    void everyPlace_data()
    {
        QTest::addColumn<QByteArray>("needle");
        QTest::newRow("two bytes") << QByteArray("qz");
        QTest::newRow("common letters") << QByteArray("tea");
        QTest::newRow("repeated byte") << QByteArray("aaab");
        QTest::newRow("longer than a block") << QByteArray("program title 99999");
    }
    void everyPlace()
    {
        QFETCH(QByteArray, needle);
        const TSearchRule rule(needle);
        for (qsizetype size = needle.size(); size < 70; ++size) {
            for (qsizetype at = 0; at + needle.size() <= size; ++at) {
                QByteArray text(size, 'a');
                text.replace(at, needle.size(), needle);
                QVERIFY2(rule.MatchesFolded(text), text.constData());
                for (qsizetype k = 0; k < needle.size(); ++k) {
                    QByteArray near = text;
                    near[at + k] = '#';
                    QCOMPARE(rule.MatchesFolded(near), near.contains(needle));
                }
            }
        }
    }

    void category_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("part of the name") << "ave" << QByteArray("Travel") << true;
        QTest::newRow("accents") << "reseau" << QByteArray("R\xC9SEAU") << true;
        QTest::newRow("no") << "shop" << QByteArray("Travel") << false;
        QTest::newRow("empty name, empty search") << "" << QByteArray() << true;
        QTest::newRow("empty name, some search") << "a" << QByteArray() << false;
    }
    void category()
    {
        QFETCH(QString, search);
        QFETCH(QByteArray, name);
        QFETCH(bool, matches);
        QCOMPARE(TSearchRule(search).MatchesCategory(name), matches);
    }

    void duplicateTitle_data()
    {
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QByteArrayList>("taken");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("first copy") << QByteArray("Shop") << QByteArrayList{"Shop"} << QByteArray("Shop (copy)");
        QTest::newRow("second copy") << QByteArray("Shop") << QByteArrayList{"Shop", "Shop (copy)"}
                                     << QByteArray("Shop (copy 2)");
        QTest::newRow("gap is filled") << QByteArray("Shop")
                                       << QByteArrayList{"Shop", "Shop (copy)", "Shop (copy 3)"}
                                       << QByteArray("Shop (copy 2)");
        QTest::newRow("copy of a copy counts on") << QByteArray("Shop (copy)") << QByteArrayList{"Shop", "Shop (copy)"}
                                                  << QByteArray("Shop (copy 2)");
        QTest::newRow("copy of copy 2") << QByteArray("Shop (copy 2)")
                                        << QByteArrayList{"Shop (copy)", "Shop (copy 2)"}
                                        << QByteArray("Shop (copy 3)");
        QTest::newRow("other case is another title") << QByteArray("Shop") << QByteArrayList{"shop (copy)"}
                                                     << QByteArray("Shop (copy)");
        QTest::newRow("not a copy suffix") << QByteArray("Shop (copyright)") << QByteArrayList{}
                                           << QByteArray("Shop (copyright) (copy)");
        QTest::newRow("empty title") << QByteArray() << QByteArrayList{QByteArray()} << QByteArray(" (copy)");
        QTest::newRow("ansi bytes kept") << QByteArray("Caf\xE9") << QByteArrayList{} << QByteArray("Caf\xE9 (copy)");
    }
    void duplicateTitle()
    {
        QFETCH(QByteArray, title);
        QFETCH(QByteArrayList, taken);
        QFETCH(QByteArray, expected);
        QCOMPARE(DuplicateTitle(title, taken), expected);
    }

    void importTitle_data()
    {
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QByteArrayList>("taken");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("free") << QByteArray("Mail") << QByteArrayList{"Bank"} << QByteArray("Mail");
        QTest::newRow("taken") << QByteArray("Mail") << QByteArrayList{"Mail"} << QByteArray("Mail (2)");
        QTest::newRow("taken twice") << QByteArray("Mail") << QByteArrayList{"Mail", "Mail (2)"}
                                     << QByteArray("Mail (3)");
        QTest::newRow("blanks count") << QByteArray("Mail ") << QByteArrayList{"Mail"} << QByteArray("Mail ");
    }
    void importTitle()
    {
        QFETCH(QByteArray, title);
        QFETCH(QByteArrayList, taken);
        QFETCH(QByteArray, expected);
        QCOMPARE(ImportTitle(title, taken), expected);
    }
};

QTEST_GUILESS_MAIN(TestSearchRule)
#include "test_search_rule.moc"
