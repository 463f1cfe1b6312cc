// One-click log-in on the real web engine, against log-in pages served from
// loopback under names of their own (the engine takes every name below
// "localhost" for loopback): what the server receives is what the page got.
#include "support/http_test_server.h"
#include "web/browser_panel.h"
#include "web/login_fill.h"
#include "web_test_support.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QString kUser = QStringLiteral("alice@example.com");
// Quotes, a backslash, '&', a blank, '<' and a letter beyond ASCII: the
// values reach the page's script as data, never as code.
const QString kPassword = QStringLiteral("pa\"ss\\ w&rd '\u00E9<");
const QString kCode = QStringLiteral("492039");

QByteArray Page(const QByteArray &body)
{
    return THttpTestServer::Ok("<!doctype html><html><head><meta charset=\"utf-8\"></head><body>" + body +
                               "</body></html>");
}

QByteArray Form(const QByteArray &action, const QByteArray &fields,
               const QByteArray &button = "<button>Log in</button>")
{
    return "<form method=\"post\" action=\"" + action + "\">" + fields + button + "</form>";
}

const QByteArray kUserAndPassword = "<input name=\"user\"><input type=\"password\" name=\"pass\">";

// name=value pairs of a form's body, decoded.
QMap<QString, QString> FormFields(const QByteArray &body)
{
    QMap<QString, QString> fields;
    for (const QByteArray &pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        QByteArray name = pair.left(equals);
        QByteArray value = equals < 0 ? QByteArray() : pair.mid(equals + 1);
        fields.insert(QUrl::fromPercentEncoding(name.replace('+', ' ')),
                      QUrl::fromPercentEncoding(value.replace('+', ' ')));
    }
    return fields;
}

} // namespace

