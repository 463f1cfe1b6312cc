// What a screen reader finds on the main window and the payments window:
// every control the user can reach has a name or a description to say.
#include "support/book_fixture.h"
#include "support/window_fixture.h"
#include "book/category_tree.h"

#include <QAccessible>
#include <QLineEdit>
#include <QToolButton>
#include <QTabWidget>
#include <QTest>

namespace {

bool Interactive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Tree:
    case QAccessible::List:
    case QAccessible::Table:
        return true;
    default:
        return false;
    }
}

// The shown controls a user can act on that have neither a name nor a
// description, as "objectName (role)"; `count` receives how many there are
// in all.
QStringList Unnamed(QAccessibleInterface *node, int *count)
{
    QStringList out;
    if (!node || !node->isValid() || node->state().invisible)
        return out;
    if (Interactive(node->role())) {
        ++*count;
        if (node->text(QAccessible::Name).trimmed().isEmpty()
            && node->text(QAccessible::Description).trimmed().isEmpty()) {
            const QObject *object = node->object();
            out << QStringLiteral("%1 (role %2)")
                       .arg(object ? object->objectName() : QStringLiteral("?"))
                       .arg(int(node->role()), 0, 16);
        }
    }
    // A tree's or list's rows are its content, not controls of the window.
    if (node->role() == QAccessible::Tree || node->role() == QAccessible::List || node->role() == QAccessible::Table)
        return out;
    for (int i = 0; i < node->childCount(); ++i)
        out += Unnamed(node->child(i), count);
    return out;
}

const QByteArray kCategories = "Travel\r\n";
const QByteArray kItems = R("Travel|Hotels|hp|http://w.example/|http://l.example/|hu|hpw|http://a.example/|"
                            "http://c.example/|h10|h1|hotel notes|\r\n");

} // namespace

class TestAccessibleNames : public QObject
{
    Q_OBJECT
private slots:
    void mainPage_everyControlHasAName_data()
    {
        QTest::addColumn<QString>("search");
        QTest::newRow("an item shown") << QString();
        QTest::newRow("searching: the field's own button shows") << "Hot";
    }
    void mainPage_everyControlHasAName()
    {
        QFETCH(QString, search);
        TActiveWindow f(kCategories, kItems);
        Child<QTabWidget>(f.w, "pgcPrinc")->setCurrentWidget(Child<QWidget>(f.w, "stsMain"));
        auto *tree = Child<TCategoryTree>(f.w, "tvwMain");
        tree->expandAll();
        tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(0, 0)));
        auto *edtSearch = Child<QLineEdit>(f.w, "edtSearch");
        QTest::keyClicks(edtSearch, search);
        if (!search.isEmpty())
            QTRY_VERIFY(edtSearch->findChild<QToolButton *>()->isVisible());
        QCOMPARE(Child<QLineEdit>(f.w, "edtTitle")->text(), QString("Hotels"));
        int count = 0;
        const QStringList unnamed = Unnamed(QAccessible::queryAccessibleInterface(f.w.get()), &count);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        QVERIFY2(count >= 30, qPrintable(QString::number(count))); // the walk reached the page's controls
    }

    void paymentsWindow_everyControlHasAName()
    {
        TActiveWindow f(kCategories, kItems);
        QTest::mouseClick(Child<QToolButton>(f.w, "btnReminders"), Qt::LeftButton);
        auto *payments = Child<QWidget>(f.w, "frmPayments");
        QVERIFY(QTest::qWaitForWindowExposed(payments));
        int count = 0;
        const QStringList unnamed = Unnamed(QAccessible::queryAccessibleInterface(payments), &count);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        QCOMPARE(count, 4); // the list, the switch, Show Reminder and Close
    }
};

QTEST_MAIN(TestAccessibleNames)
#include "test_accessible_names.moc"
