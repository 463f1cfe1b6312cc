// The search field over the tree, driven through the real main window: typing
// filters, Ctrl+F and Esc, clearing brings the tree back, and the save
// question guards the selection on a filtered tree as on the whole one.
#include "app/item_editor.h"
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/add_element_dialog.h"
#include "book/book_folder.h"
#include "book/category_tree.h"
#include "book/protected_book.h"
#include "book/protected_file.h"
#include "settings/branding_settings.h"
#include "settings/window_settings.h"
#include "support/book_fixture.h"
#include "support/find_child.h"
#include "support/on_dialog.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString kSave = "Do you want save the changes you made in this item?";

const QByteArray kCategories = "Travel\r\nShops\r\nFood\r\n";
const QByteArray kItems = R("Travel|Hotels|hp|hw|hl|hu|hpw|ha|hc|h10|h1|hotel notes|\r\n"
                            "Travel|Flights|fp|||||||||wings|\r\n"
                            "Shops|Books|bp||||||||||\r\n"
                            "Shops|Music|mp|||||||||tunes|\r\n"
                            "Food|Pizza|pp|||||||||cheese|\r\n");
const QStringList kWhole{"Travel:Hotels,Flights", "Shops:Books,Music", "Food:Pizza"};

class TFixture : public TActiveWindow
{
public:
    TFixture() : TActiveWindow(kCategories, kItems)
    {
        tree = Child<TCategoryTree>(w, "tvwMain");
        search = w->findChild<QLineEdit *>("edtSearch");
    }

    // A node of the tree as it shows now.
    QModelIndex Row(int category, int item = -1) const
    {
        const QModelIndex c = tree->model()->index(category, 0);
        return item < 0 ? c : tree->model()->index(item, 0, c);
    }
    QModelIndex Book(int category, int item = -1) const
    {
        const QModelIndex c = w->Book().index(category, 0);
        return item < 0 ? c : w->Book().index(item, 0, c);
    }
    void Click(const QModelIndex &row, Qt::MouseButton button = Qt::LeftButton) const
    {
        tree->scrollTo(row);
        QTest::mouseClick(tree->viewport(), button, {}, tree->visualRect(row).center());
    }
    // Esc where the user presses it: in the field.
    void EscInSearch() const
    {
        w->activateWindow(); // a dialog may have just closed
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::mouseClick(search, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), search);
        QTest::keyClick(search, Qt::Key_Escape);
    }
    QStringList TreeTexts() const { return TLoadedBook::TreeOf(*tree->model()); }
    QStringList OpenCategories() const
    {
        QStringList out;
        for (int i = 0; i < tree->model()->rowCount(); ++i)
            if (tree->isExpanded(Row(i)))
                out << Row(i).data().toString();
        return out;
    }
    bool InView(const QModelIndex &row) const
    {
        return tree->viewport()->rect().contains(tree->visualRect(row).center());
    }

    TCategoryTree *tree = nullptr;
    QLineEdit *search = nullptr;
};

// Answers the input dialog the next command opens.
void AnswerDialog(const QString &text)
{
    OnDialog<TfrmAddElement>([text](TfrmAddElement *dlg) {
        QTest::keyClicks(dlg->edtElement, text);
        QTest::mouseClick(dlg->findChild<QPushButton *>("btnOk"), Qt::LeftButton);
    });
}

} // namespace

