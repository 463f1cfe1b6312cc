#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <functional>

// Whether a title is already borne by an item of the category the new item
// goes to. Titles compare byte for byte, as the editor's title check does.
using TTitleTaken = std::function<bool(const QByteArray &title)>;

// The title of a duplicate: "<title> (copy)", then "<title> (copy 2)",
// "(copy 3)" ... until one is free. Duplicating a copy counts on from its
// base title: duplicating "Shop (copy)" gives "Shop (copy 2)", not
// "Shop (copy) (copy)".
QByteArray DuplicateTitle(const QByteArray &title, const TTitleTaken &taken);
QByteArray DuplicateTitle(const QByteArray &title, const QByteArrayList &titlesInCategory);

// The title an imported item gets: its own when free, otherwise
// "<title> (2)", "<title> (3)" ... until one is free.
QByteArray ImportTitle(const QByteArray &title, const TTitleTaken &taken);
QByteArray ImportTitle(const QByteArray &title, const QByteArrayList &titlesInCategory);
