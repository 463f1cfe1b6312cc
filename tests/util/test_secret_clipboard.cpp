#include "util/secret_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

#include <memory>

namespace {

QString ClipboardText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText() ? data->text() : QStringLiteral("<none>");
}

} // namespace

class TestSecretClipboard : public QObject
{
    Q_OBJECT
private slots:
    void init() { QGuiApplication::clipboard()->setText(QStringLiteral("before")); }

    // The text carries the hint for clipboard managers and is gone after its
    // time or at the end, unless the user has put something else there.
    void forgets_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("userCopies"); // "" : nothing; "same": the same text, without the hint
        QTest::addColumn<QString>("ending");     // "time" or "end" (the owner goes away)
        QTest::addColumn<QString>("left");       // what the clipboard holds afterwards
        QTest::newRow("password after its time") << "p\u00E4ss w0rd" << "" << "time" << "<none>";
        QTest::newRow("password at the end") << "s3cret" << "" << "end" << "<none>";
        QTest::newRow("user copied since, time") << "s3cret" << "mine" << "time" << "mine";
        QTest::newRow("user copied since, end") << "s3cret" << "mine" << "end" << "mine";
        QTest::newRow("user copied the same text") << "s3cret" << "same" << "end" << "s3cret";
        QTest::newRow("empty text stays empty") << "" << "" << "time" << "";
    }
    void forgets()
    {
        QFETCH(QString, text);
        QFETCH(QString, userCopies);
        QFETCH(QString, ending);
        QFETCH(QString, left);
        auto clipboard = std::make_unique<TSecretClipboard>();
        QCOMPARE(clipboard->Lifetime(), 30000);
        clipboard->SetLifetime(300);
        clipboard->SetText(text);
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data && data->hasText());
        QCOMPARE(data->text(), text);
        QCOMPARE(data->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
        if (userCopies == u"same")
            QGuiApplication::clipboard()->setText(text);
        else if (!userCopies.isEmpty())
            QGuiApplication::clipboard()->setText(userCopies);

        if (ending == u"time") {
            QTest::qWait(100);
            QCOMPARE(ClipboardText(), userCopies.isEmpty() || userCopies == u"same" ? text : userCopies);
            QTest::qWait(600);
        } else {
            clipboard.reset();
        }
        QCOMPARE(ClipboardText(), left);
    }

    // A second text restarts the time; the first one's time clears nothing.
    void secondTextRestartsTheTime()
    {
        TSecretClipboard clipboard;
        clipboard.SetLifetime(400);
        clipboard.SetText(QStringLiteral("user"));
        QTest::qWait(250);
        clipboard.SetText(QStringLiteral("pass"));
        QTest::qWait(250);
        QCOMPARE(ClipboardText(), QStringLiteral("pass"));
        QTRY_COMPARE_WITH_TIMEOUT(ClipboardText(), QStringLiteral("<none>"), 2000);
    }
};

QTEST_MAIN(TestSecretClipboard)
#include "test_secret_clipboard.moc"
