// The web panel of the main window on the real engine: the browser bar, the
// Browse and Paste buttons, and failures reaching the error reporter.
#include "app/item_editor.h"
#include "app/main_window.h"
#include "book/category_tree.h"
#include "book/item_record.h"
#include "support/find_child.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "web/browser_panel.h"
#include "web/web_panel.h"
#include "web_test_support.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

namespace {

const QByteArray kLoginPage = "<html><body style=\"margin:0\">"
                              "<input id=\"user\" style=\"width:200px;height:30px\"><br>"
                              "<input id=\"pass\" type=\"password\" style=\"width:200px;height:30px\">"
                              "</body></html>";

QByteArray LinkPage(const char *title, const char *next)
{
    return QByteArray("<html><head><title>") + title + "</title></head><body><a id=\"next\" href=\"" + next +
           "\">next</a></body></html>";
}

} // namespace

class TestWebPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void nothingHappensBeforeTheFirstNavigation();
    void browseOpensTheFieldAddress_data();
    void browseOpensTheFieldAddress();
    void browseUsesTheSelectedItem();
    void pageNavigationKeepsTheAddressAndHistoryWalks();
    void backWithoutHistoryDoesNothing();
    void stopEndsALoad();
    void refreshReloads();
    void enterDoesNothingAndGoOpensTheTypedAddress();
    void navigationFailureReachesTheReporter_data();
    void navigationFailureReachesTheReporter();
    void pasteInsertsAtTheCaret_data();
    void pasteInsertsAtTheCaret();
    void passwordPasteQuestion_data();
    void passwordPasteQuestion();
    void passwordForAnotherHostAsksFirst_data();
    void passwordForAnotherHostAsksFirst();

private:
    TBrowserPanel &Browser() const { return *Child<TBrowserPanel>(m_window, "EmbeddedWB1"); }
    // The engine's view inside the panel; null before the first page.
    QWebEngineView *View() const { return Browser().findChild<QWebEngineView *>(); }
    QWebEnginePage *Page() const { return View()->page(); }
    void Click(QAbstractButton *button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Opens `path` through the website field's Browse button and waits.
    bool Open(const QString &path);
    QLineEdit *Field(const QString &name) const { return m_window->findChild<QLineEdit *>(name); }

    TTempAppFolder m_folder;
    TTestHttpServer m_server;
    TScriptedMessages m_messages;
    std::unique_ptr<TfrmMain> m_window;
    std::unique_ptr<QSignalSpy> m_loaded;
};

void TestWebPanel::initTestCase()
{
    m_server.Page(QStringLiteral("/login"), kLoginPage);
    m_server.Page(QStringLiteral("/first"), LinkPage("first", "/second"));
    m_server.Page(QStringLiteral("/second"), LinkPage("second", "/first"));
    for (const char *path : {"/website", "/loginurl", "/affiliate", "/cloaked", "/typed"})
        m_server.Page(QString::fromLatin1(path), LinkPage(path, "/first"));
    m_server.Hold(QStringLiteral("/slow"));

    m_folder.Write(QStringLiteral("categories.dat"), "Programs\r\n");
    std::array<QByteArray, 10> fields;
    fields[0] = "Shop";
    fields[3] = m_server.Url(QStringLiteral("/login")).toLatin1();
    fields[4] = "shopper";
    m_folder.Write(QStringLiteral("items.dat"), BuildStoredRecord("Programs", fields, {}) + "\r\n");

    m_window = std::make_unique<TfrmMain>(m_folder.Path(), &m_messages);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QVERIFY(Browser().isVisible());
    m_loaded = std::make_unique<QSignalSpy>(&Browser(), &TBrowserPanel::loadFinished);
}

void TestWebPanel::cleanupTestCase()
{
    m_server.ReleaseHeld();
    m_loaded.reset();
    m_window.reset();
}

void TestWebPanel::init()
{
    m_messages.Clear();
    m_loaded->clear();
}

