// What keeps the user's typing and book safe in the window: every kind of
// change counts as unsaved typing, closing asks about it, fields that could
// not store typing refuse it, pasted line ends are dropped, the book's files
// are owner-only, and a backup brings a deleted category back.
#include "app/item_editor.h"
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/add_element_dialog.h"
#include "book/category_tree.h"
#include "book/restore_backup_dialog.h"
#include "settings/branding_settings.h"
#include "support/book_fixture.h"
#include "support/find_child.h"
#include "support/on_dialog.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <sys/stat.h>

namespace {

const QString kSave = "Do you want save the changes you made in this item?";
const QString kTaken = "Sorry there is an item with this title in this category. Use other name and try again";
const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = "Travel\xA5Hotels\xA5hp\xA5hw\xA5hl\xA5hu\xA5hpw\xA5ha\xA5hc\xA5h10\xA5h1\xA5notes\xA5\r\n"
                          "Travel\xA5" "Flights\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n"
                          "Shops\xA5" "Books\xA5" "bp\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n";


int Mode(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

class TFixture
{
public:
    explicit TFixture(bool withBook = true)
    {
        BrandingSettings() = TBrandingSettings{};
        if (withBook) {
            dir.Write("categories.dat", kCategories);
            dir.Write("items.dat", kItems);
        }
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("window not shown");
        w->activateWindow();
    }
    QModelIndex Node(int category, int item = -1) const
    {
        const QModelIndex c = Child<TCategoryTree>(w, "tvwMain")->model()->index(category, 0);
        return item < 0 ? c : Child<TCategoryTree>(w, "tvwMain")->model()->index(item, 0, c);
    }
    void Click(const QModelIndex &node) const
    {
        Child<TCategoryTree>(w, "tvwMain")->scrollTo(node);
        auto *tree = Child<TCategoryTree>(w, "tvwMain");
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(node).center());
    }

    TTempAppFolder dir;
    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

} // namespace

class TestBookSafety : public QObject
{
    Q_OBJECT
private slots:
    // --- Every change the user makes is unsaved typing ---

    void everyKindOfChange_isAskedAbout_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("typing") << "type";
        QTest::newRow("mouse paste, no key event") << "insert";
        QTest::newRow("context-menu paste") << "paste";
        QTest::newRow("drop") << "drop";
        QTest::newRow("undo") << "undo";
        QTest::newRow("redo") << "redo";
        QTest::newRow("memo paste") << "memo paste";
        QTest::newRow("memo undo") << "memo undo";
    }
    void everyKindOfChange_isAskedAbout()
    {
        QFETCH(QString, how);
        TFixture f;
        f.Click(f.Node(0, 0));
        QVERIFY(!f.w->findChild<TItemEditor *>()->IsModified()); // filling the editor is no change
        QLineEdit *edit = f.w->findChild<QLineEdit *>("edtPassword");
        QPlainTextEdit *memo = f.w->findChild<QPlainTextEdit *>("memDesc");
        if (how == "type") {
            QTest::keyClicks(edit, "X");
        } else if (how == "insert") {
            edit->insert("X");
        } else if (how == "paste") {
            QApplication::clipboard()->setText("X");
            edit->paste();
        } else if (how == "drop") {
            QMimeData data;
            data.setText("X");
            QDropEvent drop(QPointF(edit->rect().center()), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            // Straight to the edit: without a drag under way the application
            // would not deliver a drop.
            static_cast<QObject *>(edit)->event(&drop);
        } else if (how == "undo" || how == "redo") {
            edit->insert("X");
            if (how == "redo")
                edit->undo();
            f.w->findChild<TItemEditor *>()->SetModified(false);
            how == "undo" ? edit->undo() : edit->redo();
        } else if (how == "memo paste") {
            memo->insertPlainText("X");
        } else if (how == "memo undo") {
            memo->insertPlainText("X");
            f.w->findChild<TItemEditor *>()->SetModified(false);
            memo->undo();
        }
        QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());

        f.msgs.Answer(TModalResult::mrCancel);
        f.Click(f.Node(1, 0));
        QCOMPARE(f.msgs.Texts(), QStringList{kSave});
        QCOMPARE(Child<TCategoryTree>(f.w, "tvwMain")->currentIndex(), f.Node(0, 0));
    }

