// Copying fields, moving and duplicating items, and the keys of the tree and
// the main page, driven through the real main window; every message is
// answered by the scripted double.
#include "support/book_fixture.h"
#include "support/find_child.h"
#include "support/window_fixture.h"
#include "app/item_editor.h"
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/add_element_dialog.h"
#include "book/category_tree.h"
#include "settings/branding_settings.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "util/secret_clipboard.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString kSave = "Do you want save the changes you made in this item?";
const QString kDeleteItem = "Are you sure do you want to delete selected item?";
const QString kDeleteCategory = "Are you sure do you want to delete selected category?";
const QString kItemExists = "This item already exists in this category.";
const QString kSelectCategory = "Select a category first.";
const QString kTaken = "Sorry there is an item with this title in this category. Use other name and try again";

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = R("Travel|Hotels|hp|http://w.example/|http://l.example/|hu|h\xE9pw|http://a.example/|"
                            "http://c.example/|h10|h1|hotel notes|\r\n"
                            "Travel|Flights|||||||||||| \r\n"
                            "Shops|Books|bp||||||||||\r\n");

class TFixture : public TActiveWindow
{
public:
    explicit TFixture(const QByteArray &items = kItems) : TActiveWindow(kCategories, items) { tree()->expandAll(); }

    TCategoryTree *tree() const { return Child<TCategoryTree>(w, "tvwMain"); }
    // Nodes of the model the tree shows, whichever that is.
    QModelIndex Node(int category, int item = -1) const
    {
        const QModelIndex c = tree()->model()->index(category, 0);
        return item < 0 ? c : tree()->model()->index(item, 0, c);
    }
    void Select(const QPoint &node) const
    {
        tree()->setCurrentIndex(node.x() < 0 ? QModelIndex() : Node(node.x(), node.y()));
    }
    QString CurrentText() const { return tree()->currentIndex().data().toString(); }
    QStringList Tree() const { return TLoadedBook::TreeOf(*tree()->model()); }
    QLineEdit *Edit(const char *name) const { return w->findChild<QLineEdit *>(name); }
    void TypeInto(const char *field, const QString &text) const
    {
        QTest::keyClick(Edit(field), Qt::Key_End);
        QTest::keyClicks(Edit(field), text);
    }
    QAction *MoveEntry(const QString &category) const
    {
        for (QAction *a : Child<QMenu>(w, "MoveItemTo1")->actions())
            if (a->text() == category)
                return a;
        return nullptr;
    }

};

// Cancels every input dialog a command opens while it lives, telling their
// captions; a dialog nobody expected cannot hang the suite.
class TDialogCanceller
{
public:
    TDialogCanceller()
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (auto *dlg = qobject_cast<TfrmAddElement *>(QApplication::activeModalWidget())) {
                captions << dlg->windowTitle();
                QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
            }
        });
        m_poll.start();
    }
    QStringList captions;

private:
    QTimer m_poll;
};

// Answers the input dialogs a command opens, in turn: each is told as
// "caption: the text it opened with", its text replaced by the step's and
// closed with the step's key; dialogs past the script are cancelled.
class TDialogScript
{
public:
    struct TStep
    {
        QString text;
        int key;
    };
    explicit TDialogScript(QList<TStep> steps) : m_steps(std::move(steps))
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto *dlg = qobject_cast<TfrmAddElement *>(QApplication::activeModalWidget());
            if (!dlg || !dlg->isVisible() || dlg == m_last)
                return;
            m_last = dlg;
            seen << dlg->windowTitle() + ": " + dlg->edtElement->text();
            if (m_steps.isEmpty())
                return dlg->reject();
            const TStep step = m_steps.takeFirst();
            dlg->edtElement->selectAll();
            QTest::keyClicks(dlg->edtElement, step.text);
            QTest::keyClick(dlg->edtElement, Qt::Key(step.key));
        });
        m_poll.start();
    }
    QStringList seen;

