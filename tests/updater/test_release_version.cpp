// Which versions a release may carry, checked against the program's own
// update check: an accepted version is never offered to itself and always
// ranks above every smaller accepted one.
#include "services/update_check.h"
#include "updater/release_version.h"

#include <QTest>

using ReleaseVersion::Check;

class TestReleaseVersion : public QObject
{
    Q_OBJECT
private slots:
    void verdict_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("allowZero");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("default") << QByteArray("2.0") << false << true << QString();
        QTest::newRow("half") << QByteArray("2.5") << false << true << QString();
        QTest::newRow("eighths") << QByteArray("2.375") << false << true << QString();
        QTest::newRow("whole") << QByteArray("3") << false << true << QString();
        QTest::newRow("largest exact whole") << QByteArray("16777216") << false << true << QString();
        QTest::newRow("three parts") << QByteArray("2.0.1") << false << false << "not a number";
        QTest::newRow("trailing zero ranks low") << QByteArray("2.10") << false << false << "rank below \"2.9\"";
        QTest::newRow("trailing zero equals") << QByteArray("2.90") << false << false << "read the same as \"2.9\"";
        QTest::newRow("decimal tenth not exact") << QByteArray("2.1") << false << false << "not exact";
        QTest::newRow("rounds to 2.0") << QByteArray("2.0000001") << false << false << "not exact";
        QTest::newRow("beyond the significand") << QByteArray("16777217") << false << false << "not exact";
        QTest::newRow("blank") << QByteArray(" 2.5") << false << false << "not a number";
        QTest::newRow("sign") << QByteArray("+2.5") << false << false << "not a number";
        QTest::newRow("exponent") << QByteArray("25e-1") << false << false << "not a number";
        QTest::newRow("comma") << QByteArray("2,5") << false << false << "not a number";
        QTest::newRow("point only") << QByteArray("2.") << false << false << "not a number";
        QTest::newRow("empty") << QByteArray("") << false << false << "not a number";
        QTest::newRow("leading zero") << QByteArray("02.5") << false << false << "leading zero";
        QTest::newRow("too long") << QByteArray("2.0000000005") << false << false << "too many digits";
        QTest::newRow("zero as version") << QByteArray("0") << false << false << "no version";
        QTest::newRow("zero as minimum") << QByteArray("0") << true << true << QString();
    }
    void verdict()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, allowZero);
        QFETCH(bool, ok);
        QFETCH(QString, reasonPart);
        const ReleaseVersion::TVerdict v = Check(text.toStdString(), allowZero);
        QCOMPARE(v.ok, ok);
        QCOMPARE(v.reason.empty(), ok);
        if (!ok)
            QVERIFY2(QString::fromStdString(v.reason).contains(reasonPart), v.reason.c_str());
    }

    // Every accepted version, over a grid of wholes and fractions, behaves in
    // the real check as its publisher means.
    void acceptedVersionsReadTrue_data()
    {
        QTest::addColumn<int>("fractionDigits");
        QTest::newRow("one digit") << 1;
        QTest::newRow("two digits") << 2;
        QTest::newRow("three digits") << 3;
    }
    void acceptedVersionsReadTrue()
    {
        QFETCH(int, fractionDigits);
        int limit = 1;
        for (int i = 0; i < fractionDigits; ++i)
            limit *= 10;
        QList<QByteArray> accepted;
        for (int whole = 0; whole <= 12; ++whole)
            for (int f = 0; f < limit; ++f) {
                const QByteArray text =
                    QByteArray::number(whole) + '.' + QByteArray::number(f).rightJustified(fractionDigits, '0');
                if (Check(text.toStdString()).ok)
                    accepted.append(text);
            }
        QVERIFY(accepted.size() > 13);
        for (const QByteArray &a : std::as_const(accepted)) {
            const double own = *UpdateCheck::ParseVersion(a, u'.');
            QVERIFY2(!UpdateCheck::IsNewer(UpdateCheck::OfferedVersion(a, u'.'), own), a.constData());
            QCOMPARE(ReleaseVersion::Value(a.toStdString()), own);
        }
        for (qsizetype i = 0; i + 1 < accepted.size(); ++i) {
            const QByteArray &lower = accepted[i];
            const QByteArray &higher = accepted[i + 1];
            QVERIFY2(UpdateCheck::IsNewer(UpdateCheck::OfferedVersion(higher, u'.'),
                                          *UpdateCheck::ParseVersion(lower, u'.')),
                     (lower + " < " + higher).constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestReleaseVersion)
#include "test_release_version.moc"
