#include "csv_import_dialog.h"

#include "util/codepage.h"
#include "util/window_place.h"

#include <QDir>
#include <QHash>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
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
                     QStringLiteral("Website URL"), QStringLiteral("Username"), QStringLiteral("Password"),
                     QStringLiteral("What the import changes")});
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
    if (const QString skipped = DescribeSkippedRows(plan); !skipped.isEmpty())
        summary += QLatin1Char('\n') + skipped;
    summary += QStringLiteral("\nA backup of the book is kept first.");
    lblSummary->setText(summary);

    // The rows to import and those left out for their username or password,
    // in file order; each row the import changes says which field and how.
    QHash<int, QList<const TImportNote *>> notesOf;
    for (const TImportNote &n : plan.notes)
        if (n.row > 0)
            notesOf[n.row].append(&n);
    QList<std::pair<const TImportItem *, bool>> rows; // the row, and whether it is imported
    rows.reserve(plan.items.size() + plan.refused.size());
    for (const TImportItem &in : plan.items)
        rows.append({&in, true});
    for (const TImportItem &out : plan.refused)
        rows.append({&out, false});
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto &a, const auto &b) { return a.first->row < b.first->row; });
    lvwItems->clear();
    const qsizetype listed = std::min<qsizetype>(rows.size(), kMaxListed);
    for (qsizetype i = 0; i < listed; ++i) {
        const TImportItem &in = *rows[i].first;
        const bool imported = rows[i].second;
        QStringList changes;
        QStringList details;
        for (const TImportNote *n : notesOf.value(in.row)) {
            // A row left out says why; an imported one what becomes of it.
            const QString &what = imported ? n->action : n->problem;
            const QString change = n->field.isEmpty() ? what : QStringLiteral("%1: %2").arg(n->field, what);
            if (!changes.contains(change))
                changes << change;
            details << DescribeNote(*n);
        }
        QString changed = changes.join(QStringLiteral("; "));
        if (!imported)
            changed = QStringLiteral("Not imported: ") + changed;
        const QString password = in.item.Password().isEmpty() ? QString() : QStringLiteral("\u2022\u2022\u2022\u2022");
        auto *row = new QTreeWidgetItem(lvwItems, {QString::number(in.row), FromAnsi(in.item.Category()),
                                                   FromAnsi(in.item.Title()), FromAnsi(in.item.WebsiteURL()),
                                                   FromAnsi(in.item.Login()), password, changed});
        if (!changes.isEmpty()) {
            row->setIcon(0, style()->standardIcon(imported ? QStyle::SP_MessageBoxInformation
                                                           : QStyle::SP_MessageBoxWarning));
            for (int c = 0; c < row->columnCount(); ++c)
                row->setToolTip(c, details.join(QLatin1Char('\n')));
        }
        if (!imported)
            for (int c = 0; c < row->columnCount(); ++c)
                row->setForeground(c, palette().brush(QPalette::Disabled, QPalette::Text));
    }
    More(lvwItems, listed, rows.size());

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
