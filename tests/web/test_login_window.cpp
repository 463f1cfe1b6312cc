// "Log In" and the one-time code as the main window offers them, on the real
// web engine against log-in pages of the loopback server: what the server
// receives is what the page got.
#include "app/login_controller.h"
#include "book/category_tree.h"
#include "support/book_fixture.h"
#include "support/http_test_server.h"
#include "support/window_fixture.h"
#include "util/secret_clipboard.h"
#include "web/browser_panel.h"
#include "web/login_fill.h"
#include "web_test_support.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <memory>

namespace {

// RFC 6238's SHA-1 key, "12345678901234567890", and its codes: at 59 s the
// 8-digit code is 94287082, at 1111111111 s 14050471.
const QString kKeyUri = QStringLiteral(
    "Second factor: otpauth://totp/Bank:alice?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&issuer=Bank");
const QString kKeyLine = QStringLiteral("TOTP: GEZD GNBV GY3T QOJQ GEZD GNBV GY3T QOJQ");

QByteArray Page(const QByteArray &body)
{
    return THttpTestServer::Ok("<!doctype html><html><head><meta charset=\"utf-8\"></head><body>" + body +
                               "</body></html>");
}

QByteArray Form(const QByteArray &action, const QByteArray &fields, const QByteArray &button = "<button>Go</button>")
{
    return "<form method=\"post\" action=\"" + action + "\">" + fields + button + "</form>";
}

} // namespace

class TestLoginWindow : public QObject
{
    Q_OBJECT
private:
    THttpTestServer *m_server = nullptr;
    std::unique_ptr<TActiveWindow> m_window;
    qint64 m_now = 59;

    QString Origin(const char *host) const
    {
        return QStringLiteral("http://%1:%2").arg(QLatin1String(host)).arg(m_server->Port());
    }
    TfrmMain &W() const { return *m_window->w; }
    TScriptedMessages &Messages() const { return m_window->msgs; }
    template <class T>
    T *Child(const char *name) const
    {
        T *found = W().findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no %s", name);
        return found;
    }
    QLineEdit *Field(const char *name) const { return Child<QLineEdit>(name); }
    TBrowserPanel *Browser() const { return Child<TBrowserPanel>("EmbeddedWB1"); }

    // "path name=value" of every field the server was sent, in order.
    QStringList Posted() const
    {
        QStringList posted;
        for (const THttpTestServer::Request &request : m_server->requests) {
            if (request.method != "POST")
                continue;
            for (const QByteArray &pair : request.body.split('&')) {
                QByteArray field = pair;
                posted << QString::fromLatin1(request.target) + u' ' +
                              QUrl::fromPercentEncoding(field.replace('+', ' '));
            }
        }
        return posted;
    }

    void Trigger(const QString &how)
    {
        if (how == u"button") {
            QTest::mouseClick(Child<QPushButton>("btnLogIn"), Qt::LeftButton);
        } else if (how == u"key") {
            QTest::keySequence(&W(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
        } else {
            // The entry of the tree's pop-up or of the window's menu, as it
            // is when the menu opens.
            QMenu *menu = Child<QMenu>(how == u"pop-up" ? "bsSkinPopupMenu1" : "mnuMain");
            Q_EMIT menu->aboutToShow();
            QAction *entry = Child<QAction>("LogIn1");
            QVERIFY(menu->actions().contains(entry));
            QVERIFY(entry->isVisible() && entry->isEnabled());
            entry->trigger();
        }
    }

private slots:
    void initTestCase()
    {
        m_server = new THttpTestServer(this);
        THttpTestServer &s = *m_server;
        s.Route("/blank", Page(""));
        s.Route("/plain", Page(Form("/login", "<input name=\"user\"><input type=\"password\" name=\"pass\">")));
        s.Route("/login", Page("welcome"));
        s.Route("/code-page", Page(Form("/code-pass", "<input name=\"user\"><input type=\"password\" name=\"pass\">")));
        s.Route("/code-pass", THttpTestServer::Redirect("/code-ask", 303));
        s.Route("/code-ask", Page(Form("/code", "<input name=\"otp\" autocomplete=\"one-time-code\">")));
        s.Route("/code", Page("welcome"));
        s.Route("/to-other-site", THttpTestServer::Redirect(Origin("evil.localhost").toLatin1() + "/plain"));
        // A log-in page that never comes.
        s.SetHandler([](const THttpTestServer::Request &request) {
            return request.target.startsWith("/never") ? QByteArray() : THttpTestServer::Answer(404);
        });

        const QByteArray login = Origin("bank.localhost").toLatin1() + "/plain";
        m_window = std::make_unique<TActiveWindow>(
            "Programs\r\n", R("Programs|Bank|bp||") + login + R("|alice|secret|||||notes|\r\n"));
        Child<TLoginController>("LoginController")->SetClock([this] { return m_now; });
        auto *tree = Child<TCategoryTree>("tvwMain");
        tree->expandAll();
        tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(0, 0)));
        QCOMPARE(Field("edtLogin")->text(), QStringLiteral("alice"));
    }

