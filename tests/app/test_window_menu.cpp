// The toolbar's menu of the commands beyond its buttons: each entry shows
// its key, a key belongs to one action only (two would both do nothing), and
// the entries run the commands the keys and the tree's pop-up run.
#include "support/book_fixture.h"
#include "support/find_child.h"
#include "support/window_fixture.h"
#include "app/main_window.h"
#include "book/category_tree.h"

#include <QAction>
#include <QMap>
#include <QMenu>
#include <QStyleOptionMenuItem>
#include <QTest>
#include <QToolButton>

namespace {

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = R("Travel|Hotels|hp|||hu|hpw|||||notes|\r\nShops|Books|bp||||||||||\r\n");

// What the menu draws for an entry: its text and, after a tab, its key.
struct TMenuText : QMenu
{
    static QString Of(QMenu *menu, QAction *action)
    {
        QStyleOptionMenuItem option;
        const auto init = &TMenuText::initStyleOption;
        (menu->*init)(&option, action);
        return option.text;
    }
};

QMenu *MainMenu(TfrmMain *w)
{
    auto *button = w->findChild<QToolButton *>("btnMenu");
    return button ? button->menu() : nullptr;
}

QList<QAction *> Entries(QMenu *menu)
{
    QList<QAction *> out;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            continue;
        out << a;
        if (a->menu() && a->menu() != menu)
            out << Entries(a->menu());
    }
    return out;
}

} // namespace

