// Which versions a release may carry, checked against the program's own
// update check: an accepted version is never offered to itself and always
// ranks above every smaller accepted one.
#include "services/update_check.h"
#include "updater/release_version.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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
        // Read as a float at or below their value: never offered to themselves.
        QTest::newRow("2.1 reads low") << QByteArray("2.1") << false << true << QString();
        QTest::newRow("2.3 reads low") << QByteArray("2.3") << false << true << QString();
        QTest::newRow("quarter") << QByteArray("2.25") << false << true << QString();
        QTest::newRow("2.05 reads low") << QByteArray("2.05") << false << true << QString();
        // Read as a float above their value: they would offer themselves.
        QTest::newRow("2.2 reads high") << QByteArray("2.2") << false << false << "are \"2.1\" or \"2.3\"";
        QTest::newRow("2.4 reads high") << QByteArray("2.4") << false << false << "are \"2.3\" or \"2.5\"";
        QTest::newRow("2.9 reads high") << QByteArray("2.9") << false << false << "are \"2.8\" or \"3\"";
        QTest::newRow("1.1 reads high") << QByteArray("1.1") << false << false << "offered to itself";
        QTest::newRow("minimum reading high") << QByteArray("0.1") << true << false << "nearest safe";
        QTest::newRow("trailing zero of a safe number") << QByteArray("2.50") << false << false << "zeros: \"2.5\"";
        QTest::newRow("trailing zero of an unsafe number")
            << QByteArray("2.20") << false << false << "zeros: \"2.1\" or \"2.3\"";
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

    // The check a build runs when it is configured says the same, and names
    // the nearest safe versions.
    void configureTimeCheck_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("reasonPart");
        QTest::newRow("2.1") << QByteArray("2.1") << 0 << QByteArray();
        QTest::newRow("2.3") << QByteArray("2.3") << 0 << QByteArray();
        QTest::newRow("2.25") << QByteArray("2.25") << 0 << QByteArray();
        QTest::newRow("2.5") << QByteArray("2.5") << 0 << QByteArray();
        QTest::newRow("3") << QByteArray("3") << 0 << QByteArray();
        QTest::newRow("2.2") << QByteArray("2.2") << 1 << QByteArray("\"2.1\" or \"2.3\"");
        QTest::newRow("2.4") << QByteArray("2.4") << 1 << QByteArray("\"2.3\" or \"2.5\"");
        QTest::newRow("2.9") << QByteArray("2.9") << 1 << QByteArray("\"2.8\" or \"3\"");
        QTest::newRow("2.10") << QByteArray("2.10") << 1 << QByteArray("rank below \"2.9\"");
    }
    void configureTimeCheck()
    {
        QFETCH(QByteArray, version);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, reasonPart);
        QProcess p;
        p.start(QStringLiteral(CHECK_RELEASE_VERSION_EXE), {QString::fromLatin1(version)});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), exitCode);
        const QByteArray reason = p.readAllStandardOutput();
        QVERIFY2(reason.contains(reasonPart), reason.constData());
    }

    // The guide and the README give examples of the rule; each must hold.
    void documentedExamples_data()
    {
        QTest::addColumn<QString>("document");
        QTest::newRow("guide") << QStringLiteral(SOURCE_DIR "/docs/publishing.md");
        QTest::newRow("README") << QStringLiteral(SOURCE_DIR "/README.md");
    }
    void documentedExamples()
    {
        QFETCH(QString, document);
        QFile file(document);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll()).simplified();
        // "Accepted: `2.1`, ... Refused: `2.2` (...), ...", in one paragraph.
        const qsizetype accepted = text.indexOf(QStringLiteral("Accepted: "));
        const qsizetype refused = text.indexOf(QStringLiteral("Refused: "), accepted);
        QVERIFY2(accepted >= 0 && refused > accepted, "no examples of the version rule");
        const qsizetype end = text.indexOf(QStringLiteral(". "), refused);
        const QRegularExpression version(QStringLiteral("`([0-9.]+)`"));
        QStringList good, bad;
        for (const auto &m : version.globalMatch(text.mid(accepted, refused - accepted)))
            good << m.captured(1);
        // Only the first version of each refusal; what follows it in
        // brackets are the safe ones to write instead.
        const QString refusals = text.mid(refused, end - refused);
        for (const QString &part : refusals.split(QStringLiteral(";"))) {
            const QRegularExpressionMatch m = version.match(part);
            if (m.hasMatch())
                bad << m.captured(1);
        }
        for (const QString &v : QStringList{u"2.1"_qs, u"2.3"_qs, u"2.25"_qs, u"2.5"_qs, u"3"_qs})
            QVERIFY2(good.contains(v), qPrintable(v));
        for (const QString &v : QStringList{u"2.2"_qs, u"2.4"_qs, u"2.9"_qs, u"2.10"_qs})
            QVERIFY2(bad.contains(v), qPrintable(v));
        for (const QString &v : std::as_const(good))
            QVERIFY2(Check(v.toStdString()).ok, qPrintable(v));
        for (const QString &v : std::as_const(bad))
            QVERIFY2(!Check(v.toStdString()).ok, qPrintable(v));
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
