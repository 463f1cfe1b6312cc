#pragma once

#include <QByteArray>
#include <QString>

// The desktop's menu entry for one application folder, and the command-line
// options that do their work without a window.
namespace DesktopEntry {

inline constexpr char AppId[] = "org.tarnwick.Tarnwick";
inline constexpr char IconName[] = "tarnwick";
inline constexpr char DefaultName[] = "Tarnwick";

// The Exec value that starts `program` with no arguments, quoted and escaped
// for a desktop entry; empty when the path holds a line break or another
// control character, which no desktop entry can carry.
QByteArray ExecValue(const QString &program);
// The desktop-file id of the program in `appFolder` under the brand
// `brandName` (UTF-8; empty for none): AppId, the brand's letters and digits
// and a digest of the folder, so that every brand and every folder has an
// entry of its own and installing one never replaces another's.
QByteArray EntryId(const QString &appFolder, const QByteArray &brandName);
// The entry's Name: the brand's name on one line, or DefaultName.
QByteArray EntryName(const QByteArray &brandName);
// The whole entry for the program in `appFolder` (with or without the
// trailing separator), named `name` with the icon `icon`; empty when the
// folder cannot be named in one.
QByteArray Text(const QString &appFolder, const QByteArray &name = DefaultName,
                const QByteArray &icon = IconName);
// Writes the entry and the icons below `dataHome` (the user's XDG data home):
// named after the folder's brand, with the brand's icon (main.ico) when it
// has one.
bool Install(const QString &appFolder, const QString &dataHome, QString &error);
// Removes what Install wrote for `appFolder`, and nothing of another entry.
bool Remove(const QString &appFolder, const QString &dataHome, QString &error);

// --version, --install-desktop-entry and --remove-desktop-entry: the exit
// code when argv held one of them, -1 to start the program as usual.
int RunCommandLine(int argc, char **argv);

} // namespace DesktopEntry
