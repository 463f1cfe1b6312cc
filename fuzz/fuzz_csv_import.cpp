// A CSV file to import: the reader (whole or a chunk at a time alike), the
// header detection and the import plan take any bytes, and what the plan
// gives the book is text the book's files can hold.
#include "book/csv.h"
#include "book/csv_book.h"
#include "fuzz_check.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray csv = FuzzBytes(data, size);
    const TCsvTable table = ReadCsv(csv);
    for (const TCsvRow &row : table.rows)
        FUZZ_CHECK(row.fields.size() <= kCsvMaxFields && row.row > 0 && row.line > 0);
    if (!table.rows.isEmpty())
        DetectCsvColumns(table.rows.first().fields);
    // Read a few bytes at a time, as a file on disk is, it gives the same.
    const TCsvTable chunked = ReadCsv(TCsvSource(csv, 3));
    FUZZ_CHECK(chunked.fault == table.fault && chunked.readAsAnsi == table.readAsAnsi
               && chunked.rows.size() == table.rows.size());
    for (qsizetype i = 0; i < table.rows.size(); ++i) {
        const TCsvRow &a = table.rows[i];
        const TCsvRow &b = chunked.rows[i];
        FUZZ_CHECK(a.row == b.row && a.line == b.line && a.fields == b.fields && a.fault == b.fault);
    }

    // Half the titles count as taken in the book, so the renaming runs too.
    const TImportPlan plan = PlanCsvImportInto(csv, TImportBook{{"Imported", "WORK"}, [](const QByteArray &, const QByteArray &t) {
                                               return t.size() % 2 == 1;
                                           }});
    FUZZ_CHECK(plan.fault.isEmpty() || plan.items.isEmpty());
    QSet<QPair<QByteArray, QByteArray>> keys;
    int lastRow = 0;
    for (const TImportItem &in : plan.items) {
        FUZZ_CHECK(in.row > lastRow);
        lastRow = in.row;
        for (const QByteArray &field : in.item.fields)
            FUZZ_CHECK(!field.contains('\xA5') && !field.contains('\r') && !field.contains('\n'));
        FUZZ_CHECK(!in.item.description.contains('\0'));
        // Every title is unique in its category and none is one the book has.
        const QPair<QByteArray, QByteArray> key{in.item.fields[0], in.item.fields[1]};
        FUZZ_CHECK(!keys.contains(key));
        keys.insert(key);
        FUZZ_CHECK(in.item.fields[1].size() % 2 == 0);
    }
    for (const TImportNote &note : plan.notes)
        FUZZ_CHECK(!DescribeNote(note).isEmpty());

    // The book's own export of what was planned reads back as the same items.
    if (plan.fault.isEmpty() && !plan.items.isEmpty()) {
        QList<TItemRecord> items;
        for (const TImportItem &in : plan.items)
            items << in.item;
        const TImportPlan again = PlanCsvImport(BookToCsv(items), TBookHasTitle{});
        FUZZ_CHECK(again.fault.isEmpty() && again.items.size() == items.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            FUZZ_CHECK(again.items[i].item.fields == items[i].fields);
            FUZZ_CHECK(again.items[i].item.description == items[i].description);
        }
    }
    return 0;
}
