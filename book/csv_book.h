#pragma once

#include "book/csv.h"
#include "book/item_record.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The account book as CSV, and CSV lists of logins from other programs as
// items of the book.

// What the book's own export writes in its header row.
QStringList BookCsvHeader();

// The whole export: the header row, then one row per item in book order:
// category, title, program, website, login address, username, password,
// affiliate link, cloaked address, payout, payment day and the description
// with its line breaks, converted from Windows-1252 to UTF-8.
// A protected book's items (`text` Utf8) go out exactly as they are.
QByteArray BookToCsv(const QList<TItemRecord> &items, TBookText text = TBookText::Ansi);

// Where each item field comes from in a CSV file; -1 for none.
struct TCsvColumns
{
    QString format;  // what the header row was recognised as, for the preview
    bool own = false; // the book's own export: every field has a column
    int category = -1;
    int title = -1;
    int program = -1;
    int website = -1;
    int login = -1;
    int username = -1;
    int password = -1;
    int affiliate = -1;
    int cloaked = -1;
    int payout = -1;
    int paymentDay = -1;
    int description = -1;
    QStringList ignored; // header names no field takes
    // The address column may hold several addresses separated by commas (a
    // password manager's "login_uri"): the first is the login address, the
    // second the website.
    bool addressList = false;
    // The category column holds group paths that start with the file's root
    // group ("Root/Shops"), which the book has no use for.
    bool groupPath = false;

    bool Recognised() const { return password >= 0 && (title >= 0 || website >= 0); }
};

// Recognises a header row: the book's own export, or a list of logins whose
// columns carry the usual names (name/title, url/login_uri,
// username/login/login_username, password/login_password, notes/extra,
// folder/grouping/group), compared ignoring case and surrounding blanks.
// A header without a password column and a name or address column is not
// recognised.
TCsvColumns DetectCsvColumns(const QStringList &header);

// Why a row of the file gives no item.
enum class TImportSkip {
    None,       // the row is imported
    Unstorable, // its username or password cannot be stored exactly
    Malformed,  // the CSV of the row is broken
    FieldCount, // another number of fields than the header row
    Empty,      // nothing to import
    InBook,     // an item of the same category, title, username and password is in the book
    Repeated,   // an earlier row of the file gives the same item
};

// One thing the import does to a row that the user should see before it
// happens.
struct TImportNote
{
    int row = 0;   // the row of the file (1 is the header); 0 for the file as a whole
    QString field; // the field concerned, empty for the whole row
    QString problem;
    QString action; // what the import does about it
    TImportSkip skip = TImportSkip::None; // the row is left out, and why
};

struct TImportItem
{
    int row = 0;
    TItemRecord item; // as the book spells text (TImportPlan::text); fields 0 to 10 and the description
};

struct TImportPlan
{
    TCsvColumns columns;
    QStringList header;       // the file's header row as read
    QList<TImportItem> items; // in file order; empty when a sink took them (MapCsvImport)
    qsizetype itemCount = 0;  // the items the file gives, held in `items` or not
    // Categories the items need that the book lacks, in the order of first
    // use; the import adds them before the items.
    QByteArrayList newCategories;
    QList<TImportNote> notes; // in row order; file-wide ones first
    // Rows left out because their username or password cannot be stored
    // exactly, as far as they can be shown: category, title, address and
    // username as the book would have held them. Their notes say why.
    QList<TImportItem> refused; // empty when a sink took them
    QString fault;            // the file cannot be imported at all; items is empty
    TBookText text = TBookText::Ansi; // how the items spell their text: the book's own way

    // How many rows of the file give no item, for whatever reason.
    qsizetype SkippedRows() const;
    // How many of them are lost: not imported and not already in the book
    // (nor given by an earlier row).
    qsizetype LostRows() const;
};

// The category an item lands in when its row names no folder.
constexpr const char *kImportedCategory = "Imported";

// Whether the book already has an item of that title in that category (byte
// for byte); titles given out earlier in the same import are tracked by the
// plan itself.
using TBookHasTitle = std::function<bool(const QByteArray &category, const QByteArray &title)>;

