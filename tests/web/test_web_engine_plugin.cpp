// The program loads the web engine only when a page or a document is first
// needed, from the plugin beside the executable. This suite links no engine of
// its own: the build puts the plugin beside it, as beside the program.
#include "app/main_window.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "util/document_view.h"
#include "util/errors.h"
#include "util/web_engine_parts.h"
#include "web/browser_panel.h"

#include <QCoreApplication>
#include <QFile>
#include <QColor>
#include <QImage>
#include <QOpenGLContext>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

// Like app/main.cpp, this suite asks for no shared OpenGL contexts before its
// application object: the graphics stack is loaded with the engine, not
// before.
bool GraphicsLoaded()
{
    return QOpenGLContext::globalShareContext() || QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts);
}

// The engine's complaint when it finds itself loaded without the shared
// context it draws with, and Qt's about shared contexts asked for late.
void FailOnEngineWarnings()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("WebEngine|OpenGL")));
}

bool EngineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

// The engine's view inside `w`, found by class name: this suite links no
// engine to name the class with.
QWidget *EngineView(const QWidget &w)
{
    for (QWidget *child : w.findChildren<QWidget *>())
        if (child->inherits("QWebEngineView"))
            return child;
    return nullptr;
}

QString PluginPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QString::fromLatin1(kWebEnginePluginFile);
}

// Moves the plugin out of the program's reach for one scope.
class TPluginAway
{
public:
    TPluginAway() { m_ok = QFile::rename(PluginPath(), PluginPath() + QStringLiteral(".away")); }
    ~TPluginAway() { QFile::rename(PluginPath() + QStringLiteral(".away"), PluginPath()); }
    bool Ok() const { return m_ok; }

private:
    bool m_ok = false;
};

} // namespace

class TestWebEnginePlugin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void windowShownWithoutTheEngine();
    void panelBeforeTheFirstPage_data();
    void panelBeforeTheFirstPage();
    void missingPluginIsReported();
    void firstPageLoadsTheEngine();
    void firstDocumentShows();
    void pagesAreDrawn_data();
    void pagesAreDrawn();
};

void TestWebEnginePlugin::initTestCase()
{
    QVERIFY2(QFile::exists(PluginPath()), qPrintable(PluginPath()));
    QVERIFY(!EngineLoaded());
    QVERIFY(!GraphicsLoaded());
}

void TestWebEnginePlugin::init()
{
    FailOnEngineWarnings();
}

void TestWebEnginePlugin::windowShownWithoutTheEngine()
{
    TTempAppFolder folder;
    TScriptedMessages messages;
    TfrmMain window(folder.Path(), &messages);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    QVERIFY(window.findChild<TBrowserPanel *>(QStringLiteral("EmbeddedWB1")));
    QVERIFY(!EngineLoaded());
    QVERIFY(!GraphicsLoaded());
    QVERIFY(messages.shown.isEmpty());
}

void TestWebEnginePlugin::panelBeforeTheFirstPage_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *op : {"Busy", "Paste", "Url", "ScriptError", "Stop", "GoBack", "GoForward", "Refresh"})
        QTest::newRow(op) << QString::fromLatin1(op);
}

// Before the first page the panel answers as the browser does before its
// first page, and nothing of the engine is loaded for it.
void TestWebEnginePlugin::panelBeforeTheFirstPage()
{
    QFETCH(QString, operation);
    QTemporaryDir profile;
    TBrowserPanel panel(profile.path() + QLatin1Char('/'));
    bool neutral = true;
    if (operation == u"Busy")
        neutral = !panel.Busy();
    else if (operation == u"Paste")
        neutral = !panel.Paste();
    else if (operation == u"Url")
        neutral = panel.Url().isEmpty();
    else if (operation == u"ScriptError")
        neutral = panel.ScriptError().isEmpty();
    else if (operation == u"Stop")
        panel.Stop();
    else if (operation == u"GoBack")
        panel.GoBack();
    else if (operation == u"GoForward")
        panel.GoForward();
    else
        panel.Refresh();
    QVERIFY(neutral);
    QVERIFY(panel.findChildren<QWidget *>().isEmpty());
    QVERIFY(!EngineLoaded());
    QVERIFY(!GraphicsLoaded());
}

