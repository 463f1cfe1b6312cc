#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

#include "user_files.h"

// The signed description of a release on the update site, and the rules on
// the names it may carry. The site holds, below its base address:
//   mainappupdate.inf    what the program's update check reads
//   update-manifest.json this description
//   update-manifest.sig  its detached Ed25519 signature
//   files/<name>         every file of the application folder
namespace UpdateManifest {

inline constexpr char ManifestName[] = "update-manifest.json";
inline constexpr char SignatureName[] = "update-manifest.sig";
inline constexpr char FilesFolder[] = "files/";
inline constexpr char LogName[] = "updater.log";
inline constexpr char ProgramName[] = "tarnwick";
inline constexpr char UpdaterName[] = "Updater";

// Bounds on what a site may make the updater read or write.
inline constexpr qint64 MaxManifestSize = 1 << 20;
inline constexpr qint64 MaxFileSize = qint64(1) << 30;
inline constexpr int MaxFiles = 1000;

struct TFile
{
    QString name;
    qint64 size = 0;
    int mode = 0644;
    QByteArray sha256; // lower-case hex
    bool operator==(const TFile &) const = default;
};

struct TManifest
{
    QString version;
    QString minVersion = QStringLiteral("0");
    QString notes;
    QList<TFile> files;
    bool operator==(const TManifest &) const = default;
};

QByteArray ToJson(const TManifest &manifest);
// Refuses anything it does not fully understand; `error` says why.
std::optional<TManifest> Parse(const QByteArray &json, QString &error);

} // namespace UpdateManifest