bool TestWebPanel::Open(const QString &path)
{
    // A load of the test before may still end after the click: only a load
    // that ends on `path` counts.
    bool arrived = false;
    const auto watch = connect(&Browser(), &TBrowserPanel::loadFinished, this,
                               [&] { arrived = arrived || Page()->url().path() == path; });
    m_window->findChild<QLineEdit *>("edtWebsiteURL")->setText(m_server.Url(path));
    Click(m_window->findChild<QPushButton *>("btnBrowseWebsite"));
    const bool opened = WaitUntil([&] { return arrived; });
    disconnect(watch);
    return opened;
}

void TestWebPanel::nothingHappensBeforeTheFirstNavigation()
{
    // The engine is not started, and nothing is loaded, until an address is
    // opened.
    TfrmMain &w = *m_window;
    Child<QLineEdit>(w, "edtURL")->setFocus();
    QTest::keyClicks(Child<QLineEdit>(w, "edtURL"), m_server.Url(QStringLiteral("/typed")));
    QTest::keyClick(Child<QLineEdit>(w, "edtURL"), Qt::Key_Return);
    QTest::keyClick(Child<QLineEdit>(w, "edtURL"), Qt::Key_Enter);
    const QList<QAbstractButton *> buttons = {Child<QToolButton>(w, "bsSkinSpeedButton1"), Child<QToolButton>(w, "bsSkinSpeedButton2"), Child<QToolButton>(w, "bsSkinSpeedButton3"),
                                              Child<QToolButton>(w, "bsSkinSpeedButton4"), w.findChild<QPushButton *>("btnBrowseWebsite"),   w.findChild<QPushButton *>("btnBrowseLogin"),
                                              w.findChild<QPushButton *>("btnBrowseAffiliate"), w.findChild<QPushButton *>("btnBrowseCloaked")};
    for (QAbstractButton *button : buttons)
        Click(button);
    w.findChild<QLineEdit *>("edtLogin")->setText(QStringLiteral("early"));
    Click(w.findChild<QPushButton *>("btnUPaste"));

    QVERIFY(!View());
    QCOMPARE(Child<QLineEdit>(w, "edtURL")->text(), m_server.Url(QStringLiteral("/typed")));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("early"));
    QCOMPARE(m_server.Hits(QStringLiteral("/typed")), 0);
    QVERIFY(m_messages.shown.isEmpty());
    Child<QLineEdit>(w, "edtURL")->clear();
    w.findChild<QLineEdit *>("edtLogin")->clear();
}

void TestWebPanel::browseOpensTheFieldAddress_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("path");
    QTest::newRow("website") << "btnBrowseWebsite" << "edtWebsiteURL" << "/website";
    QTest::newRow("login") << "btnBrowseLogin" << "edtLoginURL" << "/loginurl";
    QTest::newRow("affiliate") << "btnBrowseAffiliate" << "edtAffiliateURL" << "/affiliate";
    QTest::newRow("cloaked") << "btnBrowseCloaked" << "edtCloaked" << "/cloaked";
}

void TestWebPanel::browseOpensTheFieldAddress()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, path);
    // Typed, not stored: the button reads what the field shows now. The
    // fields take typing only while an item is shown; the item is left
    // unselected again, its typing dropped, for the tests that follow.
    QAbstractItemModel *book = Child<TCategoryTree>(m_window, "tvwMain")->model();
    Child<TCategoryTree>(m_window, "tvwMain")->setCurrentIndex(book->index(0, 0, book->index(0, 0)));
    const auto unselect = qScopeGuard([this] {
        m_window->findChild<TItemEditor *>()->SetModified(false);
        Child<TCategoryTree>(m_window, "tvwMain")->setCurrentIndex(QModelIndex());
    });
    const QString address = m_server.Url(path) + QStringLiteral("?ref=Tarnwick&next=%2Fhome");
    Field(field)->clear();
    QTest::keyClicks(Field(field), address);
    Child<QLineEdit>(m_window, "edtURL")->setText(QStringLiteral("old"));

    Click(m_window->findChild<QPushButton *>(button));
    QCOMPARE(Child<QLineEdit>(m_window, "edtURL")->text(), address);
    QVERIFY(WaitLoads(*m_loaded));
    QCOMPARE(Page()->url(), QUrl(address));
    QCOMPARE(m_server.LastTarget(path), (path + QStringLiteral("?ref=Tarnwick&next=%2Fhome")).toLatin1());
    QVERIFY(m_messages.shown.isEmpty());
}

