#include "desktop_entry.h"

#include "settings/branding_settings.h"
#include "settings/publisher_files.h"
#include "util/codepage.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>

namespace DesktopEntry {
namespace {

bool HasControl(const QString &s)
{
    for (const QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

// A string value: backslash is the only character to escape once control
// characters are excluded.
QByteArray StringValue(const QByteArray &s)
{
    QByteArray out = s;
    out.replace('\\', "\\\\");
    return out;
}

bool WriteFile(const QString &path, const QByteArray &bytes, QString &error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString CleanFolder(const QString &appFolder)
{
    return QDir::cleanPath(QDir(appFolder).absolutePath());
}

// The brand of the folder as UTF-8, empty for none.
QByteArray BrandOf(const QString &appFolder)
{
    return FromAnsi(BrandApplicationName(CleanFolder(appFolder) + u'/')).toUtf8();
}

QString EntryPath(const QString &dataHome, const QByteArray &id)
{
    return QDir(dataHome).filePath(QStringLiteral("applications/%1.desktop").arg(QString::fromLatin1(id)));
}

QString BrandIconPath(const QString &dataHome, const QByteArray &id)
{
    return QDir(dataHome).filePath(QStringLiteral("icons/hicolor/256x256/apps/%1.png").arg(QString::fromLatin1(id)));
}

// Earlier versions wrote every folder's entry as AppId.desktop; the one that
// names this folder is this folder's and goes when it gets its own.
void RemoveEarlierEntry(const QString &folder, const QString &dataHome)
{
    const QString earlier = EntryPath(dataHome, AppId);
    QFile file(earlier);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray text = file.read(64 * 1024);
    file.close();
    if (text.contains("\nPath=" + StringValue(folder.toUtf8()) + "\n"))
        QFile::remove(earlier);
}

} // namespace

QByteArray EntryId(const QString &appFolder, const QByteArray &brandName)
{
    QByteArray letters;
    for (const char c : brandName)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            letters.append(c);
    // An element of an id may not start with a digit.
    if (letters.isEmpty() || (letters.front() >= '0' && letters.front() <= '9'))
        letters.prepend(DefaultName);
    const QByteArray digest =
        QCryptographicHash::hash(CleanFolder(appFolder).toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
    return QByteArray(AppId) + '.' + letters.left(40) + '_' + digest;
}

QByteArray EntryName(const QByteArray &brandName)
{
    // The name comes from the publisher's container and may span lines; one
    // line of it, without control characters, is all an entry can carry.
    QByteArray name;
    for (const char c : brandName)
        name.append((static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? ' ' : c);
    name = name.simplified();
    return name.isEmpty() ? QByteArray(DefaultName) : StringValue(name);
}

QByteArray ExecValue(const QString &program)
{
    if (HasControl(program))
        return {};
    // Quoted as one argument: inside the quotes ", `, $ and \ take a
    // backslash; a % would start a field code and is doubled.
    QByteArray quoted;
    for (const char c : program.toUtf8()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted.append('\\');
        if (c == '%')
            quoted.append('%');
        quoted.append(c);
    }
    return StringValue('"' + quoted + '"');
}

QByteArray Text(const QString &appFolder, const QByteArray &name, const QByteArray &icon)
{
    const QString folder = CleanFolder(appFolder);
    const QByteArray exec = ExecValue(folder + QStringLiteral("/tarnwick"));
    if (exec.isEmpty())
        return {};
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + name + "\n"
           "Comment=Keep the accounts of your affiliate programs\n"
           "Exec=" + exec + "\n"
           "Path=" + StringValue(folder.toUtf8()) + "\n"
           "Icon=" + icon + "\n"
           "Terminal=false\n"
           "Categories=Office;Finance;\n"
           "StartupWMClass=tarnwick\n";
}

bool Install(const QString &appFolder, const QString &dataHome, QString &error)
{
    const QByteArray brand = BrandOf(appFolder);
    const QByteArray id = EntryId(appFolder, brand);
    // The brand's icon, when main.ico is one, under the entry's own name: two
    // brands never share an icon.
    QByteArray icon = IconName;
    QFile ico(QDir(appFolder).filePath(QLatin1String(kIconFileName)));
    const QByteArray png = ico.open(QIODevice::ReadOnly) ? IconAsPng(ico.read(4 * 1024 * 1024 + 1)) : QByteArray();
    const QByteArray entry = Text(appFolder, EntryName(brand), png.isEmpty() ? icon : id);
    if (entry.isEmpty()) {
        error = QStringLiteral("the folder's name cannot be written in a desktop entry");
        return false;
    }
    const QDir from(appFolder);
    const QDir to(dataHome);
    // The icons beside the program go where the icon theme looks for them.
    struct TIcon
    {
        const char *file;
        const char *size;
        const char *ext;
    };
    for (const TIcon icon : {TIcon{"tarnwick.svg", "scalable", "svg"}, TIcon{"tarnwick-48.png", "48x48", "png"},
                             TIcon{"tarnwick-128.png", "128x128", "png"}, TIcon{"tarnwick-256.png", "256x256", "png"}}) {
        QFile source(from.filePath(QLatin1String(icon.file)));
        if (!source.open(QIODevice::ReadOnly))
            continue;
        const QString target = to.filePath(QStringLiteral("icons/hicolor/%1/apps/%2.%3")
                                               .arg(QLatin1String(icon.size), QLatin1String(IconName),
                                                    QLatin1String(icon.ext)));
        if (!WriteFile(target, source.readAll(), error))
            return false;
    }
    if (!png.isEmpty() && !WriteFile(BrandIconPath(dataHome, id), png, error))
        return false;
    if (!WriteFile(EntryPath(dataHome, id), entry, error))
        return false;
    RemoveEarlierEntry(CleanFolder(appFolder), dataHome);
    return true;
}

bool Remove(const QString &appFolder, const QString &dataHome, QString &error)
{
    const QByteArray id = EntryId(appFolder, BrandOf(appFolder));
    RemoveEarlierEntry(CleanFolder(appFolder), dataHome);
    // The program's own icons stay: every unbranded folder's entry uses them.
    QFile::remove(BrandIconPath(dataHome, id));
    const QString entry = EntryPath(dataHome, id);
    if (QFileInfo::exists(entry) && !QFile::remove(entry)) {
        error = QStringLiteral("cannot remove %1").arg(entry);
        return false;
    }
    return true;
}

int RunCommandLine(int argc, char **argv)
{
    if (argc != 2)
        return -1;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", AppVersion);
        return 0;
    }
    const bool install = std::strcmp(argv[1], "--install-desktop-entry") == 0;
    if (install || std::strcmp(argv[1], "--remove-desktop-entry") == 0) {
        QCoreApplication core(argc, argv);
        const QString folder = QCoreApplication::applicationDirPath();
        const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QString error;
        if (dataHome.isEmpty() || !(install ? Install(folder, dataHome, error) : Remove(folder, dataHome, error))) {
            std::fprintf(stderr, "tarnwick: %s\n", qPrintable(error));
            return 1;
        }
        std::printf(install ? "Desktop entry for %s written to %s\n" : "Desktop entry for %s removed from %s\n",
                    qPrintable(folder), qPrintable(QDir(dataHome).filePath(QStringLiteral("applications"))));
        return 0;
    }
    return -1;
}

} // namespace DesktopEntry
