// The update check of the main window against a local update site, down to
// starting a stub updater and closing the program.
#include "app/main_window.h"
#include "services/http_client.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/http_test_server.h"
#include "support/publisher_wait.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

const QByteArray kSitePath = "/liveupdate/tarnwick/";
const QString kOffer21 = QStringLiteral(
    "There is a new update: (version 2.1) available for your application!. Do you want download this update now?");
const QString kClose = QStringLiteral(
    "To update your software the application will close to\n\rreplace some files. Do you want to update now?");
const QString kMissing = QStringLiteral("The updater module is missing. Please reinstall again the current version!");
const QString kNoUpdates = QStringLiteral("There's no new updates for this application!");
const QString kArgsFile = QStringLiteral("updater-args.txt");

QByteArray Description(const QByteArray &version)
{
    return "[APPLICATION]\r\nName=Tarnwick\r\nVersion=" + version + "\r\n";
}

// A stand-in updater: writes its arguments, one a line, beside itself.
void WriteUpdater(const TTempAppFolder &folder, bool executable = true)
{
    folder.Write(QStringLiteral("Updater"),
                 "#!/bin/sh\npwd -P > \"$(dirname \"$0\")/updater-cwd.txt\"\n"
                 "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/updater-args.tmp\"\n"
                 "mv \"$(dirname \"$0\")/updater-args.tmp\" \"$(dirname \"$0\")/updater-args.txt\"\n");
    QFile::setPermissions(folder.File(QStringLiteral("Updater")),
                          executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                     : QFile::ReadOwner | QFile::WriteOwner);
}

struct Fixture
{
    TTempAppFolder folder;
    THttpTestServer server;
    TScriptedMessages messages;
    std::unique_ptr<TfrmMain> window;

    Fixture()
    {
        window = std::make_unique<TfrmMain>(folder.Path(), &messages);
        // The news timer's own check would ask the same site.
        Child<QTimer>(window, "Timer1")->stop();
        Services(*window).SetUpdateBaseURL(server.Url(kSitePath));
    }
    void Offer(const QByteArray &version)
    {
        server.Route(kSitePath + "mainappupdate.inf", THttpTestServer::Ok(Description(version)));
    }
};

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        BrandingSettings() = TBrandingSettings{};
        QLocale::setDefault(QLocale::c());
    }

    void fixedSite();
    void dialogue_data();
    void dialogue();
    void failedDownloadLeavesNoFile_data();
    void failedDownloadLeavesNoFile();
    void fileThatCannotBeCreatedIsReported();
    void commaLocaleStillOffersUpdate();
    void closingWindowEndsTheWait();
    void checkUpdatesButtonHandsOverToUpdater();
};

void TestUpdate::fixedSite()
{
    TTempAppFolder folder;
    TScriptedMessages messages;
    TfrmMain window(folder.Path(), &messages);
    QVERIFY(Services(window).UpdateSite().startsWith("http://"));
    QVERIFY(Services(window).UpdateSite().endsWith("/liveupdate/tarnwick/"));
}

void TestUpdate::dialogue_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QString>("updater"); // "", "exe" or "plain"
    QTest::addColumn<QList<TModalResult>>("answers");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("started");

    const auto ok = TModalResult::mrOk;
    const auto cancel = TModalResult::mrCancel;
    QTest::newRow("offer accepted twice") << QByteArray("2.1") << false << "exe" << QList{ok, ok}
                                          << QStringList{kOffer21, kClose} << true;
    QTest::newRow("quiet still offers") << QByteArray("2.1") << true << "exe" << QList{ok, ok}
                                        << QStringList{kOffer21, kClose} << true;
    QTest::newRow("offer refused") << QByteArray("2.1") << false << "exe" << QList{cancel}
                                   << QStringList{kOffer21} << false;
    QTest::newRow("second question refused") << QByteArray("2.1") << false << "exe" << QList{ok, cancel}
                                             << QStringList{kOffer21, kClose} << false;
    QTest::newRow("updater missing") << QByteArray("2.1") << false << "" << QList{ok}
                                     << QStringList{kOffer21, kMissing} << false;
    QTest::newRow("updater not executable") << QByteArray("2.1") << false << "plain" << QList{ok}
                                            << QStringList{kOffer21, kMissing} << false;
    QTest::newRow("version as written") << QByteArray("2.10") << false << "exe" << QList{cancel}
                                        << QStringList{QString(kOffer21).replace("2.1)", "2.10)")} << false;
    QTest::newRow("same version, verbose") << QByteArray("2.0") << false << "exe" << QList<TModalResult>{}
                                           << QStringList{kNoUpdates} << false;
    QTest::newRow("same version, quiet") << QByteArray("2.0") << true << "exe" << QList<TModalResult>{}
                                         << QStringList{} << false;
    QTest::newRow("comma under the C locale") << QByteArray("2,1") << false << "exe" << QList<TModalResult>{}
                                              << QStringList{kNoUpdates} << false;
}

