#pragma once

#include <QDate>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QModelIndex;
class QPushButton;
class QTreeView;
class TAccountBook;
class TPaymentsModel;

// Every item whose payment day is filled in, with when it pays next
// (BookPaymentList decides the order), and the reminders' switch. A tool
// window of the main window: it reads the book but never changes it, and
// hands what the user asks for to the main window through its signals.
class TPaymentsWindow : public QWidget
{
    Q_OBJECT
public:
    // `today` is read at every refresh, so a clock the owner replaces later
    // is followed.
    TPaymentsWindow(const TAccountBook &book, std::function<QDate()> today, QWidget *parent);

    // Lists the book as it is now, for `today()`.
    void Refresh();
    // Shows the stored setting without telling it back as a change.
    void SetRemindersOn(bool on);

signals:
    // A row was double-clicked (or Enter pressed on it): the item of that
    // record of the book.
    void recordChosen(qsizetype record);
    // The user turned the reminders on or off.
    void remindersSwitched(bool on);
    // The user asked for today's reminder again.
    void reminderRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BookChanged();

    const TAccountBook &m_book;
    std::function<QDate()> m_today;
    TPaymentsModel *m_model = nullptr;
    QTreeView *m_list = nullptr;
    QLabel *m_empty = nullptr;
    QCheckBox *m_reminders = nullptr;
    QPushButton *m_showReminder = nullptr;
    bool m_refreshPending = false;
};
