#pragma once

#include <QByteArray>
#include <QString>

// The id of the last news item the user has read, kept as the line
// "<%%LastNewsId%%>id<%%/LastNewsId%%>" inside the settings container of the
// application folder (trailing separator). Both work on the file each time.

// The stored id; empty without a container, without the marker, or when the
// container does not open.
QByteArray ReadLastNewsId(const QString &appFolder);

// Replaces the first line that holds the open tag (exact case) with the marker
// line, or appends one; every other line comes back unchanged and in order.
// Changes nothing and gives false when the id holds a line break, a NUL or
// "<%%", or when the container is missing, does not
// open or fails its authentication code, or cannot be rewritten; the old
// container then stays whole.
bool WriteLastNewsId(const QString &appFolder, const QByteArray &id);

// The same on the container at `containerPath`, through the temporary
// plaintext file `plainPath`: for a container that is not yet in its folder,
// such as one an update is about to put there.
bool WriteLastNewsIdInto(const QString &containerPath, const QString &plainPath, const QByteArray &id);
