// Saving a large book on a thread of its own (the size from which that
// happens set to 0 here): the same files as a save on the window's thread,
// the newest state last, nothing left unwritten when the window closes, and
// a failed write told while the book keeps every change.
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/category_tree.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <limits>
#include <sys/stat.h>

namespace {

const qint64 kNever = std::numeric_limits<qint64>::max();

int Mode(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// A book of `items` items, alternately in Shops and Travel; payout "$1".
QByteArray Items(int items)
{
    const QByteArray sep("\xA5");
    QByteArray out;
    for (int i = 0; i < items; ++i)
        out += (i % 2 ? "Travel" : "Shops") + sep + "Item " + QByteArray::number(i) + sep
               + QByteArrayList{"p", "w", "l", "u", "pw", "a", "c", "$1", "1", "notes", ""}.join(sep) + "\r\n";
    return out;
}

// The payout of an item as the files now hold it.
QByteArray SavedPayout(const TTempAppFolder &dir, const QByteArray &category, const QByteArray &title)
{
    TAccountBook book;
    book.LoadCategories(dir.File("categories.dat"));
    book.LoadItems(dir.File("items.dat"));
    const qsizetype record = book.FindItem(category, title);
    return record < 0 ? QByteArray("(none)") : book.ReadItem(record).fields[9];
}

struct TFixture
{
    TFixture(qint64 backgroundFrom, int items = 4)
    {
        BrandingSettings() = TBrandingSettings{};
        dir.Write("categories.dat", "Travel\r\nShops\r\n");
        dir.Write("items.dat", Items(items));
        ::chmod(QFile::encodeName(dir.File("items.dat")).constData(), 0640);
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        w->SetBackgroundSaveFrom(backgroundFrom);
        Child<QTimer>(w, "Timer1")->stop();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("window not shown");
        w->activateWindow();
    }
    QModelIndex Node(int category, int item) const
    {
        const QAbstractItemModel *m = Child<TCategoryTree>(w, "tvwMain")->model();
        return m->index(item, 0, m->index(category, 0));
    }
    // Selects the item, types `payout` into its field and clicks Save.
    void StoreAndSave(int category, int item, const QString &payout) const
    {
        Child<TCategoryTree>(w, "tvwMain")->setCurrentIndex(Node(category, item));
        w->findChild<QLineEdit *>("edtPayout")->selectAll();
        QTest::keyClicks(w->findChild<QLineEdit *>("edtPayout"), payout);
        w->findChild<QPushButton *>("btnSave")->click();
    }
    void DeleteItem(int category, int item) const
    {
        Child<TCategoryTree>(w, "tvwMain")->setCurrentIndex(Node(category, item));
        msgs.Answer(TModalResult::mrOk);
        Child<QAction>(w, "DeleteItem1")->trigger();
    }
    QByteArray Payout(int category, int item) const
    {
        const TAccountBook &book = w->Book();
        return book.ReadItem(book.RecordAt(book.index(item, 0, book.index(category, 0)))).fields[9];
    }
    int Backups() const { return QDir(dir.File("backups")).entryList(QDir::Files).size(); }

    TTempAppFolder dir;
    mutable TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

} // namespace

class TestBackgroundSave : public QObject
{
    Q_OBJECT
private slots:
    void sameFilesAsASaveOnTheWindowsThread_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("backups");
        QTest::newRow("one store") << QStringList{"store 0 0 7"} << 1;
        QTest::newRow("stores in two categories") << QStringList{"store 0 1 1", "store 1 0 22"} << 1;
        // A delete keeps the book before it whatever the spacing.
        QTest::newRow("store then delete") << QStringList{"store 1 1 x", "delete 0 0"} << 2;
        QTest::newRow("delete the last item") << QStringList{"delete 1 1"} << 1;
    }
    void sameFilesAsASaveOnTheWindowsThread()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, backups);
        TFixture atOnce(kNever);
        TFixture behind(0);
        for (const TFixture *f : {&atOnce, &behind}) {
            for (const QString &step : steps) {
                const QStringList p = step.split(u' ');
                if (p[0] == "store")
                    f->StoreAndSave(p[1].toInt(), p[2].toInt(), p[3]);
                else
                    f->DeleteItem(p[1].toInt(), p[2].toInt());
            }
            f->w->WaitForSaves();
        }
        QVERIFY(atOnce.dir.Read("items.dat") != Items(4));
        QCOMPARE(behind.dir.Read("items.dat"), atOnce.dir.Read("items.dat"));
        QCOMPARE(Mode(behind.dir.File("items.dat")), 0640);
        QCOMPARE(behind.Backups(), atOnce.Backups());
        QCOMPARE(behind.Backups(), 2 * backups); // both files each
        QCOMPARE(behind.msgs.Texts(), atOnce.msgs.Texts());
    }

    // Saves in quick succession: the file ends with the newest state, never
    // an older one after it.
    void quickSaves_endWithTheNewestState()
    {
        TFixture f(0, 20000);
        for (int i = 1; i <= 5; ++i)
            f.StoreAndSave(1, 0, QString::number(i));
        f.w->WaitForSaves();
        QCOMPARE(SavedPayout(f.dir, "Shops", "Item 0"), QByteArray("5"));
        QCOMPARE(f.msgs.shown.size(), 0);
    }

    // Closing the window, or destroying it, leaves the last save committed.
    void closing_waitsForTheWrite_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("closed") << true;
        QTest::newRow("destroyed") << false;
    }
    void closing_waitsForTheWrite()
    {
        QFETCH(bool, close);
        TFixture f(0, 20000);
        f.StoreAndSave(0, 3, "last words");
        if (close)
            QVERIFY(f.w->close());
        f.w.reset();
        QCOMPARE(SavedPayout(f.dir, "Travel", "Item 7"), QByteArray("last words"));
    }

    // A write that fails is told through the window's messages; the book
    // keeps the change and the next save writes it.
    void failedWrite_isTold_andTheNextSaveWritesIt()
    {
        TFixture f(0);
        QVERIFY(QFile::remove(f.dir.File("items.dat")));
        QVERIFY(QDir().mkdir(f.dir.File("items.dat")));
        f.StoreAndSave(0, 0, "kept");
        f.w->WaitForSaves();
        QVERIFY(f.msgs.Texts().join('\n').contains("items.dat"));
        QCOMPARE(f.Payout(0, 0), QByteArray("kept"));

        QVERIFY(QDir().rmdir(f.dir.File("items.dat")));
        f.msgs.Clear();
        f.w->findChild<QPushButton *>("btnSave")->click();
        f.w->WaitForSaves();
        QCOMPARE(f.msgs.shown.size(), 0);
        QCOMPARE(SavedPayout(f.dir, "Travel", "Item 1"), QByteArray("kept"));
        QCOMPARE(Mode(f.dir.File("items.dat")), 0600); // written anew: owner-only
    }
};

QTEST_MAIN(TestBackgroundSave)
#include "test_background_save.moc"
