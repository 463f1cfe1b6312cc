#include "publisher_files.h"

#include "branding_parser.h"
#include "settings_container.h"
#include "util/codepage.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringDecoder>

namespace {

QByteArray LowerAscii(QByteArray text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

QString BannerFileName(int number)
{
    return QStringLiteral("banner%1.dat").arg(number);
}

QByteArray PictureFileName(const QByteArray &pictureName)
{
    qsizetype cut = -1;
    for (char sep : {'\\', '/', ':'})
        cut = std::max(cut, pictureName.lastIndexOf(sep));
    return pictureName.mid(cut + 1);
}

TBannerKind BannerKindOf(const QByteArray &pictureName)
{
    return LowerAscii(PictureFileName(pictureName)).contains(".gif") ? TBannerKind::Animated : TBannerKind::Still;
}

QByteArray StillPictureFormat(const QByteArray &pictureName)
{
    const QByteArray name = LowerAscii(PictureFileName(pictureName));
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return {};
    QByteArray ext = name.mid(dot + 1);
    if (ext == "jpg" || ext == "jpe" || ext == "jfif")
        ext = "jpeg";
    if (ext.isEmpty() || !QImageReader::supportedImageFormats().contains(ext))
        return {};
    return ext;
}

TBannerPicture ReadBannerPicture(const QString &path, const QByteArray &pictureName)
{
    TBannerPicture out;
    out.Kind = BannerKindOf(pictureName);
    out.Format = out.Kind == TBannerKind::Animated ? QByteArray("gif") : StillPictureFormat(pictureName);
    const QString file = QFileInfo(path).fileName();
    if (out.Format.isEmpty()) {
        out.Problem = QStringLiteral("the picture name \"%1\" names a format that cannot be shown")
                          .arg(FromAnsi(PictureFileName(pictureName)));
        return out;
    }
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        out.Problem = QStringLiteral("%1 is missing or cannot be opened").arg(file);
        return out;
    }
    out.Bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        out.Problem = QStringLiteral("%1 cannot be read").arg(file);
        return out;
    }
    QBuffer buffer(&out.Bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, out.Format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    out.Image = reader.read();
    if (out.Image.isNull()) {
        out.Problem = QStringLiteral("%1 is not a readable %2 picture").arg(file, QString::fromLatin1(out.Format));
        return out;
    }
    out.Ok = true;
    return out;
}

bool IsUsableStyleSheet(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.contains('\0'))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return false;

    int depth = 0;
    int rules = 0;
    bool selectorText = false; // something but blanks since the last rule
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') {
            const qsizetype end = text.indexOf(QStringLiteral("*/"), i + 2);
            if (end < 0)
                return false;
            i = end + 1;
            continue;
        }
        if (c == u'"' || c == u'\'') {
            qsizetype j = i + 1;
            while (j < text.size() && text[j] != c) {
                if (text[j] == u'\\')
                    ++j;
                ++j;
            }
            if (j >= text.size())
                return false;
            i = j;
            if (depth == 0)
                selectorText = true;
            continue;
        }
        if (c == u'{') {
            if (depth == 0) {
                if (!selectorText)
                    return false;
                ++rules;
            }
            ++depth;
        } else if (c == u'}') {
            if (--depth < 0)
                return false;
            if (depth == 0)
                selectorText = false;
        } else if (depth == 0 && !c.isSpace() && c != QChar(0xFEFF)) {
            selectorText = true;
        }
    }
    return depth == 0 && rules > 0 && !selectorText;
}

namespace {

// One rule of a skin as written: the text before its braces and the text
// inside them, each comment made a blank. Not plain when it holds what the
// style sheet parser could read otherwise than this reading does: a nested
// block, or a string with a backslash or a line break in it.
struct TSkinRule
{
    QString selector;
    QString body;
    bool plain = true;
};

QList<TSkinRule> SkinRules(const QString &text)
{
    QList<TSkinRule> rules;
    TSkinRule rule;
    int depth = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        QString &into = depth == 0 ? rule.selector : rule.body;
        if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') {
            const qsizetype end = text.indexOf(QStringLiteral("*/"), i + 2);
            if (end < 0)
                break;
            into += u' ';
            i = end + 1;
            continue;
        }
        if (c == u'"' || c == u'\'') {
            qsizetype j = i + 1;
            for (; j < text.size() && text[j] != c; ++j) {
                if (text[j] == u'\\' || text[j] == u'\n' || text[j] == u'\r' || text[j] == u'\f')
                    rule.plain = false;
                if (text[j] == u'\\')
                    ++j;
            }
            into += text.mid(i, j - i + 1);
            i = j;
            continue;
        }
        if (c == u'{') {
            if (depth++ == 0)
                continue;
            rule.plain = false;
        } else if (c == u'}') {
            if (depth == 0)
                break;
            if (--depth == 0) {
                rules << rule;
                rule = {};
                continue;
            }
        }
        into += c;
    }
    return rules;
}

