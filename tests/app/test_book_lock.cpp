// The protected book in the window: it starts at the unlock page, locks by
// hand and after idle minutes without dropping typing, and is protected,
// given a new password and unprotected through the menu, the editor taking
// any character for it.
#include "app/book_lock_controller.h"
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/book_folder.h"
#include "book/protected_book.h"
#include "book/protected_file.h"
#include "settings/branding_settings.h"
#include "settings/window_settings.h"
#include "support/find_child.h"
#include "support/on_dialog.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <memory>

namespace {

const TKdfParameters kFast{2, 8192 * 4};
const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = "Travel\xA5Hotels\xA5hp\xA5\xA5\xA5hu\xA5hpw\xA5\xA5\xA5\xA5\xA5notes\xA5\r\n"
                          "Shops\xA5" "Books\xA5" "bp\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n";
const QByteArray kPassword = "correct horse";


void FillPasswords(QDialog *dlg, const QString &current, const QString &chosen, const QString &repeated)
{
    if (auto *c = dlg->findChild<QLineEdit *>("edtCurrentPassword"))
        c->setText(current);
    dlg->findChild<QLineEdit *>("edtNewPassword")->setText(chosen);
    dlg->findChild<QLineEdit *>("edtRepeatPassword")->setText(repeated);
    dlg->findChild<QPushButton *>("btnOk")->click();
}

QString ClipboardText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data ? data->text() : QString();
}

struct TFixture
{
    // `how`: "plain", "protected" or "empty".
    explicit TFixture(const QString &how, bool open = true)
    {
        SetKdfForTesting(kFast);
        BrandingSettings() = TBrandingSettings{};
        if (how != QLatin1String("empty")) {
            dir.Write("categories.dat", kCategories);
            dir.Write("items.dat", kItems);
        }
        if (how == QLatin1String("protected")) {
            TBookFolder folder(dir.Path());
            if (!folder.Load().isEmpty())
                qFatal("plain book unreadable");
            const TProtection done = ProtectBook(folder, kPassword, kFast);
            if (!done.error.isEmpty() || !RemoveFiles(done.removable).isEmpty())
                qFatal("protecting failed");
        }
        if (open)
            Open();
    }
    void Open()
    {
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    TBookLockController *lock() const { return w->findChild<TBookLockController *>("BookLockController"); }
    QTreeView *tree() const { return w->findChild<QTreeView *>("tvwMain"); }
    QLineEdit *Edit(const char *name) const { return w->findChild<QLineEdit *>(name); }
    QWidget *unlockPage() const { return w->findChild<QWidget *>("stsUnlock"); }
    int Categories() const { return tree()->model()->rowCount(); }
    void Unlock(const QString &password) const
    {
        Edit("edtMasterPassword")->setText(password);
        w->findChild<QPushButton *>("btnUnlock")->click();
    }
    void SelectFirstItem() const
    {
        const QModelIndex category = tree()->model()->index(0, 0);
        tree()->setCurrentIndex(tree()->model()->index(0, 0, category));
    }
    QAction *Action(const char *name) const { return w->findChild<QAction *>(name); }
    // The protected book as its file holds it, opened beside the window.
    QString StoredPassword(const QByteArray &password) const
    {
        TBookFolder folder(dir.Path());
        if (!folder.Unlock(password).Ok())
            return QStringLiteral("<not opened>");
        const qsizetype record = folder.Book().FindItem("Travel", "Hotels");
        return DecodeBookText(folder.Book().ReadItem(record).Field(TItemField::Password), TBookText::Utf8);
    }

    TTempAppFolder dir;
    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

} // namespace

class TestBookLock : public QObject
{
    Q_OBJECT
private slots:
    void closedLocked_keepsTheLayout()
    {
        TFixture f("protected", false);
        f.dir.Write("tarnwick.ini", "[Splitters]\nbsSkinSplitter1=300 600\n");
        f.Open();
        // Keys of the covered pages do nothing.
        QTest::keySequence(f.w.get(), QKeySequence::New);
        QVERIFY(f.msgs.shown.isEmpty());
        f.w->close();
        const QList<int> sizes = TWindowSettings(f.dir.Path()).Load().splitters.value("bsSkinSplitter1");
        QCOMPARE(sizes.size(), 2);
        QCOMPARE(sizes[0], 300);
    }
    void start_atTheUnlockPage_wrongThenRightPassword_data()
    {
        QTest::addColumn<QString>("wrong");
        QTest::newRow("a wrong password") << "correct horse!";
        QTest::newRow("an empty one") << "";
    }
    void start_atTheUnlockPage_wrongThenRightPassword()
    {
        QFETCH(QString, wrong);
        TFixture f("protected");
        const QByteArray file = f.dir.Read("book.tarnwick");
        QVERIFY(f.unlockPage()->isVisible());
        QVERIFY(!f.w->findChild<QWidget *>("pgcPrinc")->isEnabled());
        QCOMPARE(f.Categories(), 0);
        // Nothing told at the start: the page says what to do.
        QVERIFY(f.msgs.shown.isEmpty());

        f.Unlock(wrong);
        QCOMPARE(f.msgs.shown.size(), 1);
        QVERIFY(f.lock()->IsLocked());
        QVERIFY(f.unlockPage()->isVisible());
        QCOMPARE(f.Categories(), 0);
        QCOMPARE(f.dir.Read("book.tarnwick"), file);
        QVERIFY(!f.dir.Exists("categories.dat"));

        f.Unlock(QString::fromUtf8(kPassword));
        QVERIFY(!f.lock()->IsLocked());
        QVERIFY(!f.unlockPage()->isVisible());
        QCOMPARE(f.Categories(), 2);
        QCOMPARE(f.msgs.shown.size(), 1);
        QCOMPARE(f.dir.Read("book.tarnwick"), file);
    }

