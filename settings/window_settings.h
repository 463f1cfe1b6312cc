#pragma once

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
    bool Save(const TWindowState &state) const;

private:
    QString m_path;
};