bool IsAsciiLetterOrDigit(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// Whether `text` is made only of ASCII letters, digits, the characters of
// `others` and closed strings without braces, semicolons or backslashes;
// parentheses, when allowed, in pairs.
bool IsPlainText(const QString &text, QStringView others)
{
    int parens = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype end = text.indexOf(c, i + 1);
            if (end < 0)
                return false;
            for (qsizetype j = i + 1; j < end; ++j)
                if (QStringView(u"{};\\").contains(text[j]))
                    return false;
            i = end;
            continue;
        }
        if (!IsAsciiLetterOrDigit(c) && !others.contains(c))
            return false;
        if (c == u'(')
            ++parens;
        else if (c == u')' && --parens < 0)
            return false;
    }
    return parens == 0;
}

bool IsPlainPropertyName(const QString &name)
{
    const QString body = name.startsWith(u'-') ? name.mid(1) : name;
    return !body.isEmpty() && !body[0].isDigit() && body[0] != u'-' && IsPlainText(body, u"_-") &&
           !body.contains(u'"') && !body.contains(u'\'');
}

// Declarations that would put text, properties or files into the window
// rather than style it.
bool SpeaksOrLoads(const QString &name, const QString &value)
{
    const QString property = name.toLower();
    if (property.startsWith(QLatin1String("qproperty")))
        return true;
    for (const QLatin1String picture : {QLatin1String("image"), QLatin1String("icon")})
        if (property == picture || property.endsWith(QStringLiteral("-") + picture))
            return true;
    QString compact = value.toLower();
    compact.remove(u' ');
    return compact.contains(QLatin1String("url("));
}

// The declarations of a rule body, split at the semicolons outside strings.
QStringList Declarations(const QString &body)
{
    QStringList out;
    QString current;
    QChar quote;
    for (const QChar c : body) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';') {
            out << current;
            current.clear();
            continue;
        }
        current += c;
    }
    out << current;
    return out;
}

} // namespace

QString SafeSkinStyleSheet(const QByteArray &bytes)
{
    if (!IsUsableStyleSheet(bytes))
        return {};
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    QString out;
    for (const TSkinRule &rule : SkinRules(text)) {
        // At-rules (@import, @media) start with "@" and nested blocks are not
        // plain: both are left out whole.
        const QString selector = rule.selector.simplified();
        if (!rule.plain || selector.isEmpty() || !IsPlainText(selector, u" _-#.:*>+~,[]=!|^$"))
            continue;
        QStringList kept;
        for (const QString &declaration : Declarations(rule.body)) {
            const qsizetype colon = declaration.indexOf(u':');
            if (colon < 0)
                continue;
            const QString name = declaration.left(colon).trimmed();
            const QString value = declaration.mid(colon + 1).simplified();
            if (!IsPlainPropertyName(name) || value.isEmpty() || !IsPlainText(value, u" #.,()%-+:!/_") ||
                SpeaksOrLoads(name, value))
                continue;
            kept << name + QStringLiteral(": ") + value;
        }
        if (!kept.isEmpty())
            out += selector + QStringLiteral(" { ") + kept.join(QStringLiteral("; ")) + QStringLiteral("; }\n");
    }
    return out;
}

QByteArray BrandApplicationName(const QString &appFolder)
{
    QByteArray text;
    if (ReadSettingsText(appFolder, text) != TContainerState::Opened)
        return {};
    return ChooseBranding(ParseBrandingText(text)).ApplicationName;
}

QByteArray IconAsPng(const QByteArray &icoBytes)
{
    // An icon file is a few hundred kilobytes at most; a reader is never
    // handed more.
    if (icoBytes.isEmpty() || icoBytes.size() > 4 * 1024 * 1024)
        return {};
    QBuffer buffer;
    buffer.setData(icoBytes);
    QImageReader reader(&buffer, "ico");
    QImage largest;
    for (int i = 0, n = reader.imageCount(); i < n && i < 64; ++i) {
        if (!reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (!image.isNull() && image.width() * image.height() > largest.width() * largest.height())
            largest = image;
    }
    if (largest.isNull())
        return {};
    if (largest.width() > 256 || largest.height() > 256)
        largest = largest.scaled(256, 256, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray png;
    QBuffer out(&png);
    out.open(QIODevice::WriteOnly);
    if (!largest.save(&out, "PNG"))
        return {};
    return png;
}
