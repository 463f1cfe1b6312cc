// A toolbar row whose buttons go into a "»" menu when the window is too
// narrow for them, instead of making the window wider than its screen.
#include "util/overflow_row.h"

#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

// Five text buttons, the stretch, and two picture buttons kept right.
struct TBar
{
    TBar()
    {
        window = std::make_unique<QWidget>();
        row = new TOverflowRow(window.get());
        for (const char *name : {"One", "Two", "Three", "Four", "Five"}) {
            auto *b = new QPushButton(QStringLiteral("Button %1").arg(QLatin1String(name)), window.get());
            b->setObjectName(QLatin1String("btn") + QLatin1String(name));
            left << b;
            row->addWidget(b);
        }
        row->addStretch();
        for (const char *name : {"btnNews", "btnHelp"}) {
            auto *b = new QToolButton(window.get());
            b->setObjectName(QLatin1String(name));
            b->setToolTip(QLatin1String(name).mid(3));
            b->setCheckable(right.isEmpty());
            b->setFixedSize(30, 30);
            right << b;
            row->addWidget(b);
        }
    }
    int LeftWidth() const
    {
        int width = 0;
        for (QPushButton *b : left)
            width += b->sizeHint().width();
        return width;
    }
    // Shown at `width`, laid out.
    void ShowAt(int width)
    {
        window->resize(width, 50);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("not shown");
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QStringList Hidden() const
    {
        QStringList names;
        for (QPushButton *b : left)
            if (b->isHidden())
                names << b->objectName();
        return names;
    }
    QStringList MenuNames() const
    {
        QMenu *menu = row->MoreButton()->menu();
        emit menu->aboutToShow();
        QStringList names;
        for (QAction *a : menu->actions())
            names << a->objectName();
        return names;
    }

    std::unique_ptr<QWidget> window;
    TOverflowRow *row = nullptr;
    QList<QPushButton *> left;
    QList<QToolButton *> right;
};

} // namespace

