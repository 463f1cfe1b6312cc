#include "text_utils.h"

#include "codepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

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

// The program named by a desktop entry's Exec key: its first word, quotes
// removed. The entry's own arguments are dropped: the URL is the only one.
QString ExecProgram(const QString &exec)
{
    QString program;
    bool quoted = false;
    for (QChar c : exec) {
        if (c == u'"') {
            quoted = !quoted;
            continue;
        }
        if (c.isSpace() && !quoted) {
            if (!program.isEmpty())
                break;
            continue;
        }
        program.append(c);
    }
    return program;
}

} // namespace

QString DefaultBrowserProgram()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = QDir::homePath();
    const QString configHome = env.value("XDG_CONFIG_HOME", home + "/.config");
    const QString dataHome = env.value("XDG_DATA_HOME", home + "/.local/share");
    const QStringList configDirs = SplitPathList(env.value("XDG_CONFIG_DIRS"), "/etc/xdg");
    const QStringList dataDirs = SplitPathList(env.value("XDG_DATA_DIRS"), "/usr/local/share:/usr/share");

    QStringList appDirs{dataHome + "/applications"};
    for (const QString &d : dataDirs)
        appDirs << d + "/applications";

    // The places xdg-mime looks, most specific first.
    QStringList lists{configHome + "/mimeapps.list"};
    for (const QString &d : configDirs)
        lists << d + "/mimeapps.list";
    for (const QString &d : appDirs)
        lists << d + "/mimeapps.list";
    for (const QString &d : appDirs)
        lists << d + "/defaults.list";

    const QString mime = QStringLiteral("x-scheme-handler/http");
    for (const QString &list : lists) {
        const QStringList ids = KeyFileValue(list, QStringLiteral("Default Applications"), mime).split(u';', Qt::SkipEmptyParts);
        for (const QString &id : ids) {
            for (const QString &dir : appDirs) {
                QString entry = dir + u'/' + id.trimmed();
                if (!QFileInfo::exists(entry))
                    entry = dir + u'/' + QString(id.trimmed()).replace(u'-', u'/');
                if (!QFileInfo::exists(entry))
                    continue;
                const QString program = ExecProgram(KeyFileValue(entry, "Desktop Entry", "Exec"));
                if (!program.isEmpty())
                    return program;
            }
        }
    }
    return {};
}

bool OpenURLInBrowser(const QByteArray &url)
{
    const QString program = DefaultBrowserProgram();
    if (program.isEmpty())
        return false;
    // The outcome of the start is not examined: a browser that fails to start
    // shows nothing, as on a desktop where the association is stale.
    QProcess::startDetached(program, {FromAnsi(url)});
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
