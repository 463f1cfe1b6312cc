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
#include <QSignalSpy>
#include <QTest>

namespace {

// As app/main.cpp does: an engine loaded after the application object exists
// needs the shared OpenGL contexts asked for before it was made.
void ShareContexts()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}
Q_CONSTRUCTOR_FUNCTION(ShareContexts)

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
    void windowShownWithoutTheEngine();
    void panelBeforeTheFirstPage_data();
    void panelBeforeTheFirstPage();
    void missingPluginIsReported();
    void firstPageLoadsTheEngine();
    void firstDocumentShows();
};

void TestWebEnginePlugin::initTestCase()
{
    QVERIFY2(QFile::exists(PluginPath()), qPrintable(PluginPath()));
    QVERIFY(!EngineLoaded());
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

QTEST_MAIN(TestWebEnginePlugin)
#include "test_web_engine_plugin.moc"
