#include "util/html_view.h"

#include <QApplication>
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

} // namespace

class TestHtmlView : public QObject
{
    Q_OBJECT
private slots:
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
        QVERIFY(loaded.wait(20000));
        QCOMPARE(loaded.last().at(0).toBool(), true);
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
