#include "support/http_test_server.h"
#include "util/html_view.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// Runs a script in the view's page and waits for its result.
QVariant Evaluate(QWebEngineView *view, const QString &script)
{
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return result;
}

// The centre of the element `id`, in the view's coordinates.
QPoint Centre(QWebEngineView *view, const QString &id)
{
    const QVariant r = Evaluate(view, QStringLiteral("var r = document.getElementById('%1').getBoundingClientRect();"
                                                     "[Math.round(r.x + r.width / 2), Math.round(r.y + r.height / 2)]")
                                          .arg(id));
    return QPoint(r.toList().value(0).toInt(), r.toList().value(1).toInt());
}

// Puts `html` into `view`, with %1 standing for the loopback server's address,
// and waits until the engine has shown it.
bool Show(THtmlView &view, const QString &html, const THttpTestServer &server)
{
    const QString page = QString(html).replace(QStringLiteral("%1"), QString::fromLatin1(server.Url("")));
    if (!view.View())
        view.SetHtml(QStringLiteral("<p>starting</p>"));
    QSignalSpy loaded(view.View()->page(), &QWebEnginePage::loadFinished);
    view.SetHtml(QStringLiteral("<p id=own>own document</p>") + page);
    if (!loaded.wait(20000))
        return false;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        if (Evaluate(view.View(), QStringLiteral("!!document.getElementById('own')")).toBool())
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestHtmlView : public QObject
{
    Q_OBJECT
public slots:
    // Stands in for the desktop's handler of web and mail addresses.
    void openUrl(const QUrl &url) { opened << url.toString(QUrl::FullyEncoded); }

public:
    QStringList opened;

private slots:
    void initTestCase()
    {
        for (const char *scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "openUrl");
    }
    void cleanupTestCase()
    {
        for (const char *scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    void init() { opened.clear(); }

    // Whatever a document does by itself, the view keeps showing it: no
    // request leaves for another page, and nothing reaches the desktop.
    void documentCannotLeave_data()
    {
        QTest::addColumn<QString>("html");
        QTest::newRow("script sets the location") << "<script>location = '%1/location';</script>";
        QTest::newRow("script sets the location later")
            << "<script>setTimeout(function () { location.href = '%1/later'; }, 200);</script>";
        QTest::newRow("script replaces the location") << "<script>location.replace('%1/replace');</script>";
        QTest::newRow("script sends the location to mail") << "<script>location = 'mailto:x@pub.example';</script>";
        QTest::newRow("meta refresh") << "<meta http-equiv=\"refresh\" content=\"0; url=%1/refresh\">";
        QTest::newRow("auto-submitting form")
            << "<form id=f method=post action=\"%1/form\"><input type=password name=p value=x></form>"
               "<script>document.getElementById('f').submit();</script>";
        QTest::newRow("form submitted by a script click")
            << "<form action=\"%1/get\"><input name=q><button id=b>go</button></form>"
               "<script>document.getElementById('b').click();</script>";
        QTest::newRow("frame moves the top window")
            << "<iframe srcdoc=\"<script>top.location = &quot;%1/top&quot;;</script>\"></iframe>";
        QTest::newRow("frame link aimed at the top window")
            << "<iframe srcdoc=\"<a id=a target=_top href=&quot;%1/toplink&quot;>x</a>"
               "<script>document.getElementById(&quot;a&quot;).click();</script>\"></iframe>";
        QTest::newRow("window.open") << "<script>window.open('%1/popup'); window.open('mailto:x@pub.example');</script>";
        QTest::newRow("script click on a link")
            << "<a id=a href=\"%1/clicked\">x</a><script>document.getElementById('a').click();</script>";
        QTest::newRow("script click on a link with a target")
            << "<a id=a target=_blank href=\"%1/blank\">x</a><script>document.getElementById('a').click();</script>";
        QTest::newRow("synthetic click event")
            << "<a id=a href=\"%1/event\">x</a><script>document.getElementById('a').dispatchEvent("
               "new MouseEvent('click', {bubbles: true, cancelable: true, view: window}));</script>";
        QTest::newRow("history and reload") << "<script>history.back(); history.forward(); location.reload();</script>";
    }
    void documentCannotLeave()
    {
        QFETCH(QString, html);
        THttpTestServer server;
        server.SetHandler([](const THttpTestServer::Request &) { return THttpTestServer::Ok("<p>elsewhere</p>"); });
        THtmlView view;
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(Show(view, html, server));
        QTest::qWait(1000); // the late ones
        QCOMPARE(server.requests.size(), 0);
        QCOMPARE(opened, QStringList());
        QVERIFY(Evaluate(view.View(), QStringLiteral("!!document.getElementById('own')")).toBool());
    }

    // Frames and pictures of the document load as in any page.
    void framesAndPicturesLoad()
    {
        THttpTestServer server;
        server.SetHandler([](const THttpTestServer::Request &) { return THttpTestServer::Ok("<p>inside</p>"); });
        THtmlView view;
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(Show(view, "<img src=\"%1/picture.png\"><iframe src=\"%1/frame\"></iframe>", server));
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 2, 10000);
        QStringList paths;
        for (const auto &r : server.requests)
            paths << QString::fromLatin1(r.target);
        paths.sort();
        QCOMPARE(paths, (QStringList{"/frame", "/picture.png"}));
        QCOMPARE(opened, QStringList());
    }

    // The user's own click (or Enter) on a link hands it to the desktop,
    // once, when it is a web or mail address; the view stays.
    void userClickOpensOnce_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("target"); // the element clicked
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QString>("expected"); // %1: the server; empty: nothing opens
        QTest::newRow("link") << "<a id=a href=\"%1/offer\">offer</a>" << "a" << false << "%1/offer";
        QTest::newRow("link with a target") << "<a id=a target=_blank href=\"%1/new\">new</a>" << "a" << false
                                            << "%1/new";
        QTest::newRow("text inside a link") << "<a href=\"%1/inner\"><b id=b>bold</b></a>" << "b" << false
                                            << "%1/inner";
        QTest::newRow("link whose click clicks another")
            << "<a id=a href=\"%1/one\" onclick=\"document.getElementById('z').click()\">one</a> "
               "<a id=z href=\"%1/two\">two</a>"
            << "a" << false << "%1/one";
        QTest::newRow("link whose click opens a window")
            << "<a id=a href=\"%1/one\" onclick=\"window.open('%1/popup')\">one</a>" << "a" << false << "%1/one";
        QTest::newRow("mail link") << "<a id=a href=\"mailto:help@pub.example\">mail</a>" << "a" << false
                                   << "mailto:help@pub.example";
        QTest::newRow("file link") << "<a id=a href=\"file:///etc/passwd\">file</a>" << "a" << false << "";
        QTest::newRow("script link") << "<a id=a href=\"javascript:location='%1/js'\">js</a>" << "a" << false << "";
        QTest::newRow("not on a link") << "<a href=\"%1/x\">x</a><p id=p>text</p>" << "p" << false << "";
        QTest::newRow("Enter on a focused link") << "<a id=a href=\"%1/key\">key</a>" << "a" << true << "%1/key";
    }
    void userClickOpensOnce()
    {
        QFETCH(QString, html);
        QFETCH(QString, target);
        QFETCH(bool, byKey);
        QFETCH(QString, expected);
        THttpTestServer server;
        server.SetHandler([](const THttpTestServer::Request &) { return THttpTestServer::Ok("<p>elsewhere</p>"); });
        THtmlView view;
        view.resize(400, 300);
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QVERIFY(Show(view, html, server));
        QWebEngineView *engine = view.View();
        QWidget *surface = engine->focusProxy() ? engine->focusProxy() : engine;
        if (byKey) {
            surface->setFocus();
            Evaluate(engine, QStringLiteral("document.getElementById('%1').focus();").arg(target));
            QTRY_COMPARE_WITH_TIMEOUT(Evaluate(engine, "document.activeElement.id").toString(), target, 10000);
            QTest::keyClick(surface, Qt::Key_Return);
        } else {
            QTest::mouseClick(surface, Qt::LeftButton, {}, Centre(engine, target));
        }
        const QString url = QString(expected).replace(QStringLiteral("%1"), QString::fromLatin1(server.Url("")));
        if (!url.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 10000);
        QTest::qWait(700); // a second one would come by now
        QCOMPARE(opened, url.isEmpty() ? QStringList() : QStringList{url});
        QCOMPARE(server.requests.size(), 0);
        QVERIFY(Evaluate(engine, QStringLiteral("!!document.getElementById('own')")).toBool());
    }

    // The engine takes a directly handed document of at most 2 MB; news
    // bodies with inline pictures are larger and must still show whole.
    void documents_showWhole_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("small") << 1000;
        QTest::newRow("beyond the data address limit") << 3 * 1024 * 1024;
    }
    void documents_showWhole()
    {
        QFETCH(int, size);
        THtmlView view;
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // A page that declares another charset still reads as the text given.
        const QString html = "<html><head><meta charset=\"windows-1252\"></head><body><p id=a>Caf\u00e9 \u20ac</p>"
                             "<p>" + QString(size, u'x') + "</p><p id=end>the end</p></body></html>";
        view.SetHtml(html.left(10)); // creates the engine
        QSignalSpy loaded(view.View()->page(), &QWebEnginePage::loadFinished);
        view.SetHtml(html);
        // The first, short document may still report its load, cut short by
        // the second, once the spy listens: only the last report counts.
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.last().at(0).toBool(), 20000);
        QCOMPARE(Evaluate(view.View(), "document.getElementById('end').textContent").toString(), QString("the end"));
        QCOMPARE(Evaluate(view.View(), "document.getElementById('a').textContent").toString(),
                 QString::fromUtf8("Café €"));
        // Such a document cannot read the files beside it.
        const QVariant blocked =
            Evaluate(view.View(), "var x = new XMLHttpRequest(); try { x.open('GET', 'file:///etc/hostname', false);"
                                  " x.send(); x.responseText.length } catch (e) { -1 }");
        QCOMPARE(blocked.toInt(), -1);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestHtmlView test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_html_view.moc"