void TestWebPanel::browseUsesTheSelectedItem()
{
    TCategoryTree *tree = Child<TCategoryTree>(m_window, "tvwMain");
    tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(0, 0)));
    QCOMPARE(m_window->findChild<QLineEdit *>("edtLoginURL")->text(), m_server.Url(QStringLiteral("/login")));

    Click(m_window->findChild<QPushButton *>("btnBrowseLogin"));
    QVERIFY(WaitLoads(*m_loaded));
    QCOMPARE(Page()->url().path(), QStringLiteral("/login"));
    QCOMPARE(Child<QLineEdit>(m_window, "edtURL")->text(), m_server.Url(QStringLiteral("/login")));
}

void TestWebPanel::pageNavigationKeepsTheAddressAndHistoryWalks()
{
    QVERIFY(Open(QStringLiteral("/first")));
    const QString shown = Child<QLineEdit>(m_window, "edtURL")->text();

    // A real click: the engine skips entries on Back that a script navigated
    // away from without the user.
    QVERIFY(ClickElement(View(), QStringLiteral("next"), [&] { return m_loaded->count() >= 2; }));
    QCOMPARE(Page()->url().path(), QStringLiteral("/second"));
    QCOMPARE(Child<QLineEdit>(m_window, "edtURL")->text(), shown);

    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton1"));
    QVERIFY(WaitUntil([&] { return Page()->url().path() == u"/first"; }));
    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton2"));
    QVERIFY(WaitUntil([&] { return Page()->url().path() == u"/second"; }));
    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton1"));
    QVERIFY(WaitUntil([&] { return Page()->url().path() == u"/first"; }));
    QCOMPARE(Child<QLineEdit>(m_window, "edtURL")->text(), shown);
    QVERIFY(m_messages.shown.isEmpty());
}

void TestWebPanel::backWithoutHistoryDoesNothing()
{
    QVERIFY(Open(QStringLiteral("/second")));
    Page()->history()->clear();
    const int hits = m_server.Hits(QStringLiteral("/first"));
    m_loaded->clear();

    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton1"));
    // Forward has nothing to show either; a reload afterwards is the marker
    // that both clicks have gone through.
    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton2"));
    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton4"));
    QVERIFY(WaitLoads(*m_loaded));
    QCOMPARE(m_loaded->count(), 1);
    QCOMPARE(Page()->url().path(), QStringLiteral("/second"));
    QCOMPARE(m_server.Hits(QStringLiteral("/first")), hits);
    QVERIFY(m_messages.shown.isEmpty());
}

void TestWebPanel::stopEndsALoad()
{
    const QString slow = m_server.Url(QStringLiteral("/slow"));
    m_window->findChild<QLineEdit *>("edtWebsiteURL")->setText(slow);
    Click(m_window->findChild<QPushButton *>("btnBrowseWebsite"));
    QVERIFY(WaitUntil([&] { return m_server.Hits(QStringLiteral("/slow")) == 1 && Browser().Busy(); }));

    // A Browse button beside an empty field leaves the loading page alone.
    m_window->findChild<QLineEdit *>("edtCloaked")->clear();
    Click(m_window->findChild<QPushButton *>("btnBrowseCloaked"));
    QVERIFY(Browser().Busy());
    QCOMPARE(Child<QLineEdit>(m_window, "edtURL")->text(), slow);

    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton3"));
    QVERIFY(WaitUntil([&] { return !Browser().Busy(); }));
    QVERIFY(WaitUntil([&] { return m_server.AbandonedHolds() == 1; }));
    QVERIFY(m_messages.shown.isEmpty());

    // Stop with nothing loading does nothing.
    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton3"));
    QVERIFY(!Browser().Busy());
    m_server.ReleaseHeld();
}

