// The news balloon's decision: which latest news is announced.
#include "services/news_announcement.h"

#include <QTest>

using namespace NewsService;

class TestNewsAnnouncement : public QObject
{
    Q_OBJECT
private slots:
    void announced_data()
    {
        QTest::addColumn<QByteArray>("latest");
        QTest::addColumn<QByteArray>("lastRead");
        QTest::addColumn<bool>("announced");
        QTest::newRow("newer") << QByteArray("5") << QByteArray("4") << true;
        QTest::newRow("the one read") << QByteArray("5") << QByteArray("5") << false;
        QTest::newRow("older than the one read") << QByteArray("4") << QByteArray("5") << false;
        QTest::newRow("nothing read yet") << QByteArray("1") << QByteArray() << true;
        QTest::newRow("empty answer") << QByteArray() << QByteArray() << false;
        QTest::newRow("numbers, not text") << QByteArray("10") << QByteArray("9") << true;
        QTest::newRow("leading zeros are decimal") << QByteArray("010") << QByteArray("9") << true;
        QTest::newRow("blanks and line ends around") << QByteArray(" 7 \r\n") << QByteArray("\t6") << true;
        QTest::newRow("not a number counts as 0") << QByteArray("abc") << QByteArray() << false;
        QTest::newRow("marker not a number") << QByteArray("1") << QByteArray("x") << true;
        QTest::newRow("hex is no number") << QByteArray("0x10") << QByteArray("9") << false;
        QTest::newRow("a fraction is no number") << QByteArray("5.5") << QByteArray("4") << false;
        QTest::newRow("number with text after it") << QByteArray("7a") << QByteArray("6") << false;
        QTest::newRow("negative marker") << QByteArray("0") << QByteArray("-1") << true;
        QTest::newRow("largest 32-bit id") << QByteArray("2147483647") << QByteArray("2147483646") << true;
        QTest::newRow("beyond 32 bits counts as 0") << QByteArray("2147483648") << QByteArray("5") << false;
    }
    void announced()
    {
        QFETCH(QByteArray, latest);
        QFETCH(QByteArray, lastRead);
        QFETCH(bool, announced);
        const QString text = NewsAnnouncement(latest, "Title", lastRead);
        QCOMPARE(text, announced ? QStringLiteral("You've Got A Message!\r\nTitle") : QString());
    }

    void titles_data()
    {
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("no title") << QByteArray() << QStringLiteral("You've Got A Message!\r\n");
        QTest::newRow("Windows-1252") << QByteArray("Caf\xE9 \x80" "5") << QString::fromUtf8("You've Got A Message!\r\nCafé €5");
    }
    void titles()
    {
        QFETCH(QByteArray, title);
        QFETCH(QString, text);
        QCOMPARE(NewsAnnouncement("2", title, "1"), text);
    }
};

QTEST_GUILESS_MAIN(TestNewsAnnouncement)
#include "test_news_announcement.moc"