    void lock_emptiesTreeFieldsSearchAndClipboard_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("menu entry") << "action";
        QTest::newRow("Ctrl+L") << "key";
    }
    void lock_emptiesTreeFieldsSearchAndClipboard()
    {
        QFETCH(QString, how);
        TFixture f("protected");
        f.w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.w.get()));
        f.Unlock(QString::fromUtf8(kPassword));
        f.SelectFirstItem();
        QCOMPARE(f.Edit("edtPassword")->text(), QString("hpw"));
        f.Action("CopyPassword1")->trigger();
        QCOMPARE(ClipboardText(), QString("hpw"));
        f.Edit("edtSearch")->setText("Hot");

        if (how == QLatin1String("key"))
            QTest::keySequence(f.w.get(), QKeySequence(Qt::CTRL | Qt::Key_L));
        else
            f.Action("actLock")->trigger();

        QVERIFY(f.lock()->IsLocked());
        QCOMPARE(f.Categories(), 0);
        QCOMPARE(f.Edit("edtPassword")->text(), QString());
        QCOMPARE(f.Edit("edtTitle")->text(), QString());
        QCOMPARE(f.Edit("edtSearch")->text(), QString());
        QCOMPARE(ClipboardText(), QString());
        QVERIFY(f.unlockPage()->isVisible());
        QVERIFY(f.msgs.shown.isEmpty());
        // The same password opens it again.
        f.Unlock(QString::fromUtf8(kPassword));
        QCOMPARE(f.Categories(), 2);
    }

    void lock_asksAboutTypingFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QString>("stored");
        QTest::newRow("yes stores it") << int(TModalResult::mrYes) << true << "hpw2";
        QTest::newRow("no drops it") << int(TModalResult::mrNo) << true << "hpw";
        QTest::newRow("cancel keeps it") << int(TModalResult::mrCancel) << false << "hpw";
    }
    void lock_asksAboutTypingFirst()
    {
        QFETCH(int, answer);
        QFETCH(bool, locked);
        QFETCH(QString, stored);
        TFixture f("protected");
        f.Unlock(QString::fromUtf8(kPassword));
        f.SelectFirstItem();
        QTest::keyClicks(f.Edit("edtPassword"), "2");
        f.msgs.Answer(TModalResult(answer));
        f.Action("actLock")->trigger();
        QCOMPARE(f.msgs.shown.size(), 1);
        QCOMPARE(f.lock()->IsLocked(), locked);
        if (!locked)
            QCOMPARE(f.Edit("edtPassword")->text(), QString("hpw2"));
        QCOMPARE(f.StoredPassword(kPassword), stored);
    }

    void idleLock_afterItsMinutes_waitsForTyping_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("typing");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("locked");
        QTest::newRow("before the default ten") << QByteArray() << false << 9 << false;
        QTest::newRow("after the default ten") << QByteArray() << false << 11 << true;
        QTest::newRow("typing not yet saved") << QByteArray() << true << 60 << false;
        QTest::newRow("the folder's own minutes") << QByteArray("[Lock]\nIdleMinutes=2\n") << false << 3 << true;
        QTest::newRow("never") << QByteArray("[Lock]\nIdleMinutes=0\n") << false << 600 << false;
    }
    void idleLock_afterItsMinutes_waitsForTyping()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, typing);
        QFETCH(int, minutes);
        QFETCH(bool, locked);
        auto f = std::make_unique<TFixture>("protected");
        if (!ini.isEmpty()) {
            f->w.reset();
            f->dir.Write("tarnwick.ini", ini);
            f->Open();
        }
        qint64 now = 0;
        f->lock()->SetClock([&now] { return now; });
        f->Unlock(QString::fromUtf8(kPassword));
        f->SelectFirstItem();
        if (typing)
            QTest::keyClicks(f->Edit("edtPassword"), "2");
        now += qint64(minutes) * 60 * 1000;
        QCOMPARE(f->lock()->CheckIdle(), locked);
        QCOMPARE(f->lock()->IsLocked(), locked);
        QVERIFY(f->msgs.shown.isEmpty());
        if (typing) {
            QCOMPARE(f->Edit("edtPassword")->text(), QString("hpw2"));
            // Once the typing is saved the lock comes at the next look.
            f->w->findChild<QPushButton *>("btnSave")->click();
            QVERIFY(f->lock()->CheckIdle());
            QCOMPARE(f->StoredPassword(kPassword), QString("hpw2"));
        }
    }

    void autoLock_chosenMinutesHoldAndAreRemembered_data()
    {
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("idle");
        QTest::addColumn<bool>("locked");
        QTest::newRow("never") << 0 << 600 << false;
        QTest::newRow("two, after three") << 2 << 3 << true;
        QTest::newRow("thirty, after twenty") << 30 << 20 << false;
    }
    void autoLock_chosenMinutesHoldAndAreRemembered()
    {
        QFETCH(int, chosen);
        QFETCH(int, idle);
        QFETCH(bool, locked);
        TFixture f("protected");
        qint64 now = 0;
        f.lock()->SetClock([&now] { return now; });
        f.Unlock(QString::fromUtf8(kPassword));
        OnDialog<QDialog>([chosen](QDialog *dlg) {
            dlg->findChild<QSpinBox *>("spnIdleMinutes")->setValue(chosen);
            dlg->findChild<QPushButton *>("btnOk")->click();
        });
        f.Action("actAutoLock")->trigger();
        now += qint64(idle) * 60 * 1000;
        QCOMPARE(f.lock()->CheckIdle(), locked);
        // Closing saves the window's layout: the choice stays all the same.
        f.w->close();
        f.w.reset();
        QCOMPARE(TWindowSettings(f.dir.Path()).LoadBookLock().idleMinutes, chosen);
    }

    void sessionLock_waitsForTyping_data()
    {
        QTest::addColumn<bool>("typing");
        QTest::addColumn<int>("answer"); // to the save question; 0: saved with the button
        QTest::newRow("nothing typed") << false << 0;
        QTest::newRow("typing saved") << true << 0;
        QTest::newRow("typing kept by Cancel") << true << int(TModalResult::mrCancel);
    }
    void sessionLock_waitsForTyping()
    {
        QFETCH(bool, typing);
        QFETCH(int, answer);
        TFixture f("protected");
        f.Unlock(QString::fromUtf8(kPassword));
        f.SelectFirstItem();
        if (typing)
            QTest::keyClicks(f.Edit("edtPassword"), "2");
        f.lock()->SessionLocked();
        QCOMPARE(f.lock()->IsLocked(), !typing);
        if (!typing)
            return;
        QCOMPARE(f.Edit("edtPassword")->text(), QString("hpw2"));
        QVERIFY(f.msgs.shown.isEmpty());
        if (answer == 0) {
            f.w->findChild<QPushButton *>("btnSave")->click();
            QTRY_VERIFY(f.lock()->IsLocked());
            QCOMPARE(f.StoredPassword(kPassword), QString("hpw2"));
        } else {
            // Moving to another item asks; Cancel keeps the typing and the lock waits on.
            f.msgs.Answer(TModalResult(answer));
            f.tree()->setCurrentIndex(f.tree()->model()->index(1, 0));
            QTest::qWait(20);
            QVERIFY(!f.lock()->IsLocked());
            QCOMPARE(f.Edit("edtPassword")->text(), QString("hpw2"));
        }
    }

    void logindSessionPath_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("path");
        QTest::newRow("none") << "" << "";
        QTest::newRow("a number") << "2" << "/org/freedesktop/login1/session/_32";
        QTest::newRow("letters and digits") << "c12" << "/org/freedesktop/login1/session/c12";
        QTest::newRow("a dash") << "3-x" << "/org/freedesktop/login1/session/_33_2dx";
        QTest::newRow("a slash never ends the path") << "a/../b"
                                                      << "/org/freedesktop/login1/session/a_2f_2e_2e_2fb";
    }
    void logindSessionPath()
    {
        QFETCH(QString, id);
        QFETCH(QString, path);
        QCOMPARE(LogindSessionPath(id), path);
    }

    void protectedEditor_storesAnyCharacterExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("emoji") << QString::fromUtf8("pa\xF0\x9F\x94\x91ss");
        QTest::newRow("Cyrillic") << QString::fromUtf8("\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C");
        QTest::newRow("yen, the plain delimiter") << QString::fromUtf8("a\xC2\xA5" "b");
        QTest::newRow("CJK and combining accent")
            << QString::fromUtf8("\xE5\xAF\x86\xE7\xA0\x81" "e\xCC\x81");
    }
    void protectedEditor_storesAnyCharacterExactly()
    {
        QFETCH(QString, text);
        TFixture f("protected");
        f.Unlock(QString::fromUtf8(kPassword));
        f.SelectFirstItem();
        QLineEdit *password = f.Edit("edtPassword");
        password->selectAll();
        QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(password, &typed);
        QCOMPARE(password->text(), text);
        QVERIFY(f.msgs.hints.isEmpty());
        f.w->findChild<QPushButton *>("btnSave")->click();
        QCOMPARE(f.StoredPassword(kPassword), text);
        // Shown as stored after the book is locked and opened again.
        f.Action("actLock")->trigger();
        f.Unlock(QString::fromUtf8(kPassword));
        f.SelectFirstItem();
        QCOMPARE(f.Edit("edtPassword")->text(), text);
    }

    void protectedBook_namesTakeAnyCharacter_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("name");
        QTest::newRow("Cyrillic category") << "btnAddCategory"
                                           << QString::fromUtf8("ÐÐ¾ÑÑÐ°");
        QTest::newRow("emoji item") << "btnAddItem" << QString::fromUtf8("Shop ð");
    }
    void protectedBook_namesTakeAnyCharacter()
    {
        QFETCH(QString, button);
        QFETCH(QString, name);
        TFixture f("protected");
        f.Unlock(QString::fromUtf8(kPassword));
        f.tree()->setCurrentIndex(f.tree()->model()->index(0, 0));
        OnDialog<QDialog>([name](QDialog *dlg) {
            dlg->findChild<QLineEdit *>("edtElement")->setText(name);
            dlg->findChild<QPushButton *>("btnOk")->click();
        });
        f.w->findChild<QPushButton *>(button)->click();
        QVERIFY(f.msgs.shown.isEmpty());
        QVERIFY(f.msgs.hints.isEmpty());
        TBookFolder folder(f.dir.Path());
        QVERIFY(folder.Unlock(kPassword).Ok());
        const QByteArray stored = name.toUtf8();
        if (button == QLatin1String("btnAddCategory"))
            QCOMPARE(folder.Book().CategoryName(2), stored);
        else
            QVERIFY(folder.Book().FindItem("Travel", stored) >= 0);
    }

    void plainEditor_keepsItsGuard()
    {
        TFixture f("plain");
        f.SelectFirstItem();
        QLineEdit *password = f.Edit("edtPassword");
        QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("\xD0\xBF"));
        QApplication::sendEvent(password, &typed);
        QCOMPARE(password->text(), QString("hpw"));
        QCOMPARE(f.msgs.hints.size(), 1);
    }

    void protectChangeRemove_roundTrip()
    {
        TFixture f("plain");
        QVERIFY(!f.Action("actLock")->isEnabled());
        // The two new passwords differ: asked again, nothing written.
        OnDialog<QDialog>([](QDialog *dlg) {
            FillPasswords(dlg, {}, "new one", "new 0ne");
            OnDialog<QDialog>([](QDialog *dlg) { FillPasswords(dlg, {}, "first", "first"); });
        });
        f.msgs.Answer(TModalResult::mrOk); // the passwords differ
        f.msgs.Answer(TModalResult::mrYes); // remove the plain files
        f.Action("actProtectBook")->trigger();
        QVERIFY(f.dir.Exists("book.tarnwick"));
        QVERIFY(!f.dir.Exists("categories.dat"));
        QVERIFY(!f.dir.Exists("items.dat"));
        QVERIFY(f.msgs.Texts().join('\n').contains("items.dat"));
        QCOMPARE(f.Categories(), 2);
        QVERIFY(f.Action("actLock")->isEnabled());
        QCOMPARE(f.StoredPassword("first"), QString("hpw"));

        // A wrong current password changes nothing.
        f.msgs.Clear();
        OnDialog<QDialog>([](QDialog *dlg) { FillPasswords(dlg, "frist", "second", "second"); });
        f.Action("actChangeMasterPassword")->trigger();
        QCOMPARE(f.msgs.shown.size(), 1);
        QCOMPARE(f.StoredPassword("first"), QString("hpw"));
        OnDialog<QDialog>([](QDialog *dlg) { FillPasswords(dlg, "first", "second", "second"); });
        f.msgs.SetDefaultAnswer(TModalResult::mrNo);
        f.Action("actChangeMasterPassword")->trigger();
        QCOMPARE(f.StoredPassword("second"), QString("hpw"));
        QCOMPARE(f.StoredPassword("first"), QString("<not opened>"));

        // Text the plain files cannot hold is listed; No writes nothing.
        f.SelectFirstItem();
        f.Edit("edtPassword")->setText(QString::fromUtf8("\xD0\xBF"));
        f.w->findChild<QPushButton *>("btnSave")->click();
        const QByteArray file = f.dir.Read("book.tarnwick");
        f.msgs.Clear();
        f.msgs.Answer(TModalResult::mrNo);
        f.Action("actRemoveProtection")->trigger();
        QCOMPARE(f.msgs.shown.size(), 1);
        QVERIFY(f.msgs.shown[0].text.contains("Password"));
        QVERIFY(f.msgs.shown[0].text.contains("Hotels"));
        QCOMPARE(f.dir.Read("book.tarnwick"), file);
        QVERIFY(!f.dir.Exists("items.dat"));

        f.msgs.Answer(TModalResult::mrYes);
        f.Action("actRemoveProtection")->trigger();
        QVERIFY(!f.dir.Exists("book.tarnwick"));
        QVERIFY(f.dir.Read("items.dat").contains("Hotels\xA5hp\xA5\xA5\xA5hu\xA5?\xA5"));
        QVERIFY(f.Action("actProtectBook")->isVisible());
        QVERIFY(!f.Action("actLock")->isEnabled());
    }

    void firstStart_offersProtectionOnce_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("protectedAfter");
        QTest::addColumn<bool>("askedAgain");
        QTest::newRow("empty, not now") << "empty" << int(TModalResult::mrNo) << true << false << false;
        QTest::newRow("empty, yes") << "empty" << int(TModalResult::mrYes) << true << true << false;
        QTest::newRow("a plain book") << "plain" << int(TModalResult::mrYes) << false << false << false;
    }
    void firstStart_offersProtectionOnce()
    {
        QFETCH(QString, folder);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, protectedAfter);
        QFETCH(bool, askedAgain);
        if (answer == int(TModalResult::mrYes))
            OnDialog<QDialog>([](QDialog *dlg) { FillPasswords(dlg, {}, "first", "first"); });
        TFixture f(folder, false);
        f.msgs.Answer(TModalResult(answer));
        f.Open();
        f.lock()->OfferProtectionAtStart();
        QCOMPARE(!f.msgs.shown.isEmpty(), asked);
        QCOMPARE(f.dir.Exists("book.tarnwick"), protectedAfter);
        f.w.reset();
        f.msgs.shown.clear();
        f.Open();
        f.lock()->OfferProtectionAtStart();
        QCOMPARE(!f.msgs.shown.isEmpty(), askedAgain);
        if (protectedAfter)
            QVERIFY(f.lock()->IsLocked());
    }
};

QTEST_MAIN(TestBookLock)
#include "test_book_lock.moc"
