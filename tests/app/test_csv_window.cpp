// The window's CSV commands: the export warns before anything else and writes
// an owner-only file, the import shows its plan and writes nothing unless the
// user goes on, and then keeps a backup and adds everything in one go.
#include "app/item_editor.h"
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/category_tree.h"
#include "book/csv_book.h"
#include "settings/branding_settings.h"
#include "support/book_fixture.h"
#include "support/fault_injection.h"
#include "support/find_child.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace {

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = "Travel\xA5Hotels\xA5hp\xA5hw\xA5hl\xA5hu\xA5hpw\xA5ha\xA5hc\xA5h10\xA5h1\xA5notes\xA5\r\n"
                          "Shops\xA5" "Books\xA5" "bp\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n";
const QString kClearText = "every password";

int Mode(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

class TFixture
{
public:
    TFixture()
    {
        BrandingSettings() = TBrandingSettings{};
        dir.Write("categories.dat", kCategories);
        dir.Write("items.dat", kItems);
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
        const auto choose = [this] {
            ++choosers;
            return chosen;
        };
        w->SetCsvExportChooser(choose);
        w->SetCsvImportChooser(choose);
        w->SetCsvImportPreview([this](const TImportPlan &plan, const QString &path) {
            previewed = plan;
            previewedPath = path;
            ++previews;
            return confirm;
        });
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("window not shown");
        w->activateWindow();
    }
    QStringList Texts() const
    {
        QStringList out;
        for (const auto &m : msgs.shown)
            out << m.text;
        return out;
    }
    int Backups() const { return QDir(dir.File("backups")).entryList(QDir::Files).size(); }

    TTempAppFolder dir;
    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
    QString chosen;
    bool confirm = true;
    int choosers = 0;
    int previews = 0;
    TImportPlan previewed;
    QString previewedPath;
};

} // namespace

class TestCsvWindow : public QObject
{
    Q_OBJECT
private slots:
    void entriesSitInTheToolbarsMenu()
    {
        TFixture f;
        auto *menuButton = f.w->findChild<QToolButton *>("btnMenu");
        QVERIFY(menuButton && menuButton->menu());
        QCOMPARE(menuButton->parentWidget(), Child<QFrame>(f.w, "bsSkinPanel1"));
        QVERIFY(menuButton->isVisible());
        // Left of the picture buttons, right of the toolbar's own buttons.
        QVERIFY(menuButton->x() > Child<QPushButton>(f.w, "btnAbout")->x());
        QVERIFY(menuButton->geometry().right() < Child<QToolButton>(f.w, "btnNews")->x());
        const QList<QAction *> entries = menuButton->menu()->actions();
        for (const char *name : {"actRestoreBackup", "actExportCsv", "actImportCsv"}) {
            auto *action = f.w->findChild<QAction *>(name);
            QVERIFY2(action && entries.contains(action), name);
        }
        // The buttons they replace are gone.
        QVERIFY(!f.w->findChild<QPushButton *>("btnExportCsv"));
        QVERIFY(!f.w->findChild<QPushButton *>("btnImportCsv"));
    }

    void exportCsv_data()
    {
        QTest::addColumn<TModalResult>("answer");
        QTest::addColumn<QString>("file"); // empty: the chooser is cancelled
        QTest::addColumn<bool>("written");
        QTest::newRow("warning declined") << TModalResult::mrNo << "out.csv" << false;
        QTest::newRow("chooser cancelled") << TModalResult::mrYes << "" << false;
        QTest::newRow("written") << TModalResult::mrYes << "out.csv" << true;
        QTest::newRow("over the book itself") << TModalResult::mrYes << "items.dat" << false;
    }
    void exportCsv()
    {
        QFETCH(TModalResult, answer);
        QFETCH(QString, file);
        QFETCH(bool, written);
        TFixture f;
        f.chosen = file.isEmpty() ? QString() : f.dir.File(file);
        f.msgs.Answer(answer);
        f.w->findChild<QAction *>("actExportCsv")->trigger();
        QVERIFY(!f.msgs.shown.isEmpty());
        QVERIFY(f.msgs.shown[0].text.contains(kClearText)); // before any chooser
        QCOMPARE(f.msgs.shown[0].kind, TMsgDlgType::mtWarning);
        QCOMPARE(f.choosers, answer == TModalResult::mrYes ? 1 : 0);
        QCOMPARE(f.dir.Read("items.dat"), kItems);
        QCOMPARE(f.dir.Exists("out.csv"), written);
        if (written) {
            QCOMPARE(Mode(f.dir.File("out.csv")), 0600);
            const TImportPlan back = PlanCsvImport(f.dir.Read("out.csv"), {});
            QCOMPARE(back.items.size(), 2);
            QCOMPARE(back.items[0].item.fields[6], QByteArray("hpw"));
        }
        if (file == "items.dat")
            QCOMPARE(f.msgs.shown.last().kind, TMsgDlgType::mtError);
    }