class TestOverflowRow : public QObject
{
    Q_OBJECT
private slots:
    void buttonsThatDoNotFitGoIntoTheMenu_data()
    {
        QTest::addColumn<int>("percent"); // the window's width: this share of what all buttons take,
        QTest::addColumn<int>("extra");   // plus this
        QTest::addColumn<int>("minHidden"); // at least this many hidden, last first
        QTest::addColumn<int>("maxHidden");
        QTest::newRow("wide: all shown") << 100 << 200 << 0 << 0;
        QTest::newRow("one button short") << 100 << -10 << 1 << 2;
        QTest::newRow("half") << 50 << 0 << 2 << 4;
        QTest::newRow("nothing left but the picture buttons") << 0 << 1 << 5 << 5;
    }
    void buttonsThatDoNotFitGoIntoTheMenu()
    {
        QFETCH(int, percent);
        QFETCH(int, extra);
        QFETCH(int, minHidden);
        QFETCH(int, maxHidden);
        TBar bar;
        const int whole = bar.row->sizeHint().width(); // every button shown
        const int width = whole * percent / 100 + extra;
        bar.ShowAt(width);
        QWidget *w = bar.window.get();

        // The window keeps the width it was given: the row does not widen it.
        if (width >= bar.row->minimumSize().width())
            QCOMPARE(w->width(), width);
        const QStringList hidden = bar.Hidden();
        QVERIFY2(hidden.size() >= minHidden && hidden.size() <= maxHidden, qPrintable(hidden.join(u' ')));
        // Last ones first, in the row's order, in the menu.
        QStringList expected;
        for (qsizetype i = bar.left.size() - hidden.size(); i < bar.left.size(); ++i)
            expected << bar.left[i]->objectName();
        QCOMPARE(hidden, expected);
        QToolButton *more = bar.row->MoreButton();
        QCOMPARE(more->isVisible(), !hidden.isEmpty());
        if (!hidden.isEmpty())
            QCOMPARE(bar.MenuNames(), hidden);

        // Everything shown lies inside the window, none over another, and
        // the picture buttons stay at the right.
        QList<QWidget *> shown{more};
        for (QWidget *b : bar.left)
            shown << b;
        for (QWidget *b : bar.right)
            shown << b;
        shown.removeIf([](QWidget *x) { return !x->isVisible(); });
        for (QWidget *a : shown) {
            QVERIFY2(w->rect().contains(a->geometry()), qPrintable(a->objectName()));
            for (QWidget *b : shown)
                QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + u' ' + b->objectName()));
        }
        QVERIFY(bar.right.last()->geometry().right() > w->width() - 20);
    }

    // Widening brings the buttons back, but not one the program hid: that one
    // is neither shown by the row nor offered in its menu.
    void aButtonHiddenByTheProgramStaysHidden()
    {
        TBar bar;
        bar.left[3]->hide();
        bar.ShowAt(bar.LeftWidth() / 2);
        QVERIFY(!bar.MenuNames().contains(QStringLiteral("btnFour")));
        bar.window->resize(bar.LeftWidth() + 400, 50);
        QTRY_VERIFY(!bar.row->MoreButton()->isVisible());
        QVERIFY(bar.left[3]->isHidden());
        QCOMPARE(bar.Hidden(), QStringList{QStringLiteral("btnFour")});
    }

    // An entry is a click on its button: handlers run, a checkable button
    // toggles, a disabled one is offered disabled.
    void anEntryClicksItsButton()
    {
        TBar bar;
        // The checkable picture button among the text buttons, to overflow.
        bar.row->removeWidget(bar.right[0]);
        bar.row->insertWidget(4, bar.right[0]);
        bar.left[0]->setEnabled(false);
        bar.ShowAt(10);
        QMenu *menu = bar.row->MoreButton()->menu();
        bar.MenuNames();
        QMap<QString, QAction *> byName;
        for (QAction *a : menu->actions())
            byName[a->objectName()] = a;
        QVERIFY(byName.contains(QStringLiteral("btnNews")));
        QAction *news = byName[QStringLiteral("btnNews")];
        QCOMPARE(news->text(), QStringLiteral("News")); // a picture button by its hint
        QVERIFY(news->isCheckable() && !news->isChecked());
        QSignalSpy toggled(bar.right[0], &QToolButton::toggled);
        news->trigger();
        QCOMPARE(toggled.size(), 1);
        QVERIFY(bar.right[0]->isChecked());
        QSignalSpy clicked(bar.left[1], &QPushButton::clicked);
        byName[QStringLiteral("btnTwo")]->trigger();
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(byName[QStringLiteral("btnTwo")]->text(), QStringLiteral("Button Two"));
        QVERIFY(!byName[QStringLiteral("btnOne")]->isEnabled());
    }

    // A button that opens a menu is offered as that menu, not as a click
    // that would pop it up where the hidden button was.
    void aMenuButtonComesAsItsMenu()
    {
        TBar bar;
        auto *button = new QToolButton(bar.window.get());
        button->setText(QStringLiteral("Menu"));
        button->setPopupMode(QToolButton::InstantPopup);
        auto *own = new QMenu(QStringLiteral("Menu"), button);
        QAction *entry = own->addAction(QStringLiteral("Entry"));
        button->setMenu(own);
        bar.row->insertWidget(5, button);
        bar.ShowAt(10);
        QVERIFY(button->isHidden());
        QMenu *menu = bar.row->MoreButton()->menu();
        bar.MenuNames();
        QAction *sub = nullptr;
        for (QAction *a : menu->actions())
            if (a->menu() == own)
                sub = a;
        QVERIFY(sub);
        QCOMPARE(sub->text(), QStringLiteral("Menu"));
        QSignalSpy triggered(entry, &QAction::triggered);
        sub->menu()->actions().first()->trigger();
        QCOMPARE(triggered.size(), 1);
        // Filling the menu again keeps the button's own menu whole.
        bar.MenuNames();
        QCOMPARE(own->actions(), QList<QAction *>{entry});
        QCOMPARE(menu->actions().count(sub), 1);
    }
};

QTEST_MAIN(TestOverflowRow)
#include "test_overflow_row.moc"
