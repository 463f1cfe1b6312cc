// The item editor and the book commands, driven through the real main window
// with mouse and key events; every message is answered by the scripted double.
#include "app/item_editor.h"
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/add_element_dialog.h"
#include "book/category_tree.h"
#include "settings/branding_settings.h"
#include "support/book_fixture.h"
#include "support/find_child.h"
#include "support/on_dialog.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <functional>

namespace {

const QString kSave = "Do you want save the changes you made in this item?";
const QString kTaken = "Sorry there is an item with this title in this category. Use other name and try again";

// Two categories; Travel holds Hotels and Flights, Shops holds Books; a record
// without a category stands between them.
const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = R("Travel|Hotels|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel notes|\r\n"
                            "Gone|Orphan|||||||||||x|\r\n"
                            "Travel|Flights|||||||||||| \r\n"
                            "Shops|Books|bp||||||||||\r\n");


// Types text, also characters QTest's key table does not know.
void Keys(QWidget *w, const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x80 && c.isPrint())
            QTest::keyClicks(w, QString(c));
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void Type(const QString &text, const char *button = "btnOk")
{
    OnDialog<TfrmAddElement>([text, button](TfrmAddElement *dlg) {
        Keys(dlg->edtElement, text);
        QTest::mouseClick(dlg->findChild<QPushButton *>(button), Qt::LeftButton);
    });
}

// Types text and presses Ok in the next dialog; the book refuses it, so
// the dialog comes back: `cameBack` receives what its field then holds, and
// Esc closes it.
void TypeRefused(const QString &text, QString *cameBack)
{
    OnDialog<TfrmAddElement>([text, cameBack](TfrmAddElement *first) {
        OnDialog<TfrmAddElement>([cameBack](TfrmAddElement *again) {
            *cameBack = again->edtElement->text();
            QTest::keyClick(again->edtElement, Qt::Key_Escape);
        });
        Keys(first->edtElement, text);
        QTest::mouseClick(first->btnOk, Qt::LeftButton);
    });
}

class TFixture
{
public:
    explicit TFixture(const QByteArray &categories = kCategories, const QByteArray &items = kItems)
    {
        BrandingSettings() = TBrandingSettings{};
        if (!categories.isNull())
            dir.Write("categories.dat", categories);
        if (!items.isNull())
            dir.Write("items.dat", items);
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        // The record without a category is told of at load (and the offer to
        // add its category declined); the tests count what follows.
        msgs.Clear();
        Child<QTimer>(w, "Timer1")->stop();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("window not shown");
    }

    QModelIndex Node(int category, int item = -1) const
    {
        const QModelIndex c = Child<TCategoryTree>(w, "tvwMain")->model()->index(category, 0);
        return item < 0 ? c : Child<TCategoryTree>(w, "tvwMain")->model()->index(item, 0, c);
    }
    QModelIndex Current() const { return Child<TCategoryTree>(w, "tvwMain")->currentIndex(); }
    bool Selected(const QModelIndex &node) const
    {
        return Child<TCategoryTree>(w, "tvwMain")->selectionModel()->isSelected(node);
    }
    QModelIndexList SelectedNodes() const
    {
        return Child<TCategoryTree>(w, "tvwMain")->selectionModel()->selectedIndexes();
    }
    void Click(const QModelIndex &node) const
    {
        Child<TCategoryTree>(w, "tvwMain")->scrollTo(node);
        const QRect r = Child<TCategoryTree>(w, "tvwMain")->visualRect(node);
        QTest::mouseClick(Child<TCategoryTree>(w, "tvwMain")->viewport(), Qt::LeftButton, {}, r.center());
    }
    // The files on disk hold what the lists hold.
    bool DiskMatchesLists() const
    {
        const auto same = [&](const QString &file, const TStringList &list) {
            return !dir.Exists(file) ? list.isEmpty() : dir.Read(file) == JoinLines(list);
        };
        return same("categories.dat", CategoryList(w->Book())) && same("items.dat", ItemList(w->Book()));
    }
    QStringList TreeTexts() const { return TLoadedBook::TreeOf(*Child<TCategoryTree>(w, "tvwMain")->model()); }

    TTempAppFolder dir;
    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

} // namespace

class TestBookEditing : public QObject
{
    Q_OBJECT
private slots:
    // --- The save question, however the move is asked for ---