void TestWebPanel::refreshReloads()
{
    QVERIFY(Open(QStringLiteral("/first")));
    const QString shown = Child<QLineEdit>(m_window, "edtURL")->text();
    const int hits = m_server.Hits(QStringLiteral("/first"));
    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton4"));
    QVERIFY(WaitLoads(*m_loaded, 2));
    QCOMPARE(m_server.Hits(QStringLiteral("/first")), hits + 1);
    QCOMPARE(Child<QLineEdit>(m_window, "edtURL")->text(), shown);
}

void TestWebPanel::enterDoesNothingAndGoOpensTheTypedAddress()
{
    QVERIFY(Open(QStringLiteral("/second")));
    const int hits = m_server.Hits(QStringLiteral("/typed"));
    Child<QLineEdit>(m_window, "edtURL")->clear();
    Child<QLineEdit>(m_window, "edtURL")->setFocus();
    QTest::keyClicks(Child<QLineEdit>(m_window, "edtURL"), m_server.Url(QStringLiteral("/typed")));
    QTest::keyClick(Child<QLineEdit>(m_window, "edtURL"), Qt::Key_Return);

    // Had Enter opened the address, "Go!" would be its second request.
    Click(Child<QPushButton>(m_window, "bsSkinButton2"));
    QVERIFY(WaitLoads(*m_loaded, 2));
    QCOMPARE(Page()->url().path(), QStringLiteral("/typed"));
    QCOMPARE(m_server.Hits(QStringLiteral("/typed")), hits + 1);

    // "Go!" with an empty edit does nothing.
    Child<QLineEdit>(m_window, "edtURL")->clear();
    Click(Child<QPushButton>(m_window, "bsSkinButton2"));
    Click(Child<QToolButton>(m_window, "bsSkinSpeedButton4")); // marker, as above
    QVERIFY(WaitLoads(*m_loaded, 3));
    QCOMPARE(Page()->url().path(), QStringLiteral("/typed"));
    QVERIFY(m_messages.shown.isEmpty());
}

void TestWebPanel::navigationFailureReachesTheReporter_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("address");
    // A field of blanks is not empty: it is opened, and cannot be.
    QTest::newRow("browse, blanks") << "btnBrowseAffiliate" << "edtAffiliateURL" << "   ";
    QTest::newRow("browse, no scheme") << "btnBrowseLogin" << "edtLoginURL" << "shop.example.com/login";
    QTest::newRow("go, no scheme") << "bsSkinButton2" << "edtURL" << "shop.example.com";
}

void TestWebPanel::navigationFailureReachesTheReporter()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, address);
    QVERIFY(Open(QStringLiteral("/first")));
    Field(field)->setText(address);

    Click(m_window->findChild<QPushButton *>(button));
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(m_messages.shown[0].kind, TMsgDlgType::mtError);
    QVERIFY(m_messages.shown[0].text.contains(QLatin1Char('"') + address + QLatin1Char('"')));
    // The address is in the edit before the browser refuses it.
    QCOMPARE(Child<QLineEdit>(m_window, "edtURL")->text(), address);
    QCOMPARE(Page()->url().path(), QStringLiteral("/first"));
}

