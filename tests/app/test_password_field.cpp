// The password field's generator and eye, through the real main window and
// the generator's dialog on its own; every message is answered by the
// scripted double, and the dialog opens without waiting on it.
#include "support/book_fixture.h"
#include "support/find_child.h"
#include "support/window_fixture.h"
#include "app/item_editor.h"
#include "app/main_window.h"
#include "app/password_generator_dialog.h"
#include "book/book_folder.h"
#include "book/category_tree.h"
#include "book/input_rules.h"
#include "book/protected_book.h"
#include "book/protected_file.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

namespace {

const QString kSave = "Do you want save the changes you made in this item?";

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = R("Travel|Hotels|hp|||hu|old pw|||||notes|\r\n"
                            "Shops|Books|bp||||||||||\r\n");

class TFixture : public TActiveWindow
{
public:
    TFixture() : TActiveWindow(kCategories, kItems) { Tree()->expandAll(); }

    TCategoryTree *Tree() const { return Child<TCategoryTree>(w, "tvwMain"); }
    // (-1, -1) nothing, (c, -1) a category, (c, i) an item.
    void Select(int category, int item) const
    {
        QAbstractItemModel *model = Tree()->model();
        const QModelIndex c = category < 0 ? QModelIndex() : model->index(category, 0);
        Tree()->setCurrentIndex(item < 0 ? c : model->index(item, 0, c));
    }
    QLineEdit *Password() const { return Child<QLineEdit>(w, "edtPassword"); }
    TItemEditor *Editor() const { return Child<TItemEditor>(w, "bsSkinPanel4"); }
    QAction *Generate() const { return Child<QAction>(w, "actGeneratePassword"); }
    QAction *Eye() const { return Child<QAction>(w, "actShowPassword"); }
    TPasswordGeneratorDialog *Dialog() const
    {
        return w->findChild<TPasswordGeneratorDialog *>("dlgPasswordGenerator");
    }
    // A new window on the same folder, after this one closed as the user
    // closes it (which writes its settings).
    void Reopen()
    {
        QVERIFY(w->close());
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        Tree()->expandAll();
    }
};

// Opens the password field's own context menu and runs its entry `name`.
bool RunFieldMenuEntry(QLineEdit *field, const char *name)
{
    emit field->customContextMenuRequested(QPoint(2, 2));
    QMenu *menu = nullptr;
    if (!QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }))
        return false;
    QAction *entry = nullptr;
    for (QAction *a : menu->actions())
        if (a->objectName() == QLatin1String(name))
            entry = a;
    menu->close();
    if (!entry || !entry->isEnabled())
        return false;
    entry->trigger();
    return true;
}

void SetOptions(TPasswordGeneratorDialog &d, int length, unsigned classes, bool avoid, const QString &extra)
{
    Child<QSpinBox>(d, "spnLength")->setValue(length);
    const std::pair<const char *, unsigned> boxes[] = {{"chkLower", PasswordLower},
                                                       {"chkUpper", PasswordUpper},
                                                       {"chkDigits", PasswordDigits},
                                                       {"chkSymbols", PasswordSymbols},
                                                       {"chkAccented", PasswordAccented}};
    for (const auto &[name, cls] : boxes)
        Child<QCheckBox>(d, name)->setChecked(classes & cls);
    Child<QCheckBox>(d, "chkAvoidLookAlikes")->setChecked(avoid);
    Child<QLineEdit>(d, "edtExtraCharacters")->setText(extra);
}

} // namespace

class TestPasswordField : public QObject
{
    Q_OBJECT
private slots:
    // --- The dialog on its own ---

