#pragma once

#include <QByteArray>

// The tagged text inside the settings container: "<%%Name%%>value<%%/Name%%>".
// Tags match whatever the case of the ASCII letters a to z; values keep their
// own bytes.

QByteArray OpenTag(const QByteArray &name);
QByteArray CloseTag(const QByteArray &name);

enum class TTagFound {
    Missing,  // no open tag in the remaining text
    Unclosed, // open tag without a close tag after it: the value is empty
    Found,
};

// Takes the value between the first open tag of `remaining` and the close tag
// after it, and shortens `remaining` so that the next search starts at that
// close tag (or right after the open tag when there is no close tag). A
// missing open tag leaves `remaining` as it was. Because the text is consumed,
// tags must be searched in the order in which they stand.
QByteArray ExtractTagValue(const QByteArray &openTag, const QByteArray &closeTag, QByteArray &remaining,
                           TTagFound *found = nullptr);

// Position of `needle` in `haystack` from `from` on, ASCII letters compared
// without case; -1 when absent.
qsizetype IndexOfIgnoringAsciiCase(const QByteArray &haystack, const QByteArray &needle, qsizetype from = 0);
