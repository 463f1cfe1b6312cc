#include "support/book_fixture.h"
#include "app/item_editor.h"
#include "app/main_window.h"
#include "book/account_book.h"
#include "book/category_tree.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "util/document_view.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QSpontaneKeyEvent>
#include <QStyle>
#include <QTimer>

namespace {

// A book made elsewhere: Windows-1252 names, both record shapes, a multi-line
// description, a record of an unknown category, an empty line, a duplicate
// category and a last line without a line end.
const QByteArray kLegacyCategories = R("Travel\r\nCaf\xE9 \xA7 Bar\r\n\r\nTravel\r\nShops\xA5\r\nEmpty");
const QByteArray kLegacyItems =
    R("Travel|Hotels \x80|prog|http://w|http://l|me|pw|aff|clo|$10|1st|line one||##line two|\r\n"
      "Caf\xE9 \xA7 Bar|Fresh|||||||||||||\r\n"
      "Nowhere|Orphan|||||||||||x|\r\n"
      "\r\n"
      "Travel|Flights|||||||||||| \r\n"
      "Caf\xE9 \xA7 Bar|Second|||||||||||d|");

QStringList Children(const QModelIndex &node)
{
    QStringList out;
    for (int i = 0; i < node.model()->rowCount(node); ++i)
        out << node.model()->index(i, 0, node).data().toString();
    return out;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        BrandingSettings() = TBrandingSettings{};
    }

    void startWithoutBook_showsEmptyMainPage()
    {
        TTempAppFolder dir;
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        QCOMPARE(w.objectName(), QString("frmMain"));
        QCOMPARE(w.windowTitle(), QString("Tarnwick"));
        QVERIFY(Child<QTimer>(w, "Timer1")->isActive());
        QCOMPARE(Child<QTimer>(w, "Timer1")->interval(), 2000);
        QVERIFY(Child<QTimer>(w, "Timer1")->isSingleShot());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->count(), 1);
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsMain"));
        QVERIFY(Child<QWidget>(w, "stsMain")->isVisible());
        QVERIFY(Child<TCategoryTree>(w, "tvwMain")->isVisible());
        QVERIFY(!w.findChild<QWidget *>("stsWelcome"));
        QVERIFY(!Child<QTabWidget>(w, "pgcPrinc")->tabBar()->isVisible());
        QCOMPARE(Child<TCategoryTree>(w, "tvwMain")->model()->rowCount(), 0);
        QCOMPARE(w.size(), QSize(929, 692));
        QVERIFY2(qApp->styleSheet().contains("#bsSkinPanel1"), "the built-in skin is applied");
        QVERIFY(msgs.shown.isEmpty());
        QVERIFY(!dir.Exists("categories.dat"));
        QVERIFY(!dir.Exists("items.dat"));

