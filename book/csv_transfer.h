#pragma once

#include "book/csv_book.h"

#include <QByteArray>
#include <QString>

#include <functional>

class TAccountBook;

// Import and export between the account book and CSV files, shared by the
// window and the command-line tool. Nothing here asks the user or saves the
// book; the caller does both.

// The whole book as CSV, records in file order (also those no category shows).
QByteArray ExportBookCsv(const TAccountBook &book);

// Why `path` must not take an export of the book in `appFolder`: it is one of
// the book's own files. Empty when it may.
QString ExportTargetRefusal(const QString &appFolder, const QString &path);

// Writes an export: atomically, and owner-only whatever mode a file of that
// name had, as it holds every password in clear text. Throws EFileError; a
// failure leaves an earlier file whole.
void SaveCsvExport(const QString &path, const QByteArray &csv);

// Reads a file to import, refusing one larger than `maxBytes` before reading
// it (and one that grows past it while being read). Throws EFileError.
QByteArray ReadCsvFile(const QString &path, qsizetype maxBytes = kCsvMaxBytes);

// The file to import as a source that is read a chunk at a time at every
// pass, never whole; a pipe or a device, which could not be read twice, is
// read into memory at once as ReadCsvFile does. Throws EFileError for a file
// that cannot be opened or is larger than `maxBytes`.
TCsvSource OpenCsvFile(const QString &path, qsizetype maxBytes = kCsvMaxBytes);

// What PlanCsvImport needs of the book.
TImportBook ImportBookOf(const TAccountBook &book);

struct TImportDone
{
    int items = 0;
    int newCategories = 0;
};

// Adds the plan's new categories, then its items in file order, to the book
// the plan was made for. Throws EAppError when the book no longer fits the
// plan (a category or title taken since); what was added before stays.
TImportDone ApplyCsvImport(TAccountBook &book, const TImportPlan &plan);

// Reads `csv` and adds its categories and items to the book as the rows are
// read (MapCsvImport), so that they are never held apart from it. The plan
// comes back without items; `done` tells what was added, also when an
// exception ends the import. `beforeFirstChange` runs once before the book
// first changes and may throw to stop it: a file that gives nothing calls
// it not at all.
TImportPlan ImportCsvInto(TAccountBook &book, const TCsvSource &csv, TImportDone *done,
                          const std::function<void()> &beforeFirstChange = {});