void TestWebPanel::pasteInsertsAtTheCaret_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("after");
    QTest::newRow("user name") << "btnUPaste" << "user" << "alice" << "" << 0 << "alice";
    QTest::newRow("at the caret") << "btnUPaste" << "user" << "alice" << "[]" << 1 << "[alice]";
    QTest::newRow("password") << "btnPPaste" << "pass" << "p\u00E4ss w\u00F6rd&<x>" << "" << 0
                              << "p\u00E4ss w\u00F6rd&<x>";
    QTest::newRow("empty user name") << "btnUPaste" << "user" << "" << "keep" << 2 << "keep";
    QTest::newRow("empty password") << "btnPPaste" << "pass" << "" << "" << 0 << "";
}

void TestWebPanel::pasteInsertsAtTheCaret()
{
    QFETCH(QString, button);
    QFETCH(QString, input);
    QFETCH(QString, text);
    QFETCH(QString, before);
    QFETCH(int, caret);
    QFETCH(QString, after);
    if (!View() || Page()->url().path() != u"/login")
        QVERIFY(Open(QStringLiteral("/login")));

    // The user clicks into the page's field, which takes the focus.
    QVERIFY(ClickElement(View(), input, [&] {
        return RunJs(Page(), QStringLiteral("document.activeElement.id")).toString() == input;
    }));
    RunJs(Page(), QStringLiteral("var e = document.getElementById('%1'); e.value = '%2'; e.setSelectionRange(%3, %3);")
                      .arg(input, before)
                      .arg(caret));

    QGuiApplication::clipboard()->setText(QStringLiteral("previous"));
    m_window->findChild<QLineEdit *>("edtLogin")->setText(button == u"btnUPaste" ? text : QStringLiteral("not this"));
    m_window->findChild<QLineEdit *>("edtPassword")->setText(button == u"btnPPaste" ? text : QStringLiteral("not this"));
    Click(m_window->findChild<QPushButton *>(button));

    const QString read = QStringLiteral("document.getElementById('%1').value").arg(input);
    if (text.isEmpty()) {
        // Nothing to wait for; give a paste the time it would take.
        WaitUntil([] { return false; }, 300);
    }
    QVERIFY(WaitUntil([&] { return RunJs(Page(), read).toString() == after; }));
    QCOMPARE(RunJs(Page(), read).toString(), after);
    QCOMPARE(RunJs(Page(), QStringLiteral("document.activeElement.id")).toString(), input);
    QVERIFY(QGuiApplication::clipboard()->mimeData()->hasText());
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
    // Clipboard managers are told not to keep it.
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("x-kde-passwordManagerHint")),
             QByteArray("secret"));
    QVERIFY(m_messages.shown.isEmpty());
}

void TestWebPanel::passwordPasteQuestion_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("item"); // the four addresses
    QTest::addColumn<QString>("asks");     // empty: no question; else what it names
    const QStringList item{"http://site.example/", "https://login.example/in", "", "http://aff.example/x?id=1"};
    QTest::newRow("page on the login host") << "https://login.example/form" << item << "";
    QTest::newRow("page on the website host, other port")
        << "http://site.example:8080/" << item
        << "on http://site.example:8080, but this item's addresses are on http://site.example, "
           "https://login.example, http://aff.example.";
    QTest::newRow("https page of an http address") << "https://site.example/" << item << "";
    QTest::newRow("http page of an https address")
        << "http://login.example/in" << item << "on http://login.example, but";
    QTest::newRow("every address https, page http on another port")
        << "http://bank.example:8080/login"
        << QStringList{"https://bank.example/", "https://bank.example/login", "", "https://bank.example/?ref=1"}
        << "on http://bank.example:8080, but this item's addresses are on https://bank.example.";
    QTest::newRow("host in capitals") << "https://LOGIN.Example/form" << item << "";
    QTest::newRow("page elsewhere") << "https://evil.example/login" << item
                                    << "https://evil.example, but this item's addresses are on http://site.example, "
                                       "https://login.example, http://aff.example";
    QTest::newRow("a subdomain is another host") << "https://www.site.example/" << item << "https://www.site.example";
    QTest::newRow("look-alike host") << "https://login.example.evil.example/" << item
                                     << "https://login.example.evil.example";
    QTest::newRow("look-alike letter shown in its ASCII form")
        << QString::fromUtf8("https://l\u043egin.example/") << item << "on https://xn--";
    QTest::newRow("item without addresses") << "https://login.example/" << QStringList{"", "", "", ""}
                                            << "no host at all";
    QTest::newRow("field without a scheme names no host")
        << "https://login.example/" << QStringList{"login.example/in", "", "", ""} << "no host at all";
    QTest::newRow("blanks around the field") << "https://login.example/"
                                             << QStringList{"  https://login.example/  ", "", "", ""} << "";
    QTest::newRow("page without a host") << "data:text/html,<input>" << item << "(no host)";
    QTest::newRow("no page at all") << "" << item << "";
}

