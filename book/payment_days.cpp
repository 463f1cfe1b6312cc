#include "payment_days.h"

#include "book/account_book.h"
#include "book/item_record.h"
#include "util/codepage.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

int ReadPaymentDay(const QByteArray &paymentDay)
{
    static const QRegularExpression kDay(
        QStringLiteral("^(?:every\\s+(?:the\\s+)?|on\\s+the\\s+|the\\s+|on\\s+)?"
                       "([0-9]{1,2})(?:st|nd|rd|th|\\.)?"
                       "(?:\\s+(?:of\\s+)?(?:each|every|the)\\s+month)?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (paymentDay.size() > 64)
        return 0;
    const QRegularExpressionMatch m = kDay.match(QString::fromLatin1(paymentDay.trimmed()));
    if (!m.hasMatch())
        return 0;
    const int day = m.captured(1).toInt();
    return day >= 1 && day <= 31 ? day : 0;
}

QDate NextPaymentDate(int day, const QDate &today)
{
    if (day < 1 || day > 31 || !today.isValid())
        return {};
    auto inMonth = [day](const QDate &first) { return first.addDays(std::min(day, first.daysInMonth()) - 1); };
    const QDate first(today.year(), today.month(), 1);
    const QDate thisMonth = inMonth(first);
    return thisMonth >= today ? thisMonth : inMonth(first.addMonths(1));
}

qint64 DaysUntilDue(int day, const QDate &today, int daysAhead)
{
    const QDate next = NextPaymentDate(day, today);
    if (!next.isValid())
        return -1; // daysTo() would call it today
    const qint64 days = today.daysTo(next);
    return days <= daysAhead ? days : -1;
}

QList<TPaymentDue> DuePayments(const QList<QByteArray> &paymentDays, const QDate &today, int daysAhead)
{
    QList<TPaymentDue> due;
    for (qsizetype i = 0; i < paymentDays.size(); ++i) {
        if (const qint64 days = DaysUntilDue(ReadPaymentDay(paymentDays[i]), today, daysAhead); days >= 0)
            due.append({i, today.addDays(days)});
    }
    std::stable_sort(due.begin(), due.end(), [](const TPaymentDue &a, const TPaymentDue &b) { return a.date < b.date; });
    return due;
}

namespace {
constexpr qsizetype kNamed = 5;
}

QString ReminderText(const QList<QByteArray> &titles, const QList<TPaymentDue> &due, const QDate &today,
                     qsizetype dueCount, TBookText bookText)
{
    QStringList names;
    for (qsizetype i = 0; i < due.size() && i < kNamed; ++i) {
        const qint64 days = today.daysTo(due[i].date);
        const QString when = days == 0 ? QStringLiteral("today")
            : days == 1               ? QStringLiteral("tomorrow")
                                      : QStringLiteral("in %1 days").arg(days);
        const QByteArray title = due[i].index < titles.size() ? titles[due[i].index] : QByteArray();
        names << QStringLiteral("%1 (%2)").arg(DecodeBookText(title, bookText), when);
    }
    if (names.isEmpty())
        return {};
    QString text = QStringLiteral("Payments due: ") + names.join(QStringLiteral(", "));
    if (dueCount < due.size())
        dueCount = due.size();
    if (dueCount > kNamed)
        text += QStringLiteral(" and %1 more").arg(dueCount - kNamed);
    return text;
}

TReminderBuilder::TReminderBuilder(const QDate &today, int daysAhead, TBookText text)
    : m_today(today), m_daysAhead(daysAhead), m_text(text), m_titles(today.isValid() ? qMax(daysAhead, 0) + 1 : 0)
{
}

void TReminderBuilder::Add(const QByteArray &paymentDay, const QByteArray &title)
{
    if (paymentDay.isEmpty() || m_titles.isEmpty())
        return; // most items name no day; skip them before any parsing
    // Books repeat a handful of texts ("15th", "monthly"); a book of many
    // different ones is read without keeping them all.
    constexpr qsizetype kKeptTexts = 1024;
    int day = 0;
    if (const auto known = m_daysRead.constFind(paymentDay); known != m_daysRead.cend()) {
        day = *known;
    } else {
        day = ReadPaymentDay(paymentDay);
        if (m_daysRead.size() < kKeptTexts)
            m_daysRead.insert(QByteArray(paymentDay.constData(), paymentDay.size()), day);
    }
    const qint64 days = DaysUntilDue(day, m_today, m_daysAhead);
    if (days < 0)
        return;
    ++m_count;
    if (m_titles[days].size() < kNamed)
        m_titles[days].append(QByteArray(title.constData(), title.size()));
}

QString TReminderBuilder::Text() const
{
    QList<QByteArray> titles;
    QList<TPaymentDue> due;
    for (qsizetype day = 0; day < m_titles.size(); ++day) {
        for (const QByteArray &title : m_titles[day]) {
            due.append({titles.size(), m_today.addDays(day)});
            titles.append(title);
        }
    }
    return ReminderText(titles, due, m_today, m_count, m_text);
}

namespace {

constexpr int kTitleField = 1;
constexpr int kPayoutField = 9;
constexpr int kPaymentDayField = 10;

// Field `n` of a record without splitting or copying the rest: a view into
// `record`, empty when the record has fewer fields.
QByteArray RecordField(const QByteArray &record, int n, char delimiter)
{
    const char *p = record.constData();
    const char *end = p + record.size();
    for (int i = 0; i < n; ++i) {
        p = static_cast<const char *>(std::memchr(p, delimiter, size_t(end - p)));
        if (!p)
            return {};
        ++p;
    }
    const auto *stop = static_cast<const char *>(std::memchr(p, delimiter, size_t(end - p)));
    return stop ? QByteArray::fromRawData(p, stop - p) : QByteArray();
}

} // namespace

QString BookReminderText(const TAccountBook &book, const QDate &today, int daysAhead)
{
    TReminderBuilder reminder(today, daysAhead, book.Text());
    const char delimiter = FieldDelimiterOf(book.Text());
    for (int c = 0; c < book.CategoryCount(); ++c) {
        const QModelIndex category = book.CategoryIndex(c);
        for (int i = 0, n = book.rowCount(category); i < n; ++i) {
            const QByteArray record = book.Record(book.RecordAt(book.index(i, 0, category)));
            if (const QByteArray day = RecordField(record, kPaymentDayField, delimiter); !day.isEmpty())
                reminder.Add(day, RecordField(record, kTitleField, delimiter));
        }
    }
    return reminder.Text();
}

QList<TPaymentRow> PaymentList(QList<TPaymentRow> rows, const QDate &today)
{
    rows.removeIf([](const TPaymentRow &row) { return row.paymentDay.trimmed().isEmpty(); });
    // The next payment is never more than a month away, so the reminders'
    // rule, asked that far ahead, dates every payment day it can read.
    QList<QByteArray> days;
    days.reserve(rows.size());
    for (const TPaymentRow &row : rows)
        days.append(row.paymentDay);
    QList<TPaymentRow> out;
    out.reserve(rows.size());
    QList<bool> dated(rows.size(), false);
    for (const TPaymentDue &due : DuePayments(days, today, 31)) {
        TPaymentRow row = rows[due.index];
        row.next = due.date;
        row.daysLeft = today.daysTo(due.date);
        // A payment next month on a day not after today's passed this month.
        row.overdueLooking = due.date.month() != today.month() || due.date.year() != today.year();
        dated[due.index] = true;
        out.append(std::move(row));
    }
    std::stable_partition(out.begin(), out.end(), [](const TPaymentRow &row) { return row.overdueLooking; });
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (!dated[i])
            out.append(std::move(rows[i]));
    return out;
}

QList<TPaymentRow> BookPaymentList(const TAccountBook &book, const QDate &today)
{
    QList<TPaymentRow> rows;
    const char delimiter = FieldDelimiterOf(book.Text());
    for (int c = 0; c < book.CategoryCount(); ++c) {
        const QModelIndex category = book.CategoryIndex(c);
        for (int i = 0, n = book.rowCount(category); i < n; ++i) {
            const qsizetype record = book.RecordAt(book.index(i, 0, category));
            const QByteArray bytes = book.Record(record);
            const QByteArray day = RecordField(bytes, kPaymentDayField, delimiter);
            if (day.trimmed().isEmpty())
                continue;
            TPaymentRow row;
            row.record = record;
            // Copies: the fields are views into `bytes`.
            row.paymentDay = QByteArray(day.constData(), day.size());
            const QByteArray title = RecordField(bytes, kTitleField, delimiter);
            row.title = QByteArray(title.constData(), title.size());
            row.category = book.CategoryName(c);
            const QByteArray payout = RecordField(bytes, kPayoutField, delimiter);
            row.payout = QByteArray(payout.constData(), payout.size());
            rows.append(std::move(row));
        }
    }
    return PaymentList(std::move(rows), today);
}

bool ReminderDue(bool remindersOn, const QDate &lastShown, const QDate &today)
{
    return remindersOn && today.isValid() && lastShown != today;
}
