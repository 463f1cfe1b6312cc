#include "overflow_row.h"

#include <QAbstractButton>
#include <QMenu>
#include <QStyle>
#include <QToolButton>
#include <QWidget>

namespace {

int WidthOf(QLayoutItem *item)
{
    return std::max(item->sizeHint().width(), item->minimumSize().width());
}

} // namespace

TOverflowRow::TOverflowRow(QWidget *parent) : QHBoxLayout(parent)
{
    m_more = new QToolButton(parent);
    m_more->setObjectName(QStringLiteral("btnMoreButtons"));
    m_more->setText(QStringLiteral("\u00bb"));
    m_more->setToolTip(QStringLiteral("More buttons"));
    m_more->setFocusPolicy(Qt::TabFocus);
    m_more->setPopupMode(QToolButton::InstantPopup);
    m_menu = new QMenu(m_more);
    m_menu->setObjectName(QStringLiteral("mnuMoreButtons"));
    m_more->setMenu(m_menu);
    QObject::connect(m_menu, &QMenu::aboutToShow, m_more, [this] { FillMenu(); });
    m_more->hide();
}

int TOverflowRow::Gap() const
{
    int gap = spacing();
    if (gap < 0 && parentWidget())
        gap = parentWidget()->style()->layoutSpacing(QSizePolicy::PushButton, QSizePolicy::PushButton, Qt::Horizontal);
    return std::max(gap, 0);
}

QList<QWidget *> TOverflowRow::Overflowing() const
{
    QList<QWidget *> out;
    for (int i = 0; i < count(); ++i)
        if (QWidget *w = itemAt(i)->widget(); w && m_hidden.contains(w))
            out << w;
    return out;
}

QSize TOverflowRow::minimumSize() const
{
    // The buttons after the stretch and the "»" button; the others can go
    // into its menu.
    const QMargins m = contentsMargins();
    int width = m.left() + m.right() + m_more->sizeHint().width();
    bool afterStretch = false;
    for (int i = 0; i < count(); ++i) {
        QLayoutItem *item = itemAt(i);
        if (item->spacerItem())
            afterStretch = true;
        else if (afterStretch && !item->isEmpty())
            width += Gap() + WidthOf(item);
    }
    return {width, QHBoxLayout::minimumSize().height()};
}

void TOverflowRow::setGeometry(const QRect &rect)
{
    // The buttons that may overflow: those before the stretch that the
    // program shows, whether the row hid them or not.
    QList<QWidget *> left;
    int rightWidth = 0;
    bool afterStretch = false;
    for (int i = 0; i < count(); ++i) {
        QLayoutItem *item = itemAt(i);
        QWidget *w = item->widget();
        if (item->spacerItem()) {
            afterStretch = true;
        } else if (!afterStretch && w && (!w->isHidden() || m_hidden.contains(w))) {
            left << w;
        } else if (!item->isEmpty()) {
            rightWidth += Gap() + WidthOf(item);
        }
    }
    m_hidden.removeAll(nullptr);
    for (qsizetype i = m_hidden.size() - 1; i >= 0; --i)
        if (!left.contains(m_hidden[i].data()))
            m_hidden.removeAt(i); // the program showed or removed it since

    const QMargins m = contentsMargins();
    const int room = rect.width() - m.left() - m.right() - rightWidth;
    QList<int> widths;
    int all = 0;
    for (QWidget *w : left) {
        widths << std::max(w->sizeHint().width(), w->minimumSize().width());
        all += widths.back() + (widths.size() > 1 ? Gap() : 0);
    }
    qsizetype keep = left.size();
    if (all > room) {
        int used = m_more->sizeHint().width();
        keep = 0;
        while (keep < left.size() && used + widths[keep] + Gap() <= room) {
            used += widths[keep] + Gap();
            ++keep;
        }
    }
    for (qsizetype i = 0; i < left.size(); ++i) {
        QWidget *w = left[i];
        if (i < keep && m_hidden.contains(w)) {
            m_hidden.removeAll(w);
            w->show();
        } else if (i >= keep && !m_hidden.contains(w)) {
            m_hidden << w;
            w->hide();
        }
    }

    QHBoxLayout::setGeometry(rect);

    if (m_hidden.isEmpty()) {
        m_more->hide();
        return;
    }
    const int x = keep > 0 ? left[keep - 1]->geometry().right() + 1 + Gap() : rect.left() + m.left();
    const QSize size = m_more->sizeHint().boundedTo(rect.size());
    m_more->setGeometry(QRect(QPoint(x, rect.top() + (rect.height() - size.height()) / 2), size));
    m_more->show();
}

void TOverflowRow::FillMenu()
{
    m_menu->clear();
    for (QWidget *w : Overflowing()) {
        auto *button = qobject_cast<QAbstractButton *>(w);
        if (!button)
            continue;
        if (auto *tool = qobject_cast<QToolButton *>(w); tool && tool->menu()) {
            // A button that only opens its menu comes as that menu: a click
            // would pop it up beside a button that is hidden.
            m_menu->addMenu(tool->menu())->setEnabled(tool->isEnabled());
            continue;
        }
        const QString text = button->text().isEmpty() ? button->toolTip() : button->text();
        QAction *action = m_menu->addAction(button->icon(), text);
        action->setObjectName(button->objectName());
        action->setEnabled(button->isEnabled());
        action->setCheckable(button->isCheckable());
        action->setChecked(button->isChecked());
        // A click on the button itself, so that its own handlers run, a
        // checkable one toggled as well.
        QObject::connect(action, &QAction::triggered, button, [button] { button->click(); });
    }
}
