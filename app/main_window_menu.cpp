// The toolbar's menu: one button for the commands beyond the toolbar's own
// buttons, so that the row keeps its width as commands come. Entries that
// have a key elsewhere are the same actions that hold the key, so the menu
// shows it and no key is claimed twice.
#include "main_window.h"

#include "util/error_reporter.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

namespace {

QAction *MenuAction(QMenu *menu, const char *name, const QString &text, const QString &hint)
{
    auto *a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    a->setStatusTip(hint);
    a->setToolTip(hint);
    return a;
}

} // namespace

void TfrmMain::ConnectMenuHandlers()
{
    mnuMain = new QMenu(QStringLiteral("Menu"), btnMenu);
    mnuMain->setObjectName(QStringLiteral("mnuMain"));
    mnuMain->setToolTipsVisible(true);
    btnMenu->setText(mnuMain->title());
    btnMenu->setToolTip(QStringLiteral("Book and item commands"));
    btnMenu->setPopupMode(QToolButton::InstantPopup);
    btnMenu->setToolButtonStyle(Qt::ToolButtonTextOnly);
    btnMenu->setMenu(mnuMain);

    mnuMain->addSection(QStringLiteral("Book"));
    actRestoreBackup = MenuAction(mnuMain, "actRestoreBackup", QStringLiteral("Restore Backup\u2026"),
                                  QStringLiteral("Bring back the account book as an earlier backup holds it"));
    actExportCsv = MenuAction(mnuMain, "actExportCsv", QStringLiteral("Export CSV\u2026"),
                              QStringLiteral("Write the whole account book to a CSV file"));
    actImportCsv = MenuAction(mnuMain, "actImportCsv", QStringLiteral("Import CSV\u2026"),
                              QStringLiteral("Add the logins of a CSV file (this program's export, or a "
                                             "browser's or password manager's) to the book"));
    connect(actRestoreBackup, &QAction::triggered, this, Guarded(this, &TfrmMain::actRestoreBackupClick));
    connect(actExportCsv, &QAction::triggered, this, Guarded(this, &TfrmMain::actExportCsvClick));
    connect(actImportCsv, &QAction::triggered, this, Guarded(this, &TfrmMain::actImportCsvClick));

    // The item commands, each the very action the tree, the page or the
    // tree's pop-up already holds.
    mnuMain->addSection(QStringLiteral("Item"));
    mnuMain->addAction(AddItemKey);
    mnuMain->addAction(SaveItemKey);
    mnuMain->addMenu(MoveItemTo1);
    mnuMain->addAction(DuplicateItem1);
    mnuMain->addAction(CopyUsername1);
    mnuMain->addAction(CopyPassword1);
    // Move and duplicate show, and list the categories, as in the pop-up.
    connect(mnuMain, &QMenu::aboutToShow, this, Guarded(this, &TfrmMain::CommandsPopup));
}
