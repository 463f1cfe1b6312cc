#pragma once

#include "book/item_record.h"

#include <QString>

// The book's files have no escapes: what a field or a name may hold is what
// survives a save and a reload. Each check returns the reason a text is
// refused, or an empty string when it may go in.

// Fields 0 to 10 of an item and category names: one line of Windows-1252
// without the field delimiter.
QString RefusalForLine(const QString &text);

// The description: Windows-1252 whose line breaks survive escaping.
QString RefusalForDescription(const QString &text);

// Text copied from a mail or a terminal often ends with its line break. After
// a paste the cursor stands at the end of what went in: this removes the line
// breaks just before `pos` and moves `pos` back over them. False when there
// were none.
// The same for a book that spells its text as `book` does: a protected
// (UTF-8) book has no code page and no delimiter a character could be
// taken for, so only the shape of a line and NUL are refused.
QString RefusalForLine(const QString &text, TBookText book);
QString RefusalForDescription(const QString &text, TBookText book);

bool DropLineBreaksBefore(QString &text, int &pos);
