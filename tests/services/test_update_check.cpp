// Version numbers in every locale, the description file, and the decision.
#include "services/update_check.h"
#include "settings/branding_settings.h"

#include <QLocale>
#include <QTest>

#include <optional>

using namespace UpdateCheck;

Q_DECLARE_METATYPE(std::optional<double>)

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void parseVersion_data();
    void parseVersion();
    void offeredAgainstOwn_data();
    void offeredAgainstOwn();
    void localeSeparator_data();
    void localeSeparator();
    void iniValues_data();
    void iniValues();
    void offerShowsVersionAsWritten();
    void decideUpdate_data();
    void decideUpdate();
};

void TestUpdateCheck::parseVersion_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<std::optional<double>>("expected");
    const QChar point = u'.';
    const QChar comma = u',';
    const std::optional<double> none;
    QTest::newRow("point") << QByteArray("2.1") << point << std::optional(2.1);
    QTest::newRow("integer") << QByteArray("10") << point << std::optional(10.0);
    QTest::newRow("blanks and sign") << QByteArray("  +2.5  ") << point << std::optional(2.5);
    QTest::newRow("negative") << QByteArray("-1") << point << std::optional(-1.0);
    QTest::newRow("exponent") << QByteArray("21E-1") << point << std::optional(2.1);
    QTest::newRow("lower-case exponent with sign") << QByteArray("0.21e+1") << point << std::optional(2.1);
    QTest::newRow("no digits before separator") << QByteArray(".5") << point << std::optional(0.5);
    QTest::newRow("no digits after separator") << QByteArray("3.") << point << std::optional(3.0);
    QTest::newRow("comma under a point locale") << QByteArray("2,1") << point << none;
    QTest::newRow("comma under a comma locale") << QByteArray("2,1") << comma << std::optional(2.1);
    QTest::newRow("point under a comma locale") << QByteArray("2.1") << comma << std::optional(2.1);
    QTest::newRow("two separators") << QByteArray("2.1.3") << point << none;
    QTest::newRow("empty") << QByteArray() << point << none;
    QTest::newRow("blanks only") << QByteArray("   ") << point << none;
    QTest::newRow("separator only") << QByteArray(".") << point << none;
    QTest::newRow("exponent without digits") << QByteArray("2e") << point << none;
    QTest::newRow("trailing text") << QByteArray("2.1beta") << point << none;
    QTest::newRow("tab is no blank") << QByteArray("\t2.1") << point << none;
    QTest::newRow("hex") << QByteArray("0x10") << point << none;
    QTest::newRow("infinity spelled out") << QByteArray("inf") << point << none;
    QTest::newRow("beyond double") << QByteArray("1e999") << point << none;
    QTest::newRow("ANSI junk") << QByteArray("2\xA0" "1") << point << none;
}

void TestUpdateCheck::parseVersion()
{
    QFETCH(QByteArray, text);
    QFETCH(QChar, separator);
    QFETCH(std::optional<double>, expected);
    const std::optional<double> got = ParseVersion(text, separator);
    QCOMPARE(got.has_value(), expected.has_value());
    if (expected)
        QCOMPARE(*got, *expected);
}

void TestUpdateCheck::offeredAgainstOwn_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<bool>("newer");
    QTest::newRow("same") << QByteArray("2.0") << false;
    QTest::newRow("2.1") << QByteArray("2.1") << true;
    QTest::newRow("1.9") << QByteArray("1.9") << false;
    QTest::newRow("10") << QByteArray("10") << true;
    QTest::newRow("rounds to 2.0 as a float") << QByteArray("2.0000001") << false;
    QTest::newRow("just above as a float") << QByteArray("2.000001") << true;
    QTest::newRow("not a number") << QByteArray("two") << false;
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("beyond float range") << QByteArray("1e39") << false;
}

void TestUpdateCheck::offeredAgainstOwn()
{
    QFETCH(QByteArray, version);
    QFETCH(bool, newer);
    QCOMPARE(IsNewer(OfferedVersion(version, u'.'), OwnVersion(u'.')), newer);
}

void TestUpdateCheck::localeSeparator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<bool>("newer");
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("comma locale, point") << german << QByteArray("2.1") << true;
    QTest::newRow("comma locale, comma") << german << QByteArray("2,1") << true;
    QTest::newRow("comma locale, comma, older") << german << QByteArray("1,9") << false;
    QTest::newRow("point locale, point") << english << QByteArray("2.1") << true;
    QTest::newRow("point locale, comma") << english << QByteArray("2,1") << false;
}

void TestUpdateCheck::localeSeparator()
{
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, version);
    QFETCH(bool, newer);
    QLocale::setDefault(locale);
    const QChar separator = LocaleDecimalSeparator();
    QCOMPARE(separator, locale.decimalPoint().front());
    // The own constant converts whatever the locale.
    QCOMPARE(ParseVersion(AppVersion, separator), std::optional(2.0));
    QCOMPARE(IsNewer(OfferedVersion(version, separator), OwnVersion(separator)), newer);
}