void TestWebPanel::passwordPasteQuestion()
{
    QFETCH(QString, page);
    QFETCH(QStringList, item);
    QFETCH(QString, asks);
    const QString question = WebPanel::PasswordPasteQuestion(QUrl(page), item);
    QCOMPARE(question.isEmpty(), asks.isEmpty());
    QVERIFY2(question.contains(asks), qPrintable(question));
}

void TestWebPanel::passwordForAnotherHostAsksFirst_data()
{
    QTest::addColumn<int>("answer"); // TModalResult
    QTest::addColumn<QString>("after");
    QTest::newRow("yes pastes") << int(TModalResult::mrYes) << "hunter2";
    QTest::newRow("no keeps it back") << int(TModalResult::mrNo) << "";
    QTest::newRow("closed keeps it back") << int(TModalResult::mrCancel) << "";
}

void TestWebPanel::passwordForAnotherHostAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(QString, after);
    QVERIFY(Open(QStringLiteral("/login")));
    // The host of the page shown stands beside the address bar.
    auto *host = m_window->findChild<QLabel *>(QStringLiteral("lblPageHost"));
    QVERIFY(host);
    QCOMPARE(host->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(Child<QLineEdit>(m_window, "edtURL")->text(), m_server.Url(QStringLiteral("/login")));

    QVERIFY(ClickElement(View(), QStringLiteral("pass"), [&] {
        return RunJs(Page(), QStringLiteral("document.activeElement.id")).toString() == u"pass";
    }));
    RunJs(Page(), QStringLiteral("document.getElementById('pass').value = '';"));
    QGuiApplication::clipboard()->setText(QStringLiteral("previous"));
    // The item belongs to another site than the page shown.
    m_window->findChild<QLineEdit *>("edtWebsiteURL")->setText(QStringLiteral("https://bank.example/"));
    m_window->findChild<QLineEdit *>("edtLoginURL")->setText(QStringLiteral("https://login.bank.example/"));
    m_window->findChild<QLineEdit *>("edtPassword")->setText(QStringLiteral("hunter2"));
    m_messages.Answer(TModalResult(answer));
    Click(m_window->findChild<QPushButton *>("btnPPaste"));

    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(m_messages.shown[0].kind, TMsgDlgType::mtWarning);
    QCOMPARE(m_messages.shown[0].buttons, TMsgDlgButtons(mbYes | mbNo));
    QVERIFY2(m_messages.shown[0].text.contains(QStringLiteral("The page shown is on http://127.0.0.1:%1, but this "
                                                              "item's addresses are on https://bank.example, "
                                                              "https://login.bank.example.")
                                                   .arg(QUrl(m_server.Url(QStringLiteral("/login"))).port())),
             qPrintable(m_messages.shown[0].text));
    const QString read = QStringLiteral("document.getElementById('pass').value");
    if (after.isEmpty())
        WaitUntil([] { return false; }, 300);
    QVERIFY(WaitUntil([&] { return RunJs(Page(), read).toString() == after; }));
    QCOMPARE(QGuiApplication::clipboard()->text(), after.isEmpty() ? QStringLiteral("previous") : after);
}

TARNWICK_WEB_TEST_MAIN(TestWebPanel)
#include "test_web_panel.moc"
