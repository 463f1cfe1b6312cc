#include "book/one_time_code.h"

#include <QTest>

Q_DECLARE_METATYPE(TOtpAlgorithm)

namespace {

// The keys of RFC 6238's test vectors: the ASCII digits repeated to the
// hash's own length; in base32 the 20-byte one is the one below.
const QByteArray kKey20 = "12345678901234567890";
const QByteArray kKey32 = "12345678901234567890123456789012";
const QByteArray kKey64 = "1234567890123456789012345678901234567890123456789012345678901234";
const QByteArray kKey20Base32 = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";

} // namespace

class TestOneTimeCode : public QObject
{
    Q_OBJECT
private slots:
    void rfcVectors_data()
    {
        QTest::addColumn<TOtpAlgorithm>("algorithm");
        QTest::addColumn<QByteArray>("secret");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QByteArray>("code");
        const struct
        {
            qint64 time;
            const char *sha1, *sha256, *sha512;
        } rows[] = {
            {59, "94287082", "46119246", "90693936"},
            {1111111109, "07081804", "68084774", "25091201"},
            {1111111111, "14050471", "67062674", "99943326"},
            {1234567890, "89005924", "91819424", "93441116"},
            {2000000000, "69279037", "90698825", "38618901"},
            {20000000000, "65353130", "77737706", "47863826"},
        };
        for (const auto &row : rows) {
            QTest::addRow("SHA1 %lld", row.time) << TOtpAlgorithm::Sha1 << kKey20 << row.time << QByteArray(row.sha1);
            QTest::addRow("SHA256 %lld", row.time)
                << TOtpAlgorithm::Sha256 << kKey32 << row.time << QByteArray(row.sha256);
            QTest::addRow("SHA512 %lld", row.time)
                << TOtpAlgorithm::Sha512 << kKey64 << row.time << QByteArray(row.sha512);
        }
    }
    void rfcVectors()
    {
        QFETCH(TOtpAlgorithm, algorithm);
        QFETCH(QByteArray, secret);
        QFETCH(qint64, time);
        QFETCH(QByteArray, code);
        TOneTimeKey key;
        key.secret = secret;
        key.algorithm = algorithm;
        key.digits = 8;
        QCOMPARE(OneTimeCode(key, time), code);
        // Six digits are the last six of the eight, leading zeros kept.
        key.digits = 6;
        QCOMPARE(OneTimeCode(key, time), code.right(6));
    }

    void keyUri_data()
    {
        QTest::addColumn<QByteArray>("uri");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("digits");
        QTest::addColumn<qint64>("period");
        QTest::addColumn<TOtpAlgorithm>("algorithm");
        QTest::addColumn<QByteArray>("secret");
        QTest::addColumn<QString>("issuer");
        const QByteArray base = "otpauth://totp/Network:alice%40example.com?secret=" + kKey20Base32;
        QTest::newRow("defaults") << base << QString() << 6 << qint64(30) << TOtpAlgorithm::Sha1 << kKey20
                                  << QString();
        QTest::newRow("all parameters")
            << QByteArray(base + "&issuer=Big%20Network&digits=8&period=60&algorithm=SHA256") << QString() << 8
            << qint64(60) << TOtpAlgorithm::Sha256 << kKey20 << QStringLiteral("Big Network");
        QTest::newRow("digits 6, period 30 written") << QByteArray(base + "&digits=6&period=30") << QString() << 6
                                                     << qint64(30) << TOtpAlgorithm::Sha1 << kKey20 << QString();
        QTest::newRow("digits 7") << QByteArray(base + "&digits=7") << QString() << 7 << qint64(30)
                                  << TOtpAlgorithm::Sha1 << kKey20 << QString();
        QTest::newRow("odd period") << QByteArray(base + "&period=45") << QString() << 6 << qint64(45)
                                    << TOtpAlgorithm::Sha1 << kKey20 << QString();
        QTest::newRow("sha512, lower case") << QByteArray(base + "&algorithm=sha512") << QString() << 6 << qint64(30)
                                            << TOtpAlgorithm::Sha512 << kKey20 << QString();
        QTest::newRow("secret lower case, padded, with spaces")
            << QByteArray("otpauth://totp/x?secret=gezd%20gnbv%20gy3tqojq%20gezdgnbv%20gy3t%20qojq%3D%3D")
            << QString() << 6 << qint64(30) << TOtpAlgorithm::Sha1 << kKey20 << QString();
        QTest::newRow("scheme and type in capitals")
            << QByteArray("OTPAUTH://TOTP/x?secret=" + kKey20Base32) << QString() << 6 << qint64(30)
            << TOtpAlgorithm::Sha1 << kKey20 << QString();

        const auto bad = [&](const char *name, const QByteArray &uri, const char *problem) {
            QTest::newRow(name) << uri << QString::fromLatin1(problem) << 0 << qint64(0) << TOtpAlgorithm::Sha1
                                << QByteArray() << QString();
        };
        bad("missing secret", "otpauth://totp/Network:alice?issuer=Network", "the key has no secret");
        bad("empty secret", "otpauth://totp/x?secret=&digits=6", "the key has no secret");
        bad("bad base32: digit 1", "otpauth://totp/x?secret=GEZDGNBV1Y3TQOJQ", "the secret is not base32");
        bad("bad base32: padding inside", "otpauth://totp/x?secret=GEZD%3DGNBV", "the secret is not base32");
        bad("digits 5", base + "&digits=5", "digits must be 6, 7 or 8");
        bad("digits 9", base + "&digits=9", "digits must be 6, 7 or 8");
        bad("digits not a number", base + "&digits=six", "digits must be 6, 7 or 8");
        bad("period 0", base + "&period=0", "the period is not a number of seconds");
        bad("period negative", base + "&period=-30", "the period is not a number of seconds");
        bad("unknown algorithm", base + "&algorithm=MD5", "unknown algorithm MD5");
        bad("counter-based key", "otpauth://hotp/x?secret=" + kKey20Base32 + "&counter=1",
            "only time-based (totp) keys give codes here");
        bad("other scheme", "https://totp/x?secret=" + kKey20Base32, "the key address cannot be read");
        bad("not ASCII", "otpauth://totp/caf\xE9?secret=" + kKey20Base32,
            "the key address holds characters other than ASCII");
    }
    void keyUri()
    {
        QFETCH(QByteArray, uri);
        QFETCH(QString, problem);
        const TOneTimeKeyLine line = ReadKeyUri(uri);
        QVERIFY(line.found);
        QCOMPARE(line.problem, problem);
        QCOMPARE(line.key.has_value(), problem.isEmpty());
        if (!line.key)
            return;
        QFETCH(int, digits);
        QFETCH(qint64, period);
        QFETCH(TOtpAlgorithm, algorithm);
        QFETCH(QByteArray, secret);
        QFETCH(QString, issuer);
        QCOMPARE(line.key->digits, digits);
        QCOMPARE(line.key->period, period);
        QCOMPARE(line.key->algorithm, algorithm);
        QCOMPARE(line.key->secret, secret);
        QCOMPARE(line.key->issuer, issuer);
    }

