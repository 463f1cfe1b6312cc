#include "update_manifest.h"

#include "release_version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace UpdateManifest {
namespace {

const QString kFormat = QStringLiteral("tarnwick-update-1");

bool IsHexDigest(const QString &s)
{
    static const QRegularExpression re(QStringLiteral("^[0-9a-f]{64}$"));
    return re.match(s).hasMatch();
}

} // namespace

QByteArray ToJson(const TManifest &manifest)
{
    QJsonArray files;
    for (const TFile &f : manifest.files)
        files.append(QJsonObject{{QStringLiteral("name"), f.name},
                                 {QStringLiteral("size"), double(f.size)},
                                 {QStringLiteral("mode"), QString::number(f.mode, 8).rightJustified(4, u'0')},
                                 {QStringLiteral("sha256"), QString::fromLatin1(f.sha256)}});
    const QJsonObject root{{QStringLiteral("format"), kFormat},
                           {QStringLiteral("version"), manifest.version},
                           {QStringLiteral("minVersion"), manifest.minVersion},
                           {QStringLiteral("notes"), manifest.notes},
                           {QStringLiteral("files"), files}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<TManifest> Parse(const QByteArray &json, QString &error)
{
    if (json.size() > MaxManifestSize) {
        error = QStringLiteral("the update description is too large");
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject()) {
        error = QStringLiteral("the update description is not readable");
        return std::nullopt;
    }
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != kFormat) {
        error = QStringLiteral("the update description has an unknown format");
        return std::nullopt;
    }
    TManifest m;
    m.version = root.value(QStringLiteral("version")).toString();
    m.minVersion = root.value(QStringLiteral("minVersion")).toString();
    m.notes = root.value(QStringLiteral("notes")).toString();
    for (const auto &[text, zero] : {std::pair{m.version, false}, std::pair{m.minVersion, true}}) {
        const ReleaseVersion::TVerdict verdict = ReleaseVersion::Check(text.toStdString(), zero);
        if (!verdict.ok) {
            error = QStringLiteral("the update description names a version that cannot be read: ") +
                    QString::fromStdString(verdict.reason);
            return std::nullopt;
        }
    }
    const QJsonValue filesValue = root.value(QStringLiteral("files"));
    if (!filesValue.isArray() || filesValue.toArray().size() > MaxFiles) {
        error = QStringLiteral("the update description has no readable list of files");
        return std::nullopt;
    }
    QSet<QString> seen;
    for (const QJsonValue &v : filesValue.toArray()) {
        const QJsonObject o = v.toObject();
        TFile f;
        f.name = o.value(QStringLiteral("name")).toString();
        const double size = o.value(QStringLiteral("size")).toDouble(-1);
        bool modeOk = false;
        f.mode = o.value(QStringLiteral("mode")).toString().toInt(&modeOk, 8);
        const QString sha = o.value(QStringLiteral("sha256")).toString();
        if (!IsReleaseFile(f.name)) {
            error = QStringLiteral("the update names a file it may not write: \"%1\"").arg(f.name);
            return std::nullopt;
        }
        if (seen.contains(f.name) || !(size >= 0 && size <= double(MaxFileSize)) || size != double(qint64(size)) ||
            !modeOk || f.mode < 0 || f.mode > 0777 || !IsHexDigest(sha)) {
            error = QStringLiteral("the update description of \"%1\" is not valid").arg(f.name);
            return std::nullopt;
        }
        seen.insert(f.name);
        f.size = qint64(size);
        f.sha256 = sha.toLatin1();
        m.files.append(f);
    }
    return m;
}

} // namespace UpdateManifest
