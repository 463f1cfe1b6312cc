// Publisher's tool: the release-signing key and the update site.
//   tarnwick-release keygen NAME
//   tarnwick-release make --app-folder DIR --key PRIVATE --notes NOTES.md --out SITE [--min-version V]
//                         [--brand DIR]
#include "settings/settings_container.h"
#include "updater/release_signing.h"
#include "updater/release_version.h"
#include "updater/update_manifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/stat.h>

using namespace UpdateManifest;

namespace {

constexpr qint64 kMaxNotes = 64 * 1024;
constexpr qint64 kMaxKey = 16 * 1024;
enum TExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

const char kUsage[] = "usage: tarnwick-release keygen NAME | make --app-folder DIR --key PRIVATE --notes NOTES.md "
                      "--out SITE [--min-version V] [--brand DIR] | --help";

const char kHelp[] =
    "Usage: tarnwick-release COMMAND ARGUMENTS...\n"
    "\n"
    "Makes the release-signing key and the update site of a release.\n"
    "\n"
    "Commands:\n"
    "  keygen NAME\n"
    "      Writes a new key pair: NAME.private.pem (owner-only; keep it secret)\n"
    "      and NAME.public.pem (configure the build with it). Never overwrites.\n"
    "  make --app-folder DIR --key PRIVATE --notes NOTES.md --out SITE\n"
    "       [--min-version V] [--brand DIR]\n"
    "      Signs every file of the application folder DIR into the update site\n"
    "      SITE, for upload to the build's update address.\n"
    "\n"
    "Options of make:\n"
    "  --app-folder DIR  A fresh application folder (the archive of make dist),\n"
    "                    holding no user files.\n"
    "  --key PRIVATE     The private key whose public half the folder's Updater\n"
    "                    trusts.\n"
    "  --notes NOTES.md  What is new, shown by the updater (UTF-8, at most 64 KiB).\n"
    "  --out SITE        The folder the site is written to.\n"
    "  --min-version V   The oldest version the update installs over (default 0:\n"
    "                    any).\n"
    "  --brand DIR       The publisher's files to ship as well (dbsettings.dat,\n"
    "                    mainskin.dat, main.ico, bannerN.dat); the updater replaces\n"
    "                    them like the program's and keeps the user's read news.\n"
    "  -h, --help        Show this help.\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

int Fail(const QString &message)
{
    std::fprintf(stderr, "tarnwick-release: %s\n", qPrintable(message));
    return ExitFailed;
}

int UsageError(const QString &message)
{
    std::fprintf(stderr, "tarnwick-release: %s\n%s\nTry 'tarnwick-release --help'.\n", qPrintable(message), kUsage);
    return ExitUsage;
}

bool WriteFile(const QString &path, const QByteArray &bytes, QFileDevice::Permissions perms, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(perms) || file.write(bytes) != bytes.size() ||
        !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool ReadSmall(const QString &path, qint64 cap, QByteArray &bytes, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    bytes = file.read(cap + 1);
    if (bytes.size() > cap) {
        error = QStringLiteral("%1 is too large").arg(path);
        return false;
    }
    return true;
}

int Keygen(const QStringList &args)
{
    if (args.size() != 1)
        return UsageError(QStringLiteral("keygen takes one NAME (it writes NAME.private.pem and NAME.public.pem)"));
    const QString privatePath = args[0] + QStringLiteral(".private.pem");
    const QString publicPath = args[0] + QStringLiteral(".public.pem");
    if (QFileInfo::exists(privatePath) || QFileInfo::exists(publicPath))
        return Fail(QStringLiteral("%1 or %2 exists already; a key is never overwritten").arg(privatePath, publicPath));
    QByteArray privatePem, publicPem;
    QString error;
    if (!ReleaseSigning::GenerateKeyPair(privatePem, publicPem, error))
        return Fail(error);
    // Owner-only from its first byte: the file never exists with wider rights.
    const mode_t old = ::umask(077);
    const bool ok = WriteFile(privatePath, privatePem, QFileDevice::ReadOwner | QFileDevice::WriteOwner, error);
    ::umask(old);
    if (!ok || !WriteFile(publicPath, publicPem,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                              QFileDevice::ReadOther,
                          error))
        return Fail(error);
    std::printf("Private key (keep it secret, off the build machine if you can): %s\n"
                "Public key (configure with -DTARNWICK_UPDATE_PUBLIC_KEY=...): %s\n",
                qPrintable(privatePath), qPrintable(publicPath));
    return 0;
}

// The publisher's files of a brand folder, all of them: anything else there
// (a book, window settings, a sub-folder) is refused rather than left out, so
// that nothing of a user's is shipped and nothing meant is forgotten.
QFileInfoList BrandFiles(const QString &brandPath, QString &error)
{
    const QDir brand(brandPath);
    if (!brand.exists()) {
        error = QStringLiteral("%1 is not a folder").arg(brandPath);
        return {};
    }
    const QFileInfoList entries =
        brand.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QStringList refused;
    for (const QFileInfo &entry : entries)
        if (!IsBrandFile(entry.fileName()) || entry.isSymLink() || !entry.isFile())
            refused.append(entry.fileName());
    if (!refused.isEmpty()) {
        error = QStringLiteral("%1 holds %2, which is not one of the publisher's files (dbsettings.dat, "
                               "mainskin.dat, main.ico, bannerN.dat)")
                    .arg(brandPath, refused.join(QStringLiteral(", ")));
        return {};
    }
    if (entries.isEmpty()) {
        error = QStringLiteral("%1 holds none of the publisher's files").arg(brandPath);
        return {};
    }
    // A container the program cannot open would take the brand away from
    // every user who installs the update.
    if (brand.exists(QLatin1String(kContainerFileName))) {
        QTemporaryDir scratch;
        QByteArray text;
        if (!scratch.isValid() ||
            ReadContainerText(brand.filePath(QLatin1String(kContainerFileName)),
                              scratch.filePath(QLatin1String(kPlaintextFileName)), text) != TContainerState::Opened) {
            error = QStringLiteral("%1 does not open with the program's passphrase; pack it with tarnwick-brand pack")
                        .arg(brand.filePath(QLatin1String(kContainerFileName)));
            return {};
        }
    }
    return entries;
}

QString ProgramVersion(const QString &program, QString &error)
{
    QProcess p;
    p.setProgram(program);
    p.setArguments({QStringLiteral("--version")});
    p.start();
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        error = QStringLiteral("%1 --version did not answer").arg(program);
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

int Make(const QStringList &args)
{
    QString appFolder, keyPath, notesPath, outPath, brandPath, minVersion = QStringLiteral("0");
    for (qsizetype i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return UsageError(QStringLiteral("%1 needs a value").arg(args[i]));
        const QString &v = args[i + 1];
        if (args[i] == u"--app-folder")
            appFolder = v;
        else if (args[i] == u"--key")
            keyPath = v;
        else if (args[i] == u"--notes")
            notesPath = v;
        else if (args[i] == u"--out")
            outPath = v;
        else if (args[i] == u"--min-version")
            minVersion = v;
        else if (args[i] == u"--brand")
            brandPath = v;
        else
            return UsageError(QStringLiteral("unknown option %1").arg(args[i]));
    }
    if (appFolder.isEmpty() || keyPath.isEmpty() || notesPath.isEmpty() || outPath.isEmpty())
        return UsageError(QStringLiteral("make needs --app-folder, --key, --notes and --out"));

    // The folder must hold a release and nothing of a user's.
    const QDir folder(appFolder);
    if (!folder.exists())
        return Fail(QStringLiteral("%1 is not a folder").arg(appFolder));
    // The folder of a branded archive holds the publisher's files as well;
    // with --brand, those of the brand folder are the ones shipped.
    QFileInfoList entries;
    for (const QFileInfo &entry :
         folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
        if (brandPath.isEmpty() || !IsBrandFile(entry.fileName()))
            entries.append(entry);
    QStringList userFiles;
    for (const QFileInfo &entry : std::as_const(entries))
        if (IsUserFile(entry.fileName()))
            userFiles.append(entry.fileName());
    if (!userFiles.isEmpty())
        return Fail(QStringLiteral("%1 holds user files (%2); publish from a fresh installation, such as the folder "
                                   "inside the archive of make dist, and the publisher's files with --brand DIR")
                        .arg(appFolder, userFiles.join(QStringLiteral(", "))));
    for (const QFileInfo &entry : std::as_const(entries))
        if (!IsSafeName(entry.fileName()) || entry.isSymLink() || !entry.isFile())
            return Fail(QStringLiteral("%1 holds \"%2\", which is not a plain file with a plain name")
                            .arg(appFolder, entry.fileName()));
    for (const char *required : {ProgramName, UpdaterName})
        if (!folder.exists(QLatin1String(required)))
            return Fail(QStringLiteral("%1 has no %2").arg(appFolder, QLatin1String(required)));
    QFileInfoList shipped = entries;
    if (!brandPath.isEmpty()) {
        QString brandError;
        const QFileInfoList brand = BrandFiles(brandPath, brandError);
        if (!brandError.isEmpty())
            return Fail(brandError);
        shipped += brand;
    }

    QString error;
    TManifest manifest;
    manifest.version = ProgramVersion(folder.filePath(QLatin1String(ProgramName)), error);
    if (manifest.version.isEmpty())
        return Fail(error);
    manifest.minVersion = minVersion;
    for (const auto &[text, zero] : {std::pair{manifest.version, false}, std::pair{minVersion, true}}) {
        const ReleaseVersion::TVerdict verdict = ReleaseVersion::Check(text.toStdString(), zero);
        if (!verdict.ok)
            return Fail(QStringLiteral("version refused: %1").arg(QString::fromStdString(verdict.reason)));
    }
    if (ReleaseVersion::Value(minVersion.toStdString()) >= ReleaseVersion::Value(manifest.version.toStdString()))
        return Fail(QStringLiteral("the minimum version %1 is not below the release's version %2")
                        .arg(minVersion, manifest.version));

    QByteArray privateKey, notes;
    if (!ReadSmall(keyPath, kMaxKey, privateKey, error) || !ReadSmall(notesPath, kMaxNotes, notes, error))
        return Fail(error);
    manifest.notes = QString::fromUtf8(notes);
    const QByteArray publicKey = ReleaseSigning::PublicKeyOf(privateKey);
    if (publicKey.isEmpty())
        return Fail(QStringLiteral("%1 is not an Ed25519 private key").arg(keyPath));
    // An updater that does not trust this key would refuse the update.
    QFile updater(folder.filePath(QLatin1String(UpdaterName)));
    if (!updater.open(QIODevice::ReadOnly) || !updater.readAll().contains(publicKey))
        return Fail(QStringLiteral("the Updater in %1 does not trust the key %2; build with "
                                   "-DTARNWICK_UPDATE_PUBLIC_KEY set to its public half")
                        .arg(appFolder, keyPath));

    for (const QFileInfo &entry : std::as_const(shipped)) {
        TFile f;
        f.name = entry.fileName();
        f.size = entry.size();
        f.mode = entry.permissions().testFlag(QFileDevice::ExeOwner) ? 0755 : 0644;
        f.sha256 = ReleaseSigning::FileSha256Hex(entry.filePath());
        if (f.sha256.isEmpty())
            return Fail(QStringLiteral("cannot read %1").arg(entry.filePath()));
        manifest.files.append(f);
    }
    const QByteArray json = ToJson(manifest);
    const QByteArray signature = ReleaseSigning::Sign(privateKey, json, error);
    if (signature.isEmpty())
        return Fail(error);

    const QDir out(outPath);
    if (!QDir().mkpath(out.filePath(QLatin1String(FilesFolder))))
        return Fail(QStringLiteral("cannot create %1").arg(outPath));
    QDir files(out.filePath(QLatin1String(FilesFolder)));
    for (const QString &stale : files.entryList(QDir::Files | QDir::Hidden))
        files.remove(stale);
    const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                          QFileDevice::ReadOther;
    for (qsizetype i = 0; i < manifest.files.size(); ++i) {
        const TFile &f = manifest.files[i];
        QFile source(shipped[i].filePath());
        if (!source.open(QIODevice::ReadOnly) || !WriteFile(files.filePath(f.name), source.readAll(), readable, error))
            return Fail(error.isEmpty() ? QStringLiteral("cannot read %1").arg(source.fileName()) : error);
    }
    // The description the program's check reads comes last: until it names
    // the new version, no user is sent to a half-written site.
    const QByteArray inf = "[APPLICATION]\r\nName=Tarnwick\r\nVersion=" + manifest.version.toLatin1() + "\r\n";
    if (!WriteFile(out.filePath(QLatin1String(ManifestName)), json, readable, error) ||
        !WriteFile(out.filePath(QLatin1String(SignatureName)), signature, readable, error) ||
        !WriteFile(out.filePath(QStringLiteral("mainappupdate.inf")), inf, readable, error))
        return Fail(error);
    std::printf("Update site for version %s (from %s on, %lld files) written to %s\n"
                "Upload the whole folder so that it is served at the build's update address.\n",
                qPrintable(manifest.version), qPrintable(minVersion), static_cast<long long>(manifest.files.size()),
                qPrintable(outPath));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(u"--help"_qs) || args.contains(u"-h"_qs)) {
        std::fputs(kHelp, stdout);
        return ExitOk;
    }
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == u"keygen")
        return Keygen(args);
    if (command == u"make")
        return Make(args);
    return UsageError(command.isEmpty() ? QStringLiteral("no command given")
                                        : QStringLiteral("unknown command \"%1\"").arg(command));
}
