// The item editor on its own (showing and collecting an item by field name,
// the unsaved-typing flag) and the commands that store and move items,
// through the window that owns them.
#include "support/book_fixture.h"
#include "support/window_fixture.h"
#include "app/book_commands.h"
#include "app/item_editor.h"
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/category_tree.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kSave = "Do you want save the changes you made in this item?";
const QString kItemExists = "This item already exists in this category.";
const QString kTitleTaken =
    "Sorry there is an item with this title in this category. Use other name and try again";

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = R("Travel|Hotels|hp||||||||h1|notes|\r\n"
                            "Travel|Flights|||||||||||| \r\n"
                            "Shops|Books|bp||||||||||\r\n");

} // namespace

class TestItemEditor : public QObject
{
    Q_OBJECT
private slots:
    // Each field lands in the control of its name and comes back from it
    // into the same field, the others staying empty.
    void showAndCollect_byFieldName_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("control");
        const std::pair<TItemField, const char *> fields[] = {
            {TItemField::Title, "edtTitle"},           {TItemField::Program, "edtProg"},
            {TItemField::WebsiteURL, "edtWebsiteURL"}, {TItemField::LoginURL, "edtLoginURL"},
            {TItemField::Login, "edtLogin"},           {TItemField::Password, "edtPassword"},
            {TItemField::AffiliateURL, "edtAffiliateURL"}, {TItemField::Cloaked, "edtCloaked"},
            {TItemField::Payout, "edtPayout"},         {TItemField::PaymentDay, "edtPaymentDay"},
        };
        for (const auto &[field, control] : fields)
            QTest::newRow(control) << int(field) << QString(control);
    }
    void showAndCollect_byFieldName()
    {
        QFETCH(int, field);
        QFETCH(QString, control);
        TScriptedMessages msgs;
        TItemEditor editor(&msgs);
        TItemRecord item;
        item.Category() = "not shown";
        item.Field(TItemField(field)) = "caf\xE9";
        editor.Show(item);
        QCOMPARE(editor.findChild<QLineEdit *>(control)->text(), QString::fromUtf8("caf\u00E9"));
        const TItemRecord back = editor.Collect();
        for (int f = 0; f < kItemFieldCount; ++f)
            QCOMPARE(back.fields[f], f == field ? QByteArray("caf\xE9") : QByteArray());
        QVERIFY(msgs.Texts().isEmpty());
    }

    void description_keepsItsLineBreaksAsTheBookDoes_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("collected");
        QTest::newRow("CR LF") << QByteArray("one\r\ntwo") << "one\ntwo" << QByteArray("one\r\ntwo");
        QTest::newRow("a lone CR") << QByteArray("one\rtwo") << "one\ntwo" << QByteArray("one\r\ntwo");
        QTest::newRow("a lone LF") << QByteArray("one\ntwo") << "one\ntwo" << QByteArray("one\r\ntwo");
        QTest::newRow("none") << QByteArray() << "" << QByteArray();
    }
    void description_keepsItsLineBreaksAsTheBookDoes()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        QFETCH(QByteArray, collected);
        TScriptedMessages msgs;
        TItemEditor editor(&msgs);
        TItemRecord item;
        item.description = stored;
        editor.Show(item);
        QCOMPARE(editor.findChild<QPlainTextEdit *>("memDesc")->toPlainText(), shown);
        QCOMPARE(editor.Collect().description, collected);
    }

    // Filling or clearing the editor is no typing; every way the user
    // changes a field is.
    void modified_byTheUserAlone_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("modified");
        QTest::newRow("shown") << "show" << false;
        QTest::newRow("cleared") << "clear" << false;
        QTest::newRow("typed in a line") << "type line" << true;
        QTest::newRow("typed in the description") << "type memo" << true;
    }
    void modified_byTheUserAlone()
    {
        QFETCH(QString, how);
        QFETCH(bool, modified);
        TScriptedMessages msgs;
        TItemEditor editor(&msgs);
        TItemRecord item;
        item.Title() = "t";
        item.description = "d";
        editor.SetModified(true);
        QSignalSpy changed(&editor, &TItemEditor::modifiedChanged);
        editor.SetModified(false);
        if (how == "show")
            editor.Show(item);
        else if (how == "clear")
            editor.Clear();
        else if (how == "type line")
            QTest::keyClicks(editor.Field(TItemField::Payout), "9");
        else
            QTest::keyClicks(editor.Description(), "x");
        QCOMPARE(editor.IsModified(), modified);
        QCOMPARE(changed.size(), modified ? 2 : 1);
        QCOMPARE(changed.last()[0].toBool(), modified);
    }

    // --- The one path of a move, and the outcome of a store ---

    void moveItem_data()
    {
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<QPoint>("item"); // category row, item row or -1
        QTest::addColumn<bool>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("saved");
        const QStringList moved{"Travel:Flights", "Shops:Hotels,Books"};
        const QStringList stayed{"Travel:Hotels,Flights", "Shops:Books"};
        QTest::newRow("moves, selects and saves")
            << QByteArray() << QPoint(0, 0) << false << 0 << QStringList{} << moved << "Hotels" << true;
        QTest::newRow("typing stored first")
            << QByteArray() << QPoint(0, 0) << true << int(TModalResult::mrYes) << QStringList{kSave} << moved
            << "Hotels" << true;
        QTest::newRow("typing kept: nothing moves")
            << QByteArray() << QPoint(0, 0) << true << int(TModalResult::mrCancel) << QStringList{kSave} << stayed
            << "Hotels" << false;
        QTest::newRow("title taken there is told")
            << R("Shops|HOTELS|||||||||||\r\n") << QPoint(0, 0) << false << 0 << QStringList{kItemExists}
            << QStringList{"Travel:Hotels,Flights", "Shops:Books,HOTELS"} << "Hotels" << false;
        QTest::newRow("a category is no item")
            << QByteArray() << QPoint(0, -1) << false << 0 << QStringList{} << stayed << "Hotels" << false;
    }
    void moveItem()
    {
        QFETCH(QByteArray, extra);
        QFETCH(QPoint, item);
        QFETCH(bool, typed);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, tree);
        QFETCH(QString, current);
        QFETCH(bool, saved);
        TActiveWindow f(kCategories, kItems + extra);
        auto *view = f.w->findChild<TCategoryTree *>("tvwMain");
        auto *editor = f.w->findChild<TItemEditor *>();
        auto *commands = f.w->findChild<TBookCommands *>("BookCommands");
        QVERIFY(editor && commands);
        TAccountBook &book = f.w->Book();
        QVERIFY(view->SetCurrent(book.index(0, 0, book.CategoryIndex(0))));
        if (typed)
            QTest::keyClicks(editor->Field(TItemField::Payout), "5");
        if (answer)
            f.msgs.Answer(TModalResult(answer));
        const QModelIndex category = book.CategoryIndex(item.x());
        commands->MoveItem(item.y() < 0 ? category : book.index(item.y(), 0, category), book.CategoryIndex(1));
        QCOMPARE(f.msgs.Texts(), messages);
        QCOMPARE(TLoadedBook::TreeOf(book), tree);
        QCOMPARE(TCategoryTree::NodeName(view->Selected()), current.toLatin1());
        QCOMPARE(f.dir.Read("items.dat") != kItems + extra, saved);
        QCOMPARE(editor->IsModified(), answer == int(TModalResult::mrCancel));
        QCOMPARE(f.dir.Read("items.dat").contains(R("|5|h1|")), answer == int(TModalResult::mrYes));
    }

    void storeItem_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("a free title") << "Inns" << true << QStringList{};
        QTest::newRow("its own title") << "Hotels" << true << QStringList{};
        QTest::newRow("another item's title") << "Flights" << false << QStringList{kTitleTaken};
    }
    void storeItem()
    {
        QFETCH(QString, title);
        QFETCH(bool, stored);
        QFETCH(QStringList, messages);
        TActiveWindow f(kCategories, kItems);
        auto *editor = f.w->findChild<TItemEditor *>();
        auto *commands = f.w->findChild<TBookCommands *>("BookCommands");
        TAccountBook &book = f.w->Book();
        QVERIFY(f.w->findChild<TCategoryTree *>("tvwMain")->SetCurrent(book.index(0, 0, book.CategoryIndex(0))));
        editor->Field(TItemField::Title)->setText(title);
        editor->SetModified(true);
        QCOMPARE(commands->StoreItem(), stored);
        QCOMPARE(f.msgs.Texts(), messages);
        QCOMPARE(editor->IsModified(), !stored);
        QCOMPARE(f.dir.Read("items.dat").startsWith(R("Travel|") + title.toLatin1() + R("|hp|")), stored);
    }
};

QTEST_MAIN(TestItemEditor)
#include "test_item_editor.moc"
