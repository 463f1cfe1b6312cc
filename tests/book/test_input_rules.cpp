// The refusal hint names the character refused, and pasted line ends go.
#include "book/input_rules.h"

#include <QTest>

class TestInputRules : public QObject
{
    Q_OBJECT
private slots:
    void refusalQuotesTheWholeCharacter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("emoji, a surrogate pair") << QString::fromUtf8("ok 😀 yes") << QString::fromUtf8("😀");
        QTest::newRow("emoji at the end") << QString::fromUtf8("ok😀") << QString::fromUtf8("😀");
        QTest::newRow("letter of the first plane") << QString::fromUtf8("Жx") << QString::fromUtf8("Ж");
        QTest::newRow("a lone half of a pair") << QString(QChar(0xD83D)) + "x" << QString(QChar(0xD83D));
    }
    void refusalQuotesTheWholeCharacter()
    {
        QFETCH(QString, text);
        QFETCH(QString, quoted);
        const QString expected = "The character \"" + quoted + "\" cannot be stored in the account book.";
        QCOMPARE(RefusalForLine(text), expected);
        QCOMPARE(RefusalForDescription(text), expected);
    }

    void dropLineBreaksBefore_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pos");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("expectedPos");
        QTest::newRow("LF before the cursor") << "abc\n" << 4 << "abc" << 3;
        QTest::newRow("CR LF pairs") << "abc\r\n\r\n" << 7 << "abc" << 3;
        QTest::newRow("pasted in the middle") << "xxabc\r\nyy" << 7 << "xxabcyy" << 5;
        QTest::newRow("paragraph separator") << QString("abc") + QChar(0x2029) << 4 << "abc" << 3;
        QTest::newRow("inner break stays") << "a\nb" << 3 << "a\nb" << 3;
        QTest::newRow("break after the cursor stays") << "abc\n" << 3 << "abc\n" << 3;
    }
    void dropLineBreaksBefore()
    {
        QFETCH(QString, text);
        QFETCH(int, pos);
        QFETCH(QString, expected);
        QFETCH(int, expectedPos);
        const bool changes = expected != text;
        QCOMPARE(DropLineBreaksBefore(text, pos), changes);
        QCOMPARE(text, expected);
        QCOMPARE(pos, expectedPos);
    }
};

QTEST_GUILESS_MAIN(TestInputRules)
#include "test_input_rules.moc"