    void fillingTheEditor_isNoChange()
    {
        TFixture f;
        f.Click(f.Node(0, 0)); // an item with a description
        QVERIFY(!f.w->findChild<TItemEditor *>()->IsModified());
        f.Click(f.Node(1)); // a category empties the fields
        QVERIFY(!f.w->findChild<TItemEditor *>()->IsModified());
        f.Click(f.Node(0, 1));
        QVERIFY(!f.w->findChild<TItemEditor *>()->IsModified());
        QVERIFY(f.msgs.shown.isEmpty());
    }

    // --- Closing with unsaved typing ---

    void close_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("stored");
        const int none = int(TModalResult::mrNone);
        QTest::newRow("nothing typed: closes, no question") << "" << none << true << QStringList() << false;
        QTest::newRow("yes stores, then closes") << "X" << int(TModalResult::mrYes) << true << QStringList{kSave} << true;
        QTest::newRow("no closes without storing") << "X" << int(TModalResult::mrNo) << true << QStringList{kSave} << false;
        QTest::newRow("cancel keeps the window open") << "X" << int(TModalResult::mrCancel) << false << QStringList{kSave} << false;
        QTest::newRow("closing the box counts as cancel") << "X" << none << false << QStringList{kSave} << false;
        QTest::newRow("yes with a title taken keeps it open")
            << "title" << int(TModalResult::mrYes) << false << (QStringList{kSave, kTaken}) << false;
    }
    void close()
    {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(QStringList, messages);
        QFETCH(bool, stored);
        TFixture f;
        f.Click(f.Node(0, 0));
        if (typed == "title") {
            f.w->findChild<QLineEdit *>("edtTitle")->selectAll();
            QTest::keyClicks(f.w->findChild<QLineEdit *>("edtTitle"), "Flights");
        } else if (!typed.isEmpty()) {
            QTest::keyClick(f.w->findChild<QLineEdit *>("edtProg"), Qt::Key_End);
            QTest::keyClicks(f.w->findChild<QLineEdit *>("edtProg"), typed);
        }
        if (answer != int(TModalResult::mrNone))
            f.msgs.Answer(TModalResult(answer));
        QCOMPARE(f.w->close(), closed);
        QCOMPARE(f.w->isVisible(), !closed);
        QCOMPARE(f.msgs.Texts(), messages);
        QCOMPARE(f.dir.Read("items.dat").contains("\xA5hpX\xA5"), stored);
        if (!closed) {
            QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());
            QCOMPARE(Child<TCategoryTree>(f.w, "tvwMain")->currentIndex(), f.Node(0, 0));
        }
    }

    // --- Fields that could not store typing do not take it ---

    void nothingSelected_fieldsTakeNoTyping()
    {
        TFixture f;
        for (QWidget *field : f.w->findChild<TItemEditor *>()->Fields())
            QTest::keyClicks(field, "stray");
        for (QLineEdit *edit : f.w->findChildren<QLineEdit *>(QRegularExpression("^edt(?!URL)")))
            QCOMPARE(edit->text(), QString());
        QCOMPARE(f.w->findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString());
        f.Click(f.Node(0, 0));
        QVERIFY(f.msgs.shown.isEmpty());
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtLogin"), "X");
        QTest::keyClicks(f.w->findChild<QPlainTextEdit *>("memDesc"), "Y");
        QCOMPARE(f.w->findChild<QLineEdit *>("edtLogin")->text(), QString("huX"));
        QVERIFY(f.w->findChild<QPlainTextEdit *>("memDesc")->toPlainText().contains("Y"));
    }

    // --- Pasted line ends ---

    void pasteEndingInLineBreaks_data()
    {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<bool>("withKeys");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("hint");
        QTest::newRow("line feed at the end") << "abc\n" << true << "huabc" << false;
        QTest::newRow("CR LF at the end") << "abc\r\n" << true << "huabc" << false;
        QTest::newRow("several at the end, mouse paste") << "abc\r\n\r\n" << false << "huabc" << false;
        QTest::newRow("a line break alone") << "\n" << true << "hu" << false;
        QTest::newRow("break inside is refused") << "a\nb" << true << "hu" << true;
        QTest::newRow("break inside and at the end is refused") << "a\nb\n" << false << "hu" << true;
    }
    void pasteEndingInLineBreaks()
    {
        QFETCH(QString, clip);
        QFETCH(bool, withKeys);
        QFETCH(QString, expected);
        QFETCH(bool, hint);
        TFixture f;
        f.Click(f.Node(0, 0));
        QLineEdit *edit = f.w->findChild<QLineEdit *>("edtLogin");
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_End);
        if (withKeys) {
            QApplication::clipboard()->setText(clip);
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        } else {
            edit->insert(clip);
        }
        QCOMPARE(edit->text(), expected);
        QCOMPARE(!f.msgs.hints.isEmpty(), hint);
        if (expected != "hu")
            QVERIFY(f.w->findChild<TItemEditor *>()->IsModified());
        if (expected != "hu")
            QCOMPARE(edit->cursorPosition(), int(expected.size()));
    }

    // --- Private files and backups through the window ---

    void firstSave_createsOwnerOnlyFiles()
    {
        const mode_t old = ::umask(022);
        TFixture f(false);
        OnDialog<TfrmAddElement>([](TfrmAddElement *dlg) {
            QTest::keyClicks(dlg->edtElement, "Travel");
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
        });
        Child<QPushButton>(f.w, "btnAddCategory")->click();
        f.Click(f.Node(0));
        OnDialog<TfrmAddElement>([](TfrmAddElement *dlg) {
            QTest::keyClicks(dlg->edtElement, "Hotels");
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
        });
        Child<QPushButton>(f.w, "btnAddItem")->click();
        ::umask(old);
        QCOMPARE(Mode(f.dir.File("categories.dat")), 0600);
        QCOMPARE(Mode(f.dir.File("items.dat")), 0600);
    }

    void restore_bringsADeletedCategoryBack()
    {
        TFixture f;
        f.Click(f.Node(1));
        f.msgs.Answer(TModalResult::mrOk);
        Child<QAction>(f.w, "DeleteCategory1")->trigger();
        QCOMPARE(Child<TCategoryTree>(f.w, "tvwMain")->model()->rowCount(), 1);

        int rows = -1;
        OnDialog<TfrmRestoreBackup>([&](TfrmRestoreBackup *dlg) {
            rows = dlg->lvwBackups->topLevelItemCount();
            QCOMPARE(dlg->lvwBackups->topLevelItem(0)->text(1), QString("2"));
            QCOMPARE(dlg->lvwBackups->topLevelItem(0)->text(2), QString("3"));
            QTest::mouseClick(dlg->btnRestore, Qt::LeftButton);
        });
        f.msgs.Answer(TModalResult::mrYes);
        f.w->findChild<QAction *>("actRestoreBackup")->trigger();
        QCOMPARE(rows, 1);
        QCOMPARE(f.msgs.shown.size(), 2);
        QVERIFY(f.msgs.shown[1].text.startsWith("Do you want to restore the account book as it was on "));
        QCOMPARE(f.msgs.shown[1].buttons, TMsgDlgButtons(mbYes) | mbNo);
        QCOMPARE(f.dir.Read("categories.dat"), kCategories);
        QCOMPARE(f.dir.Read("items.dat"), kItems);
        QCOMPARE(CategoryList(f.w->Book()), (TStringList{"Travel", "Shops"}));
        QCOMPARE(f.Node(1).data().toString(), QString("Shops"));
        QCOMPARE(f.Node(1, 0).data().toString(), QString("Books"));
        // Nothing is selected after the reload: the fields take no typing.
        QTest::keyClicks(f.w->findChild<QLineEdit *>("edtTitle"), "stray");
        QCOMPARE(f.w->findChild<QLineEdit *>("edtTitle")->text(), QString());
        // The book before the restore is a backup now.
        QCOMPARE(QDir(f.dir.File("backups")).entryList(QDir::Files).size(), 4);
    }

    // A category deleted minutes after the last backup: the delete keeps
    // the book before it all the same, the list tells what that backup
    // holds that the book does not, and restoring it loses no item added
    // since the earlier backup.
    void deleteSoonAfterABackup_restoreLosesNothingNewer()
    {
        TFixture f;
        f.Click(f.Node(0));
        OnDialog<TfrmAddElement>([](TfrmAddElement *dlg) {
            QTest::keyClicks(dlg->edtElement, "Cruises");
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
        });
        Child<QPushButton>(f.w, "btnAddItem")->click(); // the first save: the book before it is kept
        const QByteArray withCruises = f.dir.Read("items.dat");
        QVERIFY(withCruises.contains("Cruises"));
        f.Click(f.Node(1));
        f.msgs.Answer(TModalResult::mrOk);
        Child<QAction>(f.w, "DeleteCategory1")->trigger();
        QCOMPARE(f.dir.Read("categories.dat"), QByteArray("Travel\r\n"));

        QStringList shown;
        OnDialog<TfrmRestoreBackup>([&](TfrmRestoreBackup *dlg) {
            for (int i = 0; i < dlg->lvwBackups->topLevelItemCount(); ++i)
                shown << dlg->lvwBackups->topLevelItem(i)->text(3);
            QTest::mouseClick(dlg->btnRestore, Qt::LeftButton);
        });
        f.msgs.Answer(TModalResult::mrYes);
        f.w->findChild<QAction *>("actRestoreBackup")->trigger();
        // Newest first: the book before the delete, then the one before
        // "Cruises" was added.
        QCOMPARE(shown, (QStringList{"+1 category, +1 item", "+1 category, +1 item"}));
        QCOMPARE(f.dir.Read("categories.dat"), kCategories);
        QCOMPARE(f.dir.Read("items.dat"), withCruises);
        QCOMPARE(f.w->Book().RecordCount(), qsizetype(4));
    }

    void restore_answeredNo_changesNothing()
    {
        TFixture f;
        f.Click(f.Node(1));
        f.msgs.Answer(TModalResult::mrOk);
        Child<QAction>(f.w, "DeleteCategory1")->trigger();
        OnDialog<TfrmRestoreBackup>([](TfrmRestoreBackup *dlg) { dlg->btnRestore->click(); });
        f.msgs.Answer(TModalResult::mrNo);
        f.w->findChild<QAction *>("actRestoreBackup")->trigger();
        QCOMPARE(f.dir.Read("categories.dat"), QByteArray("Travel\r\n"));
        QCOMPARE(Child<TCategoryTree>(f.w, "tvwMain")->model()->rowCount(), 1);
    }

    void backupFolderNotWritable_savesAndTellsOnce()
    {
        TFixture f;
        f.dir.Write("backups", "a file where the folder would be");
        for (const char *name : {"One", "Two"}) {
            OnDialog<TfrmAddElement>([name](TfrmAddElement *dlg) {
                QTest::keyClicks(dlg->edtElement, name);
                QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
            });
            Child<QPushButton>(f.w, "btnAddCategory")->click();
        }
        QCOMPARE(f.dir.Read("categories.dat"), kCategories + "One\r\nTwo\r\n");
        QCOMPARE(f.msgs.shown.size(), 1);
        QVERIFY(f.msgs.shown[0].text.startsWith("No backup of the account book could be kept"));
        QCOMPARE(f.msgs.shown[0].kind, TMsgDlgType::mtWarning);
    }

    // --- The input dialog gives the focus back ---

    void blankValue_focusReturnsToTheField()
    {
        TFixture f;
        bool checked = false;
        OnDialog<TfrmAddElement>([&](TfrmAddElement *dlg) {
            dlg->btnCancel->setFocus(); // where a box closing may leave it
            QTest::mouseClick(dlg->btnOk, Qt::LeftButton);
            QCOMPARE(f.msgs.Texts(), QStringList{"Please enter a value for this field."});
            QCOMPARE(dlg->focusWidget(), dlg->edtElement);
            checked = true;
            dlg->btnCancel->click();
        });
        Child<QPushButton>(f.w, "btnAddCategory")->click();
        QVERIFY(checked);
    }
};

QTEST_MAIN(TestBookSafety)
#include "test_book_safety.moc"
