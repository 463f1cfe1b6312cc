// A book the window cannot show whole is told of when it is opened: records
// cut short and items whose category is missing, with the offer to add those
// categories; once per run, again after a restore only when there is more.
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/book_backups.h"
#include "book/category_tree.h"
#include "book/restore_backup_dialog.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/on_dialog.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace {

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kSound = "Travel\xA5Hotels\xA5hp\xA5hw\xA5hl\xA5hu\xA5hpw\xA5ha\xA5hc\xA5h10\xA5h1\xA5notes\xA5\r\n"
                          "Shops\xA5" "Books\xA5" "bp\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n";
// Username, password and the later fields lost.
const QByteArray kCut = "Travel\xA5" "Flights\xA5" "fp\xA5http://f\r\n";
const QByteArray kOrphan = "Gone\xA5Orphan\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n";

struct TWindow
{
    // `answer`: to the first message, if any.
    TWindow(const QByteArray &items, TModalResult answer = TModalResult::mrNone)
    {
        BrandingSettings() = TBrandingSettings{};
        dir.Write("categories.dat", kCategories);
        dir.Write("items.dat", items);
        if (answer != TModalResult::mrNone)
            msgs.Answer(answer);
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
    }
    int Backups() const { return QDir(dir.File("backups")).entryList(QDir::Files).size(); }
    int ItemsShown() const
    {
        QAbstractItemModel *tree = Child<TCategoryTree>(w, "tvwMain")->model();
        int items = 0;
        for (int c = 0; c < tree->rowCount(); ++c)
            items += tree->rowCount(tree->index(c, 0));
        return items;
    }
    // Restores the newest backup through the toolbar, answering Yes.
    void RestoreNewest()
    {
        OnDialog<TfrmRestoreBackup>([](TfrmRestoreBackup *dlg) { dlg->btnRestore->click(); });
        msgs.Answer(TModalResult::mrYes);
        w->findChild<QAction *>("actRestoreBackup")->trigger();
    }

    TTempAppFolder dir;
    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

} // namespace

class TestDamagedBook : public QObject
{
    Q_OBJECT
private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<TModalResult>("answer");
        QTest::addColumn<QStringList>("told");     // a word of each message, in order
        QTest::addColumn<bool>("offered");         // Yes/No, else OK only
        QTest::addColumn<QByteArray>("categoriesAfter");
        QTest::addColumn<int>("itemsShown");
        QTest::newRow("sound: nothing told") << kSound << TModalResult::mrNone << QStringList{} << false
                                             << kCategories << 2;
        QTest::newRow("a line cut in half") << kSound + kCut << TModalResult::mrOk << QStringList{"cut short"}
                                            << false << kCategories << 3;
        QTest::newRow("a missing category, not added") << kSound + kOrphan << TModalResult::mrNo
                                                       << QStringList{"\"Gone\""} << true << kCategories << 2;
        QTest::newRow("a missing category, added")
            << kSound + kOrphan << TModalResult::mrYes << QStringList{"\"Gone\""} << true
            << kCategories + "Gone\r\n" << 3;
        QTest::newRow("both, added") << kCut + kOrphan + kSound << TModalResult::mrYes
                                     << QStringList{"cut short"} << true << kCategories + "Gone\r\n" << 4;
        QTest::newRow("only another case: still told after adding")
            << kSound + "travel\xA5x\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n" << TModalResult::mrYes
            << QStringList{"\"travel\"", "still show nowhere"} << true << kCategories << 2;
    }
    void load()
    {
        QFETCH(QByteArray, items);
        QFETCH(TModalResult, answer);
        QFETCH(QStringList, told);
        QFETCH(bool, offered);
        QFETCH(QByteArray, categoriesAfter);
        QFETCH(int, itemsShown);
        TWindow f(items, answer);
        QCOMPARE(f.msgs.shown.size(), told.size());
        for (qsizetype i = 0; i < told.size(); ++i)
            QVERIFY2(f.msgs.shown[i].text.contains(told[i]), qPrintable(f.msgs.shown[i].text));
        if (!told.isEmpty()) {
            QCOMPARE(f.msgs.shown[0].kind, TMsgDlgType::mtWarning);
            QCOMPARE(f.msgs.shown[0].buttons, offered ? TMsgDlgButtons(mbYes) | mbNo : TMsgDlgButtons(mbOK));
        }
        const bool written = categoriesAfter != kCategories;
        QCOMPARE(f.dir.Read("categories.dat"), categoriesAfter);
        QCOMPARE(f.dir.Read("items.dat"), items);
        QCOMPARE(f.Backups(), written ? 2 : 0); // the book as it was, first
        QCOMPARE(f.ItemsShown(), itemsShown);
    }

    // Told once per run: a restore of a book as damaged says nothing again,
    // one with more damage does.
    void restore_tellsAgainOnlyWhenThereIsMore()
    {
        TWindow f(kSound + kCut, TModalResult::mrOk);
        QCOMPARE(f.msgs.shown.size(), 1);
        f.w->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));

        // A backup holding the same damage.
        QCOMPARE(TBookBackups(f.dir.Path()).KeepNow(), TBookBackups::TOutcome::Kept);
        f.msgs.Clear();
        f.RestoreNewest();
        QCOMPARE(f.msgs.Texts().size(), 1); // the restore's own question
        QVERIFY(f.msgs.Texts()[0].startsWith("Do you want to restore"));

        // One with a second line cut short.
        f.dir.Write("items.dat", kSound + kCut + kCut);
        QCOMPARE(TBookBackups(f.dir.Path()).KeepNow(), TBookBackups::TOutcome::Kept);
        f.msgs.Clear();
        f.RestoreNewest();
        QCOMPARE(f.msgs.Texts().size(), 2);
        QVERIFY(f.msgs.Texts()[1].contains("2 record(s) of items.dat are cut short"));
    }
};

QTEST_MAIN(TestDamagedBook)
#include "test_damaged_book.moc"
