// The browser wrapper on the real engine: lazy start, address handling,
// script errors, new windows and the persistent profile.
#include "support/temp_app_folder.h"
#include "util/errors.h"
#include "web/web_browser.h"
#include "web_test_support.h"

#include <QDir>
#include <QProcess>
#include <QShortcut>
#include <QWebEnginePage>
#include <QWebEngineView>

class TestWebBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nothingStartsBeforeFirstNavigation();
    void unusableAddressRaises_data();
    void unusableAddressRaises();
    void addressReachesServerUnchanged();
    void scriptErrorsAreShownUntilNextPage();
    void newWindowsStayInPanel();
    void loginSurvivesRestart();

private:
    TTempAppFolder m_folder;
    TTestHttpServer m_server;
    QString ProfileFolder() const { return m_folder.File(QStringLiteral("browser/")); }
};

void TestWebBrowser::initTestCase()
{
    m_server.Page(QStringLiteral("/plain"), "<html><body><p>plain</p></body></html>");
}

void TestWebBrowser::nothingStartsBeforeFirstNavigation()
{
    TWebBrowser browser(ProfileFolder());
    browser.resize(400, 300);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));

    QVERIFY(!browser.Busy());
    browser.Stop();
    browser.GoBack();
    browser.GoForward();
    browser.Refresh();
    QVERIFY(!browser.Paste());

    QVERIFY(!browser.View());
    QVERIFY(!browser.findChild<QWebEngineView *>());
    QVERIFY(!QDir(ProfileFolder()).exists());
}

void TestWebBrowser::unusableAddressRaises_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks only") << QStringLiteral("   ");
    QTest::newRow("no scheme") << QStringLiteral("www.example.com/login");
    QTest::newRow("blank before scheme") << QStringLiteral(" http://127.0.0.1/");
    QTest::newRow("broken host") << QStringLiteral("http://[::1/");
}

void TestWebBrowser::unusableAddressRaises()
{
    QFETCH(QString, address);
    TWebBrowser browser(ProfileFolder());
    try {
        browser.Navigate(address);
        QFAIL("no error raised");
    } catch (const EAppError &e) {
        QVERIFY2(e.message().contains(QLatin1Char('"') + address + QLatin1Char('"')), qPrintable(e.message()));
    }
    QVERIFY(!browser.View());
}

void TestWebBrowser::addressReachesServerUnchanged()
{
    TWebBrowser browser(ProfileFolder());
    QSignalSpy loaded(&browser, &TWebBrowser::loadFinished);
    m_server.Page(QStringLiteral("/echo"), "<html><body>echo</body></html>");
    browser.Navigate(m_server.Url(QStringLiteral("/echo?user=a%20b&next=%2Fhome#top")));
    QVERIFY(WaitLoads(loaded));
    QCOMPARE(m_server.LastTarget(QStringLiteral("/echo")), QByteArray("/echo?user=a%20b&next=%2Fhome"));
}

void TestWebBrowser::scriptErrorsAreShownUntilNextPage()
{
    m_server.Page(QStringLiteral("/broken"),
                  "<html><body><script>console.log('harmless-info'); console.warn('harmless-warning');"
                  " missingFunction();</script></body></html>");
    TWebBrowser browser(ProfileFolder());
    browser.resize(600, 400);
    browser.show();
    QSignalSpy loaded(&browser, &TWebBrowser::loadFinished);

    browser.Navigate(m_server.Url(QStringLiteral("/plain")));
    QVERIFY(WaitLoads(loaded, 1));
    QCOMPARE(browser.ScriptError(), QString());

    browser.Navigate(m_server.Url(QStringLiteral("/broken")));
    QVERIFY(WaitLoads(loaded, 2));
    QVERIFY(WaitUntil([&] { return !browser.ScriptError().isEmpty(); }));
    QVERIFY2(browser.ScriptError().contains(QStringLiteral("missingFunction")), qPrintable(browser.ScriptError()));
    QVERIFY(browser.ScriptError().contains(QStringLiteral("line 1")));
    QVERIFY(!browser.ScriptError().contains(QStringLiteral("harmless")));
    QVERIFY(browser.findChild<QWidget *>(QStringLiteral("panScriptError"))->isVisible());

    browser.Navigate(m_server.Url(QStringLiteral("/plain")));
    QVERIFY(WaitLoads(loaded, 3));
    QCOMPARE(browser.ScriptError(), QString());
    QVERIFY(!browser.findChild<QWidget *>(QStringLiteral("panScriptError"))->isVisible());
}