class TestWindowMenu : public QObject
{
    Q_OBJECT
private slots:
    void entriesShowTheirKeys_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("key"); // empty: none
        QTest::newRow("restore") << "actRestoreBackup" << "Restore Backup\u2026" << QKeySequence();
        QTest::newRow("export") << "actExportCsv" << "Export CSV\u2026" << QKeySequence();
        QTest::newRow("import") << "actImportCsv" << "Import CSV\u2026" << QKeySequence();
        QTest::newRow("add item") << "AddItemKey" << "Add Item" << QKeySequence(QKeySequence::New);
        QTest::newRow("save item") << "SaveItemKey" << "Save Item" << QKeySequence(QKeySequence::Save);
        QTest::newRow("duplicate") << "DuplicateItem1" << "Duplicate Item" << QKeySequence();
        QTest::newRow("username, a key of the tree")
            << "CopyUsername1" << "Copy Username" << QKeySequence(QKeySequence::Copy);
        QTest::newRow("password, a key of the tree")
            << "CopyPassword1" << "Copy Password" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
        QTest::newRow("log in") << "LogIn1" << "Log In" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L);
        QTest::newRow("copy code") << "CopyCode1" << "Copy Code" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O);
    }
    void entriesShowTheirKeys()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QKeySequence, key);
        TActiveWindow f(kCategories, kItems);
        QMenu *menu = MainMenu(f.w.get());
        QVERIFY(menu);
        auto *action = f.w->findChild<QAction *>(name);
        QVERIFY(action);
        QVERIFY(menu->actions().contains(action));
        QCOMPARE(action->text(), text);
        QCOMPARE(action->shortcut(), key);
        const QString shown = TMenuText::Of(menu, action);
        if (key.isEmpty())
            QCOMPARE(shown, text);
        else
            QCOMPARE(shown, text + u'\t' + key.toString(QKeySequence::NativeText));
    }

    // The tree's pop-up offers the tree's keys as the actions that hold them.
    void popupEntriesShowTheirKeys_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("key");
        QTest::newRow("username") << "CopyUsername1" << "Copy Username" << QKeySequence(QKeySequence::Copy);
        QTest::newRow("password") << "CopyPassword1" << "Copy Password" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
        QTest::newRow("rename") << "RenameCategoryKey" << "Rename" << QKeySequence(Qt::Key_F2);
        QTest::newRow("log in") << "LogIn1" << "Log In" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L);
    }
    void popupEntriesShowTheirKeys()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QKeySequence, key);
        TActiveWindow f(kCategories, kItems);
        TCategoryTree *tree = Child<TCategoryTree>(f.w, "tvwMain");
        tree->expandAll();
        tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(0, 0)));
        auto *menu = Child<QMenu>(f.w, "bsSkinPopupMenu1");
        emit tree->customContextMenuRequested(QPoint(1, 1));
        menu->hide();
        auto *action = Child<QAction>(f.w, name.toLatin1());
        QVERIFY(menu->actions().contains(action));
        QVERIFY(action->isVisible());
        QCOMPARE(action->shortcut(), key);
        QCOMPARE(TMenuText::Of(menu, action), text + u'\t' + key.toString(QKeySequence::NativeText));
    }

    void everyEntryHasAText()
    {
        TActiveWindow f(kCategories, kItems);
        TCategoryTree *tree = Child<TCategoryTree>(f.w, "tvwMain");
        tree->expandAll();
        tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(0, 0)));
        QMenu *menu = MainMenu(f.w.get());
        QVERIFY(menu);
        emit menu->aboutToShow();
        const QList<QAction *> entries = Entries(menu);
        QVERIFY(entries.size() > 3);
        for (QAction *a : entries)
            QVERIFY2(!a->text().trimmed().isEmpty(), qPrintable(a->objectName()));
    }

    // Qt runs neither of two actions that claim the same key in one window.
    void noTwoActionsShareAKey()
    {
        TActiveWindow f(kCategories, kItems);
        QMap<QString, QStringList> byKey;
        for (QAction *a : f.w->findChildren<QAction *>())
            for (const QKeySequence &key : a->shortcuts())
                byKey[key.toString()] << a->objectName() + u'/' + a->text();
        for (auto it = byKey.cbegin(); it != byKey.cend(); ++it)
            QVERIFY2(it.value().size() == 1, qPrintable(it.key() + ": " + it.value().join(", ")));
    }

    // Move and duplicate are offered for an item only, as in the pop-up.
    void itemEntriesFollowTheSelection_data()
    {
        QTest::addColumn<bool>("item");
        QTest::newRow("an item") << true;
        QTest::newRow("a category") << false;
    }
    void itemEntriesFollowTheSelection()
    {
        QFETCH(bool, item);
        TActiveWindow f(kCategories, kItems);
        TCategoryTree *tree = Child<TCategoryTree>(f.w, "tvwMain");
        tree->expandAll();
        const QModelIndex category = tree->model()->index(0, 0);
        tree->setCurrentIndex(item ? tree->model()->index(0, 0, category) : category);
        QMenu *menu = MainMenu(f.w.get());
        QVERIFY(menu);
        emit menu->aboutToShow();
        QCOMPARE(Child<QAction>(f.w, "DuplicateItem1")->isVisible(), item);
        QCOMPARE(Child<QMenu>(f.w, "MoveItemTo1")->menuAction()->isVisible(), item);
        QCOMPARE(Child<QAction>(f.w, "LogIn1")->isVisible(), item);
        QVERIFY(menu->actions().contains(Child<QMenu>(f.w, "MoveItemTo1")->menuAction()));
        QCOMPARE(Child<QMenu>(f.w, "MoveItemTo1")->actions().size(), item ? 2 : 0);
    }

    // On a narrow window the menu button goes into the toolbar's "»" menu
    // first, and comes there as the menu itself.
    void aNarrowWindowOffersTheMenuUnderMore()
    {
        TActiveWindow f(kCategories, kItems);
        // As narrow as a large scale factor makes it on a small screen.
        f.w->setMinimumWidth(0);
        f.w->resize(f.w->minimumSizeHint().width(), f.w->height());
        auto *button = f.w->findChild<QToolButton *>("btnMenu");
        QVERIFY(button);
        QTRY_VERIFY(button->isHidden());
        auto *more = Child<QFrame>(f.w, "bsSkinPanel1")->findChild<QToolButton *>("btnMoreButtons");
        QVERIFY(more && more->isVisible());
        emit more->menu()->aboutToShow();
        QVERIFY(more->menu()->actions().contains(button->menu()->menuAction()));
    }
};

QTEST_MAIN(TestWindowMenu)
#include "test_window_menu.moc"
