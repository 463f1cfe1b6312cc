#include "text_utils.h"

#include "codepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QUrl>

void SplitByDelimiter(char delimiter, const QByteArray &text, TStringList &fields)
{
    fields.clear();
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = text.indexOf(delimiter, start);
        if (at < 0)
            break;
        fields.append(text.mid(start, at - start));
        start = at + 1;
    }
    if (start < text.size())
        fields.append(text.mid(start));
}

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray ReplacePairs(const QByteArray &text, char pairByte, char with)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == pairByte && i + 1 < text.size() && text[i + 1] == pairByte) {
            out.append(with);
            ++i;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

QByteArray Doubled(const QByteArray &text, char from, char pairByte)
{
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == from) {
            out.append(pairByte);
            out.append(pairByte);
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

QByteArray DecodeDollarHex(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] != '$') {
            out.append(text[i++]);
            continue;
        }
        int value = 0;
        int digits = 0;
        for (qsizetype j = i + 1; j < text.size() && j <= i + 2; ++j) {
            const int d = HexDigit(text[j]);
            if (d < 0)
                return {};
            value = value * 16 + d;
            ++digits;
        }
        if (digits == 0)
            return {};
        out.append(static_cast<char>(value));
        i += 1 + digits;
    }
    return out;
}

QByteArray EscapeLineBreaks(const QByteArray &text)
{
    return Doubled(Doubled(text, '\r', '\xA5'), '\n', '\xA7');
}

QByteArray UnescapeLineBreaks(const QByteArray &text)
{
    return ReplacePairs(ReplacePairs(text, '\xA5', '\r'), '\xA7', '\n');
}

namespace {

QStringList SplitPathList(const QString &value, const QString &fallback)
{
    QStringList dirs = (value.isEmpty() ? fallback : value).split(u':', Qt::SkipEmptyParts);
    return dirs;
}

// Reads one key of one group of a desktop-style key file. The files are tiny;
// a hand-written reader keeps locale keys and escapes out of the way.
QString KeyFileValue(const QString &path, const QString &group, const QString &key)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    bool inGroup = false;
    const QByteArray data = f.read(1 << 20);
    for (const QByteArray &raw : SplitLines(data)) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            inGroup = (line == u'[' + group + u']');
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

// The command line of a desktop entry's Exec key for one URL: the words with
// their quotes removed, %u %U %f %F standing for the URL as one argument (the
// URL appended when none does), other field codes dropped.
QStringList ExecCommand(const QString &exec, const QString &url)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted && c == u'\\' && i + 1 < exec.size()) {
            word.append(exec[++i]);
            continue;
        }
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
            continue;
        }
        if (c.isSpace() && !quoted) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        word.append(c);
        inWord = true;
    }
    if (inWord)
        words << word;

    QStringList command;
    bool urlPlaced = false;
    for (const QString &w : words) {
        if (w == u"%u" || w == u"%U" || w == u"%f" || w == u"%F") {
            if (!urlPlaced)
                command << url;
            urlPlaced = true;
            continue;
        }
        if (w.size() == 2 && w[0] == u'%' && w[1] != u'%')
            continue; // %i, %c, %k and the deprecated codes
        QString arg = w;
        arg.replace(QStringLiteral("%%"), QStringLiteral("%"));
        command << arg;
    }
    if (!command.isEmpty() && !urlPlaced)
        command << url;
    return command;
}

