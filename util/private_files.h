#pragma once

#include <QString>

// The book holds every login and password of its user: what the program
// creates for itself is readable by its owner alone, whatever the umask.

// Creates `path` as an empty owner-only file when nothing is there yet, so a
// QSaveFile that replaces it afterwards writes an owner-only file from its
// first byte (it gives a new file the umask's mode, an existing one its own).
// Returns false, with the system's reason in `reason` when given, when the
// file could not be created.
bool CreateOwnerOnlyFileIfMissing(const QString &path, QString *reason = nullptr);

// Makes `path` an owner-only folder: created with that mode when missing,
// narrowed when it exists. Returns false when it is not a usable folder.
bool MakeOwnerOnlyFolder(const QString &path);
