#include "password_generator.h"

#include "book/item_record.h"
#include "util/codepage.h"

#include <QRandomGenerator>

#include <cmath>

namespace {

bool IsLookAlike(char32_t c)
{
    return c == U'0' || c == U'O' || c == U'1' || c == U'l' || c == U'I' || c == U'|';
}

// Whether a plain book stores the character exactly in a single-line field:
// printable Windows-1252 that is neither blank nor the field delimiter.
bool BookHolds(char32_t c)
{
    if (c > 0xFFFF)
        return false;
    const QChar ch{char16_t(c)};
    if (!IsAnsiEncodable(ch) || !ch.isPrint() || ch.isSpace() || ch.category() == QChar::Other_Format)
        return false;
    return ToAnsi(QString(ch)) != QByteArray(1, kFieldDelimiter);
}

bool IsPrintable(char32_t c)
{
    return QChar::isPrint(c) && !QChar::isSpace(c) && QChar::category(c) != QChar::Other_Format;
}

QList<char32_t> ClassCharacters(unsigned oneClass)
{
    QList<char32_t> out;
    const auto range = [&out](char32_t from, char32_t to) {
        for (char32_t c = from; c <= to; ++c)
            out << c;
    };
    switch (oneClass) {
    case PasswordLower:
        range(U'a', U'z');
        break;
    case PasswordUpper:
        range(U'A', U'Z');
        break;
    case PasswordDigits:
        range(U'0', U'9');
        break;
    case PasswordSymbols:
        for (char32_t c = 0x21; c < 0x7F; ++c)
            if (!QChar::isLetterOrNumber(c))
                out << c;
        break;
    case PasswordAccented:
        for (int b = 0x80; b <= 0xFF; ++b) {
            const QString s = FromAnsi(QByteArray(1, char(b)));
            // Cased letters only: not the ordinals ª º nor the lone circumflex ˆ.
            if (s.size() == 1 && (s[0].isLower() || s[0].isUpper()) && BookHolds(s[0].unicode()))
                out << s[0].unicode();
        }
        break;
    default:
        break;
    }
    return out;
}

constexpr unsigned kClasses[] = {PasswordLower, PasswordUpper, PasswordDigits, PasswordSymbols, PasswordAccented};

// The groups a password must draw from at least once: each chosen class,
// then the added characters no class holds; look-alikes left out.
QList<QList<char32_t>> Groups(const TPasswordOptions &options)
{
    QList<QList<char32_t>> groups;
    QList<char32_t> taken;
    for (const unsigned cls : kClasses) {
        if (!(options.classes & cls))
            continue;
        QList<char32_t> group;
        for (const char32_t c : ClassCharacters(cls))
            if (!(options.avoidLookAlikes && IsLookAlike(c)))
                group << c;
        taken += group;
        if (!group.isEmpty())
            groups << group;
    }
    QList<char32_t> extra;
    for (const char32_t c : options.extra.toUcs4())
        if (!taken.contains(c) && !extra.contains(c) && !(options.avoidLookAlikes && IsLookAlike(c)))
            extra << c;
    if (!extra.isEmpty())
        groups << extra;
    return groups;
}

} // namespace

QStringList PasswordClassNames()
{
    return {QStringLiteral("lower"), QStringLiteral("upper"), QStringLiteral("digits"), QStringLiteral("symbols"),
            QStringLiteral("accented")};
}

bool ReadPasswordClasses(const QString &names, unsigned *classes)
{
    unsigned out = 0;
    const QStringList known = PasswordClassNames();
    for (const QString &name : names.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype i = known.indexOf(name.trimmed().toLower());
        if (i < 0)
            return false;
        out |= kClasses[i];
    }
    *classes = out;
    return true;
}

QString PasswordRefusal(const TPasswordOptions &options)
{
    if (options.length < kPasswordMinLength || options.length > kPasswordMaxLength)
        return QStringLiteral("A password must be %1 to %2 characters long.")
            .arg(kPasswordMinLength)
            .arg(kPasswordMaxLength);
    for (const char32_t c : options.extra.toUcs4()) {
        if (options.anyPrintable ? IsPrintable(c) : BookHolds(c))
            continue;
        const QString shown = IsPrintable(c) ? QStringLiteral("\"%1\"").arg(QString::fromUcs4(&c, 1))
                                             : QStringLiteral("U+%1").arg(quint32(c), 4, 16, QLatin1Char('0'));
        return options.anyPrintable ? QStringLiteral("%1 is not a printable character.").arg(shown)
                                    : QStringLiteral("%1 cannot be kept in the book's password field.").arg(shown);
    }
    if (options.classes == 0 && options.extra.isEmpty())
        return QStringLiteral("Choose at least one kind of character.");
    if (Groups(options).isEmpty())
        return QStringLiteral("Without the look-alikes no character is left to choose from.");
    return {};
}

QList<char32_t> PasswordAlphabet(const TPasswordOptions &options)
{
    QList<char32_t> out;
    if (!PasswordRefusal(options).isEmpty())
        return out;
    for (const QList<char32_t> &group : Groups(options))
        out += group;
    return out;
}

quint32 UniformBelow(quint32 bound, const TRandomSource &random)
{
    if (bound <= 1)
        return 0;
    // 2^32 mod bound numbers at the top would make the low values likelier.
    const quint32 excess = quint32(0x100000000ULL % bound);
    const quint32 limit = quint32(0xFFFFFFFFULL - excess); // values up to it are fair
    quint32 value = 0;
    do
        value = random();
    while (value > limit);
    return value % bound;
}

QString GeneratePassword(const TPasswordOptions &options, const TRandomSource &random)
{
    if (!PasswordRefusal(options).isEmpty())
        return {};
    const TRandomSource source = random ? random : TRandomSource([] { return QRandomGenerator::system()->generate(); });
    const QList<QList<char32_t>> groups = Groups(options);
    QList<char32_t> alphabet;
    for (const QList<char32_t> &group : groups)
        alphabet += group;
    std::u32string drawn(size_t(options.length), U'\0');
    // With at most six groups in eight characters or more, a draw lacks one
    // rarely enough that this ends within a few rounds; the bound only stops
    // a broken source.
    for (int round = 0; round < 10000; ++round) {
        for (char32_t &c : drawn)
            c = alphabet[UniformBelow(quint32(alphabet.size()), source)];
        bool all = true;
        for (const QList<char32_t> &group : groups) {
            bool found = false;
            for (const char32_t c : drawn)
                found = found || group.contains(c);
            all = all && found;
        }
        if (all)
            return QString::fromStdU32String(drawn);
    }
    return {};
}

double PasswordStrengthBits(const TPasswordOptions &options)
{
    const qsizetype size = PasswordAlphabet(options).size();
    return size > 1 ? options.length * std::log2(double(size)) : 0.0;
}

QString PasswordStrengthText(double bits)
{
    if (bits < 50)
        return QStringLiteral("weak");
    if (bits < 75)
        return QStringLiteral("fair");
    if (bits < 100)
        return QStringLiteral("strong");
    return QStringLiteral("very strong");
}
