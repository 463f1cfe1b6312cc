#include "restore_backup_dialog.h"

#include "util/window_place.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TfrmRestoreBackup::TfrmRestoreBackup(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRestoreBackup"));
    setWindowTitle(QStringLiteral("Restore Backup"));
    resize(620, 340);
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("Earlier versions of the account book, newest first:"), this);
    label->setObjectName(QStringLiteral("lblBackups"));
    layout->addWidget(label);
    lvwBackups = new QTreeWidget(this);
    lvwBackups->setObjectName(QStringLiteral("lvwBackups"));
    lvwBackups->setRootIsDecorated(false);
    // The last column tells what restoring a backup would bring back.
    lvwBackups->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Categories"), QStringLiteral("Items"),
                                 QStringLiteral("Not in the current book")});
    lvwBackups->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    layout->addWidget(lvwBackups, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btnRestore = new QPushButton(QStringLiteral("Restore"), this);
    btnRestore->setObjectName(QStringLiteral("btnRestore"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(btnRestore);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnRestore, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvwBackups, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(lvwBackups, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { btnRestore->setEnabled(current != nullptr); });
    CentreOnScreen(this);
}

bool TfrmRestoreBackup::Choose(const QList<TBookBackup> &backups, QString *stamp)
{
    lvwBackups->clear();
    for (const TBookBackup &backup : backups) {
        auto *row = new QTreeWidgetItem(lvwBackups);
        row->setText(0, QLocale().toString(backup.time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        row->setText(1, QString::number(backup.categories));
        row->setText(2, QString::number(backup.items));
        row->setText(3, DescribeDifference(backup.notInCurrent));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setData(0, Qt::UserRole, backup.stamp);
    }
    lvwBackups->setCurrentItem(lvwBackups->topLevelItem(0));
    btnRestore->setEnabled(lvwBackups->currentItem() != nullptr);
    lvwBackups->setFocus();
    if (exec() != QDialog::Accepted || !lvwBackups->currentItem())
        return false;
    *stamp = lvwBackups->currentItem()->data(0, Qt::UserRole).toString();
    return true;
}