class TestTreeSearch : public QObject
{
    Q_OBJECT
private slots:
    void typingFilters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("tree");
        QTest::newRow("an item's title") << "hot" << QStringList{"Travel:Hotels"};
        QTest::newRow("a category's name") << "SHOPS" << QStringList{"Shops:Books,Music"};
        QTest::newRow("descriptions in three categories") << "es" << QStringList{"Travel:Hotels", "Shops:Music", "Food:Pizza"};
        QTest::newRow("a password") << "hpw" << QStringList{};
        QTest::newRow("nothing") << "zzz" << QStringList{};
    }
    void typingFilters()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, tree);
        TFixture f;
        QVERIFY(f.search);
        QCOMPARE(f.search->placeholderText(), QString("Search"));
        QCOMPARE(f.search->parentWidget(), f.tree->parentWidget());
        QVERIFY(f.search->geometry().bottom() < f.tree->geometry().top());
        QTest::keyClicks(f.search, text);
        QCOMPARE(f.TreeTexts(), tree);
        QCOMPARE(f.OpenCategories().size(), tree.size()); // every match in view
        QVERIFY(f.msgs.shown.isEmpty());
    }

    void bookLoadedAgainUnderASearch()
    {
        TFixture f;
        QTest::keyClicks(f.search, "es");
        f.w->Book().LoadItems(f.dir.File("items.dat"));
        QCOMPARE(f.TreeTexts(), (QStringList{"Travel:Hotels", "Shops:Music", "Food:Pizza"}));
        QCOMPARE(f.OpenCategories(), (QStringList{"Travel", "Shops", "Food"}));
        f.EscInSearch();
        QCOMPARE(f.TreeTexts(), kWhole);
    }

    void ctrlFFocusesTheFieldAndEscClearsIt()
    {
        TFixture f;
        QTest::keyClicks(f.search, "pizza");
        QCOMPARE(f.TreeTexts(), QStringList{"Food:Pizza"});
        f.Click(f.Row(0, 0));
        QCOMPARE(QApplication::focusWidget(), f.tree);
        QTest::keyClick(f.tree, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), f.search);
        QCOMPARE(f.search->selectedText(), QString("pizza")); // typing replaces it
        QTest::keyClick(f.search, Qt::Key_Escape);
        QCOMPARE(f.search->text(), QString());
        QCOMPARE(f.TreeTexts(), kWhole);
        // From an editor field too.
        QTest::keyClick(f.w->findChild<QLineEdit *>("edtProg"), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), f.search);
    }

    void clearingRestoresTheTree_data()
    {
        QTest::addColumn<bool>("selectDuring");
        QTest::addColumn<QString>("clearWith");
        QTest::newRow("Esc") << false << "esc";
        QTest::newRow("last character erased") << false << "backspace";
        QTest::newRow("other item selected, then Esc") << true << "esc";
        QTest::newRow("other item selected, then erased") << true << "backspace";
    }
    void clearingRestoresTheTree()
    {
        QFETCH(bool, selectDuring);
        QFETCH(QString, clearWith);
        TFixture f;
        f.tree->expand(f.Row(0));
        f.tree->expand(f.Row(2));
        f.Click(f.Row(0, 1)); // Flights
        QCOMPARE(f.OpenCategories(), (QStringList{"Travel", "Food"}));

        QTest::keyClicks(f.search, "mu");
        // The selected item does not match and holds no typing: it goes,
        // and nothing stands selected in its place.
        QCOMPARE(f.TreeTexts(), (QStringList{"Shops:Music"}));
        QCOMPARE(f.tree->Selected(), QModelIndex());
        if (selectDuring) {
            f.Click(f.Row(0, 0));
            QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString("Music"));
        }
        if (clearWith == "esc") {
            f.EscInSearch();
        } else {
            QTest::keyClick(f.search, Qt::Key_End);
            QTest::keyClick(f.search, Qt::Key_Backspace);
            QTest::keyClick(f.search, Qt::Key_Backspace);
        }
        QCOMPARE(f.TreeTexts(), kWhole);
        const QModelIndex selected = selectDuring ? f.Book(1, 1) : f.Book(0, 1);
        QCOMPARE(f.tree->Selected(), selected);
        QCOMPARE(f.tree->selectionModel()->selectedIndexes(), QModelIndexList{f.tree->currentIndex()});
        const QStringList open = selectDuring ? QStringList{"Travel", "Shops", "Food"} : QStringList{"Travel", "Food"};
        QCOMPARE(f.OpenCategories(), open);
        QVERIFY(f.InView(f.tree->currentIndex()));
        QVERIFY(f.msgs.shown.isEmpty());
    }

    // What the tree shows when the text matches little or nothing, by what
    // was selected and typed before.
    void emptyState_data()
    {
        QTest::addColumn<int>("selectItem"); // item of Travel, -1: none
        QTest::addColumn<bool>("typing");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<bool>("noMatchLine");
        QTest::addColumn<bool>("stillSelected");
        QTest::addColumn<bool>("marked");
        QTest::newRow("nothing matches, nothing selected") << -1 << false << "zzz" << QStringList{} << true << false << false;
        QTest::newRow("selected item not matching") << 1 << false << "zzz" << QStringList{} << true << false << false;
        QTest::newRow("selected item not matching, others do")
            << 1 << false << "pizza" << QStringList{"Food:Pizza"} << false << false << false;
        QTest::newRow("selected item with unsaved typing")
            << 0 << true << "zzz" << QStringList{"Travel:Hotels"} << true << true << true;
        QTest::newRow("selected item matching") << 0 << false << "hotel" << QStringList{"Travel:Hotels"} << false << true << false;
        QTest::newRow("selected item matching, with typing")
            << 0 << true << "hotel" << QStringList{"Travel:Hotels"} << false << true << false;
    }
    void emptyState()
    {
        QFETCH(int, selectItem);
        QFETCH(bool, typing);
        QFETCH(QString, text);
        QFETCH(QStringList, tree);
        QFETCH(bool, noMatchLine);
        QFETCH(bool, stillSelected);
        QFETCH(bool, marked);
        TFixture f;
        auto *line = Child<QLabel>(f.tree, "lblSearchEmpty");
        if (selectItem >= 0) {
            f.tree->expand(f.Row(0));
            f.Click(f.Row(0, selectItem));
        }
        if (typing)
            QTest::keyClicks(f.w->findChild<QLineEdit *>("edtProg"), "X");
        QTest::keyClicks(f.search, text);
        QCOMPARE(f.TreeTexts(), tree);
        QCOMPARE(line->isVisible(), noMatchLine);
        if (noMatchLine)
            QCOMPARE(line->text(), QString("No item matches \"%1\"").arg(text));
        const QModelIndex selected = selectItem >= 0 ? f.Book(0, selectItem) : QModelIndex();
        QCOMPARE(f.tree->Selected(), stillSelected ? selected : QModelIndex());
        if (stillSelected)
            QCOMPARE(f.tree->currentIndex().data(Qt::UserRole + 1).toBool(), marked);
        // The text is the tree's, never an item's: nothing more to select.
        QTest::keyClick(f.search, Qt::Key_Down);
        QCOMPARE(f.tree->Selected(), stillSelected ? selected : QModelIndex(f.tree->Selected()));
        QVERIFY(f.msgs.shown.isEmpty());

        // Cleared, the selection is back; so is the editor's typing.
        f.EscInSearch();
        QVERIFY(!line->isVisible());
        if (selectItem >= 0 && tree.isEmpty())
            QCOMPARE(f.tree->Selected(), selected);
        if (typing)
            QCOMPARE(f.w->findChild<QLineEdit *>("edtProg")->text(), QString("hpX"));
    }

    void keysMoveBetweenFieldAndResults_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("selectBefore"); // item of Shops, -1: none
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("resultCategory");
        QTest::addColumn<int>("resultItem"); // -1: nothing selected
        QTest::newRow("Down, nothing selected: the first result") << int(Qt::Key_Down) << -1 << "es" << 0 << 0;
        QTest::newRow("Enter, nothing selected: the first result") << int(Qt::Key_Return) << -1 << "es" << 0 << 0;
        QTest::newRow("Down, a selected result stays") << int(Qt::Key_Down) << 1 << "es" << 1 << 1;
        QTest::newRow("Enter, the selection hidden: the first result") << int(Qt::Key_Return) << 0 << "pizza" << 2 << 0;
        QTest::newRow("Down, a category's name matched") << int(Qt::Key_Down) << -1 << "food" << 2 << 0;
        QTest::newRow("Down, nothing matches") << int(Qt::Key_Down) << -1 << "zzz" << -1 << -1;
    }
    void keysMoveBetweenFieldAndResults()
    {
        QFETCH(int, key);
        QFETCH(int, selectBefore);
        QFETCH(QString, text);
        QFETCH(int, resultCategory);
        QFETCH(int, resultItem);
        TFixture f;
        if (selectBefore >= 0) {
            f.tree->expand(f.Row(1));
            f.Click(f.Row(1, selectBefore));
        }
        QTest::mouseClick(f.search, Qt::LeftButton);
        QTest::keyClicks(f.search, text);
        QTest::keyClick(f.search, Qt::Key(key));
        QCOMPARE(QApplication::focusWidget(), f.tree);
        const QModelIndex expected = resultItem >= 0 ? f.Book(resultCategory, resultItem) : QModelIndex();
        QCOMPARE(f.tree->Selected(), expected);
        if (expected.isValid()) {
            QVERIFY(f.InView(f.tree->currentIndex()));
            QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), expected.data().toString());
        }
        // Esc in the tree goes back to the field and keeps the text.
        QTest::keyClick(f.tree, Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), f.search);
        QCOMPARE(f.search->text(), text);
        QCOMPARE(f.tree->Selected(), expected);
        QTest::keyClick(f.search, Qt::Key_Escape);
        QCOMPARE(f.search->text(), QString());
        QVERIFY(f.msgs.shown.isEmpty());
    }

    // The tree comes back as it was left, in a second window on the folder.
    void rememberedAcrossWindows_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QList<int>>("open");
        QTest::addColumn<int>("category");
        QTest::addColumn<int>("item"); // -1: the category itself
        QTest::newRow("item in an open category") << "plain" << QList<int>{0, 2} << 0 << 1;
        QTest::newRow("item of a closed category") << "plain" << QList<int>{1} << 2 << 0;
        QTest::newRow("category") << "plain" << QList<int>{1} << 2 << -1;
        QTest::newRow("item hidden by a search left on") << "search" << QList<int>{0} << 0 << 1;
        QTest::newRow("nothing open or selected") << "plain" << QList<int>{} << -1 << -1;
    }
    void rememberedAcrossWindows()
    {
        QFETCH(QString, how);
        QFETCH(QList<int>, open);
        QFETCH(int, category);
        QFETCH(int, item);
        auto f = std::make_unique<TFixture>();
        f->w->close();
        // What an earlier run left comes back, and is replaced, not added to.
        QVERIFY(TWindowSettings(f->dir.Path()).SaveTree({{"Shops", "Food"}, "Shops", "Books"}));
        f->w = std::make_unique<TfrmMain>(f->dir.Path(), &f->msgs);
        f->w->show();
        QVERIFY(QTest::qWaitForWindowExposed(f->w.get()));
        f->tree = Child<TCategoryTree>(f->w, "tvwMain");
        f->search = Child<QLineEdit>(f->w, "edtSearch");
        QCOMPARE(f->OpenCategories(), (QStringList{"Shops", "Food"}));
        QCOMPARE(f->tree->Selected(), f->Book(1, 0));

        f->tree->collapseAll();
        for (int c : open)
            f->tree->expand(f->Row(c));
        const QModelIndex chosen = category < 0 ? QModelIndex() : item < 0 ? f->Book(category) : f->Book(category, item);
        f->tree->setCurrentIndex(f->tree->ViewIndex(chosen));
        QCOMPARE(f->tree->Selected(), chosen);
        const QStringList openNames = f->OpenCategories();
        if (how == "search")
            QTest::keyClicks(f->search, "zzz");
        QVERIFY(f->w->close());

        TfrmMain second(f->dir.Path(), &f->msgs);
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        auto *tree = Child<TCategoryTree>(&second, "tvwMain");
        QStringList reopened;
        for (int c = 0; c < tree->model()->rowCount(); ++c)
            if (tree->isExpanded(tree->model()->index(c, 0)))
                reopened << tree->model()->index(c, 0).data().toString();
        QCOMPARE(reopened, openNames);
        const QModelIndex selected = tree->Selected();
        QCOMPARE(selected.isValid(), chosen.isValid());
        if (chosen.isValid()) {
            QCOMPARE(TCategoryTree::NodeName(selected), TCategoryTree::NodeName(chosen));
            QCOMPARE(selected.parent().row(), chosen.parent().row());
            if (item >= 0)
                QCOMPARE(Child<QLineEdit>(&second, "edtTitle")->text(), chosen.data().toString());
        }
        QVERIFY(f->msgs.shown.isEmpty());
    }

    // A protected book's names never reach the plain file, and what a plain
    // book of the folder left there goes.
    void protectedBookLeavesNoNames()
    {
        SetKdfForTesting({2, 8192 * 4});
        TTempAppFolder dir;
        BrandingSettings() = TBrandingSettings{};
        dir.Write("categories.dat", kCategories);
        dir.Write("items.dat", kItems);
        TWindowSettings(dir.Path()).SaveTree({{"Travel"}, "Travel", "Flights"});
        {
            TBookFolder folder(dir.Path());
            QVERIFY(folder.Load().isEmpty());
            const TProtection done = ProtectBook(folder, "pass word", {2, 8192 * 4});
            QVERIFY(done.error.isEmpty());
            QVERIFY(RemoveFiles(done.removable).isEmpty());
        }
        TScriptedMessages msgs;
        auto w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        Child<QLineEdit>(w, "edtMasterPassword")->setText("pass word");
        Child<QPushButton>(w, "btnUnlock")->click();
        auto *tree = Child<TCategoryTree>(w, "tvwMain");
        QCOMPARE(tree->model()->rowCount(), 3);
        QCOMPARE(tree->Selected(), QModelIndex());
        tree->expand(tree->model()->index(1, 0));
        tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(1, 0)));
        QCOMPARE(tree->Selected().data().toString(), QString("Books"));
        QVERIFY(w->close());
        const QByteArray ini = dir.Read("tarnwick.ini");
        QVERIFY(!ini.isEmpty());
        for (const QByteArray name : {"Travel", "Flights", "Shops", "Books"})
            QVERIFY2(!ini.contains(name), name.constData());
        QCOMPARE(TWindowSettings(dir.Path()).LoadTree(), TTreeState{});
    }

    void saveQuestionWhileFiltered_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<bool>("stored");
        QTest::newRow("Cancel keeps the selection and the typing") << int(TModalResult::mrCancel) << false << false;
        QTest::newRow("No drops the typing") << int(TModalResult::mrNo) << true << false;
        QTest::newRow("Yes stores it") << int(TModalResult::mrYes) << true << true;
    }
    void saveQuestionWhileFiltered()
    {
        QFETCH(int, answer);
        QFETCH(bool, moved);
        QFETCH(bool, stored);
        TFixture f;
        f.tree->expand(f.Row(0));
        f.Click(f.Row(0, 0)); // Hotels
        QTest::keyClick(f.w->findChild<QLineEdit *>("edtProg"), Qt::Key_End);
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtProg"), "X");
        QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());

        // Filtering never moves the selection, so it never asks.
        QTest::keyClicks(f.search, "book");
        QCOMPARE(f.TreeTexts(), (QStringList{"Travel:Hotels", "Shops:Books"}));
        QCOMPARE(f.tree->Selected(), f.Book(0, 0));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtProg")->text(), QString("hpX"));
        QVERIFY(f.msgs.shown.isEmpty());

        f.msgs.Answer(TModalResult(answer));
        f.Click(f.Row(1, 0)); // Books, the second row of the book's second category
        QCOMPARE(f.msgs.Texts(), QStringList{kSave});
        QCOMPARE(f.tree->Selected(), moved ? f.Book(1, 0) : f.Book(0, 0));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), moved ? QString("Books") : QString("Hotels"));
        QCOMPARE(f.w->findChild<QLineEdit *>("edtProg")->text(), moved ? QString("bp") : QString("hpX"));
        QCOMPARE(f.w->findChild<TItemEditor *>()->IsModified(), !moved);
        QCOMPARE(f.dir.Read("items.dat").contains(R("|hpX|")), stored);

        // More typing and clearing ask nothing more and keep the typing.
        QTest::keyClicks(f.search, "s");
        f.EscInSearch();
        QCOMPARE(f.search->text(), QString());
        QCOMPARE(f.msgs.Texts(), QStringList{kSave});
        QCOMPARE(f.tree->Selected(), moved ? f.Book(1, 0) : f.Book(0, 0));
        if (!moved)
            QCOMPARE(f.w->findChild<QLineEdit *>("edtProg")->text(), QString("hpX"));
    }

    void commandsActOnTheBookNodeShown_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("Delete Item from the pop-up menu") << "delete";
        QTest::newRow("Add Item to the filtered category") << "add";
    }
    void commandsActOnTheBookNodeShown()
    {
        QFETCH(QString, command);
        TFixture f;
        QTest::keyClicks(f.search, "tunes");
        QCOMPARE(f.TreeTexts(), QStringList{"Shops:Music"});
        f.Click(f.Row(0, 0));
        QCOMPARE(f.tree->Selected(), f.Book(1, 1));
        if (command == "delete") {
            f.Click(f.Row(0, 0), Qt::RightButton);
            QVERIFY(Child<QAction>(f.w, "DeleteItem1")->isVisible());
            Child<QMenu>(f.w, "bsSkinPopupMenu1")->close();
            f.msgs.Answer(TModalResult::mrOk);
            Child<QAction>(f.w, "DeleteItem1")->trigger();
            QVERIFY(!f.dir.Read("items.dat").contains(R("|Music|")));
            QVERIFY(f.dir.Read("items.dat").contains(R("|Books|")));
            // The category takes the selection, and stays in view for it.
            QCOMPARE(f.TreeTexts(), QStringList{"Shops:"});
            QCOMPARE(f.tree->Selected(), f.Book(1));
        } else {
            AnswerDialog("Zeta");
            QTest::mouseClick(Child<QPushButton>(f.w, "btnAddItem"), Qt::LeftButton);
            // Shown and selected although the search text does not match it.
            QCOMPARE(f.TreeTexts(), QStringList{"Shops:Music,Zeta"});
            QCOMPARE(f.tree->Selected(), f.Book(1, 2));
            QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString("Zeta"));
            QVERIFY(f.dir.Read("items.dat").contains(R("Shops|Zeta|")));
            f.EscInSearch();
            QCOMPARE(f.tree->Selected(), f.Book(1, 2));
            QVERIFY(f.InView(f.tree->currentIndex()));
        }
    }
};

QTEST_MAIN(TestTreeSearch)
#include "test_tree_search.moc"
