#include "csv_import_dialog.h"

#include "util/codepage.h"
#include "util/window_place.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QTreeWidget *List(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setHeaderLabels(headers);
    list->header()->setStretchLastSection(true);
    return list;
}

// The last row of a list that was cut.
void More(QTreeWidget *list, qsizetype shown, qsizetype total)
{
    if (total > shown)
        new QTreeWidgetItem(list, {QStringLiteral("\u2026"),
                                   QStringLiteral("and %1 more").arg(total - shown)});
}

} // namespace

TfrmCsvImport::TfrmCsvImport(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCsvImport"));
    setWindowTitle(QStringLiteral("Import CSV"));
    resize(720, 520);
    auto *layout = new QVBoxLayout(this);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);
    lblSummary->setTextFormat(Qt::PlainText);
    layout->addWidget(lblSummary);

    auto *pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("pgcImport"));
    lvwItems = List(pages, "lvwItems",
                    {QStringLiteral("Row"), QStringLiteral("Category"), QStringLiteral("Title"),
                     QStringLiteral("Website URL"), QStringLiteral("Username"), QStringLiteral("Password")});
    lvwNotes = List(pages, "lvwNotes",
                    {QStringLiteral("Row"), QStringLiteral("Field"), QStringLiteral("Problem"),
                     QStringLiteral("What is done")});
    lvwColumns = List(pages, "lvwColumns", {QStringLiteral("Field"), QStringLiteral("Column of the file")});
    pages->addTab(lvwItems, QStringLiteral("Items"));
    pages->addTab(lvwNotes, QStringLiteral("Changes"));
    pages->addTab(lvwColumns, QStringLiteral("Columns"));
    layout->addWidget(pages, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btnImport = new QPushButton(QStringLiteral("Import"), this);
    btnImport->setObjectName(QStringLiteral("btnImport"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setDefault(true); // Enter alone never imports
    buttons->addWidget(btnImport);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnImport, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    CentreOnScreen(this);
}

void TfrmCsvImport::SetPlan(const TImportPlan &plan, const QString &fileName)
{
    const TCsvColumns &c = plan.columns;
    QStringList newCategories;
    for (const QByteArray &name : plan.newCategories)
        newCategories << QStringLiteral("\"%1\"").arg(FromAnsi(name));
    QString summary = QStringLiteral("\"%1\", read as %2.\n").arg(QDir::toNativeSeparators(fileName), c.format);
    summary += plan.items.isEmpty() ? QStringLiteral("The file holds nothing to import.")
                                    : QStringLiteral("%1 item(s) will be added").arg(plan.items.size());
    if (!newCategories.isEmpty())
        summary += QStringLiteral(", %1 new categor%2: %3")
                       .arg(newCategories.size())
                       .arg(newCategories.size() == 1 ? QStringLiteral("y") : QStringLiteral("ies"))
                       .arg(newCategories.join(QStringLiteral(", ")));
    if (!plan.items.isEmpty())
        summary += QLatin1Char('.');
    if (!plan.notes.isEmpty())
        summary += QStringLiteral("\n%1 change(s) to what the file holds are listed under \"Changes\"; nothing "
                                  "else is changed.")
                       .arg(plan.notes.size());
    summary += QStringLiteral("\nA backup of the book is kept first.");
    lblSummary->setText(summary);

    lvwItems->clear();
    const qsizetype items = std::min<qsizetype>(plan.items.size(), kMaxListed);
    for (qsizetype i = 0; i < items; ++i) {
        const TImportItem &in = plan.items[i];
        new QTreeWidgetItem(lvwItems, {QString::number(in.row), FromAnsi(in.item.fields[0]),
                                       FromAnsi(in.item.fields[1]), FromAnsi(in.item.fields[3]),
                                       FromAnsi(in.item.fields[5]),
                                       in.item.fields[6].isEmpty() ? QString() : QStringLiteral("\u2022\u2022\u2022\u2022")});
    }
    More(lvwItems, items, plan.items.size());

    lvwNotes->clear();
    const qsizetype notes = std::min<qsizetype>(plan.notes.size(), kMaxListed);
    for (qsizetype i = 0; i < notes; ++i) {
        const TImportNote &n = plan.notes[i];
        auto *row = new QTreeWidgetItem(lvwNotes, {n.row > 0 ? QString::number(n.row) : QStringLiteral("File"),
                                                   n.field, n.problem, n.action});
        row->setToolTip(2, n.problem);
        row->setToolTip(3, n.action);
    }
    More(lvwNotes, notes, plan.notes.size());

    lvwColumns->clear();
    const int columns[] = {c.category, c.title,  c.program, c.website, c.login,      c.username,
                           c.password, c.affiliate, c.cloaked, c.payout, c.paymentDay, c.description};
    const QStringList fields = BookCsvHeader();
    for (int f = 0; f < fields.size(); ++f) {
        QString source = columns[f] >= 0 ? QStringLiteral("\"%1\"").arg(plan.header.value(columns[f]).trimmed())
                                         : QStringLiteral("(none)");
        if (f == 0 && columns[f] < 0)
            source += QStringLiteral(": \"%1\"").arg(QLatin1String(kImportedCategory));
        else if (f == 1 && !c.own)
            source += QStringLiteral(", else the host of the address");
        new QTreeWidgetItem(lvwColumns, {fields[f], source});
    }
    for (const QString &ignored : c.ignored)
        new QTreeWidgetItem(lvwColumns, {QStringLiteral("(not imported)"), QStringLiteral("\"%1\"").arg(ignored)});
    // Columns as wide as their text, up to a point: the last one takes the rest.
    for (QTreeWidget *list : {lvwItems, lvwNotes, lvwColumns}) {
        for (int c = 0; c + 1 < list->columnCount(); ++c) {
            list->resizeColumnToContents(c);
            list->setColumnWidth(c, std::min(list->columnWidth(c), 300));
        }
    }

    btnImport->setEnabled(!plan.items.isEmpty());
}

bool TfrmCsvImport::Confirm(const TImportPlan &plan, const QString &fileName)
{
    SetPlan(plan, fileName);
    return exec() == QDialog::Accepted && !plan.items.isEmpty();
}
