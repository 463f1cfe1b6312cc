// The account book to and from CSV files: the export, which warns that the
// file holds every password in clear text, and the import, which shows what
// it will do before anything is written.
#include "main_window.h"

#include "book/book_folder.h"
#include "book/csv_import_dialog.h"
#include "book/csv_transfer.h"
#include "util/error_reporter.h"

#include <QDir>
#include <QFileDialog>

namespace {

const QString kCsvFilter = QStringLiteral("CSV files (*.csv);;All files (*)");

} // namespace

void TfrmMain::ConnectCsvHandlers()
{
    ChooseCsvExportFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                            QDir::home().filePath(QStringLiteral("tarnwick-book.csv")), kCsvFilter);
    };
    ChooseCsvImportFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Import CSV"), QDir::homePath(), kCsvFilter);
    };
    ConfirmCsvImport = [this](const TImportPlan &plan, const QString &path) {
        TfrmCsvImport dialog(this);
        return dialog.Confirm(plan, path);
    };
}

void TfrmMain::SetCsvExportChooser(std::function<QString()> choose)
{
    ChooseCsvExportFile = std::move(choose);
}

void TfrmMain::SetCsvImportChooser(std::function<QString()> choose)
{
    ChooseCsvImportFile = std::move(choose);
}

void TfrmMain::SetCsvImportPreview(std::function<bool(const TImportPlan &plan, const QString &path)> confirm)
{
    ConfirmCsvImport = std::move(confirm);
}

void TfrmMain::actExportCsvClick()
{
    // The export holds the book as stored: typing not yet stored is asked
    // about first, as when the selection moves.
    if (!FormCloseQuery())
        return;
    if (msgMain->MessageDlg(QStringLiteral("The CSV file will hold every password of the account book in clear "
                                           "text: anyone who can read the file can read them. Keep it where "
                                           "only you can reach it and delete it when it is no longer needed.\n\n"
                                           "Do you want to export the account book?"),
                            TMsgDlgType::mtWarning, TMsgDlgButtons(mbYes) | mbNo)
        != TModalResult::mrYes)
        return;
    const QString path = ChooseCsvExportFile ? ChooseCsvExportFile() : QString();
    if (path.isEmpty())
        return;
    const TBookExport exported = m_folder->ExportCsv(path);
    if (!exported.refusal.isEmpty()) {
        msgMain->MessageDlg(exported.refusal, TMsgDlgType::mtError, mbOK);
        return;
    }
    if (!exported.error.isEmpty())
        return ErrorReporter::Report(exported.error);
    msgMain->MessageDlg(QStringLiteral("%1 item(s) were exported to \"%2\".")
                            .arg(exported.items)
                            .arg(QDir::toNativeSeparators(path)),
                        TMsgDlgType::mtInformation, mbOK);
}

void TfrmMain::actImportCsvClick()
{
    // The plan is made against the book as stored, so typing not yet stored
    // is settled first.
    if (!FormCloseQuery())
        return;
    const QString path = ChooseCsvImportFile ? ChooseCsvImportFile() : QString();
    if (path.isEmpty())
        return;
    const TImportPlan plan = m_folder->PlanImport(ReadCsvFile(path));
    if (!plan.fault.isEmpty()) {
        msgMain->MessageDlg(QStringLiteral("\"%1\" cannot be imported. %2")
                                .arg(QDir::toNativeSeparators(path), plan.fault),
                            TMsgDlgType::mtError, mbOK);
        return;
    }
    if (!ConfirmCsvImport || !ConfirmCsvImport(plan, path) || plan.items.isEmpty())
        return;

    const TBookImport imported = m_folder->Import(plan);
    switch (imported.outcome) {
    case TBookImport::TOutcome::NoBackup:
        msgMain->MessageDlg(QStringLiteral("No backup of the account book could be kept in the folder \"%1\", "
                                           "so nothing was imported.\n\n%2")
                                .arg(QDir::toNativeSeparators(imported.backupFolder), imported.error),
                            TMsgDlgType::mtError, mbOK);
        return;
    case TBookImport::TOutcome::Refused:
        // What was added before the book refused stays off the screen too.
        ReloadBook();
        return ErrorReporter::Report(imported.error);
    case TBookImport::TOutcome::Imported:
    case TBookImport::TOutcome::NotWritten:
        // Both files or neither; a failure is told and the book shown as its
        // files still hold it.
        if (!TellBookSave(imported.save))
            return;
        break;
    }
    const TImportDone &done = imported.done;

    // Rows left out are told again, now that the rest is in the book.
    QString skipped = DescribeSkippedRows(plan, true);
    if (!skipped.isEmpty())
        skipped.prepend(QStringLiteral("\n\n"));
    msgMain->MessageDlg(QStringLiteral("%1 item(s) were imported from \"%2\"%3.")
                            .arg(done.items)
                            .arg(QDir::toNativeSeparators(path))
                            .arg(done.newCategories > 0
                                     ? QStringLiteral("; %1 new categor%2").arg(done.newCategories)
                                           .arg(done.newCategories == 1 ? QStringLiteral("y") : QStringLiteral("ies"))
                                     : QString())
                            + skipped,
                        skipped.isEmpty() ? TMsgDlgType::mtInformation : TMsgDlgType::mtWarning, mbOK);
}
