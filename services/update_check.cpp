#include "update_check.h"

#include "settings/branding_settings.h"
#include "util/codepage.h"
#include "util/string_list.h"
#include "util/text_utils.h"

#include <QFile>
#include <QLocale>

#include <cfloat>
#include <cmath>

namespace UpdateCheck {

QString OfferText(const QByteArray &version)
{
    return QStringLiteral("There is a new update: (version ") + FromAnsi(version) +
           QStringLiteral(") available for your application!. Do you want download this update now?");
}

QChar LocaleDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}

std::optional<double> ParseVersion(const QByteArray &text, QChar localeSeparator)
{
    const QString s = FromAnsi(text);
    const qsizetype n = s.size();
    qsizetype i = 0;
    const auto isDigit = [&](qsizetype at) { return at < n && s[at] >= u'0' && s[at] <= u'9'; };
    const auto skipBlanks = [&] {
        while (i < n && s[i] == u' ')
            ++i;
    };

    // Rebuilt in the C locale's spelling for the conversion proper.
    QByteArray number;
    skipBlanks();
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        number.append(char(s[i++].unicode()));
    int digits = 0;
    while (isDigit(i)) {
        number.append(char(s[i++].unicode()));
        ++digits;
    }
    if (i < n && (s[i] == u'.' || s[i] == localeSeparator)) {
        ++i;
        number.append('.');
        while (isDigit(i)) {
            number.append(char(s[i++].unicode()));
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        number.append('e');
        if (i < n && (s[i] == u'+' || s[i] == u'-'))
            number.append(char(s[i++].unicode()));
        if (!isDigit(i))
            return std::nullopt;
        while (isDigit(i))
            number.append(char(s[i++].unicode()));
    }
    skipBlanks();
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

float OfferedVersion(const QByteArray &text, QChar localeSeparator)
{
    const std::optional<double> value = ParseVersion(text, localeSeparator);
    if (!value || std::fabs(*value) > FLT_MAX)
        return 0.0f;
    return static_cast<float>(*value);
}

double OwnVersion(QChar localeSeparator)
{
    // The program's own constant is written with a point, which converts in
    // every locale.
    return ParseVersion(AppVersion, localeSeparator).value_or(0.0);
}

bool IsNewer(float offered, double own)
{
    return own < static_cast<double>(offered);
}

TUpdateOffer DecideUpdate(const QByteArray &offeredVersion, const QByteArray &ownVersion, QChar localeSeparator)
{
    const double own = ParseVersion(ownVersion, localeSeparator).value_or(0.0);
    if (!IsNewer(OfferedVersion(offeredVersion, localeSeparator), own))
        return {};
    return {true, OfferText(offeredVersion)};
}

QByteArray IniValue(const QByteArray &ini, const QByteArray &section, const QByteArray &key)
{
    QByteArray text = ini;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    bool inSection = false;
    bool sectionSeen = false;
    for (const QByteArray &raw : SplitLines(text)) {
        const QByteArray line = TrimAnsi(raw);
        if (line.startsWith('[')) {
            if (inSection)
                break; // only the first section of that name counts
            const qsizetype close = line.indexOf(']');
            const QByteArray name = TrimAnsi(line.mid(1, close < 0 ? -1 : close - 1));
            inSection = !sectionSeen && SameTextAscii(name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection || line.startsWith(';'))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0 || !SameTextAscii(TrimAnsi(line.left(eq)), key))
            continue;
        QByteArray value = TrimAnsi(line.mid(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

TUpdateDescription ParseDescription(const QByteArray &ini)
{
    return {IniValue(ini, "APPLICATION", "Name"), IniValue(ini, "APPLICATION", "Version")};
}

TUpdateDescription ReadDescription(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseDescription(file.readAll());
}

} // namespace UpdateCheck