    // A plain book keeps Windows-1252 without its field delimiter; what the
    // dialog offers to put in must pass the field's own rule, or Use would
    // do nothing. A protected book takes any printable character.
    void dialog_drawsOnlyWhatTheBookHolds_data()
    {
        QTest::addColumn<bool>("anyPrintable");
        QTest::addColumn<int>("length");
        QTest::addColumn<unsigned>("classes");
        QTest::addColumn<bool>("avoid");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("mustHold"); // a character every password shown holds
        QTest::newRow("plain, every class, longest") << false << 128 << unsigned(PasswordAllClasses) << false << ""
                                                     << true << "";
        QTest::newRow("plain, accented only, shortest")
            << false << 8 << unsigned(PasswordAccented) << false << "" << true << "";
        QTest::newRow("plain, the euro sign added")
            << false << 20 << unsigned(PasswordDigits) << false << "\u20AC" << true << "\u20AC";
        QTest::newRow("plain, the delimiter's character refused")
            << false << 20 << unsigned(PasswordLower) << false << "\u00A5" << false << "";
        QTest::newRow("plain, Greek refused") << false << 20 << unsigned(PasswordLower) << false << "\u03A9" << false
                                              << "";
        QTest::newRow("protected, Greek taken") << true << 20 << unsigned(PasswordLower) << false << "\u03A9" << true
                                                << "\u03A9";
        QTest::newRow("no kind chosen") << false << 20 << 0u << false << "" << false << "";
        QTest::newRow("look-alikes left out") << false << 128 << unsigned(PasswordAllClasses) << true << "" << true
                                              << "";
        QTest::newRow("only look-alikes added, avoided") << false << 20 << 0u << true << "0O1lI" << false << "";
    }
    void dialog_drawsOnlyWhatTheBookHolds()
    {
        QFETCH(bool, anyPrintable);
        QFETCH(int, length);
        QFETCH(unsigned, classes);
        QFETCH(bool, avoid);
        QFETCH(QString, extra);
        QFETCH(bool, usable);
        QFETCH(QString, mustHold);
        TPasswordGeneratorDialog d(anyPrintable);
        SetOptions(d, length, classes, avoid, extra);
        QCOMPARE(Child<QPushButton>(d, "btnUse")->isEnabled(), usable);
        QCOMPARE(Child<QPlainTextEdit>(d, "edtPreview")->toPlainText(), d.Password());
        if (!usable) {
            QVERIFY(d.Password().isEmpty());
            QVERIFY(!Child<QLabel>(d, "lblStrength")->text().startsWith("Strength"));
            return;
        }
        QVERIFY(Child<QLabel>(d, "lblStrength")->text().startsWith("Strength"));
        // Drawn again for each draw the button makes, never the same twice.
        QStringList seen;
        for (int draw = 0; draw < 20; ++draw) {
            const QString password = d.Password();
            QCOMPARE(password.toUcs4().size(), length);
            QVERIFY(!seen.contains(password));
            seen << password;
            if (!anyPrintable)
                QCOMPARE(RefusalForLine(password), QString());
            if (avoid)
                for (const QChar c : QStringLiteral("0O1lI|"))
                    QVERIFY2(!password.contains(c), qPrintable(password));
            if (!mustHold.isEmpty())
                QVERIFY2(password.contains(mustHold), qPrintable(password));
            Child<QPushButton>(d, "btnGenerateAgain")->click();
        }
    }

    // --- In the window ---

