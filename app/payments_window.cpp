#include "payments_window.h"

#include "book/account_book.h"
#include "book/item_record.h"
#include "book/payment_days.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

// The rows as BookPaymentList orders them; the book's bytes are decoded
// only here, where they are shown.
class TPaymentsModel : public QAbstractTableModel
{
public:
    enum TColumn { Program, Category, Payout, NextPayment, DaysLeft, ColumnCount };
    // The record on every column, the next payment's date on NextPayment.
    static constexpr int ValueRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(QList<TPaymentRow> rows, TBookText text, const QDate &today)
    {
        beginResetModel();
        m_rows = std::move(rows);
        m_text = text;
        m_today = today;
        endResetModel();
    }
    const QList<TPaymentRow> &Rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : ColumnCount;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        switch (section) {
        case Program: return QStringLiteral("Program");
        case Category: return QStringLiteral("Category");
        case Payout: return QStringLiteral("Payout");
        case NextPayment: return QStringLiteral("Next Payment");
        case DaysLeft: return QStringLiteral("Days Left");
        default: return {};
        }
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_rows.size())
            return {};
        const TPaymentRow &row = m_rows[index.row()];
        switch (role) {
        case Qt::DisplayRole:
            return Text(row, index.column());
        case ValueRole:
            if (index.column() == NextPayment)
                return row.next;
            return qlonglong(row.record);
        case Qt::ToolTipRole:
            if (row.overdueLooking)
                return QStringLiteral("This month's payment date has passed: check that the money came.");
            if (!row.Readable())
                return QStringLiteral("The payment day does not name a day of the month.");
            return {};
        case Qt::ForegroundRole:
            if (row.overdueLooking)
                return QBrush(QColor(0xb0, 0x20, 0x10));
            return {};
        default:
            return {};
        }
    }

private:
    QString Text(const TPaymentRow &row, int column) const
    {
        switch (column) {
        case Program: return DecodeBookText(row.title, m_text);
        case Category: return DecodeBookText(row.category, m_text);
        case Payout: return DecodeBookText(row.payout, m_text);
        case NextPayment:
            // A payment day the program cannot read is shown as the user wrote it.
            return row.Readable() ? QLocale().toString(row.next, QStringLiteral("ddd d MMM yyyy"))
                                  : DecodeBookText(row.paymentDay, m_text);
        case DaysLeft: {
            if (!row.Readable())
                return {};
            const QString when = row.daysLeft == 0 ? QStringLiteral("today")
                : row.daysLeft == 1                ? QStringLiteral("tomorrow")
                                                   : QStringLiteral("in %1 days").arg(row.daysLeft);
            if (!row.overdueLooking)
                return when;
            const QDate passed =
                NextPaymentDate(ReadPaymentDay(row.paymentDay), QDate(m_today.year(), m_today.month(), 1));
            return QStringLiteral("%1 (passed on %2)").arg(when, QLocale().toString(passed, QStringLiteral("d MMM")));
        }
        default: return {};
        }
    }

    QList<TPaymentRow> m_rows;
    TBookText m_text = TBookText::Ansi;
    QDate m_today;
};

TPaymentsWindow::TPaymentsWindow(const TAccountBook &book, std::function<QDate()> today, QWidget *parent)
    : QWidget(parent, Qt::Window), m_book(book), m_today(std::move(today))
{
    setObjectName(QStringLiteral("frmPayments"));
    setWindowTitle(QStringLiteral("Payments"));
    resize(640, 360);

    m_model = new TPaymentsModel(this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("lstPayments"));
    m_list->setAccessibleName(QStringLiteral("Payments"));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setItemsExpandable(false);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(TPaymentsModel::Program, 150);
    m_list->setColumnWidth(TPaymentsModel::Category, 110);
    m_list->setColumnWidth(TPaymentsModel::Payout, 80);
    m_list->setColumnWidth(TPaymentsModel::NextPayment, 120);

    m_empty = new QLabel(QStringLiteral("No item has a payment day."), this);
    m_empty->setObjectName(QStringLiteral("lblNoPayments"));
    m_empty->hide();

    m_reminders = new QCheckBox(QStringLiteral("Remind me of payments due in the next 3 days"), this);
    m_reminders->setObjectName(QStringLiteral("chkReminders"));
    m_showReminder = new QPushButton(QStringLiteral("Show Reminder"), this);
    m_showReminder->setObjectName(QStringLiteral("btnShowReminder"));
    m_showReminder->setToolTip(QStringLiteral("Show the reminder of the payments due again"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("btnClosePayments"));

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_reminders);
    bottom->addStretch();
    bottom->addWidget(m_showReminder);
    bottom->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_empty);
    layout->addLayout(bottom);

    connect(m_list, &QAbstractItemView::activated, this, [this](const QModelIndex &index) {
        if (index.isValid() && index.row() < m_model->Rows().size())
            emit recordChosen(m_model->Rows()[index.row()].record);
    });
    // clicked, not toggled: the stored setting shown is no change to store again.
    connect(m_reminders, &QCheckBox::clicked, this, &TPaymentsWindow::remindersSwitched);
    connect(m_showReminder, &QPushButton::clicked, this, &TPaymentsWindow::reminderRequested);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    // Records are numbered afresh when the book changes: the list follows it
    // while it shows, and is read again whenever it is shown.
    const auto changed = [this] { BookChanged(); };
    connect(&m_book, &QAbstractItemModel::modelReset, this, changed);
    connect(&m_book, &QAbstractItemModel::layoutChanged, this, changed);
    connect(&m_book, &QAbstractItemModel::rowsInserted, this, changed);
    connect(&m_book, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(&m_book, &QAbstractItemModel::rowsMoved, this, changed);
    connect(&m_book, &QAbstractItemModel::dataChanged, this, changed);
}

void TPaymentsWindow::Refresh()
{
    m_refreshPending = false;
    const QDate today = m_today ? m_today() : QDate::currentDate();
    m_model->SetRows(BookPaymentList(m_book, today), m_book.Text(), today);
    const QList<TPaymentRow> &rows = m_model->Rows();
    m_empty->setVisible(rows.isEmpty());
    // The reminder names what falls due within three days (BookReminderText).
    const bool due = std::any_of(rows.cbegin(), rows.cend(),
                                 [](const TPaymentRow &row) { return row.Readable() && row.daysLeft <= 3; });
    m_showReminder->setEnabled(due);
}

void TPaymentsWindow::SetRemindersOn(bool on)
{
    m_reminders->setChecked(on);
}

void TPaymentsWindow::showEvent(QShowEvent *event)
{
    Refresh();
    QWidget::showEvent(event);
}

void TPaymentsWindow::BookChanged()
{
    if (!isVisible() || m_refreshPending)
        return;
    // One refresh after a command's changes, not one for each.
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, [this] {
        if (m_refreshPending)
            Refresh();
    }, Qt::QueuedConnection);
}