    void export_asksAboutUnsavedTypingFirst()
    {
        TFixture f;
        Child<TCategoryTree>(f.w, "tvwMain")->SetCurrent(f.w->Book().index(0, 0, f.w->Book().index(0, 0)));
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtPayout"), "9");
        QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());
        f.msgs.Answer(TModalResult::mrCancel);
        f.w->findChild<QAction *>("actExportCsv")->trigger();
        QCOMPARE(f.msgs.shown.size(), 1);
        QVERIFY(f.msgs.shown[0].text.contains("save the changes"));
        QCOMPARE(f.choosers, 0);
    }

    void importCsv_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("previewed");
        QTest::addColumn<QStringList>("categoriesAfter");
        QTest::addColumn<int>("itemsAfter");
        const QByteArray list = "name,url,username,password,folder\r\n"
                                "Hotels,https://h.example.com,ann,pw,travel\r\n"
                                "Mail,https://m.example.com,bob,pw2,\r\n"
                                "Wiki,https://w.example.com,eve,pw3,Work\r\n";
        QTest::newRow("imported") << list << true << true << QStringList{"Travel", "Shops", "Imported", "Work"} << 5;
        QTest::newRow("preview cancelled") << list << false << true << QStringList{"Travel", "Shops"} << 2;
        QTest::newRow("nothing the book knows") << QByteArray("a,b\r\n1,2\r\n") << true << false
                                                << QStringList{"Travel", "Shops"} << 2;
    }
    void importCsv()
    {
        QFETCH(QByteArray, csv);
        QFETCH(bool, confirm);
        QFETCH(bool, previewed);
        QFETCH(QStringList, categoriesAfter);
        QFETCH(int, itemsAfter);
        TFixture f;
        f.dir.Write("list.csv", csv);
        f.chosen = f.dir.File("list.csv");
        f.confirm = confirm;
        f.w->findChild<QAction *>("actImportCsv")->trigger();
        QCOMPARE(f.previews, previewed ? 1 : 0);

        const bool imported = confirm && previewed;
        QCOMPARE(f.Backups(), imported ? 2 : 0);
        QStringList names;
        for (int c = 0; c < f.w->Book().rowCount(); ++c)
            names << QString::fromLatin1(f.w->Book().CategoryName(c));
        QCOMPARE(names, categoriesAfter);
        QCOMPARE(f.w->Book().RecordCount(), qsizetype(itemsAfter));
        if (!imported) {
            QCOMPARE(f.dir.Read("items.dat"), kItems);
            QCOMPARE(f.dir.Read("categories.dat"), kCategories);
            if (!previewed)
                QCOMPARE(f.msgs.shown.value(0).kind, TMsgDlgType::mtError);
            return;
        }
        // The plan shown is the plan carried out.
        QCOMPARE(f.previewedPath, f.dir.File("list.csv"));
        QCOMPARE(f.previewed.items.size(), 3);
        QCOMPARE(f.previewed.newCategories, (QByteArrayList{"Imported", "Work"}));
        QCOMPARE(f.dir.Read("categories.dat"), QByteArray("Travel\r\nShops\r\nImported\r\nWork\r\n"));
        const TStringList items = SplitLines(f.dir.Read("items.dat"));
        QCOMPARE(items.size(), 5);
        QVERIFY(items[2].startsWith("Travel\xA5Hotels (2)\xA5\xA5https://h.example.com\xA5https://h.example.com\xA5"
                                    "ann\xA5pw\xA5"));
        // The tree shows them.
        const QAbstractItemModel *tree = Child<TCategoryTree>(f.w, "tvwMain")->model();
        QCOMPARE(tree->rowCount(tree->index(0, 0)), 2);
        QCOMPARE(tree->rowCount(tree->index(3, 0)), 1);
        QVERIFY(f.Texts().last().contains("3 item(s) were imported"));
    }

    // A disk that fills up, or refuses the new items.dat, after the new
    // categories.dat was written: neither file changes, the message says
    // why, and the window shows the book as its files hold it.
    void import_thatCannotBeWritten_changesNothing_data()
    {
        QTest::addColumn<bool>("sizeLimit");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk") << true << "File too large";
        QTest::newRow("items.dat refused its replacement") << false << "Read-only file system";
    }
    void import_thatCannotBeWritten_changesNothing()
    {
        QFETCH(bool, sizeLimit);
        QFETCH(QString, reason);
        TFixture f;
        QByteArray csv = "name,url,username,password,note,folder\r\n";
        for (int i = 0; i < 300; ++i)
            csv += "Site " + QByteArray::number(i) + ",https://site" + QByteArray::number(i)
                   + ".example.com/login,user,password,a note long enough to fill the file,Work\r\n";
        f.dir.Write("list.csv", csv);
        f.chosen = f.dir.File("list.csv");
        {
            // The backup and categories.dat fit in 16 KiB; items.dat does not.
            std::optional<TFileSizeLimit> limit;
            std::optional<TWriteFault> refused;
            if (sizeLimit)
                limit.emplace(16 * 1024);
            else
                refused.emplace("items.dat", TAtomicWriter::TStep::Replace, EROFS);
            f.w->findChild<QAction *>("actImportCsv")->trigger();
        }
        QCOMPARE(f.msgs.shown.size(), 1);
        QCOMPARE(f.msgs.shown[0].kind, TMsgDlgType::mtError);
        QVERIFY2(f.msgs.shown[0].text.endsWith(
                     QStringLiteral("\"%1\". %2. The account book is unchanged.")
                         .arg(QDir::toNativeSeparators(f.dir.File("items.dat")), reason)),
                 qPrintable(f.msgs.shown[0].text));
        QCOMPARE(f.dir.Read("categories.dat"), kCategories);
        QCOMPARE(f.dir.Read("items.dat"), kItems);
        QCOMPARE(CategoryList(f.w->Book()), (TStringList{"Travel", "Shops"}));
        QCOMPARE(f.w->Book().RecordCount(), qsizetype(2));
        QCOMPARE(Child<TCategoryTree>(f.w, "tvwMain")->model()->rowCount(), 2);
        QCOMPARE(f.Backups(), 2); // the book as it was, kept first
    }

    // A login whose password the book cannot store exactly stays out of the
    // book, and the closing summary says so again.
    void import_leavesOutRowsWithUnstorablePasswords()
    {
        TFixture f;
        f.dir.Write("list.csv", "name,url,username,password\r\n"
                                "Mail,https://m.example.com,bob,\xD0\xBF\xD0\xB0\xF0\x9F\x99\x82\r\n"
                                "Wiki,https://w.example.com,eve,pw3\r\n");
        f.chosen = f.dir.File("list.csv");
        f.w->findChild<QAction *>("actImportCsv")->trigger();
        QCOMPARE(f.previews, 1);
        QCOMPARE(f.previewed.SkippedRows(), 1);
        const TStringList items = SplitLines(f.dir.Read("items.dat"));
        QCOMPARE(items.size(), 3);
        QVERIFY(items[2].startsWith("Imported\xA5Wiki\xA5"));
        QVERIFY(!f.dir.Read("items.dat").contains("Mail"));
        const QString last = f.Texts().last();
        QVERIFY2(last.contains("1 item(s) were imported"), qPrintable(last));
        QVERIFY2(last.contains("1 row(s) of the file were not imported: 1 whose username or password the book cannot "
                               "store exactly (row 2)."),
                 qPrintable(last));
    }

    void import_asksAboutUnsavedTypingFirst()
    {
        TFixture f;
        f.dir.Write("list.csv", "name,password\r\nHotels,p\r\n");
        f.chosen = f.dir.File("list.csv");
        Child<TCategoryTree>(f.w, "tvwMain")->SetCurrent(f.w->Book().index(0, 0, f.w->Book().index(0, 0)));
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtTitle"), "X");
        f.msgs.Answer(TModalResult::mrCancel);
        f.w->findChild<QAction *>("actImportCsv")->trigger();
        QCOMPARE(f.choosers, 0);
        QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());

        // Stored first, the typed title is what the plan sees.
        f.msgs.Answer(TModalResult::mrYes);
        f.w->findChild<QAction *>("actImportCsv")->trigger();
        QCOMPARE(f.choosers, 1);
        QCOMPARE(f.previews, 1);
        QCOMPARE(f.previewed.items.value(0).item.fields[1], QByteArray("Hotels"));
        QVERIFY(SplitLines(f.dir.Read("items.dat")).value(0).startsWith("Travel\xA5HotelsX\xA5"));
    }

    void import_refusesALargeFile()
    {
        TFixture f;
        QFile big(f.dir.File("big.csv"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(kCsvMaxBytes + 1)); // sparse: no time spent writing it
        big.close();
        f.chosen = big.fileName();
        f.w->findChild<QAction *>("actImportCsv")->trigger();
        QCOMPARE(f.previews, 0);
        QCOMPARE(f.msgs.shown.size(), 1);
        QVERIFY(f.msgs.shown[0].text.contains("larger than"));
        QCOMPARE(f.dir.Read("items.dat"), kItems);
    }
};

QTEST_MAIN(TestCsvWindow)
#include "test_csv_window.moc"
