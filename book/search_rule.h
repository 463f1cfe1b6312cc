#pragma once

#include "book/item_record.h"

#include <QByteArray>
#include <QString>

#include <string>

// Folds Windows-1252 text for searching: ASCII and accented letters lose case
// and accents (é -> e, Ä -> a), ligatures and sharp s spell out (ß -> ss,
// æ -> ae, œ -> oe, þ -> th), typographic quotes and dashes become their ASCII
// forms and a no-break space a space. Everything else stays as it is.
QByteArray FoldAnsi(const QByteArray &text);

// The text the search looks at for one item, folded: category, title,
// program, the four addresses, username, payout, payment day and description,
// never the password. Fields are kept apart so that a match never spans two
// of them. A model that keeps this per item filters without folding again.
QByteArray FoldedSearchText(const TItemRecord &item, TBookText text = TBookText::Ansi);

// Folds UTF-8 text of a protected book for searching, in any script:
// compatibility decomposition, combining marks dropped, then Unicode case
// folding (é -> e, Ä -> a, Σ -> σ, ß -> ss, ﬁ -> fi).
QByteArray FoldUtf8(const QByteArray &text);

// Decides, for one search text, which items and categories stay in view. Built
// once per keystroke; matching allocates nothing after the first few calls.
class TSearchRule
{
public:
    // Search text as typed: surrounding blanks are ignored; characters the
    // book cannot hold are first stripped of their accents, and when one is
    // still left nothing can match.
    explicit TSearchRule(const QString &text);
    // For a book that spells its text as `bookText`: a protected book's
    // search text can hold any character, and its records fold as UTF-8.
    TSearchRule(const QString &text, TBookText bookText);
    // Search text already in Windows-1252.
    explicit TSearchRule(const QByteArray &ansiText);

    // An empty search text keeps everything.
    bool IsEmpty() const { return m_empty; }

    bool MatchesCategory(const QByteArray &name) const;
    bool MatchesItem(const TItemRecord &item) const;
    // A line of items.dat as it stands, of either record shape; the password
    // (field 6) is skipped and the description read with its line breaks.
    bool MatchesRecord(const QByteArray &record) const;
    // Text made by FoldedSearchText.
    bool MatchesFolded(const QByteArray &foldedText) const;
    // The same text held elsewhere, such as one buffer for a whole book.
    bool MatchesFolded(const char *foldedText, qsizetype size) const;
    // Where the search text first occurs in folded text, or -1. An empty
    // rule answers 0; one that can match nothing, -1.
    qsizetype IndexInFolded(const char *foldedText, qsizetype size) const;
    // Bytes of the folded search text.
    qsizetype FoldedSize() const { return m_needle.size(); }

private:
    void Init(const QByteArray &ansiText, bool impossible);
    void InitFolded(const QByteArray &needle, bool impossible);
    bool Find(const char *data, size_t size) const { return Position(data, size) >= 0; }
    qsizetype Position(const char *data, size_t size) const;

    QByteArray m_needle;
    TBookText m_text = TBookText::Ansi;
    bool m_empty = true;
    bool m_impossible = false;
    size_t m_rareAt = 0;  // the needle's byte least likely to occur
    size_t m_rare2At = 0; // and the next least likely, elsewhere
    mutable std::string m_scratch;
};