void TestWebEnginePlugin::missingPluginIsReported()
{
    TPluginAway away;
    QVERIFY(away.Ok());
    QTemporaryDir profile;
    TBrowserPanel panel(profile.path() + QLatin1Char('/'));
    try {
        panel.Navigate(QStringLiteral("about:blank"));
        QFAIL("navigated without the plugin");
    } catch (const EAppError &e) {
        QVERIFY2(e.message().contains(QString::fromLatin1(kWebEnginePluginFile)), qPrintable(e.message()));
    }
    QVERIFY(panel.findChildren<QWidget *>().isEmpty());
    TDocumentView view;
    QVERIFY_THROWS_EXCEPTION(EAppError, view.SetHtml(QStringLiteral("<p>x</p>")));
    QVERIFY(view.Html().isEmpty());
    QVERIFY(!EngineLoaded());
}

// Runs after the plugin came back: a failed load is tried again.
void TestWebEnginePlugin::firstPageLoadsTheEngine()
{
    QTemporaryDir profile;
    TBrowserPanel panel(profile.path() + QLatin1Char('/'));
    panel.resize(400, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QSignalSpy loaded(&panel, &TBrowserPanel::loadFinished);
    panel.Navigate(QStringLiteral("about:blank"));
    QVERIFY(EngineLoaded());
    // The context the engine draws with came with it.
    QVERIFY(QOpenGLContext::globalShareContext());
    QVERIFY(QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts));
    QVERIFY(loaded.wait(30000));
    QCOMPARE(loaded.first().first().toBool(), true);
    QVERIFY(EngineView(panel));
    QVERIFY(!panel.Busy());
    // The browser's own rule on addresses still holds through the panel.
    QVERIFY_THROWS_EXCEPTION(EAppError, panel.Navigate(QStringLiteral("no address")));
}

void TestWebEnginePlugin::firstDocumentShows()
{
    TDocumentView view;
    QVERIFY(!EngineView(view));
    view.SetHtml(QStringLiteral("<p>first</p>"));
    view.SetHtml(QStringLiteral("<p>second</p>"));
    QCOMPARE(view.Html(), QStringLiteral("<p>second</p>"));
    QVERIFY(EngineView(view));
    QCOMPARE(view.findChildren<QWidget *>(Qt::FindDirectChildrenOnly).size(), 1);
}

namespace {

QRgb CentrePixel(QWidget *view)
{
    const QImage shot = view->grab().toImage();
    return shot.isNull() ? 0 : shot.pixel(shot.rect().center()) & 0xffffff;
}

} // namespace

// The engine draws with the context made when it was loaded: what the browser
// and the document view show reaches the screen, not only the page's model.
void TestWebEnginePlugin::pagesAreDrawn_data()
{
    QTest::addColumn<bool>("browser");
    QTest::addColumn<QString>("colour");
    QTest::newRow("browser page") << true << QStringLiteral("#00ff00");
    QTest::newRow("document") << false << QStringLiteral("#0000ff");
}

void TestWebEnginePlugin::pagesAreDrawn()
{
    QFETCH(bool, browser);
    QFETCH(QString, colour);
    const QString html = QStringLiteral("<html><body style=\"background:%1\"></body></html>").arg(colour);
    QTemporaryDir folder;
    TBrowserPanel panel(folder.path() + QLatin1Char('/'));
    TDocumentView document;
    QWidget &shown = browser ? static_cast<QWidget &>(panel) : document;
    shown.resize(300, 200);
    shown.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown));
    if (browser) {
        QFile page(folder.filePath(QStringLiteral("page.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(html.toLatin1());
        page.close();
        QSignalSpy loaded(&panel, &TBrowserPanel::loadFinished);
        panel.Navigate(QUrl::fromLocalFile(page.fileName()).toString());
        QVERIFY(loaded.wait(30000));
        QCOMPARE(loaded.first().first().toBool(), true);
    } else {
        document.SetHtml(html);
    }
    QTRY_COMPARE_WITH_TIMEOUT(CentrePixel(&shown), QColor(colour).rgb() & 0xffffff, 30000);
}

QTEST_MAIN(TestWebEnginePlugin)
#include "test_web_engine_plugin.moc"
