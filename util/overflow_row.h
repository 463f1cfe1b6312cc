#pragma once

#include <QHBoxLayout>
#include <QList>
#include <QPointer>

class QAbstractButton;
class QMenu;
class QToolButton;

// A row of buttons, as a toolbar lays them out, that never makes its window
// wider than the screen: the buttons before the row's stretch that do not fit
// are hidden, last first, and a "»" button after the ones still shown opens a
// menu of them in their order. What follows the stretch (the buttons kept to
// the right) always stays. It is a QHBoxLayout, so buttons are inserted and
// found as in one.
//
// A button the program hides while it is in the menu comes back when there is
// room again; the program shows and hides its buttons only before the row is
// first laid out.
class TOverflowRow : public QHBoxLayout
{
public:
    explicit TOverflowRow(QWidget *parent);

    // The "»" button ("btnMoreButtons"), shown only while buttons overflow.
    QToolButton *MoreButton() const { return m_more; }
    // The buttons in the menu, in the row's order.
    QList<QWidget *> Overflowing() const;

    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    int Gap() const;
    void FillMenu();

    QToolButton *m_more = nullptr;
    QMenu *m_menu = nullptr;
    // Hidden by the row for want of room, not by the program.
    QList<QPointer<QWidget>> m_hidden;
};
