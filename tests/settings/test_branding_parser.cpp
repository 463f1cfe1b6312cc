#include "settings/branding_kit.h"
#include "settings/branding_parser.h"

#include <QTest>

namespace {

QByteArray Tagged(const QByteArray &name, const QByteArray &value)
{
    return OpenTag(name) + value + CloseTag(name);
}

// Draws the given indexes in turn, then 0.
TRandomIndex Scripted(QList<qsizetype> draws)
{
    auto left = std::make_shared<QList<qsizetype>>(std::move(draws));
    return [left](qsizetype) { return left->isEmpty() ? 0 : left->takeFirst(); };
}

} // namespace

class TestBrandingParser : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { SetBrandingRandom({}); }

    void extractTagValue_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("rest");
        QTest::addColumn<int>("found");
        const int F = int(TTagFound::Found), M = int(TTagFound::Missing), U = int(TTagFound::Unclosed);
        QTest::newRow("found, close tag stays in front")
            << QByteArray("A") << QByteArray("x<%%A%%>val<%%/A%%>y") << QByteArray("val") << QByteArray("<%%/A%%>y") << F;
        QTest::newRow("tags in another case, value keeps its case")
            << QByteArray("A") << QByteArray("<%%a%%>MiXed<%%/a%%>") << QByteArray("MiXed") << QByteArray("<%%/a%%>") << F;
        QTest::newRow("missing leaves the text alone")
            << QByteArray("A") << QByteArray("<%%B%%>v<%%/B%%>") << QByteArray() << QByteArray("<%%B%%>v<%%/B%%>") << M;
        QTest::newRow("unclosed: empty, search moves past the open tag")
            << QByteArray("A") << QByteArray("<%%A%%>dangling <%%B%%>") << QByteArray() << QByteArray("dangling <%%B%%>") << U;
        QTest::newRow("inner line breaks and no trimming")
            << QByteArray("A") << QByteArray("<%%A%%> one\r\ntwo <%%/A%%>") << QByteArray(" one\r\ntwo ") << QByteArray("<%%/A%%>") << F;
        QTest::newRow("only ASCII letters fold: 0xE9 is not 0xC9")
            << QByteArray("\xE9") << QByteArray("<%%\xC9%%>v<%%/\xC9%%>") << QByteArray() << QByteArray("<%%\xC9%%>v<%%/\xC9%%>") << M;
    }
    void extractTagValue()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, rest);
        QFETCH(int, found);
        QFETCH(QByteArray, name);
        TTagFound how;
        QCOMPARE(ExtractTagValue(OpenTag(name), CloseTag(name), text, &how), value);
        QCOMPARE(text, rest);
        QCOMPARE(int(how), found);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("lower-case tags are found")
            << QByteArray("<%%applicationname%%>Acme Tool<%%/APPLICATIONNAME%%>") << QByteArray("ApplicationName")
            << QByteArray("Acme Tool");
        QTest::newRow("a tag before an earlier one is not found")
            << Tagged("AboutText", "about") + Tagged("ApplicationName", "Name") << QByteArray("AboutText")
            << QByteArray();
        QTest::newRow("a missing tag does not disturb the next")
            << Tagged("ApplicationName", "N") + Tagged("BranderType", "Gold") << QByteArray("BranderType")
            << QByteArray("Gold");
        QTest::newRow("an unclosed tag gives empty and the next is still read")
            << OpenTag("ApplicationName") + "N " + Tagged("BranderCode", "C") << QByteArray("BranderCode")
            << QByteArray("C");
        QTest::newRow("unclosed tag's own value")
            << OpenTag("ApplicationName") + "N " + Tagged("BranderCode", "C") << QByteArray("ApplicationName")
            << QByteArray();
        QTest::newRow("placeholder twice, lower case left")
            << Tagged("AffiliateURL", "http://x/?a=%%AFFILIATEID%%&b=%%AFFILIATEID%%&c=%%affiliateid%%") +
                   Tagged("AffiliateID", "42")
            << QByteArray("AffiliateURL") << QByteArray("http://x/?a=42&b=42&c=%%affiliateid%%");
        QTest::newRow("placeholder without id is removed")
            << Tagged("AffiliateURL", "http://x/%%AFFILIATEID%%/") << QByteArray("AffiliateURL")
            << QByteArray("http://x//");
        QTest::newRow("id placed before the address is not found")
            << Tagged("AffiliateID", "42") + Tagged("AffiliateURL", "u=%%AFFILIATEID%%") << QByteArray("AffiliateURL")
            << QByteArray("u=");
        QTest::newRow("LastNewsId anywhere is ignored")
            << Tagged("LastNewsId", "7") + Tagged("ApplicationName", "N") << QByteArray("ApplicationName")
            << QByteArray("N");
        QTest::newRow("Make Money default") << QByteArray() << QByteArray("MakeMoney") << QByteArray("Make Money");
        QTest::newRow("Make Money caption")
            << Tagged("MakeMoneyButton", "Earn!") << QByteArray("MakeMoney") << QByteArray("Earn!");
        QTest::newRow("About text keeps its lines")
            << Tagged("AboutText", "one\r\ntwo\r\n") << QByteArray("AboutText") << QByteArray("one\r\ntwo\r\n");
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, expected);
        const TBrandingText p = ParseBrandingText(text);
        const TBrandingSettings &v = p.Values;
        const QMap<QByteArray, QByteArray> fields{
            {"ApplicationName", v.ApplicationName}, {"BranderCode", v.BranderCode},
            {"BranderType", v.BranderType},         {"AffiliateURL", v.AffiliateURL},
            {"AboutText", v.AboutText},             {"MakeMoney", MakeMoneyCaption(p)},
        };
        QVERIFY(fields.contains(field));
        QCOMPARE(fields[field], expected);
    }

    void families_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArrayList>("welcome");
        QTest::addColumn<QByteArrayList>("banner");

        QTest::newRow("a gap hides the later members")
            << Tagged("Banner1", "a^1") + Tagged("Banner2", "b^2") + Tagged("Banner4", "d^4") << QByteArrayList{}
            << QByteArrayList{"a^1", "b^2"};
        QTest::newRow("Welcome1 empty, Welcome2 present: none")
            << Tagged("Welcome1", "") + Tagged("Welcome2", "<p>two</p>") << QByteArrayList{} << QByteArrayList{};
        QTest::newRow("members out of order stop at the first found")
            << Tagged("Welcome2", "two") + Tagged("Welcome1", "one") << QByteArrayList{"one"} << QByteArrayList{};
        QTest::newRow("Banner10 is not taken for Banner1")
            << Tagged("Banner10", "ten^x") << QByteArrayList{} << QByteArrayList{};
        QTest::newRow("a Banner before the Welcomes is lost")
            << Tagged("Banner1", "b^1") + Tagged("Welcome1", "w") << QByteArrayList{"w"} << QByteArrayList{};
        QByteArray sixteen;
        QByteArrayList all;
        for (int n = 1; n <= 17; ++n) {
            sixteen += Tagged("Banner" + QByteArray::number(n), "p" + QByteArray::number(n) + "^u");
            if (n <= 16)
                all << "p" + QByteArray::number(n) + "^u";
        }
        QTest::newRow("at most sixteen") << sixteen << QByteArrayList{} << all;
    }
    void families()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArrayList, welcome);
        QFETCH(QByteArrayList, banner);
        const TBrandingText p = ParseBrandingText(text);
        QCOMPARE(p.Welcome, welcome);
        QCOMPARE(p.Banner, banner);
    }

    void levels_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArrayList>("masterPlatinumGold"); // base URL and id set per level; "p": Platinum address only
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QByteArray>("product");

        const QByteArrayList all{"M", "P", "G"};
        QTest::newRow("Master") << QByteArray("Master") << all << true << QByteArray("BM");
        QTest::newRow("Platinum") << QByteArray("Platinum") << all << true << QByteArray("BP");
        QTest::newRow("Gold") << QByteArray("Gold") << all << true << QByteArray("BG");
        QTest::newRow("Gold without its own values") << QByteArray("Gold") << QByteArrayList{"M", "P"} << false
                                                     << QByteArray("BG");
        QTest::newRow("Platinum with only its address") << QByteArray("Platinum") << QByteArrayList{"p"} << false
                                                        << QByteArray("BP");
        QTest::newRow("Free goes by Master's values") << QByteArray("Free") << QByteArrayList{"M"} << true
                                                      << QByteArray();
        QTest::newRow("Free without Master") << QByteArray("Free") << QByteArrayList{"P", "G"} << false
                                             << QByteArray();
        QTest::newRow("lower-case master is no level") << QByteArray("master") << all << false << QByteArray();
        QTest::newRow("blank around is no level") << QByteArray("Gold ") << all << false << QByteArray();
        QTest::newRow("empty") << QByteArray() << all << false << QByteArray();
    }
    void levels()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArrayList, masterPlatinumGold);
        QFETCH(bool, visible);
        QFETCH(QByteArray, product);
        TBrandingSettings s;
        s.BranderType = type;
        if (masterPlatinumGold.contains("M"))
            s.MasterNewsBaseURL = "http://m/", s.MasterPublID = "1";
        if (masterPlatinumGold.contains("P"))
            s.PlatinumNewsBaseURL = "http://p/", s.PlatinumPublID = "2";
        if (masterPlatinumGold.contains("p"))
            s.PlatinumNewsBaseURL = "http://p/";
        if (masterPlatinumGold.contains("G"))
            s.GoldNewsBaseURL = "http://g/", s.GoldPublID = "3";
        QCOMPARE(NewsButtonVisible(s), visible);
        QCOMPARE(NewsSiteOf(s).ProductType, product);
    }

    void choose_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<qsizetype>>("draws");
        QTest::addColumn<QByteArrayList>("expected"); // welcome, picture, link, number, L1, U1, L2, U2

        const QByteArray three = Tagged("Link1", "One^http://1") + Tagged("Link2", "Two^http://2") +
                                 Tagged("Link3", "Three^http://3");
        QTest::newRow("second link is another member")
            << three << QList<qsizetype>{2, 1} << QByteArrayList{"", "", "", "0", "Three", "http://3", "Two", "http://2"};
        QTest::newRow("one link only")
            << Tagged("Link1", "Only^http://o") << QList<qsizetype>{0}
            << QByteArrayList{"", "", "", "0", "Only", "http://o", "", ""};
        QTest::newRow("extra fields are ignored")
            << Tagged("Link1", "A^http://a^junk") << QList<qsizetype>{}
            << QByteArrayList{"", "", "", "0", "A", "http://a", "", ""};
        QTest::newRow("malformed links are never chosen")
            << Tagged("Link1", "NoUrl") + Tagged("Link2", "Trailing^") + Tagged("Link3", "Good^http://g")
            << QList<qsizetype>{0} << QByteArrayList{"", "", "", "0", "Good", "http://g", "", ""};
        QTest::newRow("a link with an empty URL field is kept")
            << Tagged("Link1", "Cap^^") << QList<qsizetype>{} << QByteArrayList{"", "", "", "0", "Cap", "", "", ""};
        QTest::newRow("banner keeps its member number past malformed ones")
            << Tagged("Banner1", "nolink.gif") + Tagged("Banner2", "b.gif^") + Tagged("Banner3", "c.jpg^http://c")
            << QList<qsizetype>{0} << QByteArrayList{"", "c.jpg", "http://c", "3", "", "", "", ""};
        QTest::newRow("banner without link")
            << Tagged("Banner1", "a.bmp^^") << QList<qsizetype>{} << QByteArrayList{"", "a.bmp", "", "1", "", "", "", ""};
        QTest::newRow("welcome, banner, links drawn in that order")
            << Tagged("Welcome1", "w1") + Tagged("Welcome2", "w2") + Tagged("Banner1", "a.gif^x") +
                   Tagged("Banner2", "b.gif^y") + three
            << QList<qsizetype>{1, 1, 0, 0}
            << QByteArrayList{"w2", "b.gif", "y", "2", "One", "http://1", "Two", "http://2"};
        QTest::newRow("a source out of range stays in range")
            << Tagged("Welcome1", "w1") + Tagged("Welcome2", "w2") << QList<qsizetype>{7}
            << QByteArrayList{"w2", "", "", "0", "", "", "", ""};
    }
    void choose()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<qsizetype>, draws);
        QFETCH(QByteArrayList, expected);
        SetBrandingRandom(Scripted(draws));
        const TBrandingSettings s = ChooseBranding(ParseBrandingText(text));
        const QByteArrayList got{s.WelcomePage, s.BannerPicture, s.BannerLinkURL, QByteArray::number(s.BannerNumber),
                                 s.Link1Caption, s.Link1URL,    s.Link2Caption,  s.Link2URL};
        QCOMPARE(got, expected);
    }

    void defaultRandomStaysInRangeAndVaries()
    {
        QSet<qsizetype> seen;
        for (int i = 0; i < 200; ++i) {
            const qsizetype k = BrandingRandomIndex(3);
            QVERIFY(k >= 0 && k < 3);
            seen.insert(k);
        }
        QCOMPARE(seen.size(), 3);
    }

    // The template is what a publisher fills in: every tag must come back in
    // its field, so its order is the program's.
    void templateFilledIn_readsEveryValue()
    {
        QByteArray text = BrandingTemplate();
        QVERIFY(text.endsWith("\r\n"));
        for (const QByteArray &name : BrandingTagNames() + QByteArrayList{"Welcome1", "Banner1", "Link1", "Link2"}) {
            const QByteArray empty = OpenTag(name) + CloseTag(name);
            QCOMPARE(text.count(empty), 1);
            text.replace(empty, Tagged(name, "v" + name + (name.startsWith("Banner") || name.startsWith("Link")
                                                                ? QByteArray("^u") + name
                                                                : QByteArray())));
        }
        const TBrandingText p = ParseBrandingText(text);
        QCOMPARE(p.Values.ApplicationName, QByteArray("vApplicationName"));
        QCOMPARE(p.Values.AboutText, QByteArray("vAboutText"));
        QCOMPARE(p.Values.GoldPublID, QByteArray("vGoldPublID"));
        QCOMPARE(p.AffiliateTYPE, QByteArray("vAffiliateTYPE"));
        QCOMPARE(p.MakeMoneyButton, QByteArray("vMakeMoneyButton"));
        QCOMPARE(p.Welcome, QByteArrayList{"vWelcome1"});
        QCOMPARE(p.Banner, QByteArrayList{"vBanner1^uBanner1"});
        QCOMPARE(p.Link, (QByteArrayList{"vLink1^uLink1", "vLink2^uLink2"}));
        QCOMPARE(CheckBrandingText(text, QString()).Warnings.filter("stands before").size(), 0);
    }

    void templateAsIs_readsNothing()
    {
        const TBrandingText p = ParseBrandingText(BrandingTemplate());
        QCOMPARE(p.Values.ApplicationName, QByteArray());
        QVERIFY(p.Welcome.isEmpty() && p.Banner.isEmpty() && p.Link.isEmpty());
    }

    void check_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("warning"); // a piece of the expected warning; empty: none at all

        const QByteArray level = Tagged("BranderType", "Gold") + Tagged("GoldNewsBaseURL", "http://g/") +
                                 Tagged("GoldPublID", "3");
        QTest::newRow("clean") << level + Tagged("Link1", "A^http://a") << QString();
        QTest::newRow("out of order") << Tagged("AboutText", "x") + Tagged("ApplicationName", "N") + level
                                      << QString("<%%AboutText%%> stands before");
        QTest::newRow("unclosed") << level + OpenTag("AppHelpURL") + "http://h" << QString("<%%AppHelpURL%%> has no close tag");
        QTest::newRow("gap") << level + Tagged("Link1", "A^http://a") + Tagged("Link3", "C^http://c")
                             << QString("Link2 is missing or empty, so Link3 is not read");
        QTest::newRow("empty members after a gap hide nothing")
            << level + Tagged("Link1", "") + Tagged("Link2", "") + Tagged("Banner3", "") << QString();
        QTest::newRow("not a level") << Tagged("BranderType", "gold") << QString("\"gold\" is not one of");
        QTest::newRow("no level") << QByteArray() << QString("BranderType is empty");
        QTest::newRow("level without news address")
            << Tagged("BranderType", "Platinum") + Tagged("PlatinumPublID", "2") << QString("Level Platinum without PlatinumNewsBaseURL");
        QTest::newRow("Free without Master id")
            << Tagged("BranderType", "Free") + Tagged("MasterNewsBaseURL", "http://m/") << QString("Level Free without MasterPublID");
        QTest::newRow("banner file missing") << level + Tagged("Banner1", "promo.gif^http://b") << QString("banner1.dat is missing");
        QTest::newRow("banner metafile") << level + Tagged("Banner1", "promo.wmf^http://b") << QString("cannot be shown");
        QTest::newRow("banner without fields") << level + Tagged("Banner1", "promo.gif") << QString("Banner1 has fewer than two fields");
        QTest::newRow("link without URL") << level + Tagged("Link1", "Caption^") << QString("Link1 has no URL");
        QTest::newRow("link with empty URL") << level + Tagged("Link1", "Caption^^") << QString("Link1 has no URL");
    }
    void check()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, warning);
        const TBrandingReport r = CheckBrandingText(text, QStringLiteral("/nonexistent-folder/"));
        if (warning.isEmpty())
            QVERIFY2(r.Warnings.isEmpty(), qPrintable(r.Warnings.join('\n')));
        else
            QVERIFY2(r.Warnings.join('\n').contains(warning), qPrintable(r.Warnings.join('\n')));
    }

    void check_printsSettingsAsRead()
    {
        const QByteArray text = Tagged("applicationname", "Acme") + Tagged("AffiliateURL", "http://a/%%AFFILIATEID%%") +
                                Tagged("AffiliateID", "7") + Tagged("AboutText", "l1\r\nl2") + Tagged("Welcome1", "<p>");
        const QStringList lines = CheckBrandingText(text, QString()).Lines;
        QVERIFY(lines.contains("ApplicationName: Acme"));
        QVERIFY(lines.contains("AffiliateURL: http://a/%%AFFILIATEID%%"));
        QVERIFY(lines.contains("Make Money button: Make Money -> http://a/7"));
        QVERIFY(lines.contains("Window caption: Acme v2.0"));
        QVERIFY(lines.contains("News button: hidden"));
        QVERIFY(lines.contains("    | l2"));
        QVERIFY(lines.contains("Welcome1: <p>"));
        QVERIFY(lines.contains("BranderCode: (empty)"));
    }
};

QTEST_GUILESS_MAIN(TestBrandingParser)
#include "test_branding_parser.moc"
