// What the browser bar and the item editor's Browse and Paste buttons ask of
// a browser, on a browser that only records what it is asked: no engine, no
// window.
#include "support/scripted_messages.h"
#include "util/errors.h"
#include "util/secret_clipboard.h"
#include "util/web_engine_parts.h"
#include "web/login_fill.h"
#include "web/web_panel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

class TRecordingBrowser : public TBrowser
{
public:
    QWidget *Widget() override { return nullptr; }
    void Navigate(const QString &address) override { Call(QStringLiteral("Navigate ") + address); }
    bool Busy() const override
    {
        Call(QStringLiteral("Busy"));
        return busy;
    }
    QUrl Url() const override { return url; }
    void Stop() override { Call(QStringLiteral("Stop")); }
    void GoBack() override { Call(QStringLiteral("GoBack")); }
    void GoForward() override { Call(QStringLiteral("GoForward")); }
    void Refresh() override { Call(QStringLiteral("Refresh")); }
    bool Paste() override
    {
        Call(QStringLiteral("Paste"));
        return !url.isEmpty();
    }
    QString ScriptError() const override { return {}; }
    void RunIsolatedScript(const QString &, const std::function<void(const QVariant &)> &) override
    {
        Call(QStringLiteral("RunIsolatedScript"));
    }

    bool busy = false;
    QUrl url;
    // The operation that raises, as the real browser's may.
    QString failing;
    mutable QStringList calls;

private:
    void Call(const QString &call) const
    {
        calls << call;
        if (!failing.isEmpty() && call.section(QLatin1Char(' '), 0, 0) == failing)
            throw EAppError(call + QStringLiteral(" failed"));
    }
};

} // namespace

class TestWebPanelRules : public QObject
{
    Q_OBJECT
private slots:
    void command_data();
    void command();
    void passwordPaste_data();
    void passwordPaste();
    void logInStart_data();
    void logInStart();
};

void TestWebPanelRules::command_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("text"); // the address edit's or the field's
    QTest::addColumn<QString>("calls");
    QTest::addColumn<bool>("raises");
    QTest::addColumn<QString>("edit"); // the address edit afterwards

    const QString before = QStringLiteral("http://before.example/");
    const QString typed = QStringLiteral(" shop.example/x ");
    QTest::newRow("Back stops a load first") << "Back" << true << "" << "" << "Busy, Stop, GoBack" << false << before;
    QTest::newRow("Refresh on a loaded page") << "Refresh" << false << "" << "" << "Busy, Refresh" << false << before;
    QTest::newRow("Stop on a loaded page") << "Stop" << false << "" << "" << "Busy" << false << before;
    QTest::newRow("Forward that fails is not told") << "Forward" << false << "GoForward" << ""
                                                    << "Busy, GoForward" << false << before;
    QTest::newRow("Go opens the text as typed") << "Go" << false << "" << typed << "Stop, Navigate " + typed
                                                << false << before;
    QTest::newRow("Go on an empty edit does nothing") << "Go" << true << "" << "" << "" << false << before;
    QTest::newRow("Go goes on when Stop fails") << "Go" << true << "Stop" << typed << "Stop, Navigate " + typed
                                                << false << before;
    QTest::newRow("Go that fails is raised") << "Go" << false << "Navigate" << "no address"
                                             << "Stop, Navigate no address" << true << before;
    QTest::newRow("Browse on an empty field changes nothing") << "Browse" << true << "" << "" << "" << false << before;
    QTest::newRow("Browse that fails is raised after the edit is filled")
        << "Browse" << false << "Navigate" << typed << "Stop, Navigate " + typed << true << typed;
    QTest::newRow("Paste an empty field") << "Paste" << false << "" << "" << "Paste" << false << before;
}

void TestWebPanelRules::command()
{
    QFETCH(QString, command);
    QFETCH(bool, busy);
    QFETCH(QString, failing);
    QFETCH(QString, text);
    QFETCH(QString, calls);
    QFETCH(bool, raises);
    QFETCH(QString, edit);

    TRecordingBrowser browser;
    browser.busy = busy;
    browser.failing = failing;
    QLineEdit addressEdit(QStringLiteral("http://before.example/"));
    TSecretClipboard clipboard;
    QGuiApplication::clipboard()->setText(QStringLiteral("previous"));
    bool raised = false;
    try {
        if (command == u"Back")
            WebPanel::Back(browser);
        else if (command == u"Forward")
            WebPanel::Forward(browser);
        else if (command == u"Refresh")
            WebPanel::Refresh(browser);
        else if (command == u"Stop")
            WebPanel::Stop(browser);
        else if (command == u"Go")
            WebPanel::Go(browser, text);
        else if (command == u"Browse")
            WebPanel::Browse(browser, addressEdit, text);
        else
            WebPanel::Paste(browser, clipboard, text);
    } catch (const EAppError &) {
        raised = true;
    }
    QCOMPARE(browser.calls.join(QStringLiteral(", ")), calls);
    QCOMPARE(raised, raises);
    QCOMPARE(addressEdit.text(), edit);
    if (command == u"Paste")
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
}