    // Use goes in as typing over the whole field: the item is modified and
    // leaving it asks the save question; Cancel leaves all as it was.
    void use_putsThePasswordInAsTyping_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("use");
        QTest::newRow("key") << "key" << true;
        QTest::newRow("the field's menu") << "field menu" << true;
        QTest::newRow("the window's menu") << "window menu" << true;
        QTest::newRow("cancelled") << "key" << false;
    }
    void use_putsThePasswordInAsTyping()
    {
        QFETCH(QString, how);
        QFETCH(bool, use);
        TFixture f;
        f.Select(0, 0);
        QCOMPARE(f.Password()->text(), QString("old pw"));
        QVERIFY(!f.Editor()->IsModified());
        if (how == "key") {
            f.Tree()->setFocus();
            QTest::keySequence(f.w.get(), QKeySequence(Qt::CTRL | Qt::Key_G));
        } else if (how == "field menu") {
            QVERIFY(RunFieldMenuEntry(f.Password(), "actGeneratePassword"));
        } else {
            QMenu *menu = Child<QMenu>(f.w, "mnuMain");
            QVERIFY(menu->actions().contains(f.Generate()));
            emit menu->aboutToShow();
            QVERIFY(f.Generate()->isEnabled());
            f.Generate()->trigger();
        }
        TPasswordGeneratorDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = f.Dialog()) && dialog->isVisible());
        const QString password = dialog->Password();
        QCOMPARE(password.size(), kPasswordDefaultLength);
        Child<QPushButton>(dialog, use ? "btnUse" : "btnCancel")->click();
        QTRY_VERIFY(!f.Dialog());

        QCOMPARE(f.Password()->text(), use ? password : QString("old pw"));
        QCOMPARE(f.Editor()->IsModified(), use);
        QVERIFY(f.msgs.Texts().isEmpty());
        f.msgs.Answer(TModalResult::mrNo);
        f.Select(1, 0);
        QCOMPARE(f.msgs.Texts(), use ? QStringList{kSave} : QStringList{});
        QCOMPARE(f.Password()->text(), QString());
    }

    void generate_onlyWhileAnItemIsShown_data()
    {
        QTest::addColumn<int>("category");
        QTest::addColumn<int>("item");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing") << -1 << -1 << false;
        QTest::newRow("a category") << 1 << -1 << false;
        QTest::newRow("an item") << 1 << 0 << true;
    }
    void generate_onlyWhileAnItemIsShown()
    {
        QFETCH(int, category);
        QFETCH(int, item);
        QFETCH(bool, enabled);
        TFixture f;
        f.Select(0, 0); // from an item, so the entry must follow the move
        f.Select(category, item);
        QCOMPARE(f.Generate()->isEnabled(), enabled);
        f.Tree()->setFocus();
        QTest::keySequence(f.w.get(), QKeySequence(Qt::CTRL | Qt::Key_G));
        if (enabled) {
            QTRY_VERIFY(f.Dialog());
            f.Dialog()->reject();
        } else {
            QTest::qWait(50);
            QVERIFY(!f.Dialog());
        }
    }

    // A protected book's fields hold any character, so the dialog draws
    // from any the user adds; a lock under the open dialog closes it, and
    // nothing goes into the emptied editor.
    void protectedBook_anyCharacter_lockClosesTheDialog_data()
    {
        QTest::addColumn<bool>("lock");
        QTest::newRow("used") << false;
        QTest::newRow("locked first") << true;
    }
    void protectedBook_anyCharacter_lockClosesTheDialog()
    {
        QFETCH(bool, lock);
        SetKdfForTesting({2, 8192 * 4});
        BrandingSettings() = TBrandingSettings{};
        TTempAppFolder dir;
        dir.Write("categories.dat", kCategories);
        dir.Write("items.dat", kItems);
        {
            TBookFolder folder(dir.Path());
            QVERIFY(folder.Load().isEmpty());
            const TProtection done = ProtectBook(folder, "master", {2, 8192 * 4});
            QVERIFY(done.error.isEmpty());
            QVERIFY(RemoveFiles(done.removable).isEmpty());
        }
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Child<QLineEdit>(w, "edtMasterPassword")->setText("master");
        Child<QPushButton>(w, "btnUnlock")->click();
        auto *tree = Child<TCategoryTree>(w, "tvwMain");
        QTRY_VERIFY(tree->model()->rowCount() == 2);
        tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(0, 0)));
        Child<QAction>(w, "actGeneratePassword")->trigger();
        TPasswordGeneratorDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = w.findChild<TPasswordGeneratorDialog *>("dlgPasswordGenerator")));
        SetOptions(*dialog, 12, PasswordDigits, false, "\u03A9");
        const QString password = dialog->Password();
        QVERIFY(password.contains(u'\u03A9'));
        QLineEdit *field = Child<QLineEdit>(w, "edtPassword");
        if (lock) {
            Child<QAction>(w, "actLock")->trigger();
            QTRY_VERIFY(!w.findChild<TPasswordGeneratorDialog *>("dlgPasswordGenerator"));
            QCOMPARE(field->text(), QString());
        } else {
            Child<QPushButton>(dialog, "btnUse")->click();
            QCOMPARE(field->text(), password);
            QVERIFY(Child<TItemEditor>(w, "bsSkinPanel4")->IsModified());
        }
        QVERIFY(msgs.Texts().isEmpty());
    }

    // Shown as plain text unless the user chose dots; the choice holds for
    // the next window on the folder, past the window's own write at close.
    void eye_togglesDotsAndIsRememberedPerFolder()
    {
        TFixture f;
        f.Select(0, 0);
        QCOMPARE(f.Password()->echoMode(), QLineEdit::Normal);
        QVERIFY(f.Eye()->isChecked());
        // The eye is a button at the field's end.
        QToolButton *button = nullptr;
        for (QToolButton *b : f.Password()->findChildren<QToolButton *>())
            if (b->defaultAction() == f.Eye())
                button = b;
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(f.Password()->echoMode(), QLineEdit::Password);
        QCOMPARE(f.Password()->text(), QString("old pw"));
        QVERIFY(!f.Editor()->IsModified());

        f.Reopen();
        QCOMPARE(f.Password()->echoMode(), QLineEdit::Password);
        QVERIFY(!f.Eye()->isChecked());
        // Also from the field's menu.
        QVERIFY(RunFieldMenuEntry(f.Password(), "actShowPassword"));
        QCOMPARE(f.Password()->echoMode(), QLineEdit::Normal);

        f.Reopen();
        QCOMPARE(f.Password()->echoMode(), QLineEdit::Normal);
        QVERIFY(f.msgs.Texts().isEmpty());
    }

    // Each folder keeps its own choice.
    void eye_otherFolderKeepsItsOwn()
    {
        TFixture hidden;
        hidden.Eye()->trigger();
        QCOMPARE(hidden.Password()->echoMode(), QLineEdit::Password);
        TFixture other;
        QCOMPARE(other.Password()->echoMode(), QLineEdit::Normal);
    }
};

QTEST_MAIN(TestPasswordField)
#include "test_password_field.moc"