    void periodDecidesTheCode_data()
    {
        QTest::addColumn<qint64>("period");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<qint64>("sameCodeAs");
        QTest::addColumn<qint64>("secondsLeft");
        // The RFC's time 59 is counter 1 at period 30 and counter 0 at 60.
        QTest::newRow("30: 59 is in the step of 30") << qint64(30) << qint64(59) << qint64(30) << qint64(1);
        QTest::newRow("30: 60 starts a step") << qint64(30) << qint64(60) << qint64(89) << qint64(30);
        QTest::newRow("60: 59 is in the first step") << qint64(60) << qint64(59) << qint64(0) << qint64(1);
        QTest::newRow("60: 61") << qint64(60) << qint64(61) << qint64(119) << qint64(59);
    }
    void periodDecidesTheCode()
    {
        QFETCH(qint64, period);
        QFETCH(qint64, time);
        QFETCH(qint64, sameCodeAs);
        QFETCH(qint64, secondsLeft);
        TOneTimeKey key;
        key.secret = kKey20;
        key.period = period;
        key.digits = 8;
        QCOMPARE(OneTimeCode(key, time), OneTimeCode(key, sameCodeAs));
        QVERIFY(OneTimeCode(key, time) != OneTimeCode(key, time + period));
        QCOMPARE(OneTimeCodeSecondsLeft(key, time), secondsLeft);
    }

    void findInDescription_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QByteArray>("secret");
        QTest::newRow("none") << QByteArray("Payout net 30\r\nManager: J\xF6rg") << false << QString() << QByteArray();
        QTest::newRow("empty") << QByteArray() << false << QString() << QByteArray();
        QTest::newRow("TOTP line between Windows-1252 lines")
            << QByteArray("Manager: J\xF6rg \x80\r\nTOTP: gezd gnbv gy3t qojq gezd gnbv gy3t qojq\r\nmore")
            << true << QString() << kKey20;
        QTest::newRow("TOTP line, capitals, padded")
            << QByteArray("totp:GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ====") << true << QString() << kKey20;
        QTest::newRow("URI after a word, text after it")
            << QByteArray("notes\n2FA: otpauth://totp/N?secret=" + kKey20Base32 + " (from the QR code)") << true
            << QString() << kKey20;
        QTest::newRow("the first key line counts")
            << QByteArray("TOTP: " + kKey20Base32 + "\notpauth://totp/N?secret=MZXW6===") << true << QString()
            << kKey20;
        QTest::newRow("unreadable TOTP line") << QByteArray("a\rTOTP: not*base32\r") << true
                                              << QStringLiteral("the secret is not base32") << QByteArray();
        QTest::newRow("unreadable URI") << QByteArray("otpauth://totp/N?digits=6") << true
                                        << QStringLiteral("the key has no secret") << QByteArray();
        QTest::newRow("a word that only starts alike") << QByteArray("TOTPS are on the phone") << false << QString()
                                                       << QByteArray();
    }
    void findInDescription()
    {
        QFETCH(QByteArray, description);
        QFETCH(bool, found);
        QFETCH(QString, problem);
        QFETCH(QByteArray, secret);
        const TOneTimeKeyLine line = FindOneTimeKey(description);
        QCOMPARE(line.found, found);
        QCOMPARE(line.problem, problem);
        QCOMPARE(line.key ? line.key->secret : QByteArray(), secret);
    }

    void base32_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("bytes");
        // RFC 4648's own examples.
        QTest::newRow("f") << QByteArray("MY======") << true << QByteArray("f");
        QTest::newRow("foobar") << QByteArray("MZXW6YTBOI======") << true << QByteArray("foobar");
        QTest::newRow("foobar unpadded, grouped") << QByteArray("mzxw-6ytb oi") << true << QByteArray("foobar");
        QTest::newRow("letter after padding") << QByteArray("MY==A===") << false << QByteArray();
        QTest::newRow("8 is not base32") << QByteArray("MZXW8") << false << QByteArray();
    }
    void base32()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(QByteArray, bytes);
        const std::optional<QByteArray> decoded = DecodeBase32(text);
        QCOMPARE(decoded.has_value(), valid);
        if (valid)
            QCOMPARE(*decoded, bytes);
    }
};

QTEST_APPLESS_MAIN(TestOneTimeCode)
#include "test_one_time_code.moc"
