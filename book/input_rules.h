#pragma once

#include <QString>

// The book's files have no escapes: what a field or a name may hold is what
// survives a save and a reload. Each check returns the reason a text is
// refused, or an empty string when it may go in.

// Fields 0 to 10 of an item and category names: one line of Windows-1252
// without the field delimiter.
QString RefusalForLine(const QString &text);

// The description: Windows-1252 whose line breaks survive escaping.
QString RefusalForDescription(const QString &text);
