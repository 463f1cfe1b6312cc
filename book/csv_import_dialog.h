#pragma once

#include "book/csv_book.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

// Shows what an import of a CSV file will do before anything is written: the
// format the header was recognised as, which column fills which field, the
// items with the category and title they get (passwords hidden), the new
// categories, and every row whose text the book cannot hold with what is
// done about it: on the first page beside the row itself, with the rows left
// out because their username or password cannot be stored exactly, and how
// many rows are left out and why in the summary above the pages.
class TfrmCsvImport : public QDialog
{
    Q_OBJECT
public:
    // Lists are cut at this many rows, with a last row saying how many more.
    static constexpr int kMaxListed = 2000;

    explicit TfrmCsvImport(QWidget *parent = nullptr);
    // Fills the dialog without showing it.
    void SetPlan(const TImportPlan &plan, const QString &fileName);
    // Shows it; true when "Import" closed it.
    bool Confirm(const TImportPlan &plan, const QString &fileName);

    QLabel *lblSummary = nullptr;
    QTreeWidget *lvwColumns = nullptr;
    QTreeWidget *lvwItems = nullptr;
    QTreeWidget *lvwNotes = nullptr;
    QPushButton *btnImport = nullptr;
    QPushButton *btnCancel = nullptr;
};
