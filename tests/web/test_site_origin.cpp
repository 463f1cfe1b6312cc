// Which pages belong to the site of an item's address: what decides whether a
// password may go into a page without asking.
#include "web/site_origin.h"

#include <QTest>

class TestSiteOrigin : public QObject
{
    Q_OBJECT
private slots:
    void sameSite_data()
    {
        QTest::addColumn<QString>("item"); // as typed in the item's field
        QTest::addColumn<QString>("page"); // as the browser has it
        QTest::addColumn<bool>("same");
        QTest::newRow("same origin, other path") << "https://bank.example/login" << "https://bank.example/account?x=1"
                                                 << true;
        QTest::newRow("look-alike: item host as a subdomain")
            << "https://bank.example/" << "https://bank.example.evil.example/" << false;
        QTest::newRow("look-alike: a Cyrillic letter")
            << "https://bank.example/" << QString::fromUtf8("https://b\u0430nk.example/") << false;
        QTest::newRow("look-alike: user name before the host")
            << "https://bank.example/" << "https://bank.example@evil.example/" << false;
        QTest::newRow("a subdomain is another site") << "https://bank.example/" << "https://www.bank.example/" << false;
        QTest::newRow("IDN item, page in punycode")
            << QString::fromUtf8("https://b\u00fccher.example/") << "https://xn--bcher-kva.example/" << true;
        QTest::newRow("punycode item, IDN page")
            << "https://xn--bcher-kva.example/" << QString::fromUtf8("https://B\u00dcCHER.example/") << true;
        QTest::newRow("other port") << "https://bank.example/" << "https://bank.example:8443/" << false;
        QTest::newRow("http page, other port, for an https item")
            << "https://bank.example/login" << "http://bank.example:8080/login" << false;
        QTest::newRow("http page for an https item") << "https://bank.example/" << "http://bank.example/" << false;
        QTest::newRow("https page for an http item") << "http://bank.example/" << "https://bank.example/" << true;
        QTest::newRow("https page for an http item on another port")
            << "http://bank.example:8080/" << "https://bank.example/" << false;
        QTest::newRow("https default port written") << "https://bank.example:443/" << "https://bank.example/" << true;
        QTest::newRow("http default port written") << "http://bank.example:80/in" << "http://bank.example/" << true;
        QTest::newRow("http item at port 80, https page") << "http://bank.example:80/" << "https://bank.example:443/"
                                                          << true;
        QTest::newRow("same non-default port") << "http://127.0.0.1:8080/a" << "http://127.0.0.1:8080/b" << true;
        QTest::newRow("IPv6 written two ways") << "http://[::1]:8080/" << "http://[0:0::1]:8080/" << true;
        QTest::newRow("capitals and blanks") << "  HTTPS://Bank.Example/  " << "https://bank.example/" << true;
        QTest::newRow("item without a scheme") << "bank.example/login" << "https://bank.example/login" << false;
        QTest::newRow("item with a host and port but no scheme")
            << "bank.example:443/login" << "https://bank.example/login" << false;
        QTest::newRow("empty item") << "" << "https://bank.example/" << false;
        QTest::newRow("another scheme") << "ftp://bank.example/" << "https://bank.example/" << false;
        QTest::newRow("page without a host") << "https://bank.example/" << "data:text/html,<input>" << false;
    }
    void sameSite()
    {
        QFETCH(QString, item);
        QFETCH(QString, page);
        QFETCH(bool, same);
        QCOMPARE(IsSameSite(OriginOfAddress(item), OriginOf(QUrl(page))), same);
    }

    void text_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("text");
        QTest::newRow("path and query left out") << "https://bank.example/a?b#c" << "https://bank.example";
        QTest::newRow("default port left out") << "https://bank.example:443/" << "https://bank.example";
        QTest::newRow("other port shown") << "http://bank.example:8080/" << "http://bank.example:8080";
        QTest::newRow("https at port 80 is shown") << "https://bank.example:80/" << "https://bank.example:80";
        QTest::newRow("IDN in its ASCII form") << QString::fromUtf8("https://B\u00fccher.example/")
                                               << "https://xn--bcher-kva.example";
        QTest::newRow("IPv6 in brackets") << "http://[::1]:8080/" << "http://[::1]:8080";
        QTest::newRow("no scheme: no origin") << "bank.example/login" << "";
        QTest::newRow("no host: no origin") << "mailto:someone@bank.example" << "";
    }
    void text()
    {
        QFETCH(QString, address);
        QFETCH(QString, text);
        const TSiteOrigin origin = OriginOfAddress(address);
        QCOMPARE(origin.Text(), text);
        QCOMPARE(origin.IsValid(), !text.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSiteOrigin)
#include "test_site_origin.moc"