// The desktop entry for http addresses, as xdg-mime finds it: the desktop's
// own lists first, then the general ones, then the system's defaults and the
// cache of what installed programs declare.
QString DefaultBrowserEntry()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = QDir::homePath();
    const QString configHome = env.value("XDG_CONFIG_HOME", home + "/.config");
    const QString dataHome = env.value("XDG_DATA_HOME", home + "/.local/share");
    const QStringList configDirs = SplitPathList(env.value("XDG_CONFIG_DIRS"), "/etc/xdg");
    const QStringList dataDirs = SplitPathList(env.value("XDG_DATA_DIRS"), "/usr/local/share:/usr/share");
    QStringList desktops;
    for (const QString &d : env.value("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
        desktops << d.toLower();

    QStringList appDirs{dataHome + "/applications"};
    for (const QString &d : dataDirs)
        appDirs << d + "/applications";

    const QString defaults = QStringLiteral("Default Applications");
    QList<QPair<QString, QString>> lists; // file, group
    const auto addListsIn = [&](const QString &dir) {
        for (const QString &d : desktops)
            lists.append({dir + u'/' + d + "-mimeapps.list", defaults});
        lists.append({dir + "/mimeapps.list", defaults});
    };
    addListsIn(configHome);
    for (const QString &d : configDirs)
        addListsIn(d);
    for (const QString &d : appDirs)
        addListsIn(d);
    for (const QString &d : appDirs)
        lists.append({d + "/defaults.list", defaults});
    for (const QString &d : appDirs)
        lists.append({d + "/mimeinfo.cache", QStringLiteral("MIME Cache")});

    const QString mime = QStringLiteral("x-scheme-handler/http");
    for (const auto &[list, group] : lists) {
        const QStringList ids = KeyFileValue(list, group, mime).split(u';', Qt::SkipEmptyParts);
        for (const QString &id : ids) {
            for (const QString &dir : appDirs) {
                QString entry = dir + u'/' + id.trimmed();
                if (!QFileInfo::exists(entry))
                    entry = dir + u'/' + QString(id.trimmed()).replace(u'-', u'/');
                if (QFileInfo::exists(entry) && !KeyFileValue(entry, "Desktop Entry", "Exec").isEmpty())
                    return entry;
            }
        }
    }
    return {};
}

} // namespace

QStringList DefaultBrowserCommand(const QString &url)
{
    const QString entry = DefaultBrowserEntry();
    if (entry.isEmpty())
        return {};
    return ExecCommand(KeyFileValue(entry, "Desktop Entry", "Exec"), url);
}

QString DesktopAddress(const QByteArray &url, TAddressUse use, QString *why)
{
    const auto refuse = [&](const QString &reason) {
        if (why)
            *why = reason;
        return QString();
    };
    const QString text = FromAnsi(url);
    if (text.trimmed().isEmpty())
        return refuse(QStringLiteral("No address is set for this link."));
    const QString shown = text.left(200);
    const QString onlyWeb = use == TAddressUse::Web
                                ? QStringLiteral("only web addresses (http:// or https://) with a host name are opened.")
                                : QStringLiteral("only web addresses (http:// or https://) with a host name and "
                                                 "mail addresses (mailto:) are opened.");
    // Line breaks and other control bytes have no place in an address; they
    // would split it wherever it is written down.
    for (const char c : url)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return refuse(QStringLiteral("The address \"%1\" was not opened: it holds control characters.").arg(shown));
    const QUrl parsed(text.trimmed(), QUrl::TolerantMode);
    const QString scheme = parsed.scheme().toLower();
    const bool web = scheme == u"http" || scheme == u"https";
    const bool mail = use == TAddressUse::WebOrMail && scheme == u"mailto";
    if (!parsed.isValid() || (!web && !mail))
        return refuse(QStringLiteral("The address \"%1\" was not opened: %2").arg(shown, onlyWeb));
    if (web && parsed.host().isEmpty())
        return refuse(QStringLiteral("The address \"%1\" was not opened: it names no host.").arg(shown));
    if (mail && parsed.path().isEmpty())
        return refuse(QStringLiteral("The address \"%1\" was not opened: it names no mail address.").arg(shown));
    const QString encoded = QString::fromLatin1(parsed.toEncoded(QUrl::FullyEncoded));
    // Encoding keeps the scheme in front; checked again because everything
    // after this point trusts it.
    if (!encoded.startsWith(scheme + u':', Qt::CaseInsensitive))
        return refuse(QStringLiteral("The address \"%1\" was not opened: %2").arg(shown, onlyWeb));
    return encoded;
}

bool OpenURLInBrowser(const QByteArray &url)
{
    const QString address = DesktopAddress(url, TAddressUse::Web);
    if (address.isEmpty())
        return false;
    QStringList command = DefaultBrowserCommand(address);
    if (command.isEmpty())
        return false;
    // The outcome of the start is not examined: a browser that fails to start
    // shows nothing, as on a desktop where the association is stale.
    const QString program = command.takeFirst();
    QProcess::startDetached(program, command);
    return true;
}

QByteArray TrimAnsi(const QByteArray &text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20)
        --e;
    return text.mid(b, e - b);
}

QByteArray UpperAscii(const QByteArray &text)
{
    QByteArray out = text;
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool SameTextAscii(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    return UpperAscii(a) == UpperAscii(b);
}
