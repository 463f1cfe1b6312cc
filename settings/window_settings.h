#pragma once

#include <QByteArrayList>
#include <QDate>
#include <QList>
#include <QMap>
#include <QRect>
#include <QString>

// How the main window was left, kept per application folder in a small INI
// file beside the book, so two copies of the program in two folders each
// remember their own.
struct TWindowState
{
    QRect geometry;   // the window's normal geometry; invalid when none was stored
    bool maximized = false;
    // Sizes of the panes of each splitter, by the splitter's object name (a
    // letter or underscore, then letters, digits and underscores); a splitter
    // without an entry keeps the sizes it was built with.
    QMap<QString, QList<int>> splitters;
    bool remindersOn = true;
    QDate lastReminder; // invalid when no reminder was shown yet
    // The item's password as plain text (as the window always showed it)
    // rather than as dots.
    bool passwordShown = true;
};

// How a protected book of the folder locks itself, and whether the user
// declined protecting the folder's first book. Kept in the same file but
// owned by the book's lock, not by the window's layout: a layout saved from
// a state read before either changed carries them over as they stand.
struct TBookLockSettings
{
    int idleMinutes = 10; // 0: never
    bool protectOfferDeclined = false;
    bool operator==(const TBookLockSettings &) const = default;
};

// The book's tree as it was left: the open categories and the selected node,
// by the book's own bytes (category name, and title for an item). Owned by
// the tree, carried over by the other saves like the lock's settings. A
// protected book's names never go here.
struct TTreeState
{
    QByteArrayList open;
    QByteArray category; // empty: nothing selected
    QByteArray title;    // empty: the category itself
    bool operator==(const TTreeState &) const = default;
};

constexpr const char *kWindowSettingsFile = "tarnwick.ini";

class TWindowSettings
{
public:
    // `folder`: the application folder, with or without a trailing separator.
    explicit TWindowSettings(const QString &folder);

    QString Path() const { return m_path; }

    // The stored state. A missing, unreadable, oversized or damaged file, and
    // any value out of range, give the defaults for what it concerns.
    TWindowState Load() const;

    // Writes the whole state through a temporary file renamed over the old
    // one; false, with the old file whole, when that fails.
    // The book lock's settings as the file holds them now.
    bool Save(const TWindowState &state) const;

    // Defaults for a missing or damaged file and for values out of 0..1440.
    TBookLockSettings LoadBookLock() const;
    // Writes them with the window's state as the file holds it.
    bool SaveBookLock(const TBookLockSettings &lock) const;

    // Empty for a missing or damaged file or entry. Open categories beyond
    // what the file has room for are left out when saved.
    TTreeState LoadTree() const;
    bool SaveTree(const TTreeState &tree) const;

private:
    bool Write(const TWindowState &state, const TBookLockSettings &lock, const TTreeState &tree) const;

    QString m_path;
};