void TestWebBrowser::newWindowsStayInPanel()
{
    // A pop-up the page opens by itself is dropped; a link with a target that
    // the user clicks opens in the panel; Ctrl+N opens nothing.
    m_server.Page(QStringLiteral("/links"),
                  "<html><body style=\"margin:0\"><script>window.open('/popup');</script>"
                  "<a id=\"blank\" target=\"_blank\" href=\"/target\" style=\"display:block;"
                  "width:200px;height:60px\">open</a><input id=\"field\"></body></html>");
    m_server.Page(QStringLiteral("/target"), "<html><body>target</body></html>");
    m_server.Page(QStringLiteral("/popup"), "<html><body>popup</body></html>");

    QWidget window;
    bool windowCommand = false;
    auto *newWindow = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), &window);
    connect(newWindow, &QShortcut::activated, this, [&] { windowCommand = true; });
    auto *browser = new TWebBrowser(ProfileFolder(), &window);
    browser->resize(600, 400);
    window.resize(600, 400);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy loaded(browser, &TWebBrowser::loadFinished);
    browser->Navigate(m_server.Url(QStringLiteral("/links")));
    QVERIFY(WaitLoads(loaded));
    QWebEnginePage *page = browser->View()->page();
    const QList<QWidget *> before = QApplication::topLevelWidgets();

    QVERIFY(ClickElement(browser->View(), QStringLiteral("field"), [&] {
        return RunJs(page, QStringLiteral("document.activeElement.id")).toString() == u"field";
    }));
    // Without a window manager the click into the page leaves no window
    // active, and shortcuts only work in the active one.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(browser->View()->focusProxy(), Qt::Key_N, Qt::ControlModifier);
    // A key typed after it shows that Ctrl+N has been through the page.
    QTest::keyClick(browser->View()->focusProxy(), Qt::Key_X);
    QVERIFY(WaitUntil([&] {
        return RunJs(page, QStringLiteral("document.getElementById('field').value")).toString() == u"x";
    }));
    QVERIFY(!windowCommand);
    QCOMPARE(page->url().path(), QStringLiteral("/links"));
    QCOMPARE(m_server.Hits(QStringLiteral("/popup")), 0);

    QVERIFY(ClickElement(browser->View(), QStringLiteral("blank"), [&] { return loaded.count() >= 2; }));
    QCOMPARE(page->url().path(), QStringLiteral("/target"));
    QCOMPARE(QApplication::topLevelWidgets(), before);
    QCOMPARE(m_server.Hits(QStringLiteral("/popup")), 0);
}

void TestWebBrowser::loginSurvivesRestart()
{
    // A session cookie is what many sites keep their log-in in. The first run
    // is a program of its own that ends right after the page has loaded.
    m_server.Page(QStringLiteral("/login"), "<html><body>welcome</body></html>",
                  {"Set-Cookie: session=s3cret; Path=/; HttpOnly"});
    m_server.Page(QStringLiteral("/account"), "<html><body>account</body></html>");
    QProcess firstRun;
    firstRun.start(QCoreApplication::applicationFilePath(),
                   {QStringLiteral("--visit"), ProfileFolder(), m_server.Url(QStringLiteral("/login"))});
    QVERIFY(WaitUntil([&] { return firstRun.state() == QProcess::NotRunning; }, 30000));
    QCOMPARE(firstRun.exitCode(), 0);
    QCOMPARE(m_server.Hits(QStringLiteral("/login")), 1);

    TWebBrowser browser(ProfileFolder());
    QSignalSpy loaded(&browser, &TWebBrowser::loadFinished);
    browser.Navigate(m_server.Url(QStringLiteral("/account")));
    QVERIFY(WaitLoads(loaded));
    QCOMPARE(m_server.LastHeader(QStringLiteral("/account"), "Cookie"), QByteArray("session=s3cret"));
}

// The first run of loginSurvivesRestart: open one address, end when loaded.
static int Visit(const QString &profileFolder, const QString &address)
{
    TWebBrowser browser(profileFolder);
    QObject::connect(&browser, &TWebBrowser::loadFinished, qApp, [](bool ok) { qApp->exit(ok ? 0 : 1); });
    browser.Navigate(address);
    return qApp->exec();
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--visit") == 0)
        return Visit(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestWebBrowser tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "test_web_browser.moc"