private:
    QList<TStep> m_steps;
    QPointer<TfrmAddElement> m_last;
    QTimer m_poll;
};

QString ClipboardText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data ? data->text() : QString();
}

bool ClipboardSecret()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->data(QString::fromLatin1(TSecretClipboard::HintFormat)) == "secret";
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    // --- Keys ---

    void keys_reachTheirCommandsWhereTheyApply_data()
    {
        QTest::addColumn<QPoint>("selected"); // (-1, -1): nothing
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QStringList>("messages");
        const QKeySequence del(Qt::Key_Delete), f2(Qt::Key_F2), newItem(Qt::CTRL | Qt::Key_N);
        QTest::newRow("Delete on an item") << QPoint(0, 0) << "tvwMain" << del << "" << QStringList{kDeleteItem};
        QTest::newRow("Delete on a category")
            << QPoint(1, -1) << "tvwMain" << del << "" << QStringList{kDeleteCategory};
        QTest::newRow("Delete in a field") << QPoint(0, 0) << "edtTitle" << del << "" << QStringList{};
        QTest::newRow("F2 on a category") << QPoint(1, -1) << "tvwMain" << f2 << "Edit Category" << QStringList{};
        QTest::newRow("F2 on an item") << QPoint(0, 0) << "tvwMain" << f2 << "Rename Item" << QStringList{};
        QTest::newRow("F2 in a field") << QPoint(1, -1) << "edtURL" << f2 << "" << QStringList{};
        QTest::newRow("Ctrl+N on the tree") << QPoint(0, 1) << "tvwMain" << newItem << "Add Item" << QStringList{};
        QTest::newRow("Ctrl+N in a field") << QPoint(0, 1) << "edtProg" << newItem << "Add Item" << QStringList{};
        // The tree makes its first node current when it takes the focus:
        // nothing is selected only while the focus is elsewhere.
        QTest::newRow("Ctrl+N with nothing selected")
            << QPoint(-1, -1) << "edtURL" << newItem << "" << QStringList{kSelectCategory};
    }
    void keys_reachTheirCommandsWhereTheyApply()
    {
        QFETCH(QPoint, selected);
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        QFETCH(QString, dialog);
        QFETCH(QStringList, messages);
        TFixture f;
        f.Select(selected);
        auto *target = f.w->findChild<QWidget *>(focus);
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        f.msgs.SetDefaultAnswer(TModalResult::mrCancel);
        TDialogCanceller dialogs;
        QTest::keySequence(target, key);
        QCOMPARE(dialogs.captions, dialog.isEmpty() ? QStringList{} : QStringList{dialog});
        QCOMPARE(f.msgs.Texts(), messages);
        QCOMPARE(f.dir.Read("items.dat"), kItems);
        QCOMPARE(f.dir.Read("categories.dat"), kCategories);
    }

    void f2_renamesFromTheCurrentName_data()
    {
        QTest::addColumn<QPoint>("selected");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("dialogs");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("tree");
        // items.dat afterwards: kItems with `from` replaced by `to`
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        const QStringList unchanged{"Travel:Hotels,Flights", "Shops:Books"};
        QTest::newRow("category") << QPoint(1, -1) << "Stores" << QStringList{"Edit Category: Shops"}
                                  << QStringList{} << QStringList{"Travel:Hotels,Flights", "Stores:Books"}
                                  << R("Shops|") << R("Stores|");
        QTest::newRow("category, taken name comes back")
            << QPoint(1, -1) << "travel" << QStringList{"Edit Category: Shops", "Edit Category: travel"}
            << QStringList{"This category already exists."} << unchanged << QByteArray() << QByteArray();
        // The record keeps its other bytes.
        QTest::newRow("item") << QPoint(0, 0) << "Inns" << QStringList{"Rename Item: Hotels"} << QStringList{}
                              << QStringList{"Travel:Inns,Flights", "Shops:Books"} << R("|Hotels|")
                              << R("|Inns|");
        QTest::newRow("item, title taken comes back")
            << QPoint(0, 0) << "Flights" << QStringList{"Rename Item: Hotels", "Rename Item: Flights"}
            << QStringList{kTaken} << unchanged << QByteArray() << QByteArray();
        // Stored as Save Item stores it: a record cut short is written whole.
        QTest::newRow("item, title of another category")
            << QPoint(0, 1) << "Books" << QStringList{"Rename Item: Flights"} << QStringList{}
            << QStringList{"Travel:Hotels,Books", "Shops:Books"} << R("|Flights|||||||||||| \r\n")
            << R("|Books|||||||||||| |\r\n");
    }
    void f2_renamesFromTheCurrentName()
    {
        QFETCH(QPoint, selected);
        QFETCH(QString, typed);
        QFETCH(QStringList, dialogs);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, tree);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        TFixture f;
        f.Select(selected);
        f.tree()->setFocus();
        QTRY_VERIFY(f.tree()->hasFocus());
        TDialogScript script({{typed, Qt::Key_Return}});
        QTest::keyClick(f.tree(), Qt::Key_F2);
        QCOMPARE(script.seen, dialogs);
        QCOMPARE(f.msgs.Texts(), messages);
        QCOMPARE(f.Tree(), tree);
        if (!from.isEmpty())
            QCOMPARE(f.CurrentText(), typed);
        QCOMPARE(f.dir.Read("items.dat"), QByteArray(kItems).replace(from, to));
    }

    // A refused name comes back in the dialog, and Ctrl+N works at once
    // after the dialog is given up.
    void ctrlN_afterARefusedTitle_worksAtOnce()
    {
        TFixture f;
        f.Select({0, 1});
        f.tree()->setFocus();
        QTRY_VERIFY(f.tree()->hasFocus());
        {
            TDialogScript script({{"hotels", Qt::Key_Return}, {"", Qt::Key_Escape}});
            QTest::keySequence(f.tree(), QKeySequence::New);
            QCOMPARE(script.seen, (QStringList{"Add Item: ", "Add Item: hotels"}));
        }
        QCOMPARE(f.msgs.Texts(), QStringList{kItemExists});
        // The window takes the keys again without a click.
        QTRY_VERIFY(f.w->isActiveWindow());
        QVERIFY(QApplication::focusWidget());
        TDialogScript again({{"Cars", Qt::Key_Return}});
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::New);
        QCOMPARE(again.seen, QStringList{"Add Item: "});
        QCOMPARE(f.Tree(), (QStringList{"Travel:Hotels,Flights,Cars", "Shops:Books"}));
    }

    void undo_bringsBackTheLastDelete_data()
    {
        QTest::addColumn<QPoint>("selected");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("deleted"); // the tree after the delete
        QTest::newRow("an item") << QPoint(0, 1) << "Undo Delete of \"Flights\""
                                 << QStringList{"Travel:Hotels", "Shops:Books"};
        QTest::newRow("a category with its items")
            << QPoint(0, -1) << "Undo Delete of \"Travel\"" << QStringList{"Shops:Books"};
    }
    void undo_bringsBackTheLastDelete()
    {
        QFETCH(QPoint, selected);
        QFETCH(QString, entry);
        QFETCH(QStringList, deleted);
        TFixture f;
        f.Select(selected);
        const QString name = f.CurrentText();
        f.tree()->setFocus();
        QTRY_VERIFY(f.tree()->hasFocus());
        auto *undo = Child<QAction>(f.w, "UndoDelete1");
        QVERIFY(!undo->isEnabled());
        f.msgs.Answer(TModalResult::mrOk);
        QTest::keyClick(f.tree(), Qt::Key_Delete);
        QCOMPARE(f.Tree(), deleted);
        QVERIFY(f.dir.Read("items.dat") != kItems);
        QCOMPARE(undo->text(), entry);
        // Offered with its key in the tree's pop-up and in the Menu.
        for (const char *menu : {"bsSkinPopupMenu1", "mnuMain"})
            QVERIFY(Child<QMenu>(f.w, menu)->actions().contains(undo));
        QCOMPARE(undo->shortcut(), QKeySequence(QKeySequence::Undo));
        QTest::keySequence(f.tree(), QKeySequence::Undo);
        QCOMPARE(f.Tree(), (QStringList{"Travel:Hotels,Flights", "Shops:Books"}));
        QCOMPARE(f.dir.Read("items.dat"), kItems);
        QCOMPARE(f.dir.Read("categories.dat"), kCategories);
        QCOMPARE(f.CurrentText(), name);
        QVERIFY(!undo->isEnabled());
        QCOMPARE(undo->text(), QString("Undo Delete"));
        QCOMPARE(f.msgs.Texts().size(), 1); // the delete's question alone
    }

    void keys_deleteAndSaveWorkOnTheirTargets()
    {
        TFixture f;
        f.Select({0, 0});
        // Delete in a field deletes a character, not the item.
        f.Edit("edtTitle")->setFocus();
        QTest::keyClick(f.Edit("edtTitle"), Qt::Key_Home);
        QTest::keyClick(f.Edit("edtTitle"), Qt::Key_Delete);
        QCOMPARE(f.Edit("edtTitle")->text(), QString("otels"));
        // Ctrl+S from another field stores it, as Save Item does.
        f.Edit("edtPayout")->setFocus();
        QTest::keySequence(f.Edit("edtPayout"), QKeySequence(Qt::CTRL | Qt::Key_S));
        QCOMPARE(f.Tree(), (QStringList{"Travel:otels,Flights", "Shops:Books"}));
        QVERIFY(f.dir.Read("items.dat").startsWith(R("Travel|otels|hp|")));
        QVERIFY(!f.w->findChild<TItemEditor *>()->IsModified());
        // Delete on the tree, answered OK, deletes the item.
        f.tree()->setFocus();
        f.msgs.Answer(TModalResult::mrOk);
        QTest::keyClick(f.tree(), Qt::Key_Delete);
        QCOMPARE(f.msgs.Texts(), QStringList{kDeleteItem});
        QCOMPARE(f.Tree(), (QStringList{"Travel:Flights", "Shops:Books"}));
        QVERIFY(!f.dir.Read("items.dat").contains("otels"));
    }

    // --- Copy ---

    void copy_putsWhatTheFieldShowsOnTheSecretClipboard_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QPoint>("selected");
        QTest::addColumn<QString>("copied"); // empty: the clipboard keeps what it had
        QTest::newRow("Ctrl+C on the tree") << "Ctrl+C" << QPoint(0, 0) << "hu";
        QTest::newRow("Ctrl+Shift+C on the tree") << "Ctrl+Shift+C" << QPoint(0, 0) << "h\u00E9pw";
        QTest::newRow("Ctrl+C on a category") << "Ctrl+C" << QPoint(1, -1) << "";
        QTest::newRow("Copy Password entry") << "CopyPassword1" << QPoint(0, 0) << "h\u00E9pw";
        QTest::newRow("Copy Username entry") << "CopyUsername1" << QPoint(0, 0) << "hu";
        QTest::newRow("website address") << "CopyWebsiteURL1" << QPoint(0, 0) << "http://w.example/";
        QTest::newRow("login address") << "CopyLoginURL1" << QPoint(0, 0) << "http://l.example/";
        QTest::newRow("affiliate link") << "CopyAffiliateURL1" << QPoint(0, 0) << "http://a.example/";
        QTest::newRow("cloaked address") << "CopyCloaked1" << QPoint(0, 0) << "http://c.example/";
        QTest::newRow("typing not yet stored") << "typed" << QPoint(0, 0) << "h\u00E9pw!";
    }
    void copy_putsWhatTheFieldShowsOnTheSecretClipboard()
    {
        QFETCH(QString, how);
        QFETCH(QPoint, selected);
        QFETCH(QString, copied);
        TFixture f;
        QGuiApplication::clipboard()->setText("before");
        f.Select(selected);
        f.tree()->setFocus();
        QTRY_VERIFY(f.tree()->hasFocus());
        if (how == "Ctrl+C") {
            QTest::keySequence(f.tree(), QKeySequence::Copy);
        } else if (how == "Ctrl+Shift+C") {
            QTest::keySequence(f.tree(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
        } else if (how == "typed") {
            f.TypeInto("edtPassword", "!");
            f.tree()->setFocus();
            QTest::keySequence(f.tree(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
        } else {
            f.w->findChild<QAction *>(how)->trigger();
        }
        if (copied.isEmpty()) {
            QCOMPARE(ClipboardText(), QString("before"));
            return;
        }
        QCOMPARE(ClipboardText(), copied);
        QVERIFY(ClipboardSecret());
        QVERIFY(f.msgs.shown.isEmpty());
        // It goes after a while, as the pasted login does.
        Child<TSecretClipboard>(f.w, "SecretClipboard")->ClearIfStillOurs();
        QCOMPARE(ClipboardText(), QString());
    }

    void copy_inTheSecretFieldsGoesThroughTheSecretClipboard_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("how"); // a key, or the field's own menu entry
        QTest::addColumn<QString>("copied");
        QTest::addColumn<QString>("left");
        QTest::addColumn<bool>("secret");
        QTest::newRow("copy key in the password") << "edtPassword" << "Ctrl+C" << "\u00E9p" << "h\u00E9pw" << true;
        QTest::newRow("cut key in the username") << "edtLogin" << "Ctrl+X" << "u" << "h" << true;
        QTest::newRow("menu Copy in the password") << "edtPassword" << "edit-copy" << "\u00E9p" << "h\u00E9pw" << true;
        QTest::newRow("menu Cut in the username") << "edtLogin" << "edit-cut" << "u" << "h" << true;
        QTest::newRow("other fields copy as usual") << "edtProg" << "Ctrl+C" << "p" << "hp" << false;
        QTest::newRow("other fields' menus copy as usual") << "edtLoginURL" << "edit-copy" << "t" << "http://l.example/"
                                                           << false;
    }
    void copy_inTheSecretFieldsGoesThroughTheSecretClipboard()
    {
        QFETCH(QString, field);
        QFETCH(QString, how);
        QFETCH(QString, copied);
        QFETCH(QString, left);
        QFETCH(bool, secret);
        TFixture f;
        f.Select({0, 0});
        QLineEdit *edit = f.Edit(field.toLatin1());
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        edit->setSelection(1, int(copied.size()));
        f.w->findChild<TItemEditor *>()->SetModified(false);
        bool modified = true; // every key that reaches a field counts
        if (how.startsWith("Ctrl")) {
            QTest::keySequence(edit, QKeySequence(how));
        } else {
            emit edit->customContextMenuRequested(QPoint(2, 2));
            QMenu *menu = nullptr;
            QTRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
            auto *entry = menu->findChild<QAction *>(how);
            QVERIFY(entry);
            QVERIFY(entry->isEnabled());
            // The whole-field entry stands below the field's own.
            QCOMPARE(menu->actions().last()->objectName().startsWith("Copy"), true);
            entry->trigger();
            menu->close();
            modified = how == "edit-cut";
        }
        QCOMPARE(ClipboardText(), copied);
        QCOMPARE(ClipboardSecret(), secret);
        QCOMPARE(edit->text(), left);
        QCOMPARE(f.w->findChild<TItemEditor *>()->IsModified(), modified);
    }

    // --- Pop-up entries ---

    void popup_showsMoveAndDuplicateForAnItemOnly_data()
    {
        QTest::addColumn<QPoint>("selected");
        QTest::addColumn<QStringList>("visible");
        QTest::addColumn<QStringList>("moveTargets"); // enabled entries of Move Item To
        QTest::newRow("nothing") << QPoint(-1, -1)
                                 << QStringList{"Add Category", "", "Add Item", "Copy Username", "Copy Password",
                                                "Undo Delete"}
                                 << QStringList{};
        QTest::newRow("a category") << QPoint(1, -1)
                                    << QStringList{"Add Category", "EditCategory", "Delete Category", "", "Add Item",
                                                   "Copy Username", "Copy Password", "Rename", "Undo Delete"}
            << QStringList{};
        QTest::newRow("an item")
            << QPoint(0, 1)
            << QStringList{"Add Category", "", "Add Item", "Delete Item", "", "Move Item To\u2026", "Duplicate Item",
                           "Copy Username", "Copy Password", "Rename", "Log In", "Undo Delete"}
            << QStringList{"Shops"};
    }
    void popup_showsMoveAndDuplicateForAnItemOnly()
    {
        QFETCH(QPoint, selected);
        QFETCH(QStringList, visible);
        QFETCH(QStringList, moveTargets);
        TFixture f;
        f.Select(selected);
        // As a right click on the tree opens it.
        emit Child<TCategoryTree>(f.w, "tvwMain")->customContextMenuRequested(QPoint(1, 1));
        Child<QMenu>(f.w, "bsSkinPopupMenu1")->hide();
        QStringList shown;
        for (QAction *a : Child<QMenu>(f.w, "bsSkinPopupMenu1")->actions())
            if (a->isVisible())
                shown << a->text();
        QCOMPARE(shown, visible);
        QStringList targets;
        for (QAction *a : Child<QMenu>(f.w, "MoveItemTo1")->actions())
            if (a->isEnabled())
                targets << a->text();
        QCOMPARE(targets, moveTargets);
    }

    void moveItemTo_asksAboutTypingFirst_data()
    {
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("payout"); // shown afterwards
        const QStringList moved{"Travel:Hotels", "Shops:Flights,Books"};
        const QStringList stayed{"Travel:Hotels,Flights", "Shops:Books"};
        QTest::newRow("no typing") << kItems << false << 0 << QStringList{} << moved << "";
        QTest::newRow("yes stores, then moves")
            << kItems << true << int(TModalResult::mrYes) << QStringList{kSave} << moved << "9";
        QTest::newRow("no drops the typing and moves")
            << kItems << true << int(TModalResult::mrNo) << QStringList{kSave} << moved << "";
        QTest::newRow("cancel keeps item and typing")
            << kItems << true << int(TModalResult::mrCancel) << QStringList{kSave} << stayed << "9";
        QTest::newRow("title taken in the target")
            << kItems + R("Shops|FLIGHTS|||||||||||\r\n") << false << 0 << QStringList{kItemExists}
            << QStringList{"Travel:Hotels,Flights", "Shops:Books,FLIGHTS"} << "";
    }
    void moveItemTo_asksAboutTypingFirst()
    {
        QFETCH(QByteArray, items);
        QFETCH(bool, typed);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, tree);
        QFETCH(QString, payout);
        TFixture f(items);
        f.Select({0, 1});
        if (typed)
            f.TypeInto("edtPayout", "9");
        if (answer)
            f.msgs.Answer(TModalResult(answer));
        emit Child<QMenu>(f.w, "bsSkinPopupMenu1")->aboutToShow();
        f.MoveEntry("Shops")->trigger();
        QCOMPARE(f.msgs.Texts(), messages);
        QCOMPARE(f.Tree(), tree);
        QCOMPARE(f.CurrentText(), QString("Flights"));
        QCOMPARE(f.Edit("edtPayout")->text(), payout);
        QCOMPARE(f.w->findChild<TItemEditor *>()->IsModified(), answer == int(TModalResult::mrCancel));
        const bool moved = tree == QStringList{"Travel:Hotels", "Shops:Flights,Books"};
        const QByteArray disk = f.dir.Read("items.dat");
        QCOMPARE(disk == items, !moved);
        QCOMPARE(disk.contains(R("\nShops|Flights|")), moved);
        QCOMPARE(disk.contains(R("|9|")), moved && !payout.isEmpty());
    }

    void duplicateItem_selectsTheCopy()
    {
        TFixture f;
        f.Select({1, 0});
        f.TypeInto("edtProg", "X");
        f.msgs.Answer(TModalResult::mrYes);
        emit Child<QMenu>(f.w, "bsSkinPopupMenu1")->aboutToShow();
        Child<QAction>(f.w, "DuplicateItem1")->trigger();
        Child<QAction>(f.w, "DuplicateItem1")->trigger();
        QCOMPARE(f.msgs.Texts(), QStringList{kSave});
        QCOMPARE(f.Tree(), (QStringList{"Travel:Hotels,Flights", "Shops:Books,Books (copy),Books (copy 2)"}));
        QCOMPARE(f.CurrentText(), QString("Books (copy 2)"));
        QCOMPARE(f.Edit("edtTitle")->text(), QString("Books (copy 2)"));
        QCOMPARE(f.Edit("edtProg")->text(), QString("bpX"));
        // Copies of the record as stored, each under its own title.
        const QByteArray stored = f.w->Book().Record(2);
        QVERIFY(stored.startsWith(R("Shops|Books|bpX|")));
        const QByteArray first = QByteArray(stored).replace(R("|Books|"), R("|Books (copy)|"));
        const QByteArray second = QByteArray(stored).replace(R("|Books|"), R("|Books (copy 2)|"));
        QVERIFY(f.dir.Read("items.dat").endsWith(stored + "\r\n" + first + "\r\n" + second + "\r\n"));
    }

    // --- Drag and drop ---

    void drop_throughTheTreesModel_movesSavesAndSelects()
    {
        TFixture f;
        f.Select({0, 0});
        f.TypeInto("edtPayout", "5");
        f.msgs.Answer(TModalResult::mrYes);
        QAbstractItemModel *model = f.tree()->model();
        std::unique_ptr<QMimeData> data(model->mimeData({f.Node(0, 0)}));
        QVERIFY(data);
        QVERIFY(model->dropMimeData(data.get(), Qt::MoveAction, -1, -1, f.Node(1, 0)));
        QCOMPARE(f.msgs.Texts(), QStringList{kSave});
        QCOMPARE(f.Tree(), (QStringList{"Travel:Flights", "Shops:Hotels,Books"}));
        QCOMPARE(f.CurrentText(), QString("Hotels"));
        QCOMPARE(f.Edit("edtPayout")->text(), QString("h105"));
        QVERIFY(f.dir.Read("items.dat").startsWith(R("Shops|Hotels|hp|")));
        QVERIFY(f.dir.Read("items.dat").contains(R("|h105|")));
    }

    void drop_eventsOnTheTree_data()
    {
        QTest::addColumn<QPoint>("onto");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("on another category") << QPoint(1, -1) << true;
        QTest::newRow("on an item of another category") << QPoint(1, 0) << true;
        QTest::newRow("on its own category") << QPoint(0, -1) << false;
    }
    void drop_eventsOnTheTree()
    {
        QFETCH(QPoint, onto);
        QFETCH(bool, accepted);
        TFixture f;
        f.Select({0, 1});
        std::unique_ptr<QMimeData> data(f.tree()->model()->mimeData({f.Node(0, 1)}));
        QWidget *viewport = f.tree()->viewport();
        // The drag enters over the item itself, where it cannot drop.
        const QPoint start = f.tree()->visualRect(f.Node(0, 1)).center();
        QDragEnterEvent enter(start, Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        const QPoint at = f.tree()->visualRect(f.Node(onto.x(), onto.y())).center();
        QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        QCOMPARE(move.isAccepted(), accepted);
        QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &drop);
        const QStringList moved{"Travel:Hotels", "Shops:Flights,Books"};
        const QStringList stayed{"Travel:Hotels,Flights", "Shops:Books"};
        QCOMPARE(f.Tree(), accepted ? moved : stayed);
        QCOMPARE(f.dir.Read("items.dat") == kItems, !accepted);
        QCOMPARE(f.CurrentText(), QString("Flights"));
    }
};

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