void TestUpdate::dialogue()
{
    QFETCH(QByteArray, version);
    QFETCH(bool, quiet);
    QFETCH(QString, updater);
    QFETCH(QList<TModalResult>, answers);
    QFETCH(QStringList, shown);
    QFETCH(bool, started);

    Fixture f;
    f.Offer(version);
    if (!updater.isEmpty())
        WriteUpdater(f.folder, updater == u"exe");
    for (TModalResult a : answers)
        f.messages.Answer(a);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));

    QCOMPARE(RunUpdateCheck(*f.window, quiet), started);
    QCOMPARE(f.messages.Texts(), shown);
    for (const TScriptedMessages::Shown &s : f.messages.shown) {
        if (s.text == kMissing) {
            QCOMPARE(s.kind, TMsgDlgType::mtWarning);
            QCOMPARE(s.buttons, TMsgDlgButtons(mbOK));
        } else {
            QCOMPARE(s.kind, TMsgDlgType::mtInformation);
            QCOMPARE(s.buttons, s.text == kNoUpdates ? TMsgDlgButtons(mbOK) : (mbOK | mbCancel));
        }
    }
    QCOMPARE(f.window->isVisible(), !started);
    // The description stays after a successful download.
    QCOMPARE(f.folder.Read(QStringLiteral("mainappupdate.inf")), Description(version));
    QCOMPARE(f.server.requests.size(), 1);
    QCOMPARE(f.server.requests[0].method, QByteArray("GET"));
    QCOMPARE(f.server.requests[0].target, kSitePath + "mainappupdate.inf");
    if (started)
        QTRY_VERIFY(f.folder.Exists(kArgsFile));
    else
        QVERIFY(!f.folder.Exists(kArgsFile));
}

void TestUpdate::failedDownloadLeavesNoFile_data()
{
    QTest::addColumn<QByteArray>("how");
    QTest::addColumn<bool>("quiet");
    QTest::newRow("404, verbose") << QByteArray("404") << false;
    QTest::newRow("404, quiet") << QByteArray("404") << true;
    QTest::newRow("500, verbose") << QByteArray("500") << false;
    QTest::newRow("refused, verbose") << QByteArray("refused") << false;
    QTest::newRow("refused, quiet") << QByteArray("refused") << true;
    QTest::newRow("cut short, verbose") << QByteArray("short") << false;
    QTest::newRow("larger than a description, verbose") << QByteArray("large") << false;
    QTest::newRow("larger than a description, quiet") << QByteArray("large") << true;
    QTest::newRow("server goes quiet, verbose") << QByteArray("quiet") << false;
}