    void cleanupTestCase() { m_window.reset(); }

    void init()
    {
        m_now = 59;
        Messages().Clear();
        Messages().SetDefaultAnswer(TModalResult::mrOk);
        // Each row starts on a page of its own, once what the last one sent
        // has landed.
        QSignalSpy loads(Browser(), &TBrowserPanel::loadFinished);
        Browser()->Navigate(QString::fromLatin1(m_server->Url("/blank")));
        QVERIFY(WaitUntil([&] { return !loads.isEmpty() && Browser()->Url().path() == u"/blank"; }));
        m_server->requests.clear();
        // The engine's first page leaves no window of the display active.
        W().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&W()));
    }

    // The fields as typed, not yet saved, are what goes into the page.
    void logIn_data()
    {
        QTest::addColumn<QString>("loginPath"); // empty: no address at all
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("posted");
        QTest::addColumn<QStringList>("told"); // what the one message must name

        QTest::newRow("log-in page, by the button")
            << "/plain" << QString() << "button" << QStringList{"/login user=bob", "/login pass=p&ss w=rd"}
            << QStringList();
        QTest::newRow("one-time code on the next page, by the key")
            << "/code-page" << kKeyUri << "key"
            << QStringList{"/code-pass user=bob", "/code-pass pass=p&ss w=rd", "/code otp=287082"} << QStringList();
        QTest::newRow("page of another site, from the window's menu")
            << "/to-other-site" << QString() << "menu" << QStringList()
            << QStringList{"http://evil.localhost:{P}", "http://bank.localhost:{P}"};
        QTest::newRow("no address, from the pop-up") << QString() << QString() << "pop-up" << QStringList()
                                                     << QStringList{LoginNoAddressText()};
    }
    void logIn()
    {
        QFETCH(QString, loginPath);
        QFETCH(QString, description);
        QFETCH(QString, how);
        QFETCH(QStringList, posted);
        QFETCH(QStringList, told);
        Field("edtLoginURL")->setText(loginPath.isEmpty() ? QString() : Origin("bank.localhost") + loginPath);
        Field("edtLogin")->setText(QStringLiteral("bob"));
        Field("edtPassword")->setText(QStringLiteral("p&ss w=rd"));
        Child<QPlainTextEdit>("memDesc")->setPlainText(description);
        auto *fill = Child<TLoginFill>("LoginFill");
        QSignalSpy ended(fill, &TLoginFill::ended);

        Trigger(how);
        if (!loginPath.isEmpty()) {
            QCOMPARE(Field("edtURL")->text(), Origin("bank.localhost") + loginPath);
            QVERIFY(WaitUntil([&] { return !ended.isEmpty(); }, 20000));
        }
        const qsizetype messages = told.isEmpty() ? 0 : 1;
        QVERIFY(WaitUntil([&] { return Posted().size() >= posted.size() && Messages().shown.size() >= messages; }));
        QCOMPARE(Posted(), posted);
        if (told.isEmpty()) {
            QVERIFY(Messages().shown.isEmpty());
            return;
        }
        QCOMPARE(Messages().shown.size(), 1);
        for (QString name : told)
            QVERIFY2(Messages().shown.at(0).text.contains(name.replace(QStringLiteral("{P}"),
                                                                       QString::number(m_server->Port()))),
                     qPrintable(Messages().shown.at(0).text));
    }

    // Only the click arms the fill: a page the user opens meanwhile with the
    // window's own controls is left alone, even on the same site.
    void userNavigationEndsALogIn()
    {
        Field("edtLoginURL")->setText(Origin("bank.localhost") + QStringLiteral("/never"));
        Field("edtWebsiteURL")->setText(Origin("bank.localhost") + QStringLiteral("/plain"));
        auto *fill = Child<TLoginFill>("LoginFill");
        Trigger(QStringLiteral("button"));
        QVERIFY(fill->Armed());
        QSignalSpy loads(Browser(), &TBrowserPanel::loadFinished);
        QTest::mouseClick(Child<QPushButton>("btnBrowseWebsite"), Qt::LeftButton);
        QVERIFY(!fill->Armed());
        QVERIFY(WaitUntil([&] { return !loads.isEmpty() && Browser()->Url().path() == u"/plain"; }));
        // Time for several rounds of the fill, had it stayed armed.
        WaitUntil([] { return false; }, 1500);
        QCOMPARE(Posted(), QStringList());
        Field("edtWebsiteURL")->clear();
    }

    void codeLabel_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<QString>("shown"); // empty: the label is hidden
        QTest::addColumn<bool>("copies");   // Copy Code copies the code

        QTest::newRow("key address after other lines")
            << "notes\n" + kKeyUri + "\nmore notes" << qint64(59) << "287082 \u00B7 1 s" << true;
        QTest::newRow("TOTP line") << kKeyLine << qint64(1111111111) << "050471 \u00B7 29 s" << true;
        QTest::newRow("secret that is not base32")
            << "TOTP: 1234!" << qint64(59) << "No code: the secret is not base32" << false;
        QTest::newRow("key address without a secret")
            << "otpauth://totp/Bank?issuer=Bank" << qint64(59) << "No code: the key has no secret" << false;
        QTest::newRow("no key line") << "notes only" << qint64(59) << QString() << false;
        QTest::newRow("empty description") << QString() << qint64(59) << QString() << false;
    }
    void codeLabel()
    {
        QFETCH(QString, description);
        QFETCH(qint64, now);
        QFETCH(QString, shown);
        QFETCH(bool, copies);
        m_now = now;
        Child<QPlainTextEdit>("memDesc")->setPlainText(description);
        auto *label = Child<QLabel>("lblOneTimeCode");
        QCOMPARE(label->isVisible(), !shown.isEmpty());
        if (!shown.isEmpty())
            QCOMPARE(label->text(), shown);
        // The clock ticks only for a code to show.
        QCOMPARE(Child<QTimer>("tmrOneTimeCode")->isActive(), copies);

        // Copy Code, by its key, through the clipboard that forgets.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QAction *copy = Child<QAction>("CopyCode1");
        QCOMPARE(copy->isVisible(), !shown.isEmpty());
        QTest::keySequence(&W(), copy->shortcut());
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(data->text(), copies ? shown.section(u' ', 0, 0) : QStringLiteral("before"));
        QCOMPARE(data->data(QString::fromLatin1(TSecretClipboard::HintFormat)),
                 copies ? QByteArray("secret") : QByteArray());
    }

    // The label follows the clock, and the typing: a key line typed in
    // shows at once, one taken out hides it.
    void codeFollowsTheClockAndTheTyping()
    {
        auto *memo = Child<QPlainTextEdit>("memDesc");
        auto *label = Child<QLabel>("lblOneTimeCode");
        memo->setPlainText(QStringLiteral("notes"));
        QVERIFY(!label->isVisible());
        memo->setFocus();
        QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, kKeyLine);
        QCOMPARE(label->text(), QStringLiteral("287082 \u00B7 1 s"));
        m_now = 60;
        const QByteArray code = OneTimeCode(*FindOneTimeKey(kKeyLine.toLatin1()).key, 60);
        const QString next = QString::fromLatin1(code) + QStringLiteral(" \u00B7 30 s");
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), next, 3000);
        QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(memo, Qt::Key_Delete);
        QVERIFY(!label->isVisible());
        QVERIFY(!Child<QTimer>("tmrOneTimeCode")->isActive());
    }
};

TARNWICK_WEB_TEST_MAIN(TestLoginWindow)

#include "test_login_window.moc"