void TestWebPanelRules::passwordPaste_data()
{
    QTest::addColumn<QString>("page"); // the address of the page shown
    QTest::addColumn<bool>("yes");     // the answer to the question, if asked
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("pasted");

    QTest::newRow("no page yet: nothing to ask") << "" << false << false << true;
    QTest::newRow("page on the item's site") << "https://bank.example/account" << false << false << true;
    QTest::newRow("page on another site, No") << "https://bank.example.evil.example/" << false << true << false;
    QTest::newRow("page on another site, Yes") << "https://evil.example/" << true << true << true;
}

void TestWebPanelRules::passwordPaste()
{
    QFETCH(QString, page);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    QFETCH(bool, pasted);

    TRecordingBrowser browser;
    browser.url = QUrl(page);
    TSecretClipboard clipboard;
    TScriptedMessages messages;
    messages.Answer(yes ? TModalResult::mrYes : TModalResult::mrNo);
    QGuiApplication::clipboard()->setText(QStringLiteral("previous"));
    WebPanel::PastePassword(browser, clipboard, messages, QStringLiteral("secret"),
                            {QStringLiteral("https://bank.example/login")});
    QCOMPARE(messages.shown.size(), asked ? 1 : 0);
    QCOMPARE(browser.calls.contains(QStringLiteral("Paste")), pasted);
    QCOMPARE(QGuiApplication::clipboard()->text(), pasted ? QStringLiteral("secret") : QStringLiteral("previous"));
}

void TestWebPanelRules::logInStart_data()
{
    QTest::addColumn<QStringList>("addresses"); // website, login, affiliate, cloaked
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<bool>("raises");

    const QString website = QStringLiteral("http://bank.example/");
    const QString login = QStringLiteral("https://bank.example/sign-in");
    QTest::newRow("login address") << QStringList{website, login, QStringLiteral("http://aff.example/")} << false
                                   << QString() << QStringLiteral("Busy|Navigate ") + login << true << false;
    QTest::newRow("blank login address: the website")
        << QStringList{website, QStringLiteral("  ")} << false << QString() << QStringLiteral("Busy|Navigate ") + website
        << true << false;
    QTest::newRow("a page still loading is stopped first")
        << QStringList{website, login} << true << QString() << QStringLiteral("Busy|Stop|Navigate ") + login << true
        << false;
    QTest::newRow("no address to open: nothing happens")
        << QStringList{QString(), QString(), QStringLiteral("http://aff.example/")} << false << QString() << QString()
        << false << false;
    QTest::newRow("the browser cannot open it: raised, not armed")
        << QStringList{website, login} << false << QStringLiteral("Navigate")
        << QStringLiteral("Busy|Navigate ") + login << false << true;
}

void TestWebPanelRules::logInStart()
{
    QFETCH(QStringList, addresses);
    QFETCH(bool, busy);
    QFETCH(QString, failing);
    QFETCH(QString, calls);
    QFETCH(bool, armed);
    QFETCH(bool, raises);
    TRecordingBrowser browser;
    browser.busy = busy;
    browser.failing = failing;
    TLoginFill fill(browser);
    QSignalSpy refused(&fill, &TLoginFill::refused);
    bool raised = false;
    bool started = false;
    try {
        started = fill.LogIn(addresses, QStringLiteral("alice"), QStringLiteral("secret"));
    } catch (const EAppError &) {
        raised = true;
    }
    QCOMPARE(raised, raises);
    QCOMPARE(browser.calls.join(u'|'), calls);
    QCOMPARE(fill.Armed(), armed);
    QCOMPARE(started, armed);
    // Only the item without an address is told of here; a failed navigation
    // is the caller's to report.
    QCOMPARE(refused.size(), calls.isEmpty() ? 1 : 0);
}

QTEST_MAIN(TestWebPanelRules)
#include "test_web_panel_rules.moc"
