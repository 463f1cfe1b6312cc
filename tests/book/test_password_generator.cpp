// New passwords: what is refused, that every character drawn is one the
// book can store (never the field delimiter) and of the chosen classes, each
// class at least once, and that a choice among n characters favours none.
#include "book/input_rules.h"
#include "book/password_generator.h"

#include <QTest>

#include <random>

Q_DECLARE_METATYPE(QList<quint32>)

namespace {

// A repeatable source for drawing many passwords.
TRandomSource Seeded(unsigned seed)
{
    auto engine = std::make_shared<std::mt19937>(seed);
    return [engine] { return quint32((*engine)()); };
}

bool InClass(char32_t c, unsigned cls)
{
    switch (cls) {
    case PasswordLower:
        return c >= U'a' && c <= U'z';
    case PasswordUpper:
        return c >= U'A' && c <= U'Z';
    case PasswordDigits:
        return c >= U'0' && c <= U'9';
    case PasswordSymbols:
        return c > 0x20 && c < 0x7F && !QChar::isLetterOrNumber(c);
    case PasswordAccented:
        return c >= 0x80 && QChar::isLetter(c);
    }
    return false;
}

} // namespace

class TestPasswordGenerator : public QObject
{
    Q_OBJECT
private slots:
    void refusals_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<unsigned>("classes");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<bool>("anyPrintable");
        QTest::addColumn<bool>("avoidLookAlikes");
        QTest::addColumn<QString>("refusal"); // a part of it; empty: accepted
        const unsigned all = PasswordAllClasses;
        QTest::newRow("too short") << 7 << all << "" << false << false << "8 to 128";
        QTest::newRow("shortest") << 8 << all << "" << false << false << "";
        QTest::newRow("longest") << 128 << all << "" << false << false << "";
        QTest::newRow("too long") << 129 << all << "" << false << false << "8 to 128";
        QTest::newRow("negative") << -20 << all << "" << false << false << "8 to 128";
        QTest::newRow("no class") << 20 << 0u << "" << false << false << "at least one kind";
        QTest::newRow("added characters alone") << 20 << 0u << "xyz#" << false << false << "";
        QTest::newRow("the field delimiter") << 20 << all << "\u00A5" << false << false << "\"\u00A5\" cannot be kept";
        QTest::newRow("the delimiter in a protected book") << 20 << all << "\u00A5" << true << false << "";
        QTest::newRow("beyond Windows-1252") << 20 << all << "\u0105" << false << false << "cannot be kept";
        QTest::newRow("the euro sign is Windows-1252") << 20 << all << "\u20AC" << false << false << "";
        QTest::newRow("an emoji in a plain book") << 20 << all << "\U0001F642" << false << false << "cannot be kept";
        QTest::newRow("an emoji in a protected book") << 20 << all << "\U0001F642" << true << false << "";
        QTest::newRow("a blank") << 20 << all << " " << true << false << "U+0020 is not a printable";
        QTest::newRow("a tab") << 20 << all << "\t" << false << false << "U+0009 cannot be kept";
        QTest::newRow("a no-break space") << 20 << all << "\u00A0" << false << false << "cannot be kept";
        QTest::newRow("a soft hyphen") << 20 << all << "\u00AD" << false << false << "cannot be kept";
        QTest::newRow("only look-alikes, avoided") << 20 << 0u << "0O1lI|" << false << true << "no character is left";
    }
    void refusals()
    {
        QFETCH(int, length);
        QFETCH(unsigned, classes);
        QFETCH(QString, extra);
        QFETCH(bool, anyPrintable);
        QFETCH(bool, avoidLookAlikes);
        QFETCH(QString, refusal);
        const TPasswordOptions options{length, classes, avoidLookAlikes, extra, anyPrintable};
        const QString got = PasswordRefusal(options);
        QVERIFY2(refusal.isEmpty() ? got.isEmpty() : got.contains(refusal), qPrintable(got));
        const QString password = GeneratePassword(options, Seeded(1));
        QCOMPARE(password.isEmpty(), !refusal.isEmpty());
        QCOMPARE(PasswordStrengthBits(options) == 0, !refusal.isEmpty());
    }

    // Many passwords of each kind: their length, their characters, and each
    // chosen class present.
    void draws_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<unsigned>("classes");
        QTest::addColumn<bool>("avoidLookAlikes");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<bool>("anyPrintable");
        QTest::newRow("default") << kPasswordDefaultLength << TPasswordOptions().classes << false << "" << false;
        QTest::newRow("every class, shortest") << 8 << unsigned(PasswordAllClasses) << false << "" << false;
        QTest::newRow("every class, look-alikes avoided") << 128 << unsigned(PasswordAllClasses) << true << "" << false;
        QTest::newRow("digits, look-alikes avoided") << 12 << unsigned(PasswordDigits) << true << "" << false;
        QTest::newRow("accented letters alone") << 30 << unsigned(PasswordAccented) << false << "" << false;
        QTest::newRow("symbols and added characters") << 9 << unsigned(PasswordSymbols) << false << "\u20AC\u00E6"
                                                      << false;
        QTest::newRow("protected book, any printable") << 16 << unsigned(PasswordLower) << false
                                                       << "\u65E5\u00A5\U0001F642" << true;
    }
    void draws()
    {
        QFETCH(int, length);
        QFETCH(unsigned, classes);
        QFETCH(bool, avoidLookAlikes);
        QFETCH(QString, extra);
        QFETCH(bool, anyPrintable);
        const TPasswordOptions options{length, classes, avoidLookAlikes, extra, anyPrintable};
        const QList<char32_t> alphabet = PasswordAlphabet(options);
        QVERIFY(!alphabet.isEmpty());
        QSet<char32_t> seen;
        const TRandomSource random = Seeded(42);
        for (int n = 0; n < 300; ++n) {
            const QString password = GeneratePassword(options, random);
            const QList<uint> chars = password.toUcs4();
            QCOMPARE(chars.size(), length);
            if (!anyPrintable)
                QVERIFY2(RefusalForLine(password).isEmpty(), qPrintable(password));
            for (const char32_t c : chars) {
                QVERIFY(alphabet.contains(c));
                QVERIFY(!(avoidLookAlikes && QStringLiteral("0O1lI|").contains(QChar(char16_t(c)))));
                QVERIFY(anyPrintable || c != 0xA5);
                seen.insert(c);
            }
            for (const unsigned cls : {PasswordLower, PasswordUpper, PasswordDigits, PasswordSymbols,
                                       PasswordAccented}) {
                if (classes & cls)
                    QVERIFY2(std::any_of(chars.cbegin(), chars.cend(), [cls](char32_t c) { return InClass(c, cls); }),
                             qPrintable(password));
            }
            // The rows add characters no chosen class holds: one of them too.
            if (!extra.isEmpty())
                QVERIFY2(std::any_of(chars.cbegin(), chars.cend(), [&](uint c) { return extra.toUcs4().contains(c); }),
                         qPrintable(password));
        }
        // The alphabet is used, not some part of it.
        QVERIFY2(seen.size() > alphabet.size() * 9 / 10, qPrintable(QString::number(seen.size())));
        // Without a source of its own it draws from the system's.
        QCOMPARE(GeneratePassword(options).toUcs4().size(), length);
    }

    // A choice among `bound` numbers draws again those values of the source
    // that the last, short round below 2^32 would add to the lowest results.
    void uniform_data()
    {
        QTest::addColumn<quint32>("bound");
        QTest::addColumn<QList<quint32>>("source");
        QTest::addColumn<quint32>("result");
        QTest::addColumn<int>("draws");
        QTest::newRow("the one value past the fair ones, of three") << 3u << QList<quint32>{0xFFFFFFFF, 5} << 2u << 2;
        QTest::newRow("the last fair value, of three") << 3u << QList<quint32>{0xFFFFFFFE} << 2u << 1;
        // 2^32 = 45691141 * 94 + 42: the top 42 values would favour 0 to 41.
        QTest::newRow("94 characters: the highest and lowest unfair values")
            << 94u << QList<quint32>{0xFFFFFFFF, 0xFFFFFFD6, 95} << 1u << 3;
        QTest::newRow("94 characters: the last fair value") << 94u << QList<quint32>{0xFFFFFFD5} << 93u << 1;
        QTest::newRow("a power of two has no unfair values") << 64u << QList<quint32>{0xFFFFFFFF} << 63u << 1;
        QTest::newRow("one choice draws nothing") << 1u << QList<quint32>{} << 0u << 0;
    }
    void uniform()
    {
        QFETCH(quint32, bound);
        QFETCH(QList<quint32>, source);
        QFETCH(quint32, result);
        QFETCH(int, draws);
        int drawn = 0;
        const TRandomSource random = [&] { return source.value(drawn++, 0); };
        QCOMPARE(UniformBelow(bound, random), result);
        QCOMPARE(drawn, draws);
    }

    void classNames_data()
    {
        QTest::addColumn<QString>("names");
        QTest::addColumn<bool>("known");
        QTest::addColumn<unsigned>("classes");
        QTest::newRow("one") << "digits" << true << unsigned(PasswordDigits);
        QTest::newRow("several, blanks and case") << "Lower, UPPER,symbols" << true
                                                  << unsigned(PasswordLower | PasswordUpper | PasswordSymbols);
        QTest::newRow("every one") << "lower,upper,digits,symbols,accented" << true << unsigned(PasswordAllClasses);
        QTest::newRow("none") << "" << true << 0u;
        QTest::newRow("unknown") << "lower,emoji" << false << 0u;
    }
    void classNames()
    {
        QFETCH(QString, names);
        QFETCH(bool, known);
        QFETCH(unsigned, classes);
        unsigned got = 0;
        QCOMPARE(ReadPasswordClasses(names, &got), known);
        if (known)
            QCOMPARE(got, classes);
    }

    // The estimate grows with the length and the alphabet, and shrinks as
    // look-alikes go.
    void strength()
    {
        TPasswordOptions options;
        const double standard = PasswordStrengthBits(options);
        QCOMPARE(PasswordStrengthText(standard), QStringLiteral("very strong")); // 20 of 94 characters
        options.avoidLookAlikes = true;
        QVERIFY(PasswordStrengthBits(options) < standard);
        options.length = 40;
        QVERIFY(PasswordStrengthBits(options) > standard);
        const TPasswordOptions pin{8, PasswordDigits, false, {}, false};
        QCOMPARE(PasswordStrengthText(PasswordStrengthBits(pin)), QStringLiteral("weak"));
    }
};

QTEST_GUILESS_MAIN(TestPasswordGenerator)
#include "test_password_generator.moc"
