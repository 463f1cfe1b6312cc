#pragma once

#include <QString>

// Private temporary folders: each carries the program's prefix and the number
// of the process that made it, so that a later run can tell the folders of a
// run that was killed (and so never cleaned up after itself) from those of a
// run still going.
namespace PrivateTemp {

// A QTemporaryDir template under `root` (the system's temporary folder when
// empty) for a folder of this process; `purpose` is a short word.
QString Template(const QString &purpose, const QString &root = QString());

// Removes the folders under `root` (the system's temporary folder when empty)
// that a run of this program left behind: named by Template(), owned by this
// user, real folders (a link is never followed), and made by a process that
// is no longer this program. Returns how many were removed.
int RemoveLeftovers(const QString &root = QString());

} // namespace PrivateTemp

// Keeps other processes of the user from reading this one's memory (tracing,
// core files): the book holds passwords. True when the system agreed.
bool MakeProcessUndumpable();
