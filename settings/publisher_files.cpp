#include "publisher_files.h"

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
