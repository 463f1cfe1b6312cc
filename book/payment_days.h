#pragma once

#include "book/item_record.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

// Payment day is free text in the book. When it names a day of the month the
// program can tell when the program pays next; anything else is left alone.

// The day of the month (1 to 31) that a payment day names: "15", "15th",
// "15.", "the 15th", "every 15", "every 15th", "on the 15th", "15th of each
// month", ignoring case and surrounding blanks; 0 for anything else.
int ReadPaymentDay(const QByteArray &paymentDay);

// The first date on or after `today` that falls on `day`; in a month shorter
// than `day` the payment falls on its last day. Invalid for day 0 or an
// invalid today.
QDate NextPaymentDate(int day, const QDate &today);

// The one rule of the reminders: the days from `today` to the next payment
// on day of the month `day` (as ReadPaymentDay gives it) when that payment
// falls within `daysAhead` days, 0 being today; -1 when it does not, or when
// the day or today cannot be read.
qint64 DaysUntilDue(int day, const QDate &today, int daysAhead);

struct TPaymentDue
{
    qsizetype index = 0; // position in the list given
    QDate date;
};

// The items, in the order given, whose payment day falls between today and
// `daysAhead` days later (both included), sorted by date and then by that
// order. Payment days that cannot be read are skipped.
QList<TPaymentDue> DuePayments(const QList<QByteArray> &paymentDays, const QDate &today, int daysAhead = 3);

// The reminder's text: the titles (at most five, then "and N more"), each
// with when it pays: "today", "tomorrow" or "in N days". `dueCount` is how
// many are due in all when `due` holds only the first of them; -1 for
// due.size().
QString ReminderText(const QList<QByteArray> &titles, const QList<TPaymentDue> &due, const QDate &today,
                     qsizetype dueCount = -1, TBookText text = TBookText::Ansi);

// The same reminder for a book walked item by item in book order, keeping
// only the titles the text names: a book of a million items costs no list
// of them, and a payment day text read once is not read again.
class TReminderBuilder
{
public:
    explicit TReminderBuilder(const QDate &today, int daysAhead = 3, TBookText text = TBookText::Ansi);
    // Copies what it keeps, so both may point into a buffer the caller reuses.
    void Add(const QByteArray &paymentDay, const QByteArray &title);
    qsizetype DueCount() const { return m_count; }
    // Empty when nothing is due.
    QString Text() const;

private:
    QDate m_today;
    int m_daysAhead;
    TBookText m_text;
    QList<QList<QByteArray>> m_titles; // per day from today, the first few in book order
    QHash<QByteArray, int> m_daysRead;  // payment day text -> day of the month (0: none)
    qsizetype m_count = 0;
};

class TAccountBook;

// The reminder for a whole book, walked category by category in the order the
// tree shows them; empty when nothing is due.
QString BookReminderText(const TAccountBook &book, const QDate &today, int daysAhead = 3);

// One line of the list of payments.
struct TPaymentRow
{
    qsizetype record = -1; // the book's record, to select its item
    QByteArray title;      // Windows-1252, as the book holds them
    QByteArray category;
    QByteArray payout;
    QByteArray paymentDay; // as written
    QDate next;            // the next payment; invalid when the payment day cannot be read
    qint64 daysLeft = -1;  // from today to `next`, 0 being today
    // This month's payment date has passed: the money may be late.
    bool overdueLooking = false;

    bool Readable() const { return next.isValid(); }
};

// The rows given (record, title, category, payout and payment day filled in,
// in book order) with their dates, in the order the list shows them: those
// whose date passed this month first, then by the next payment's date, then
// those whose payment day cannot be read; book order among equals. Rows of
// an empty payment day are left out.
QList<TPaymentRow> PaymentList(QList<TPaymentRow> rows, const QDate &today);

// The same for every item the tree shows, walked as BookReminderText walks it.
QList<TPaymentRow> BookPaymentList(const TAccountBook &book, const QDate &today);

// Reminders show at most once a day per application folder: true when they
// are on and none was shown on `today` yet (`lastShown` is the stored date,
// invalid when none was stored).
bool ReminderDue(bool remindersOn, const QDate &lastShown, const QDate &today);
