#pragma once

#include <QString>

// The book holds every login and password of its user: what the program
// creates for itself is readable by its owner alone, whatever the umask.

// Makes `path` an owner-only folder: created with that mode when missing,
// narrowed when it exists. Returns false when it is not a usable folder.
bool MakeOwnerOnlyFolder(const QString &path);
