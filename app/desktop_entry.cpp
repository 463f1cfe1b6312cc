#include "desktop_entry.h"

#include "settings/branding_settings.h"

#include <QCoreApplication>
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

} // namespace

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

QByteArray Text(const QString &appFolder)
{
    const QString folder = QDir::cleanPath(QDir(appFolder).absolutePath());
    const QByteArray exec = ExecValue(folder + QStringLiteral("/tarnwick"));
    if (exec.isEmpty())
        return {};
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tarnwick\n"
           "Comment=Keep the accounts of your affiliate programs\n"
           "Exec=" + exec + "\n"
           "Path=" + StringValue(folder.toUtf8()) + "\n"
           "Icon=" + QByteArray(IconName) + "\n"
           "Terminal=false\n"
           "Categories=Office;Finance;\n"
           "StartupWMClass=tarnwick\n";
}

bool Install(const QString &appFolder, const QString &dataHome, QString &error)
{
    const QByteArray entry = Text(appFolder);
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
    return WriteFile(to.filePath(QStringLiteral("applications/%1.desktop").arg(QLatin1String(AppId))), entry, error);
}

int RunCommandLine(int argc, char **argv)
{
    if (argc != 2)
        return -1;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", AppVersion);
        return 0;
    }
    if (std::strcmp(argv[1], "--install-desktop-entry") == 0) {
        QCoreApplication core(argc, argv);
        const QString folder = QCoreApplication::applicationDirPath();
        const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QString error;
        if (dataHome.isEmpty() || !Install(folder, dataHome, error)) {
            std::fprintf(stderr, "tarnwick: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("Desktop entry for %s written to %s\n", qPrintable(folder),
                    qPrintable(QDir(dataHome).filePath(QStringLiteral("applications"))));
        return 0;
    }
    return -1;
}

} // namespace DesktopEntry
