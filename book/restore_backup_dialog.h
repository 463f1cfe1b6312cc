#pragma once

#include "book_backups.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

// Lists the backups of the account book, newest first, with their date,
// their number of categories and items and what they hold that the current
// book does not, and lets the user choose one.
class TfrmRestoreBackup : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmRestoreBackup(QWidget *parent = nullptr);
    // Shows the dialog; true with the chosen backup's stamp when "Restore"
    // closed it.
    bool Choose(const QList<TBookBackup> &backups, QString *stamp);

    QTreeWidget *lvwBackups = nullptr;
    QPushButton *btnRestore = nullptr;
    QPushButton *btnCancel = nullptr;
};