class TestLoginFill : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_profile;
    THttpTestServer *m_server = nullptr;
    THttpTestServer *m_otherPort = nullptr;
    TBrowserPanel *m_panel = nullptr;

    QByteArray Origin(const char *host, const THttpTestServer *server) const
    {
        return "http://" + QByteArray(host) + ':' + QByteArray::number(server->Port());
    }

    QList<THttpTestServer::Request> Posts() const
    {
        QList<THttpTestServer::Request> posts;
        for (const THttpTestServer *server : {m_server, m_otherPort})
            for (const THttpTestServer::Request &request : server->requests)
                if (request.method == "POST")
                    posts << request;
        return posts;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_profile.isValid());
        m_server = new THttpTestServer(this);
        m_otherPort = new THttpTestServer(this);
        const QByteArray lookalike = "http://" + QUrl::toAce(QStringLiteral("b\u0430nk.localhost")) + ':' +
                                     QByteArray::number(m_server->Port());
        THttpTestServer &s = *m_server;
        s.Route("/plain", Page(Form("/login", kUserAndPassword)));
        s.Route("/login", Page("welcome"));
        s.Route("/blank", Page(""));
        // A decoy hidden password, and a text field between the hinted user
        // name and the password that "the field before it" would take.
        s.Route("/hints", Page(Form("/login",
                                    "<input type=\"password\" name=\"trap\" style=\"display:none\">"
                                    "<input name=\"user\" autocomplete=\"username\">"
                                    "<input name=\"captcha\">"
                                    "<input type=\"password\" name=\"pass\" autocomplete=\"current-password\">",
                                    "<input type=\"submit\" value=\"Sign in\">")));
        s.Route("/late", Page("<script>setTimeout(function () { document.body.innerHTML = '" +
                              Form("/login", "<input type=\"email\" name=\"mail\">"
                                             "<input type=\"password\" name=\"pass\">") +
                              "'; }, 2000);</script>"));
        s.Route("/two-step", Page(Form("/step1", "<input type=\"email\" name=\"email\" autocomplete=\"username\">",
                                       "<button>Next</button>")));
        // The password field is there from the start, shown a moment later.
        s.Route("/shown-late", Page(Form("/login", "<input name=\"user\">"
                                                   "<input type=\"password\" name=\"pass\" id=\"p\" "
                                                   "style=\"display:none\">") +
                                    "<script>setTimeout(function () { p.style.display = ''; }, 600);</script>"));
        // A hidden password field in the user-name form, for password
        // managers; the real one comes on the next page.
        s.Route("/two-step-hidden", Page(Form("/step1", "<input type=\"email\" name=\"email\">"
                                                        "<input type=\"password\" name=\"pass\" "
                                                        "style=\"display:none\">",
                                              "<button>Next</button>")));
        s.Route("/get-form", Page("<form action=\"/login\">" + kUserAndPassword + "<button>Log in</button></form>"));
        s.Route("/step1", THttpTestServer::Redirect("/step2", 303));
        s.Route("/step2", Page(Form("/login", "<input type=\"password\" name=\"pass\" "
                                              "autocomplete=\"current-password\">")));
        s.Route("/framed", Page("<iframe src=\"/plain\" width=\"600\" height=\"200\"></iframe>"));
        s.Route("/framed-other", Page("<iframe src=\"" + Origin("other.localhost", m_server) +
                                      "/plain\" width=\"600\" height=\"200\"></iframe>"));
        s.Route("/to-lookalike", THttpTestServer::Redirect(lookalike + "/plain"));
        s.Route("/to-other-port", THttpTestServer::Redirect(Origin("bank.localhost", m_otherPort) + "/plain"));
        s.Route("/moves-on", Page("<script>setTimeout(function () { location.href = '" +
                                  Origin("evil.localhost", m_server) + "/plain'; }, 300);</script>"));
        s.Route("/to-http", THttpTestServer::Redirect(Origin("bank.localhost", m_server) + "/plain"));
        m_otherPort->Route("/plain", Page(Form("/login", kUserAndPassword)));
        m_otherPort->Route("/login", Page("welcome"));
        s.Route("/enabled-by-input",
                Page(Form("/login", "<input name=\"user\" id=\"u\"><input type=\"password\" name=\"pass\" id=\"p\">",
                          "<button id=\"b\" disabled>Log in</button>") +
                     "<script>function check() { b.disabled = !(u.value && p.value); }"
                     "u.addEventListener('input', check); p.addEventListener('input', check);</script>"));
        s.Route("/never-enabled", Page(Form("/login", kUserAndPassword, "<button disabled>Log in</button>")));
        // Were the fill to run in the page's world, these would stop it.
        s.Route("/hostile", Page("<script>HTMLElement.prototype.focus = function () { throw new Error('no'); };"
                                 "window.Event = function () { throw new Error('no'); };"
                                 "HTMLButtonElement.prototype.click = function () {};</script>" +
                                 Form("/login", kUserAndPassword)));
        s.Route("/code-hinted", Page(Form("/code-hinted-pass", kUserAndPassword)));
        s.Route("/code-hinted-pass", THttpTestServer::Redirect("/code-hinted-page", 303));
        s.Route("/code-hinted-page", Page(Form("/code", "<input name=\"otp\" autocomplete=\"one-time-code\">",
                                               "<button>Verify</button>")));
        s.Route("/code-short", Page(Form("/code-short-pass", kUserAndPassword)));
        s.Route("/code-short-pass", THttpTestServer::Redirect("/code-short-page", 303));
        s.Route("/code-short-page", Page("<input name=\"search\" placeholder=\"Search\">" +
                                         Form("/code", "<input name=\"pin\" maxlength=\"6\" inputmode=\"numeric\">",
                                              "<button>Verify</button>")));
        s.Route("/code", Page("welcome"));

        m_panel = new TBrowserPanel(m_profile.filePath(QStringLiteral("browser")));
        m_panel->setObjectName(QStringLiteral("EmbeddedWB1"));
        m_panel->resize(900, 700);
        m_panel->show();
    }

    void cleanupTestCase() { delete m_panel; }

    // Each row starts on a page of its own, once the last row's form (sent
    // just before that row ended) has landed: a submission still on its way
    // would otherwise take the place of the next row's page.
    void init()
    {
        bool settled = false;
        for (int attempt = 0; attempt < 3 && !settled; ++attempt) {
            QSignalSpy loads(m_panel, &TBrowserPanel::loadFinished);
            m_panel->Navigate(QString::fromLatin1(m_server->Url("/blank")));
            settled = WaitUntil([&] {
                return !loads.isEmpty() && loads.last().at(0).toBool() && m_panel->Url().path() == u"/blank";
            }, 5000);
        }
        QVERIFY(settled);
        m_server->requests.clear();
        m_otherPort->requests.clear();
    }

    void logIn_data()
    {
        QTest::addColumn<QStringList>("addresses"); // website, login, affiliate, cloaked; {P} the port
        QTest::addColumn<TLoginFill::Outcome>("outcome");
        // "path name=value" for every field posted; nothing else may be.
        QTest::addColumn<QStringList>("posted");
        QTest::addColumn<QStringList>("refusalNames"); // origins the refusal must name
        QTest::addColumn<bool>("withCode");             // the item has a one-time code

        const auto login = [](const char *path) {
            return QStringList{QString(), QStringLiteral("http://bank.localhost:{P}") + path};
        };
        const QStringList userAndPassword{QStringLiteral("/login user=USER"), QStringLiteral("/login pass=PASS")};
        QTest::newRow("plain form") << login("/plain") << TLoginFill::Outcome::Submitted << userAndPassword
                                    << QStringList() << false;
        QTest::newRow("website address when no login address")
            << QStringList{QStringLiteral("http://bank.localhost:{P}/plain")} << TLoginFill::Outcome::Submitted
            << userAndPassword << QStringList() << false;
        QTest::newRow("autocomplete hints")
            << login("/hints") << TLoginFill::Outcome::Submitted
            << QStringList{"/login trap=", "/login user=USER", "/login captcha=", "/login pass=PASS"}
            << QStringList() << false;
        QTest::newRow("form made by script 2 s after load")
            << login("/late") << TLoginFill::Outcome::Submitted
            << QStringList{"/login mail=USER", "/login pass=PASS"} << QStringList() << false;
        QTest::newRow("two-step log-in") << login("/two-step") << TLoginFill::Outcome::Submitted
                                         << QStringList{"/step1 email=USER", "/login pass=PASS"} << QStringList()
                                         << false;
        QTest::newRow("password field shown a moment after load")
            << login("/shown-late") << TLoginFill::Outcome::Submitted << userAndPassword << QStringList() << false;
        QTest::newRow("two-step log-in, hidden password in the first form")
            << login("/two-step-hidden") << TLoginFill::Outcome::Submitted
            << QStringList{"/step1 email=USER", "/step1 pass=", "/login pass=PASS"} << QStringList() << false;
        QTest::newRow("form that would put the password in its address: filled, not sent")
            << login("/get-form") << TLoginFill::Outcome::Filled << QStringList() << QStringList() << false;
        QTest::newRow("same-origin frame") << login("/framed") << TLoginFill::Outcome::Submitted << userAndPassword
                                           << QStringList() << false;
        QTest::newRow("cross-origin frame: not filled")
            << login("/framed-other") << TLoginFill::Outcome::NotFound << QStringList() << QStringList() << false;
        QTest::newRow("lookalike host: refused")
            << login("/to-lookalike") << TLoginFill::Outcome::Refused << QStringList()
            << QStringList{"http://{L}:{P}", "http://bank.localhost:{P}"} << false;
        QTest::newRow("another port: refused")
            << login("/to-other-port") << TLoginFill::Outcome::Refused << QStringList()
            << QStringList{"http://bank.localhost:{Q}", "http://bank.localhost:{P}"} << false;
        QTest::newRow("http page for an https item: refused")
            << QStringList{"https://bank.localhost:{P}/", "http://jump.localhost:{P}/to-http"}
            << TLoginFill::Outcome::Refused << QStringList()
            << QStringList{"http://bank.localhost:{P}", "https://bank.localhost:{P}", "http://jump.localhost:{P}"}
            << false;
        QTest::newRow("page that moves on to another site: refused")
            << login("/moves-on") << TLoginFill::Outcome::Refused << QStringList()
            << QStringList{"http://evil.localhost:{P}", "http://bank.localhost:{P}"} << false;
        QTest::newRow("button enabled by input events")
            << login("/enabled-by-input") << TLoginFill::Outcome::Submitted << userAndPassword << QStringList()
            << false;
        QTest::newRow("button the page never enables: filled, not sent")
            << login("/never-enabled") << TLoginFill::Outcome::Filled << QStringList() << QStringList() << false;
        QTest::newRow("page that replaces the DOM's functions")
            << login("/hostile") << TLoginFill::Outcome::Submitted << userAndPassword << QStringList() << false;
        QTest::newRow("one-time code, hinted field after the password")
            << login("/code-hinted") << TLoginFill::Outcome::Submitted
            << QStringList{"/code-hinted-pass user=USER", "/code-hinted-pass pass=PASS", "/code otp=CODE"}
            << QStringList() << true;
        QTest::newRow("one-time code, short numeric field after the password")
            << login("/code-short") << TLoginFill::Outcome::Submitted
            << QStringList{"/code-short-pass user=USER", "/code-short-pass pass=PASS", "/code pin=CODE"}
            << QStringList() << true;
        QTest::newRow("one-time code the site does not ask for")
            << login("/plain") << TLoginFill::Outcome::Submitted << userAndPassword << QStringList() << true;
    }
    void logIn()
    {
        QFETCH(QStringList, addresses);
        QFETCH(TLoginFill::Outcome, outcome);
        QFETCH(QStringList, posted);
        QFETCH(QStringList, refusalNames);
        QFETCH(bool, withCode);
        const auto ports = [this](QString text) {
            return text.replace(QStringLiteral("{P}"), QString::number(m_server->Port()))
                .replace(QStringLiteral("{Q}"), QString::number(m_otherPort->Port()))
                .replace(QStringLiteral("{L}"),
                         QString::fromLatin1(QUrl::toAce(QStringLiteral("b\u0430nk.localhost"))));
        };
        for (QString &address : addresses)
            address = ports(address);
        TLoginLimits limits;
        limits.fieldWaitMs = 4000; // the late form comes after 2 s
        TLoginFill fill(*m_panel, nullptr, limits);
        QSignalSpy ended(&fill, &TLoginFill::ended);
        QSignalSpy refused(&fill, &TLoginFill::refused);
        QVERIFY(fill.LogIn(addresses, kUser, kPassword, [withCode] { return withCode ? kCode : QString(); }));
        QVERIFY(WaitUntil([&] { return !ended.isEmpty(); }, 20000));
        QCOMPARE(ended.takeFirst().at(0).value<TLoginFill::Outcome>(), outcome);
        QVERIFY(!fill.Armed());

        // Every form that was sent has arrived.
        QSet<QString> paths;
        for (const QString &field : posted)
            paths.insert(field.section(u' ', 0, 0));
        QVERIFY2(WaitUntil([&] { return Posts().size() >= paths.size(); }),
                 qPrintable(QString::number(Posts().size())));
        QStringList received;
        for (const THttpTestServer::Request &post : Posts()) {
            const QString path = QString::fromLatin1(post.target);
            const QMap<QString, QString> fields = FormFields(post.body);
            for (auto field = fields.cbegin(); field != fields.cend(); ++field)
                received << path + u' ' + field.key() + u'=' + field.value();
        }
        QStringList expected;
        for (QString field : posted)
            expected << field.replace(QStringLiteral("=USER"), u'=' + kUser)
                            .replace(QStringLiteral("=PASS"), u'=' + kPassword)
                            .replace(QStringLiteral("=CODE"), u'=' + kCode);
        // Nor did the password travel in any address.
        for (const THttpTestServer *server : {m_server, m_otherPort})
            for (THttpTestServer::Request request : server->requests)
                QVERIFY2(!QUrl::fromPercentEncoding(request.target.replace('+', ' ')).contains(kPassword),
                         request.target.constData());
        std::sort(received.begin(), received.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(received, expected);

        if (refusalNames.isEmpty()) {
            QVERIFY(refused.isEmpty());
            return;
        }
        QCOMPARE(refused.size(), 1);
        const QString message = refused.at(0).at(0).toString();
        for (const QString &name : refusalNames)
            QVERIFY2(message.contains(ports(name)), qPrintable(message));
    }

    // Only the click arms the fill, and only for a while: a form that comes
    // after that, or a log-in page opened after the log-in ended, gets nothing.
    void armingEnds_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("armedMs");
        QTest::addColumn<TLoginFill::Outcome>("outcome");
        QTest::addColumn<int>("posts");
        QTest::newRow("form made after the armed time") << QStringLiteral("/late") << 1000
                                                       << TLoginFill::Outcome::Expired << 0;
        QTest::newRow("log-in page opened again afterwards")
            << QStringLiteral("/plain") << 30000 << TLoginFill::Outcome::Submitted << 1;
    }
    void armingEnds()
    {
        QFETCH(QString, path);
        QFETCH(int, armedMs);
        QFETCH(TLoginFill::Outcome, outcome);
        QFETCH(int, posts);
        TLoginLimits limits;
        limits.armedMs = armedMs;
        TLoginFill fill(*m_panel, nullptr, limits);
        QSignalSpy ended(&fill, &TLoginFill::ended);
        const QString address = QStringLiteral("http://bank.localhost:%1%2").arg(m_server->Port()).arg(path);
        QVERIFY(fill.LogIn({QString(), address}, kUser, kPassword));
        QVERIFY(WaitUntil([&] { return !ended.isEmpty(); }, 20000));
        QCOMPARE(ended.takeFirst().at(0).value<TLoginFill::Outcome>(), outcome);
        QVERIFY(WaitUntil([&] { return Posts().size() >= posts; }));
        if (posts > 0) {
            QSignalSpy loads(m_panel, &TBrowserPanel::loadFinished);
            m_panel->Navigate(address);
            QVERIFY(WaitUntil([&] { return !loads.isEmpty() && m_panel->Url().path() == path; }));
        }
        // Long enough for the late form to come and for several rounds of
        // the fill, had it still been armed.
        WaitUntil([] { return false; }, 2500);
        QCOMPARE(Posts().size(), posts);
        QVERIFY(ended.isEmpty());
    }
};

TARNWICK_WEB_TEST_MAIN(TestLoginFill)

#include "test_login_fill.moc"