void TestUpdateCheck::iniValues_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("plain") << QByteArray("[APPLICATION]\r\nName=Tarnwick\r\nVersion=2.1\r\n") << QByteArray("Tarnwick")
                           << QByteArray("2.1");
    QTest::newRow("case of section and keys")
        << QByteArray("[application]\nNAME=T\nversion=2.10\n") << QByteArray("T") << QByteArray("2.10");
    QTest::newRow("blanks and quotes")
        << QByteArray(" [ APPLICATION ] \r\n Name = \"My App\" \r\n\tVersion\t=\t3.0 \r\n") << QByteArray("My App")
        << QByteArray("3.0");
    QTest::newRow("other sections ignored")
        << QByteArray("[OTHER]\nVersion=9\n[APPLICATION]\nVersion=2.1\n[MORE]\nName=x\n") << QByteArray()
        << QByteArray("2.1");
    QTest::newRow("first key wins") << QByteArray("[APPLICATION]\nVersion=2.1\nVersion=5\n") << QByteArray()
                                    << QByteArray("2.1");
    QTest::newRow("first section wins")
        << QByteArray("[APPLICATION]\nName=a\n[APPLICATION]\nVersion=5\n") << QByteArray("a") << QByteArray();
    QTest::newRow("comment line") << QByteArray("[APPLICATION]\n;Version=5\nVersion=1\n") << QByteArray()
                                  << QByteArray("1");
    QTest::newRow("value keeps = and ANSI bytes")
        << QByteArray("[APPLICATION]\nName=a=b \xE9\n") << QByteArray("a=b \xE9") << QByteArray();
    QTest::newRow("UTF-8 mark before the section")
        << QByteArray("\xEF\xBB\xBF[APPLICATION]\nVersion=2.1\n") << QByteArray() << QByteArray("2.1");
    QTest::newRow("no section") << QByteArray("Version=2.1\n") << QByteArray() << QByteArray();
    QTest::newRow("not an INI at all") << QByteArray("<html>404</html>") << QByteArray() << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
}

void TestUpdateCheck::iniValues()
{
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, version);
    const TUpdateDescription d = ParseDescription(ini);
    QCOMPARE(d.name, name);
    QCOMPARE(d.version, version);
}

void TestUpdateCheck::offerShowsVersionAsWritten()
{
    QCOMPARE(OfferText("2.10"), QStringLiteral("There is a new update: (version 2.10) available for your "
                                               "application!. Do you want download this update now?"));
}

void TestUpdateCheck::decideUpdate_data()
{
    QTest::addColumn<QByteArray>("offered");
    QTest::addColumn<QByteArray>("own");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<bool>("offer");
    const QChar point = u'.';
    const QChar comma = u',';
    QTest::newRow("newer") << QByteArray("2.2") << QByteArray("2.1") << point << true;
    QTest::newRow("same") << QByteArray("2.0") << QByteArray("2.0") << point << false;
    // The offered 2.1 reads as the float 2.0999999046..., below both of these.
    QTest::newRow("same 2.1: the float reads lower") << QByteArray("2.1") << QByteArray("2.1") << point << false;
    QTest::newRow("above a double, below as a float") << QByteArray("2.1") << QByteArray("2.09999995") << point
                                                     << false;
    QTest::newRow("above the float reading") << QByteArray("2.1") << QByteArray("2.0999999") << point << true;
    QTest::newRow("own version at full precision") << QByteArray("2") << QByteArray("1.99999999999") << point
                                                   << true;
    QTest::newRow("offer missing") << QByteArray() << QByteArray("2.0") << point << false;
    QTest::newRow("offer not a number") << QByteArray("2.1beta") << QByteArray("2.0") << point << false;
    QTest::newRow("own not a number counts as 0") << QByteArray("0.5") << QByteArray("dev") << point << true;
    QTest::newRow("comma under a comma locale") << QByteArray("2,2") << QByteArray("2.1") << comma << true;
    QTest::newRow("comma under a point locale") << QByteArray("2,2") << QByteArray("2.1") << point << false;
    QTest::newRow("beyond the float range") << QByteArray("1e39") << QByteArray("2.0") << point << false;
}

void TestUpdateCheck::decideUpdate()
{
    QFETCH(QByteArray, offered);
    QFETCH(QByteArray, own);
    QFETCH(QChar, separator);
    QFETCH(bool, offer);
    const TUpdateOffer got = DecideUpdate(offered, own, separator);
    QCOMPARE(got.offered, offer);
    QCOMPARE(got.question, offer ? QStringLiteral("There is a new update: (version ") + QString::fromLatin1(offered) +
                                       QStringLiteral(") available for your application!. Do you want download "
                                                      "this update now?")
                                 : QString());
    // The program's own version decides as it always did.
    QCOMPARE(DecideUpdate(offered, AppVersion, separator).offered, IsNewer(OfferedVersion(offered, separator),
                                                                           OwnVersion(separator)));
}

QTEST_MAIN(TestUpdateCheck)
#include "test_update_check.moc"