// An item as the import compares it with a row, to leave out what the book
// already holds.
struct TBookLogin
{
    QByteArray title;
    QByteArray username;
    QByteArray password;
};
// The items the book shows in the category of that name (byte for byte).
using TBookLoginsIn = std::function<QList<TBookLogin>(const QByteArray &category)>;

// What a plan needs to know of the book it is made for.
struct TImportBook
{
    QByteArrayList categories; // the book's category names, in book order
    TBookHasTitle hasTitle;
    // A protected book (Utf8) holds every character: nothing is replaced
    // and no row is left out for its username or password, but for a line
    // break or a NUL, which no field but the description can hold.
    TBookText text = TBookText::Ansi;
    TBookLoginsIn loginsIn = {}; // none: nothing counts as already in the book
    // `hasTitle` answers for the items given so far too, because the sink
    // adds them to this very book: the import then keeps no list of the
    // titles it gave.
    bool holdsGiven = false;
};

// Reads a CSV file and maps it to items without touching the book. Rows that
// are malformed or carry nothing to import are left out and noted, and so are
// rows whose username or password the book cannot hold exactly (the rule of
// RefusalForLine): a changed secret would fail where it is used. In the other
// fields, text the book's files cannot hold is replaced, never silently:
// - a character outside Windows-1252, or the field delimiter "¥", becomes "?";
// - a line break in a single-line field becomes a blank;
// - in the description, "¥" or "§" that would be read back as a line break
//   becomes "?"; line breaks of the book's own export stay as they are,
//   those of other lists become CR LF, as the editor writes them;
// - a title already taken in its category gets " (2)", " (3)" ...;
// - a row whose category, title, username and password equal an item of the
//   book, or a row before it, is left out: importing a file twice adds
//   nothing. An item titled as the import numbers a taken title ("Mail (2)")
//   counts as one of the row's title ("Mail");
// - of several addresses in a password manager's "login_uri" the first is
//   the login address and the second the website;
// - a group path whose every row starts with the same root group loses it
//   ("Root/Shops" -> "Shops"); an item in the root group itself keeps its
//   name as category;
// - a category the book holds under another spelling (case, surrounding
//   blanks: a name the book would refuse to add beside it) takes the book's
//   spelling, and so do later rows that spell a category of the same import
//   differently;
// each with its row and field in the notes.
TImportPlan PlanCsvImportInto(const QByteArray &csv, const TImportBook &book, qsizetype maxBytes = kCsvMaxBytes);

// Takes what an import gives as the rows are read, so that a large file's
// items are never all held apart from the book.
class TImportSink
{
public:
    virtual ~TImportSink() = default;
    // A category the items need that the book lacks, before its first item.
    virtual void AddCategory(const QByteArray &name) = 0;
    virtual void AddItem(TImportItem &&item) = 0;
    // A row left out for its username or password (TImportPlan::refused).
    virtual void Refuse(TImportItem &&row) = 0;
};

// PlanCsvImportInto with every new category, item and refused row handed to
// `sink` (none when it is null) instead of being kept in the plan. A fault
// of the whole file is found before the first item whenever the file stays
// as it was between the reader's passes; one found later (a file that grew
// meanwhile) comes back in `fault` after the sink has had part of it.
// An exception of the sink ends the import and goes to the caller.
TImportPlan MapCsvImport(const TCsvSource &csv, const TImportBook &book, TImportSink *sink,
                         qsizetype maxBytes = kCsvMaxBytes);
// The same for a book whose categories need not be known: every category
// the file names counts as new unless it is spelt as an earlier row spelt it.
TImportPlan PlanCsvImport(const QByteArray &csv, const TBookHasTitle &bookHasTitle,
                          qsizetype maxBytes = kCsvMaxBytes);

// One line per note, for the preview and the command-line tool:
// "Row 5, Password: <problem>: <action>".
QString DescribeNote(const TImportNote &note);

// The rows left out, how many and why, in a sentence for the preview, the
// closing summary and the tool ("3 row(s) of the file are not imported:
// 2 whose ... (rows 4, 9); 1 malformed (row 7)."); `done` words it in the past.
// Empty when every row gave an item.
QString DescribeSkippedRows(const TImportPlan &plan, bool done = false);