void TestUpdate::failedDownloadLeavesNoFile()
{
    QFETCH(QByteArray, how);
    QFETCH(bool, quiet);
    Fixture f;
    WriteUpdater(f.folder);
    f.folder.Write(QStringLiteral("mainappupdate.inf"), Description("9.0")); // from an earlier check
    const QByteArray file = kSitePath + "mainappupdate.inf";
    if (how == "404")
        f.server.Route(file, THttpTestServer::Answer(404, Description("9.0")));
    else if (how == "500")
        f.server.Route(file, THttpTestServer::Answer(500, Description("9.0")));
    else if (how == "large")
        f.server.Route(file, THttpTestServer::Ok(Description("9.0") + "\r\n;" + QByteArray(64 * 1024, 'x') + "\r\n"));
    else if (how == "quiet") {
        f.server.SetSilent(true);
        HttpClient(*f.window).SetIdleTimeout(400);
    } else if (how == "short")
        f.server.Route(file, QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n") +
                                 Description("9.0"));
    else
        Services(*f.window).SetUpdateBaseURL("http://127.0.0.1:" + QByteArray::number(RefusingPort()) + kSitePath);

    QVERIFY(!RunUpdateCheck(*f.window, quiet));
    QCOMPARE(f.messages.Texts(), quiet ? QStringList{} : QStringList{kNoUpdates});
    QVERIFY(!f.folder.Exists(QStringLiteral("mainappupdate.inf")));
    QVERIFY(!f.folder.Exists(kArgsFile));
}

void TestUpdate::fileThatCannotBeCreatedIsReported()
{
    Fixture f;
    f.Offer("2.1");
    // A folder in the file's place can be neither deleted nor replaced.
    QVERIFY(QDir(f.folder.Path()).mkpath(QStringLiteral("mainappupdate.inf/x")));
    Child<QToolButton>(f.window, "btnUpdate")->click();
    QCOMPARE(f.messages.shown.size(), 1);
    QCOMPARE(f.messages.shown[0].kind, TMsgDlgType::mtError);
    QVERIFY2(f.messages.shown[0].text.contains(QStringLiteral("mainappupdate.inf")),
             qPrintable(f.messages.shown[0].text));
    QVERIFY(f.server.requests.isEmpty());
}

void TestUpdate::commaLocaleStillOffersUpdate()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    Fixture f;
    f.Offer("2.1");
    f.messages.Answer(TModalResult::mrCancel);
    QVERIFY(!RunUpdateCheck(*f.window, false));
    QCOMPARE(f.messages.Texts(), QStringList{kOffer21});
}

void TestUpdate::closingWindowEndsTheWait()
{
    Fixture f;
    f.server.SetSilent(true);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(20);
    QTimer::singleShot(300, f.window.get(), [&] { f.window->close(); });

    QVERIFY(!RunUpdateCheck(*f.window, false));
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.server.requests.size(), 1);
    QVERIFY(!HttpClient(*f.window).Busy());
    // The program is ending: no message, and no half-written description.
    QCOMPARE(f.messages.Texts(), QStringList{});
    QVERIFY(!f.folder.Exists(QStringLiteral("mainappupdate.inf")));
}

void TestUpdate::checkUpdatesButtonHandsOverToUpdater()
{
    Fixture f;
    BrandingSettings().ApplicationName = "Brand";
    BrandingSettings().BranderType = "Master";
    BrandingSettings().MasterNewsBaseURL = f.server.Url("/news/");
    BrandingSettings().MasterPublID = "pub";
    f.Offer("2.1");
    WriteUpdater(f.folder);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));

    RunUntil(Services(*f.window), &TPublisherServices::checkFinished,
             [&] { QTest::mouseClick(Child<QToolButton>(f.window, "btnUpdate"), Qt::LeftButton); });

    QCOMPARE(f.messages.Texts(), (QStringList{kOffer21, kClose}));
    QVERIFY(!f.window->isVisible());
    QTRY_VERIFY(f.folder.Exists(kArgsFile));
    QCOMPARE(f.folder.Read(kArgsFile), f.server.Url(kSitePath) + "\n2.0\nA\n");
    // The updater works in the application folder, not where the program was started from.
    QCOMPARE(f.folder.Read(QStringLiteral("updater-cwd.txt")), QDir(f.folder.Path()).canonicalPath().toUtf8() + "\n");
}

QTEST_MAIN(TestUpdate)
#include "test_update.moc"
