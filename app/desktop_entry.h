#pragma once

#include <QByteArray>
#include <QString>

// The desktop's menu entry for one application folder, and the command-line
// options that do their work without a window.
namespace DesktopEntry {

inline constexpr char AppId[] = "org.tarnwick.Tarnwick";
inline constexpr char IconName[] = "tarnwick";

// The Exec value that starts `program` with no arguments, quoted and escaped
// for a desktop entry; empty when the path holds a line break or another
// control character, which no desktop entry can carry.
QByteArray ExecValue(const QString &program);
// The whole entry for the program in `appFolder` (with or without the
// trailing separator); empty when the folder cannot be named in one.
QByteArray Text(const QString &appFolder);
// Writes the entry and the icons below `dataHome` (the user's XDG data home).
bool Install(const QString &appFolder, const QString &dataHome, QString &error);

// --version and --install-desktop-entry: the exit code when argv held one of
// them, -1 to start the program as usual.
int RunCommandLine(int argc, char **argv);

} // namespace DesktopEntry