    void saveQuestion_answers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QByteArray>("storedProg");
        QTest::newRow("cancel keeps node and typing") << int(TModalResult::mrCancel) << false << QByteArray("hp");
        QTest::newRow("closing the box counts as cancel") << int(TModalResult::mrNone) << false << QByteArray("hp");
        QTest::newRow("no drops the typing") << int(TModalResult::mrNo) << true << QByteArray("hp");
        QTest::newRow("yes stores and moves") << int(TModalResult::mrYes) << true << QByteArray("hpX");
    }
    void saveQuestion_answers()
    {
        QFETCH(int, answer);
        QFETCH(bool, moved);
        QFETCH(QByteArray, storedProg);
        TFixture f;
        f.Click(f.Node(0, 0));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtProg")->text(), QString("hp"));
        QTest::keyClick(f.w->findChild<QLineEdit *>("edtProg"), Qt::Key_End);
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtProg"), "X");
        QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());

        f.msgs.Answer(TModalResult(answer));
        QSignalSpy changes(Child<TCategoryTree>(f.w, "tvwMain"), &TCategoryTree::currentNodeChanged);
        f.Click(f.Node(1, 0));
        QCOMPARE(f.msgs.Texts(), QStringList{kSave});
        QCOMPARE(f.msgs.shown[0].kind, TMsgDlgType::mtWarning);
        QCOMPARE(f.msgs.shown[0].buttons, TMsgDlgButtons(mbYes) | mbNo | mbCancel);
        if (!moved) {
            QCOMPARE(changes.count(), 0); // no flicker through the other node
            QCOMPARE(f.Current(), f.Node(0, 0));
            QVERIFY(f.Selected(f.Node(0, 0)));
            QVERIFY(!f.Selected(f.Node(1, 0)));
            QCOMPARE(f.w->findChild<QLineEdit *>("edtProg")->text(), QString("hpX"));
            QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());
        } else {
            QCOMPARE(f.Current(), f.Node(1, 0));
            QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString("Books"));
            QVERIFY(!f.w->findChild<TItemEditor *>()->IsModified());
        }
        f.msgs.Clear();
        f.w->findChild<TItemEditor *>()->SetModified(false);
        f.Click(f.Node(0, 0));
        if (moved)
            QCOMPARE(f.w->findChild<QLineEdit *>("edtProg")->text(), QString::fromLatin1(storedProg));
        QVERIFY(f.msgs.shown.isEmpty());
        QVERIFY(f.DiskMatchesLists());
        QCOMPARE(f.dir.Read("items.dat").contains(R("|hpX|")), storedProg == "hpX");
    }

    void saveQuestion_refusalHoldsForEveryKindOfMove_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("arrow key") << "down";
        QTest::newRow("home key") << "home";
        QTest::newRow("typing a node's first letter") << "letter";
        QTest::newRow("programmatic selection") << "program";
        QTest::newRow("right-click") << "right";
    }
    void saveQuestion_refusalHoldsForEveryKindOfMove()
    {
        QFETCH(QString, how);
        TFixture f;
        Child<TCategoryTree>(f.w, "tvwMain")->expand(f.Node(0));
        f.Click(f.Node(0, 0));
        QTest::keyClick(f.w->findChild<QLineEdit *>("edtPayout"), Qt::Key_Left); // a key that changes nothing still counts
        QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());
        f.msgs.SetDefaultAnswer(TModalResult::mrCancel);
        QSignalSpy changes(Child<TCategoryTree>(f.w, "tvwMain"), &TCategoryTree::currentNodeChanged);
        if (how == "down")
            QTest::keyClick(Child<TCategoryTree>(f.w, "tvwMain"), Qt::Key_Down);
        else if (how == "home")
            QTest::keyClick(Child<TCategoryTree>(f.w, "tvwMain"), Qt::Key_Home);
        else if (how == "letter")
            QTest::keyClicks(Child<TCategoryTree>(f.w, "tvwMain"), "S");
        else if (how == "program")
            Child<TCategoryTree>(f.w, "tvwMain")->setCurrentIndex(f.Node(1));
        else {
            const QRect r = Child<TCategoryTree>(f.w, "tvwMain")->visualRect(f.Node(1));
            QTest::mouseClick(Child<TCategoryTree>(f.w, "tvwMain")->viewport(), Qt::RightButton, {}, r.center());
            Child<QMenu>(f.w, "bsSkinPopupMenu1")->close();
        }
        QCOMPARE(f.msgs.Texts(), QStringList{kSave});
        QCOMPARE(changes.count(), 0);
        QCOMPARE(f.Current(), f.Node(0, 0));
        QCOMPARE(f.SelectedNodes(), QModelIndexList{f.Node(0, 0)});
    }

    void yesWithTitleConflict_refusesTheMove()
    {
        TFixture f;
        f.Click(f.Node(0, 0));
        f.w->findChild<QLineEdit *>("edtTitle")->clear();
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtTitle"), "Flights");
        f.msgs.Answer(TModalResult::mrYes);
        f.Click(f.Node(1, 0));
        QCOMPARE(f.msgs.Texts(), (QStringList{kSave, kTaken}));
        QCOMPARE(f.Current(), f.Node(0, 0));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString("Flights"));
        QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());
        QCOMPARE(f.dir.Read("items.dat"), kItems);
    }

    void typingWithNothingSelected_doesNotGoIn()
    {
        TFixture f;
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtTitle"), "stray");
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString());
        f.Click(f.Node(0));
        f.Click(f.Node(0, 0));
        QVERIFY(f.msgs.shown.isEmpty());
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString("Hotels"));
    }

    // --- Save Item ---

    void saveItem_titleRules_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("stored");
        QTest::newRow("title of a sibling") << "Flights" << false;
        QTest::newRow("sibling title in other case") << "FLIGHTS" << true;
        QTest::newRow("sibling title with a blank") << "Flights " << true;
        QTest::newRow("title used in another category") << "Books" << true;
        QTest::newRow("empty title") << "" << true;
    }
    void saveItem_titleRules()
    {
        QFETCH(QString, title);
        QFETCH(bool, stored);
        TFixture f;
        f.Click(f.Node(0, 0));
        f.w->findChild<QLineEdit *>("edtTitle")->clear();
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtTitle"), title);
        QTest::mouseClick(f.w->findChild<QPushButton *>("btnSave"), Qt::LeftButton);
        QCOMPARE(f.msgs.Texts(), stored ? QStringList{} : QStringList{kTaken});
        QCOMPARE(f.Node(0, 0).data().toString(), stored ? title : QString("Hotels"));
        QCOMPARE(f.w->findChild<TItemEditor *>()->IsModified(), !stored);
        QVERIFY(f.DiskMatchesLists());
        if (!stored)
            QCOMPARE(f.dir.Read("items.dat"), kItems);
    }

    void saveItem_rewritesAddedRecordWithTwelveFields_andKeepsDescriptionLines()
    {
        TFixture f(kCategories, kItems + R("Shops|Fresh|||||||||||||\r\n"));
        f.Click(f.Node(1, 1));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString("Fresh"));
        f.w->findChild<QPlainTextEdit *>("memDesc")->setFocus();
        QTest::keyClicks(f.w->findChild<QPlainTextEdit *>("memDesc"), "one");
        QTest::keyClick(f.w->findChild<QPlainTextEdit *>("memDesc"), Qt::Key_Return);
        QTest::keyClicks(f.w->findChild<QPlainTextEdit *>("memDesc"), "two");
        QTest::keyClick(f.w->findChild<QPlainTextEdit *>("memDesc"), Qt::Key_Return);
        QTest::keyClicks(f.w->findChild<QPlainTextEdit *>("memDesc"), "three");
        QTest::mouseClick(f.w->findChild<QPushButton *>("btnSave"), Qt::LeftButton);
        QCOMPARE(ItemList(f.w->Book()).last(), R("Shops|Fresh||||||||||one||##two||##three|"));
        QVERIFY(f.DiskMatchesLists());

        f.Click(f.Node(1, 0));
        f.Click(f.Node(1, 1));
        QCOMPARE(f.w->findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString("one\ntwo\nthree"));
        // And after a restart.
        TfrmMain again(f.dir.Path(), &f.msgs);
        Child<TCategoryTree>(again, "tvwMain")->SetCurrent(again.Book().index(1, 0, again.Book().index(1, 0)));
        QCOMPARE(again.findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString("one\ntwo\nthree"));
    }

    void saveItem_onCategoryOrNothing_doesNothing()
    {
        TFixture f;
        QTest::mouseClick(f.w->findChild<QPushButton *>("btnSave"), Qt::LeftButton);
        f.Click(f.Node(0));
        QTest::mouseClick(f.w->findChild<QPushButton *>("btnSave"), Qt::LeftButton);
        QVERIFY(f.msgs.shown.isEmpty());
        QCOMPARE(f.dir.Read("items.dat"), kItems);
        for (QWidget *field : f.w->findChild<TItemEditor *>()->Fields())
            QVERIFY(!field->isEnabled());
    }

    // --- Book commands ---

    void addCategory_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("added");
        QTest::newRow("new name") << "Hosting" << true;
        QTest::newRow("taken, other case and blanks") << " travel " << false;
        QTest::newRow("accented letters are not folded") << QString::fromUtf8("Shöps") << true;
        QTest::newRow("leading blank kept as typed") << " Tools" << true;
    }
    void addCategory()
    {
        QFETCH(QString, name);
        QFETCH(bool, added);
        TFixture f;
        f.Click(f.Node(0, 1));
        QString cameBack;
        if (added)
            Type(name);
        else
            TypeRefused(name, &cameBack);
        QTest::mouseClick(Child<QPushButton>(f.w, "btnAddCategory"), Qt::LeftButton);
        QCOMPARE(f.msgs.Texts(), added ? QStringList{} : QStringList{"This category already exists."});
        QCOMPARE(cameBack, added ? QString() : name);
        QCOMPARE(Child<TCategoryTree>(f.w, "tvwMain")->model()->rowCount(), added ? 3 : 2);
        if (added) {
            QCOMPARE(f.Node(2).data().toString(), name);
            QCOMPARE(CategoryList(f.w->Book()).last(), name.toLatin1());
        }
        QCOMPARE(f.Current(), f.Node(0, 1)); // the new node is not selected
        QVERIFY(f.DiskMatchesLists());
    }

    void addCategory_toEmptyBook_createsFile()
    {
        TFixture f{QByteArray(), QByteArray()};
        Type("Travel");
        Child<QAction>(f.w, "AddCategory1")->trigger();
        QCOMPARE(f.dir.Read("categories.dat"), QByteArray("Travel\r\n"));
        QVERIFY(!f.dir.Exists("items.dat"));
    }

    void dialog_blankValueKeepsItOpen()
    {
        TFixture f;
        bool checked = false;
        OnDialog<TfrmAddElement>([&](TfrmAddElement *dlg) {
            QCOMPARE(dlg->windowTitle(), QString("Add Category"));
            QCOMPARE(dlg->lblLabel->text(), QString("Category:"));
            QCOMPARE(dlg->size(), QSize(359, 95));
            QTest::keyClicks(dlg->edtElement, "  \t");
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
            QCOMPARE(f.msgs.Texts(), QStringList{"Please enter a value for this field."});
            QVERIFY(dlg->isVisible());
            // Enter is Ok, and refuses the blank value as Ok does.
            QTest::keyClick(dlg->edtElement, Qt::Key_Return);
            QCOMPARE(f.msgs.Texts().size(), 2);
            QVERIFY(dlg->isVisible());
            checked = true;
            QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
        });
        Child<QAction>(f.w, "AddCategory1")->trigger();
        QVERIFY(checked);
        QCOMPARE(Child<TCategoryTree>(f.w, "tvwMain")->model()->rowCount(), 2);
        QCOMPARE(f.dir.Read("categories.dat"), kCategories);
    }

    void dialog_enterIsOkAndEscCancels_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("key");
        QTest::addColumn<QByteArray>("categories"); // empty: unchanged
        QTest::addColumn<QByteArray>("items");      // empty: unchanged
        const QByteArray added = kItems + R("Travel|Cars|||||||||||||\r\n");
        QTest::newRow("Add Category, Enter") << "AddCategory1" << int(Qt::Key_Return)
                                             << QByteArray(kCategories + "Cars\r\n") << QByteArray();
        QTest::newRow("Add Category, keypad Enter") << "AddCategory1" << int(Qt::Key_Enter)
                                                    << QByteArray(kCategories + "Cars\r\n") << QByteArray();
        QTest::newRow("Add Category, Esc") << "AddCategory1" << int(Qt::Key_Escape) << QByteArray() << QByteArray();
        QTest::newRow("Add Item, Enter") << "AddItem1" << int(Qt::Key_Return) << QByteArray() << added;
        QTest::newRow("Add Item, Esc") << "AddItem1" << int(Qt::Key_Escape) << QByteArray() << QByteArray();
        QTest::newRow("Edit Category, Enter")
            << "EditCategory1" << int(Qt::Key_Return) << QByteArray("Cars\r\nShops\r\n")
            << QByteArray(R("Cars|Hotels|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel notes|\r\n"
                            "Gone|Orphan|||||||||||x|\r\n"
                            "Cars|Flights|||||||||||| \r\n"
                            "Shops|Books|bp||||||||||\r\n"));
        QTest::newRow("Edit Category, Esc") << "EditCategory1" << int(Qt::Key_Escape) << QByteArray() << QByteArray();
    }
    void dialog_enterIsOkAndEscCancels()
    {
        QFETCH(QString, command);
        QFETCH(int, key);
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        TFixture f;
        f.Click(f.Node(0));
        bool open = false;
        OnDialog<TfrmAddElement>([&](TfrmAddElement *dlg) {
            QTest::keyClicks(dlg->edtElement, "Cars");
            QTest::keyClick(dlg->edtElement, Qt::Key(key));
            open = dlg->isVisible();
            if (open)
                dlg->reject();
        });
        Child<QAction>(f.w, command.toLatin1())->trigger();
        QVERIFY(!open);
        QCOMPARE(f.msgs.Texts(), QStringList{});
        QCOMPARE(f.dir.Read("categories.dat"), categories.isEmpty() ? kCategories : categories);
        QCOMPARE(f.dir.Read("items.dat"), items.isEmpty() ? kItems : items);
    }

    void addItem_withNothingSelected_asksForCategory()
    {
        TFixture f;
        QTest::mouseClick(Child<QPushButton>(f.w, "btnAddItem"), Qt::LeftButton);
        QCOMPARE(f.msgs.Texts(), QStringList{"Select a category first."});
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(f.dir.Read("items.dat"), kItems);
        QCOMPARE(f.dir.Read("categories.dat"), kCategories);
    }

    void addItem_data()
    {
        QTest::addColumn<int>("selectCategory");
        QTest::addColumn<int>("selectItem");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("into the selected category") << 1 << -1 << "Music" << "";
        QTest::newRow("into the selected item's category") << 0 << 1 << "Cars" << "";
        QTest::newRow("title taken, other case") << 0 << -1 << "hotels" << "This item already exists in this category.";
        QTest::newRow("leading blank is another title") << 0 << -1 << " Hotels" << "";
    }
    void addItem()
    {
        QFETCH(int, selectCategory);
        QFETCH(int, selectItem);
        QFETCH(QString, title);
        QFETCH(QString, refusal);
        TFixture f;
        Child<TCategoryTree>(f.w, "tvwMain")->expand(f.Node(selectCategory));
        f.Click(f.Node(selectCategory, selectItem));
        QString cameBack;
        if (refusal.isEmpty())
            Type(title);
        else
            TypeRefused(title, &cameBack);
        QTest::mouseClick(Child<QPushButton>(f.w, "btnAddItem"), Qt::LeftButton);
        QCOMPARE(f.msgs.Texts(), refusal.isEmpty() ? QStringList{} : QStringList{refusal});
        QCOMPARE(cameBack, refusal.isEmpty() ? QString() : title);
        QVERIFY(f.DiskMatchesLists());
        if (!refusal.isEmpty()) {
            QCOMPARE(f.dir.Read("items.dat"), kItems);
            return;
        }
        const QModelIndex category = f.Node(selectCategory);
        const QModelIndex added = f.Node(selectCategory, Child<TCategoryTree>(f.w, "tvwMain")->model()->rowCount(category) - 1);
        QCOMPARE(added.data().toString(), title);
        QCOMPARE(f.Current(), added);
        QVERIFY(Child<TCategoryTree>(f.w, "tvwMain")->isExpanded(category));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), title);
        QCOMPARE(f.w->findChild<QLineEdit *>("edtProg")->text(), QString());
        QCOMPARE(ItemList(f.w->Book()).last(),
                 category.data().toString().toLatin1() + R("|") + title.toLatin1() + R("|||||||||||||"));
    }

    void addItem_refusedSelection_keepsNewNodeUnselectedButSaved()
    {
        TFixture f;
        f.Click(f.Node(0, 0));
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtLogin"), "x");
        f.msgs.Answer(TModalResult::mrCancel);
        Type("Trains");
        Child<QAction>(f.w, "AddItem1")->trigger();
        QCOMPARE(f.msgs.Texts(), QStringList{kSave});
        QCOMPARE(f.Current(), f.Node(0, 0));
        QCOMPARE(f.Node(0, 2).data().toString(), QString("Trains"));
        QVERIFY(f.DiskMatchesLists());
    }

    void editCategory_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("same name in capitals") << "TRAVEL" << "";
        QTest::newRow("other category's name, other case") << "shops" << "This category already exists.";
        QTest::newRow("other category's name with blanks") << " Shops " << "This category already exists.";
        QTest::newRow("new name") << "Trips" << "";
    }
    void editCategory()
    {
        QFETCH(QString, newName);
        QFETCH(QString, refusal);
        TFixture f;
        f.Click(f.Node(0));
        QString cameBack;
        OnDialog<TfrmAddElement>([&](TfrmAddElement *dlg) {
            QCOMPARE(dlg->windowTitle(), QString("Edit Category"));
            QCOMPARE(dlg->edtElement->text(), QString()); // the old name is not filled in
            if (!refusal.isEmpty()) {
                OnDialog<TfrmAddElement>([&cameBack](TfrmAddElement *again) {
                    cameBack = again->edtElement->text();
                    QTest::mouseClick(again->btnCancel, Qt::LeftButton);
                });
            }
            QTest::keyClicks(dlg->edtElement, newName);
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
        });
        Child<QAction>(f.w, "EditCategory1")->trigger();
        QCOMPARE(f.msgs.Texts(), refusal.isEmpty() ? QStringList{} : QStringList{refusal});
        QCOMPARE(cameBack, refusal.isEmpty() ? QString() : newName);
        QVERIFY(f.DiskMatchesLists());
        if (!refusal.isEmpty()) {
            QCOMPARE(f.dir.Read("items.dat"), kItems);
            return;
        }
        QCOMPARE(f.TreeTexts(), (QStringList{newName + ":Hotels,Flights", "Shops:Books"}));
        QCOMPARE(CategoryList(f.w->Book())[0], newName.toLatin1());
        const QByteArray items = f.dir.Read("items.dat");
        QCOMPARE(items.count(newName.toLatin1() + R("|")), 2);
        QVERIFY(items.contains(R("Gone|Orphan"))); // other categories' records are left alone
    }

    void deleteCategory_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("ok deletes") << int(TModalResult::mrOk);
        QTest::newRow("cancel keeps") << int(TModalResult::mrCancel);
    }
    void deleteCategory()
    {
        QFETCH(int, answer);
        TFixture f(kCategories, kItems + R("Travel|NoNode\r\n"));
        f.Click(f.Node(0));
        f.msgs.Answer(TModalResult(answer));
        Child<QAction>(f.w, "DeleteCategory1")->trigger();
        QCOMPARE(f.msgs.Texts(), QStringList{"Are you sure do you want to delete selected category?"});
        QCOMPARE(f.msgs.shown[0].buttons, TMsgDlgButtons(mbOK) | mbCancel);
        QVERIFY(f.DiskMatchesLists());
        if (answer != int(TModalResult::mrOk)) {
            QCOMPARE(f.TreeTexts().size(), 2);
            return;
        }
        QCOMPARE(f.TreeTexts(), QStringList{"Shops:Books"});
        QCOMPARE(f.dir.Read("categories.dat"), QByteArray("Shops\r\n"));
        QCOMPARE(f.dir.Read("items.dat"), R("Gone|Orphan|||||||||||x|\r\nShops|Books|bp||||||||||\r\n"));
        // The selection the delete leaves behind is shown without a question.
        QCOMPARE(f.Current(), f.Node(0));
        QVERIFY(f.Selected(f.Current()));
    }

    // A book written elsewhere can hold a description the editor would not
    // take as typing; it is shown as read, and storing it writes no other
    // item's text.
    void legacyDescription_isShownAsRead()
    {
        TFixture f(kCategories, R("Travel|A||||||||||alpha secret|\r\nTravel|B||||||||||Price 5|||##more|\r\n"));
        f.Click(f.Node(0, 0));
        f.Click(f.Node(0, 1));
        QCOMPARE(f.w->findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString::fromUtf8("Price 5\n¥\nmore"));
        QVERIFY(f.msgs.hints.isEmpty());
        // Typing elsewhere in it still works.
        f.w->findChild<QPlainTextEdit *>("memDesc")->moveCursor(QTextCursor::End);
        QTest::keyClicks(f.w->findChild<QPlainTextEdit *>("memDesc"), " now");
        QCOMPARE(f.w->findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString::fromUtf8("Price 5\n¥\nmore now"));
        QTest::mouseClick(f.w->findChild<QPushButton *>("btnSave"), Qt::LeftButton);
        QVERIFY(!ItemList(f.w->Book())[1].contains("alpha"));
        QVERIFY(ItemList(f.w->Book())[1].endsWith("more now\xA5"));
    }

    void addItem_underALaterTwin_goesToTheFirstNodeOfTheName()
    {
        TFixture f("X\r\nX\r\n", QByteArray());
        f.Click(f.Node(1));
        Type("t");
        Child<QAction>(f.w, "AddItem1")->trigger();
        QCOMPARE(f.TreeTexts(), (QStringList{"X:t", "X:"}));
        QCOMPARE(f.Current(), f.Node(0, 0));
    }

    void controlClick_keepsTheNodeSelected()
    {
        TFixture f;
        f.Click(f.Node(0, 0));
        const QRect r = Child<TCategoryTree>(f.w, "tvwMain")->visualRect(f.Node(0, 0));
        QTest::mouseClick(Child<TCategoryTree>(f.w, "tvwMain")->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
        QCOMPARE(f.SelectedNodes(), QModelIndexList{f.Node(0, 0)});
    }

    void deleteItem_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("ok deletes") << int(TModalResult::mrOk);
        QTest::newRow("cancel keeps") << int(TModalResult::mrCancel);
    }
    void deleteItem()
    {
        QFETCH(int, answer);
        TFixture f;
        f.Click(f.Node(0, 0));
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtPassword"), "unsaved");
        f.msgs.Answer(TModalResult(answer));
        Child<QAction>(f.w, "DeleteItem1")->trigger();
        QCOMPARE(f.msgs.Texts(), QStringList{"Are you sure do you want to delete selected item?"});
        QVERIFY(f.DiskMatchesLists());
        if (answer != int(TModalResult::mrOk)) {
            QCOMPARE(f.TreeTexts()[0], QString("Travel:Hotels,Flights"));
            QCOMPARE(f.dir.Read("items.dat"), kItems);
            return;
        }
        QCOMPARE(f.TreeTexts()[0], QString("Travel:Flights"));
        QVERIFY(!f.dir.Read("items.dat").contains("Hotels"));
        QVERIFY(f.dir.Read("items.dat").contains("Orphan"));
        QCOMPARE(f.msgs.shown.size(), 1); // no save question for the typing that went with it
        // The node the delete leaves selected is shown.
        QCOMPARE(f.Current(), f.Node(0, 0));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString("Flights"));
        // Deleting the last item of a category leaves the category shown.
        f.msgs.Answer(TModalResult::mrOk);
        Child<QAction>(f.w, "DeleteItem1")->trigger();
        QCOMPARE(f.Current(), f.Node(0));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString());
        QVERIFY(!f.w->findChild<QLineEdit *>("edtTitle")->isEnabled());
        QVERIFY(f.DiskMatchesLists());
    }

    void popupMenu_entriesFollowTheSelection_data()
    {
        QTest::addColumn<int>("category");
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("visible");
        QTest::newRow("nothing") << -1 << -1 << "AddCategory1 N1 AddItem1";
        QTest::newRow("category") << 0 << -1 << "AddCategory1 EditCategory1 DeleteCategory1 N1 AddItem1";
        QTest::newRow("item") << 0 << 0 << "AddCategory1 N1 AddItem1 DeleteItem1";
    }
    void popupMenu_entriesFollowTheSelection()
    {
        QFETCH(int, category);
        QFETCH(int, item);
        QFETCH(QString, visible);
        TFixture f;
        if (category >= 0)
            f.Click(f.Node(category, item));
        // As a right click on the tree opens it; the commands beyond the
        // book's own six entries are checked with those commands.
        emit Child<TCategoryTree>(f.w, "tvwMain")->customContextMenuRequested(QPoint(1, 1));
        Child<QMenu>(f.w, "bsSkinPopupMenu1")->hide();
        QStringList shown;
        for (QAction *a : Child<QMenu>(f.w, "bsSkinPopupMenu1")->actions().mid(0, 6))
            if (a->isVisible())
                shown << a->objectName();
        QCOMPARE(shown.join(' '), visible);
        // The book's own entries come first, as they were; later commands
        // only add after them.
        QStringList captions;
        for (QAction *a : Child<QMenu>(f.w, "bsSkinPopupMenu1")->actions())
            captions << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(captions.mid(0, 6), (QStringList{"Add Category", "EditCategory", "Delete Category", "-",
                                                  "Add Item", "Delete Item"}));
    }

    // --- Input the file format cannot hold ---

    void refusedInput_typedOrPasted_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("paste");
        QTest::newRow("delimiter typed in the title") << "edtTitle" << QString::fromUtf8("¥") << false;
        QTest::newRow("delimiter pasted in the password") << "edtPassword" << QString::fromUtf8("a¥b") << true;
        QTest::newRow("line break pasted in a field") << "edtLogin" << "one\ntwo" << true;
        QTest::newRow("character outside the code page") << "edtProg" << QString::fromUtf8("Ж") << false;
        QTest::newRow("NUL pasted") << "edtPayout" << QString("a") + QChar(0) << true;
        QTest::newRow("pair in the memo") << "memDesc" << QString::fromUtf8("§§") << true;
        QTest::newRow("pair pasted in the memo") << "memDesc" << QString::fromUtf8("a¥¥b") << true;
        QTest::newRow("delimiter before a break in the memo") << "memDesc" << QString::fromUtf8("x¥\ny") << true;
        QTest::newRow("memo outside the code page") << "memDesc" << QString::fromUtf8("Ω") << true;
    }
    void refusedInput_typedOrPasted()
    {
        QFETCH(QString, control);
        QFETCH(QString, text);
        QFETCH(bool, paste);
        TFixture f;
        f.Click(f.Node(0, 0));
        QWidget *field = f.w->findChild<QWidget *>(control);
        QVERIFY(field);
        const auto current = [&] {
            if (auto *e = qobject_cast<QLineEdit *>(field))
                return e->text();
            return qobject_cast<QPlainTextEdit *>(field)->toPlainText();
        };
        const QString before = current();
        field->setFocus();
        if (paste) {
            QApplication::clipboard()->setText(text);
            QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        } else {
            Keys(field, text);
        }
        QCOMPARE(current(), before); // nothing of the refused edit went in, nothing else changed
        QVERIFY(!f.msgs.hints.isEmpty());
        QCOMPARE(f.msgs.hints.last().first, field);
        QVERIFY(f.msgs.shown.isEmpty());
        // Ordinary text still goes in.
        QTest::keyClicks(field, "ok");
        QVERIFY(current().contains("ok"));
    }

    void refusedInput_enterAfterDelimiterInTheMemo()
    {
        TFixture f;
        f.Click(f.Node(0, 0));
        f.w->findChild<QPlainTextEdit *>("memDesc")->clear();
        Keys(f.w->findChild<QPlainTextEdit *>("memDesc"), QString::fromUtf8("5¥"));
        QTest::keyClick(f.w->findChild<QPlainTextEdit *>("memDesc"), Qt::Key_Return);
        QCOMPARE(f.w->findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString::fromUtf8("5¥"));
        QCOMPARE(f.msgs.hints.size(), 1);
        Keys(f.w->findChild<QPlainTextEdit *>("memDesc"), " each");
        QTest::keyClick(f.w->findChild<QPlainTextEdit *>("memDesc"), Qt::Key_Return);
        QCOMPARE(f.w->findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString::fromUtf8("5¥ each\n"));
    }

    void refusedInput_singleSignsStillGoInTheMemo()
    {
        TFixture f;
        f.Click(f.Node(0, 0));
        f.w->findChild<QPlainTextEdit *>("memDesc")->clear();
        Keys(f.w->findChild<QPlainTextEdit *>("memDesc"), QString::fromUtf8("5¥ per sale § 3"));
        QCOMPARE(f.w->findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString::fromUtf8("5¥ per sale § 3"));
        QVERIFY(f.msgs.hints.isEmpty());
    }

    void refusedInput_inTheDialog()
    {
        TFixture f;
        OnDialog<TfrmAddElement>([&](TfrmAddElement *dlg) {
            Keys(dlg->edtElement, QString::fromUtf8("A¥B"));
            QCOMPARE(dlg->edtElement->text(), QString("AB"));
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
        });
        Child<QAction>(f.w, "AddCategory1")->trigger();
        QCOMPARE(f.msgs.hints.size(), 1);
        QCOMPARE(CategoryList(f.w->Book()).last(), QByteArray("AB"));
    }
};

QTEST_MAIN(TestBookEditing)
#include "test_book_editing.moc"