        // Showing again follows the same branch and changes nothing.
        w.hide();
        w.show();
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->count(), 1);
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsMain"));
    }

    void controls_haveTheirNamesAndCaptions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("add category") << "btnAddCategory" << "Add Category";
        QTest::newRow("add item") << "btnAddItem" << "Add Item";
        QTest::newRow("make money") << "btnMakeMoney" << "Make Money";
        QTest::newRow("about") << "btnAbout" << "About";
        QTest::newRow("save") << "btnSave" << "Save Item";
        QTest::newRow("go") << "bsSkinButton2" << "Go!";
        QTest::newRow("browse website") << "btnBrowseWebsite" << "Browse";
        QTest::newRow("paste user") << "btnUPaste" << "Paste";
        QTest::newRow("welcome button") << "bsSkinButton1" << "Thanks, just show me the main application";
    }
    void controls_haveTheirNamesAndCaptions()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        TTempAppFolder dir;
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        auto *button = w.findChild<QAbstractButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
        if (name != "bsSkinButton1")
            QCOMPARE(button->focusPolicy(), Qt::TabFocus); // never by a click
    }

    void pictureButtons_haveHints()
    {
        TTempAppFolder dir;
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        const QList<QPair<QString, QString>> hints = {{"btnNews", "Check News"},    {"btnUpdate", "Check Updates"},
                                                      {"btnHelp", "Help"},          {"bsSkinSpeedButton1", "Back"},
                                                      {"bsSkinSpeedButton2", "Foward"}, {"bsSkinSpeedButton4", "Refresh"},
                                                      {"bsSkinSpeedButton3", "Stop"}};
        for (const auto &[name, hint] : hints) {
            auto *b = w.findChild<QWidget *>(name);
            QVERIFY2(b, qPrintable(name));
            QCOMPARE(b->toolTip(), hint);
        }
        QCOMPARE(w.findChild<QWidget *>("btnNews")->size(), QSize(41, 34));
        QCOMPARE(w.findChild<QWidget *>("bsSkinPanel1")->height(), 43);
        QCOMPARE(w.findChild<QWidget *>("panBanner")->height(), 65);
        QCOMPARE(w.findChild<QWidget *>("bsSkinPanel4")->height(), 253);
        QCOMPARE(w.findChild<QWidget *>("bsSkinPanel5")->height(), 37);
        QCOMPARE(w.findChild<QWidget *>("panLinks")->height(), 36);
    }

    void legacyBook_loadsIntoTree_andSavesBackByteForByte()
    {
        TTempAppFolder dir;
        dir.Write("categories.dat", kLegacyCategories);
        dir.Write("items.dat", kLegacyItems);
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        // The orphan is told of, once, with the offer to add its category;
        // declined, nothing changes.
        QCOMPARE(msgs.shown.size(), 1);
        QVERIFY(msgs.shown[0].text.contains("\"Nowhere\""));
        QCOMPARE(msgs.shown[0].buttons, TMsgDlgButtons(mbYes) | mbNo);

        const QAbstractItemModel *tree = Child<TCategoryTree>(w, "tvwMain")->model();
        const auto top = [&](int row) { return tree->index(row, 0); };
        QCOMPARE(tree->rowCount(), 6);
        QCOMPARE(top(0).data().toString(), QString("Travel"));
        QCOMPARE(top(1).data().toString(), QString::fromUtf8("Café § Bar"));
        QCOMPARE(top(2).data().toString(), QString());
        QCOMPARE(top(4).data().toString(), QString::fromUtf8("Shops¥"));
        QCOMPARE(Children(top(0)), (QStringList{QString::fromUtf8("Hotels €"), "Flights"}));
        QCOMPARE(Children(top(1)), (QStringList{"Fresh", "Second"}));
        // The second "Travel" stays empty; no node for the orphan or the empty line.
        QCOMPARE(tree->rowCount(top(3)), 0);
        QCOMPARE(TCategoryTree::NodeName(top(1)), R("Caf\xE9 \xA7 Bar"));
        // Categories carry the window's folder icon and items its file icon.
        const auto image = [](const QIcon &icon) { return icon.pixmap(16, 16).toImage(); };
        QVERIFY(image(w.style()->standardIcon(QStyle::SP_DirIcon))
                != image(w.style()->standardIcon(QStyle::SP_FileIcon)));
        QCOMPARE(image(top(0).data(Qt::DecorationRole).value<QIcon>()),
                 image(w.style()->standardIcon(QStyle::SP_DirIcon)));
        QCOMPARE(image(tree->index(0, 0, top(0)).data(Qt::DecorationRole).value<QIcon>()),
                 image(w.style()->standardIcon(QStyle::SP_FileIcon)));

        w.Book().SaveCategories(dir.File("categories.dat"));
        w.Book().SaveItems(dir.File("items.dat"));
        QCOMPARE(dir.Read("categories.dat"), kLegacyCategories + "\r\n");
        QCOMPARE(dir.Read("items.dat"), kLegacyItems + "\r\n");
    }

    void selectingItem_showsItsFields()
    {
        TTempAppFolder dir;
        dir.Write("categories.dat", kLegacyCategories);
        dir.Write("items.dat", kLegacyItems);
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        Child<TCategoryTree>(w, "tvwMain")->SetCurrent(w.Book().index(0, 0, w.Book().index(0, 0)));
        QCOMPARE(w.findChild<QLineEdit *>("edtTitle")->text(), QString::fromUtf8("Hotels €"));
        QCOMPARE(w.findChild<QLineEdit *>("edtProg")->text(), QString("prog"));
        QCOMPARE(w.findChild<QLineEdit *>("edtPaymentDay")->text(), QString("1st"));
        QCOMPARE(w.findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString("line one\nline two"));
        QVERIFY(w.findChild<QLineEdit *>("edtTitle")->isEnabled());

        Child<TCategoryTree>(w, "tvwMain")->SetCurrent(w.Book().index(0, 0, w.Book().index(1, 0)));
        QCOMPARE(w.findChild<QLineEdit *>("edtTitle")->text(), QString("Fresh"));
        QCOMPARE(w.findChild<QLineEdit *>("edtProg")->text(), QString());
        QCOMPARE(w.findChild<QPlainTextEdit *>("memDesc")->toPlainText(), QString());

        Child<TCategoryTree>(w, "tvwMain")->SetCurrent(w.Book().index(0, 0));
        QCOMPARE(w.findChild<QLineEdit *>("edtTitle")->text(), QString());
        for (QWidget *f : w.findChild<TItemEditor *>()->Fields())
            QVERIFY(!f->isEnabled());
    }

    void welcomePage_showsFirst_andButtonStartsTimer()
    {
        TTempAppFolder dir;
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        BrandingSettings().WelcomePage = "<html><body><h1>Hello</h1></body></html>";
        Child<QTimer>(w, "Timer1")->stop(); // as creation would have left it with welcome text
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->count(), 2);
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsWelcome"));
        QVERIFY(Child<QWidget>(w, "stsWelcome")->isVisible());
        QVERIFY(!Child<QTabWidget>(w, "pgcPrinc")->tabBar()->isVisible());
        QVERIFY(Child<QWidget>(w, "stsWelcome")->findChild<QWidget *>("prfWelcome"));
        QVERIFY(!Child<QTimer>(w, "Timer1")->isActive());

        QTest::mouseClick(Child<QPushButton>(w, "bsSkinButton1"), Qt::LeftButton);
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsMain"));
        QVERIFY(Child<QWidget>(w, "stsMain")->isVisible());
        QVERIFY(Child<QTimer>(w, "Timer1")->isActive());
    }

    void restoredFromTheTaskBar_doesNotStartAgain()
    {
        TTempAppFolder dir;
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        BrandingSettings().WelcomePage = "<p>hello</p>";
        Child<QTimer>(w, "Timer1")->stop();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        Child<QPushButton>(w, "bsSkinButton1")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // the page's default button
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsMain"));
        QVERIFY(Child<QTimer>(w, "Timer1")->isActive());
        Child<QTimer>(w, "Timer1")->stop();
        // The window system shows a window restored from minimised.
        QShowEvent restore;
        QSpontaneKeyEvent::setSpontaneous(&restore);
        qApp->notify(&w, &restore);
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsMain"));
        QVERIFY(!Child<QTimer>(w, "Timer1")->isActive());
    }

    void itemEditor_tabOrderTakesTheButtonsBesideTheFields()
    {
        TTempAppFolder dir;
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        const QList<QWidget *> chain = {w.findChild<QLineEdit *>("edtTitle"),        w.findChild<QLineEdit *>("edtProg"),           w.findChild<QLineEdit *>("edtWebsiteURL"), w.findChild<QPushButton *>("btnBrowseWebsite"),
                                        w.findChild<QLineEdit *>("edtLoginURL"),     w.findChild<QPushButton *>("btnLogIn"),          w.findChild<QPushButton *>("btnBrowseLogin"),    w.findChild<QLineEdit *>("edtLogin"),      w.findChild<QPushButton *>("btnUPaste"),
                                        w.findChild<QLineEdit *>("edtPassword"),     w.findChild<QPushButton *>("btnPPaste"),         w.findChild<QLineEdit *>("edtAffiliateURL"),
                                        w.findChild<QPushButton *>("btnBrowseAffiliate"), w.findChild<QLineEdit *>("edtCloaked"),     w.findChild<QPushButton *>("btnBrowseCloaked"),
                                        w.findChild<QLineEdit *>("edtPayout"),       w.findChild<QLineEdit *>("edtPaymentDay"),     w.findChild<QPlainTextEdit *>("memDesc"),       w.findChild<QPushButton *>("btnSave")};
        // The next widget Tab reaches (scroll areas keep inner parts in the chain).
        const auto next = [](QWidget *w) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            return w;
        };
        for (int i = 1; i < chain.size(); ++i)
            QCOMPARE(next(chain[i - 1]), chain[i]);
    }

    void bannerLargerThanBar_isCentredWithNegativeOffsets()
    {
        TTempAppFolder dir;
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        QPixmap big(1001, 101);
        big.fill(Qt::red);
        Child<QLabel>(w, "imgBanner")->setPixmap(big);
        Child<QLabel>(w, "imgBanner")->resize(big.size());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int barW = Child<QFrame>(w, "panBanner")->width();
        QCOMPARE(Child<QLabel>(w, "imgBanner")->pos(), QPoint(barW / 2 - 1001 / 2, 65 / 2 - 101 / 2));
        QVERIFY(Child<QLabel>(w, "imgBanner")->y() < 0);

        // Narrower than the picture: clipped equally on both sides, up to one
        // pixel of rounding.
        w.resize(700, 600);
        QTRY_VERIFY(Child<QFrame>(w, "panBanner")->width() < 1001);
        const int narrow = Child<QFrame>(w, "panBanner")->width();
        QCOMPARE(Child<QLabel>(w, "imgBanner")->pos(), QPoint(narrow / 2 - 1001 / 2, -18));
        const int leftCut = -Child<QLabel>(w, "imgBanner")->x();
        const int rightCut = Child<QLabel>(w, "imgBanner")->x() + 1001 - narrow;
        QVERIFY2(qAbs(leftCut - rightCut) <= 1, qPrintable(QString("%1 vs %2").arg(leftCut).arg(rightCut)));
    }

    void formClose_closesWithoutAsking()
    {
        TTempAppFolder dir;
        TScriptedMessages msgs;
        auto *w = new TfrmMain(dir.Path(), &msgs);
        w->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<TfrmMain> guard(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(w->close());
        QTRY_VERIFY(guard.isNull());
        QVERIFY(msgs.shown.isEmpty());
    }

    // Damaged book files: no crash, a report, and nothing rewritten.
    void damagedBook_isReportedAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<int>("categoryNodes");
        QTest::addColumn<QStringList>("reports"); // after the one about records cut short, if any
        QTest::addColumn<bool>("cutShort");
        QTest::newRow("binary junk") << QByteArray("\x01\x02\xff\xfe\x80\x00junk", 10)
                                     << QByteArray("\x00\x01\xa5\xa5\xa5", 5) << 1 << QStringList{} << false;
        QTest::newRow("NUL in the middle") << QByteArray("A\r\nB\0C\r\nD", 9) << R("A|x|\r\n") << 2
                                           << QStringList{} << true;
        // Selecting the item walks past records too short to name their
        // category and title: each is shown as it stands.
        QTest::newRow("records of zero and one field")
            << QByteArray("A") << R("\r\nA\r\nA|\r\n|\r\n|||\r\nA|ok|") << 1
            << QStringList{"", "A", QString::fromUtf8("A¥"), QString::fromUtf8("¥")} << true;
        QTest::newRow("a line of 10 MB") << QByteArray("A\r\n") + QByteArray(10 << 20, 'c') + "\r\nB"
                                         << R("B|") + QByteArray(10 << 20, 'i') + R("|") << 3 << QStringList{}
                                         << true;
    }
    void damagedBook_isReportedAndLeftAlone()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(int, categoryNodes);
        QFETCH(QStringList, reports);
        QFETCH(bool, cutShort);
        TTempAppFolder dir;
        dir.Write("categories.dat", categories);
        dir.Write("items.dat", items);
        TScriptedMessages msgs;
        {
            TfrmMain w(dir.Path(), &msgs);
            const TAccountBook &book = w.Book();
            QCOMPARE(book.rowCount(), categoryNodes);
            for (int i = 0; i < book.rowCount(); ++i)
                for (int c = 0; c < book.rowCount(book.index(i, 0)); ++c)
                    Child<TCategoryTree>(w, "tvwMain")->SetCurrent(book.index(c, 0, book.index(i, 0)));
        }
        QStringList texts = msgs.Texts();
        if (cutShort)
            QVERIFY(!texts.isEmpty() && texts.takeFirst().contains("cut short"));
        QCOMPARE(texts, reports);
        for (const auto &m : msgs.shown)
            QCOMPARE(m.kind, TMsgDlgType::mtWarning);
        QCOMPARE(dir.Read("categories.dat"), categories);
        QCOMPARE(dir.Read("items.dat"), items);
    }

    void unreadableBookFile_isReported_andWindowOpens_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<int>("categoryNodes");
        QTest::newRow("categories.dat is a folder: items stay unread") << "categories.dat" << 0;
        QTest::newRow("items.dat is a folder") << "items.dat" << 2;
    }
    void unreadableBookFile_isReported_andWindowOpens()
    {
        QFETCH(QString, folderName);
        QFETCH(int, categoryNodes);
        TTempAppFolder dir;
        dir.Write("categories.dat", "A\r\nB\r\n");
        dir.Write("items.dat", R("A|x|\r\n"));
        QFile::remove(dir.File(folderName));
        QVERIFY(QDir().mkdir(dir.File(folderName)));
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        QCOMPARE(msgs.shown.size(), 1);
        QCOMPARE(msgs.shown[0].kind, TMsgDlgType::mtError);
        QVERIFY2(msgs.shown[0].text.contains(folderName), qPrintable(msgs.shown[0].text));
        QCOMPARE(w.Book().rowCount(), categoryNodes);
        QCOMPARE(w.Book().rowCount() ? w.Book().rowCount(w.Book().index(0, 0)) : 0, 0);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsMain"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
