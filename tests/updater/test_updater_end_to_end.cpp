// From a synthetic application folder to an installed update: the site is
// made by tarnwick-release, served on loopback, and installed by the updater
// into a temporary folder that holds a user's files as well.
#include "support/http_test_server.h"
#include "updater/release_signing.h"
#include "updater/update_job.h"
#include "updater/update_journal.h"
#include "updater/update_manifest.h"
#include "settings/last_news.h"
#include "settings/settings_container.h"
#include "util/file_crypt.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kSitePath = "/liveupdate/tarnwick/";

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    f.close();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    (executable ? QFileDevice::ExeOwner : QFileDevice::Permissions()));
}

// A stand-in program: answers --version, and otherwise notes that it was
// started, with its version, in its folder.
QByteArray StandIn(const QByteArray &version)
{
    return "#!/bin/sh\nif [ \"$1\" = --version ]; then echo " + version +
           "; exit 0; fi\necho \"started " + version + "\" >> \"$(dirname \"$0\")/started.txt\"\n";
}

// Every file below `folder` with its bytes and mode, but the updater's log.
QMap<QString, QByteArray> Snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = QDir(folder).relativeFilePath(info.filePath());
        if (name == QLatin1String(UpdateManifest::LogName))
            continue;
        files[name] = QByteArray::number(info.permissions().toInt(), 16) + ':' +
                      (info.isDir() ? QByteArray("<dir>") : ReadAll(info.filePath()));
    }
    return files;
}

int Run(const QString &program, const QStringList &args, QByteArray *output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return -1;
    if (output)
        *output = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

struct Fixture
{
    QTemporaryDir root;
    QString release = root.filePath(QStringLiteral("release"));
    QString installed = root.filePath(QStringLiteral("installed"));
    QString site = root.filePath(QStringLiteral("site"));
    THttpTestServer server;
    // Answers that replace the site's file at that path.
    QHash<QByteArray, QByteArray> overrides;
    std::function<void(const QByteArray &path)> onRequest;

    Fixture()
    {
        // The new release: a new program and readme, the same updater.
        WriteAll(release + QStringLiteral("/tarnwick"), StandIn("2.5"), true);
        WriteAll(release + QStringLiteral("/README"), "Tarnwick 2.5\n" + QByteArray(70000, 'r'));
        QFile::copy(QStringLiteral(UPDATER_EXE), release + QStringLiteral("/Updater"));
        WriteAll(release + QStringLiteral("/tarnwick.svg"), "<svg/>");
        // The installed one, with the user's files beside it.
        WriteAll(installed + QStringLiteral("/tarnwick"), StandIn("2.0"), true);
        WriteAll(installed + QStringLiteral("/README"), "Tarnwick 2.0\n");
        QFile::copy(QStringLiteral(UPDATER_EXE), installed + QStringLiteral("/Updater"));
        WriteAll(installed + QStringLiteral("/tarnwick.svg"), "<svg/>");
        WriteAll(installed + QStringLiteral("/categories.dat"), "Shops\r\n");
        WriteAll(installed + QStringLiteral("/items.dat"), "Shops\xA5One\xA5\r\n");
        WriteAll(installed + QStringLiteral("/dbsettings.dat"), "container");
        WriteAll(installed + QStringLiteral("/tarnwick.ini"), "[Window]\r\nWidth=1200\r\n");
        WriteAll(installed + QStringLiteral("/backups/items.dat.20260101-000000"), "old");
        WriteAll(installed + QStringLiteral("/browser/Cookies"), "cookie");

        server.SetHandler([this](const THttpTestServer::Request &r) -> QByteArray {
            const QByteArray path = r.target.left(r.target.indexOf('?') < 0 ? r.target.size() : r.target.indexOf('?'));
            if (onRequest)
                onRequest(path);
            if (overrides.contains(path))
                return overrides.value(path);
            if (!path.startsWith(kSitePath))
                return THttpTestServer::Answer(404);
            const QString file = site + u'/' + QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(kSitePath.size())));
            if (file.contains(QStringLiteral("..")) || !QFileInfo(file).isFile())
                return THttpTestServer::Answer(404);
            return THttpTestServer::Ok(ReadAll(file));
        });
    }

    bool MakeSite(const QStringList &extra = {}, QByteArray *output = nullptr)
    {
        WriteAll(root.filePath(QStringLiteral("notes.md")), "Faster search.\n");
        return Run(QStringLiteral(TARNWICK_RELEASE_EXE),
                   QStringList{QStringLiteral("make"), QStringLiteral("--app-folder"), release, QStringLiteral("--key"),
                               QStringLiteral(DEV_PRIVATE_KEY), QStringLiteral("--notes"),
                               root.filePath(QStringLiteral("notes.md")), QStringLiteral("--out"), site} +
                       extra,
                   output) == 0;
    }

    QByteArray SitePath(const QString &name) const { return kSitePath + name.toUtf8(); }

    // Replaces the served description with `json`, signed by `privateKey`.
    void ServeManifest(const QByteArray &json, const QByteArray &privateKey)
    {
        QString error;
        overrides[SitePath(QLatin1String(UpdateManifest::ManifestName))] = THttpTestServer::Ok(json);
        overrides[SitePath(QLatin1String(UpdateManifest::SignatureName))] =
            THttpTestServer::Ok(ReleaseSigning::Sign(privateKey, json, error));
    }

    std::unique_ptr<TUpdateJob> Job(const QString &ownVersion)
    {
        auto job = std::make_unique<TUpdateJob>(installed, QString::fromLatin1(server.Url(kSitePath)), ownVersion,
                                                ReadAll(QStringLiteral(DEV_PUBLIC_KEY)));
        job->SetWaitLimit(3000);
        return job;
    }
};

// A settings container of the program's own making at `path`.
void WriteContainer(const QString &path, const QByteArray &plaintext)
{
    const QString plain = path + QStringLiteral(".txt");
    WriteAll(plain, plaintext);
    if (!EncryptFileToFile(plain, path))
        qFatal("cannot encrypt %s", qPrintable(path));
    QFile::remove(plain);
}

QByteArray DevPrivateKey()
{
    return ReadAll(QStringLiteral(DEV_PRIVATE_KEY));
}

} // namespace

class TestUpdaterEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    // The real updater, started as the program starts it, installs the new
    // version, leaves the user's files alone and starts the new program.
    void updaterProgramInstallsAndStartsNewVersion()
    {
        Fixture f;
        QVERIFY(f.MakeSite());
        const QMap<QString, QByteArray> before = Snapshot(f.installed);
        QProcess updater;
        updater.setWorkingDirectory(f.installed);
        updater.setProcessChannelMode(QProcess::ForwardedChannels);
        updater.start(f.installed + QStringLiteral("/Updater"),
                      {QString::fromLatin1(f.server.Url(kSitePath)), QStringLiteral("2.0"), QStringLiteral("A")});
        QVERIFY(updater.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(updater.state() == QProcess::NotRunning, 60000);
        QCOMPARE(updater.exitCode(), 0);

        for (const QString &name : QStringList{QStringLiteral("tarnwick"), QStringLiteral("README"), QStringLiteral("Updater"), QStringLiteral("tarnwick.svg")})
            QCOMPARE(ReadAll(f.installed + u'/' + name), ReadAll(f.release + u'/' + name));
        QVERIFY(QFileInfo(f.installed + QStringLiteral("/tarnwick")).isExecutable());
        const QMap<QString, QByteArray> after = Snapshot(f.installed);
        for (const QString &user : {QStringLiteral("categories.dat"), QStringLiteral("items.dat"),
                                    QStringLiteral("dbsettings.dat"), QStringLiteral("tarnwick.ini"),
                                    QStringLiteral("backups/items.dat.20260101-000000"),
                                    QStringLiteral("browser/Cookies")})
            QCOMPARE(after.value(user), before.value(user));
        QTRY_COMPARE_WITH_TIMEOUT(ReadAll(f.installed + QStringLiteral("/started.txt")), QByteArray("started 2.5\n"),
                                  10000);
        for (const QString &name : after.keys())
            QVERIFY2(!name.startsWith(u'.'), qPrintable(name));
        QVERIFY(ReadAll(f.installed + u'/' + QLatin1String(UpdateManifest::LogName)).contains("done: Version 2.5"));
        // Only what differed was fetched.
        bool fetchedUpdater = false;
        for (const THttpTestServer::Request &r : std::as_const(f.server.requests))
            fetchedUpdater = fetchedUpdater || r.target.endsWith("files/Updater");
        QVERIFY(!fetchedUpdater);
    }

    // Whatever goes wrong before the swap, the installed folder is left
    // exactly as it was.
    void refusedUpdateLeavesFolderUntouched_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("ownVersion");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("bad signature") << "other key" << "2.0" << "not signed";
        QTest::newRow("signature missing") << "no signature" << "2.0" << "could not be reached";
        QTest::newRow("description changed after signing") << "changed description" << "2.0" << "not signed";
        QTest::newRow("changed file") << "changed file" << "2.0" << "not the one";
        QTest::newRow("truncated file") << "truncated file" << "2.0" << "not the one";
        QTest::newRow("file longer than described") << "longer file" << "2.0" << "larger";
        QTest::newRow("file missing on site") << "missing file" << "2.0" << "could not be reached";
        QTest::newRow("path with dot dot") << "dot dot" << "2.0" << "may not write";
        QTest::newRow("user file named") << "user file" << "2.0" << "may not write";
        QTest::newRow("window settings named") << "window settings" << "2.0" << "may not write";
        QTest::newRow("settings plaintext named") << "settings plaintext" << "2.0" << "may not write";
        QTest::newRow("same version") << "" << "2.5" << "not newer";
        QTest::newRow("downgrade") << "" << "3" << "not newer";
        QTest::newRow("minimum above the running version") << "minimum" << "2.0" << "needs version 2.25";
        QTest::newRow("running version unreadable") << "" << "2.10" << "cannot be compared";
    }
    void refusedUpdateLeavesFolderUntouched()
    {
        QFETCH(QString, fault);
        QFETCH(QString, ownVersion);
        QFETCH(QString, messagePart);
        Fixture f;
        QVERIFY(f.MakeSite(fault == u"minimum" ? QStringList{QStringLiteral("--min-version"), QStringLiteral("2.25")}
                                              : QStringList{}));
        const QByteArray json = ReadAll(f.site + u'/' + QLatin1String(UpdateManifest::ManifestName));
        const QByteArray program = ReadAll(f.site + QStringLiteral("/files/tarnwick"));
        const QByteArray programPath = f.SitePath(QStringLiteral("files/tarnwick"));
        QString error;
        if (fault == u"other key") {
            QByteArray otherPrivate, otherPublic;
            QVERIFY(ReleaseSigning::GenerateKeyPair(otherPrivate, otherPublic, error));
            f.ServeManifest(json, otherPrivate);
        } else if (fault == u"no signature") {
            f.overrides[f.SitePath(QLatin1String(UpdateManifest::SignatureName))] = THttpTestServer::Answer(404);
        } else if (fault == u"changed description") {
            f.overrides[f.SitePath(QLatin1String(UpdateManifest::ManifestName))] =
                THttpTestServer::Ok(QByteArray(json).replace("Faster", "Slower"));
        } else if (fault == u"changed file") {
            f.overrides[programPath] = THttpTestServer::Ok(QByteArray(program).replace("started", "STARTED"));
        } else if (fault == u"truncated file") {
            f.overrides[programPath] = THttpTestServer::Ok(program.chopped(5));
        } else if (fault == u"longer file") {
            f.overrides[programPath] = THttpTestServer::Ok(program + "rm -rf \"$HOME\"\n");
        } else if (fault == u"missing file") {
            f.overrides[programPath] = THttpTestServer::Answer(404);
        } else if (fault == u"dot dot" || fault == u"user file" || fault == u"window settings" ||
                   fault == u"settings plaintext") {
            const QByteArray name = fault == u"dot dot"          ? "../escaped"
                                    : fault == u"user file"      ? "items.dat"
                                    : fault == u"window settings" ? "tarnwick.ini"
                                                                  : "dbsettings.sim";
            f.ServeManifest(QByteArray(json).replace("\"README\"", "\"" + name + "\""), DevPrivateKey());
        }
        const QMap<QString, QByteArray> before = Snapshot(f.installed);
        const QStringList outside = QDir(f.root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        auto job = f.Job(ownVersion);
        job->Start();
        QTRY_VERIFY_WITH_TIMEOUT(job->IsFinished(), 30000);
        QVERIFY(!job->Succeeded());
        QVERIFY2(job->Message().contains(messagePart), qPrintable(job->Message()));
        QCOMPARE(Snapshot(f.installed), before);
        QCOMPARE(QDir(f.root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), outside);
        QVERIFY(ReadAll(f.installed + u'/' + QLatin1String(UpdateManifest::LogName)).contains("failed: "));
    }

    // A site that sends its description without end, or announces one over
    // the cap, is given up at the cap: the updater takes little more off the
    // connection than that.
    void endlessDescriptionEndsAtItsCap_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("body"); // sent again and again
        const QByteArray chunk(64 * 1024, '{');
        QTest::newRow("unsized") << THttpStreamServer::UnsizedHead() << chunk;
        QTest::newRow("announced over the cap")
            << "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(UpdateManifest::MaxManifestSize + 1) +
                   "\r\n\r\n"
            << chunk;
    }
    void endlessDescriptionEndsAtItsCap()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, body);
        QTemporaryDir folder;
        THttpStreamServer server(head, body, true);
        TUpdateJob job(folder.path(), QString::fromLatin1(server.Url(kSitePath)), QStringLiteral("2.0"),
                       ReadAll(QStringLiteral(DEV_PUBLIC_KEY)));
        job.Start();
        QTRY_VERIFY_WITH_TIMEOUT(job.IsFinished(), 30000);
        QVERIFY(!job.Succeeded());
        QCOMPARE(job.Message(), QStringLiteral("The update site sent more than expected."));
        QTRY_VERIFY(server.ClientHungUp());
        // What the sockets' buffers on loopback can hold between the ends.
        const qint64 socketSlack = 8 * 1024 * 1024;
        QVERIFY2(server.BodyBytesSent() <= UpdateManifest::MaxManifestSize + socketSlack,
                 qPrintable(QStringLiteral("%1 bytes sent").arg(server.BodyBytesSent())));
        QCOMPARE(server.Requests(), 1);
    }

    // Cancel while a file is on its way, before or after its first bytes.
    void cancelLeavesFolderUntouched_data()
    {
        QTest::addColumn<bool>("partlySent");
        QTest::newRow("waiting for the file") << false;
        QTest::newRow("part of the file written") << true;
    }
    void cancelLeavesFolderUntouched()
    {
        QFETCH(bool, partlySent);
        Fixture f;
        QVERIFY(f.MakeSite());
        const QByteArray readme = ReadAll(f.site + QStringLiteral("/files/README"));
        // The readme comes first; its answer promises more than it sends.
        f.overrides[f.SitePath(QStringLiteral("files/README"))] =
            partlySent ? "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(readme.size()) + "\r\n\r\n" +
                             readme.left(1000)
                       : QByteArray();
        const QMap<QString, QByteArray> before = Snapshot(f.installed);
        auto job = f.Job(QStringLiteral("2.0"));
        bool staged = false;
        connect(job.get(), &TUpdateJob::progress, this, [&](qint64 done, qint64, const QString &file) {
            if (file == u"README" && (!partlySent || done > 0)) {
                staged = QFileInfo::exists(f.installed + QStringLiteral("/.README.update-new"));
                QMetaObject::invokeMethod(job.get(), &TUpdateJob::Cancel, Qt::QueuedConnection);
            }
        });
        job->Start();
        QTRY_VERIFY_WITH_TIMEOUT(job->IsFinished(), 30000);
        QVERIFY(staged);
        QVERIFY(!job->Succeeded());
        QCOMPARE(job->Message(), QStringLiteral("The update was cancelled."));
        QCOMPARE(Snapshot(f.installed), before);
    }

    // A swap that fails part-way puts back every file already replaced.
    void failureHalfWayRestoresEverything_data()
    {
        QTest::addColumn<int>("failingSwap");
        QTest::newRow("first file") << 1;
        QTest::newRow("second file") << 2;
    }
    void failureHalfWayRestoresEverything()
    {
        QFETCH(int, failingSwap);
        Fixture f;
        QVERIFY(f.MakeSite());
        const QMap<QString, QByteArray> before = Snapshot(f.installed);
        auto job = f.Job(QStringLiteral("2.0"));
        int swaps = 0;
        // The downloaded file vanishes just before its swap, as on a disk
        // that fails.
        job->beforeReplace = [&](const QString &name) {
            if (++swaps == failingSwap)
                QFile::remove(f.installed + QStringLiteral("/.") + name + QStringLiteral(".update-new"));
        };
        job->Start();
        QTRY_VERIFY_WITH_TIMEOUT(job->IsFinished(), 30000);
        QCOMPARE(swaps, failingSwap);
        QVERIFY(!job->Succeeded());
        QVERIFY2(job->Message().contains(QStringLiteral("Your program is unchanged.")), qPrintable(job->Message()));
        QCOMPARE(Snapshot(f.installed), before);
        if (failingSwap > 1)
            QVERIFY(ReadAll(f.installed + u'/' + QLatin1String(UpdateManifest::LogName)).contains("restored README"));
    }

    // An update killed half-way is undone by the next start of the updater,
    // which notes it in its log before it goes on.
    void updaterStartUndoesAnInterruptedUpdate()
    {
        Fixture f;
        const QMap<QString, QByteArray> before = Snapshot(f.installed);
        // As a swap killed after its readme and a new file went in, with the
        // new program still staged.
        const QString dir = f.installed + u'/';
        WriteAll(dir + UpdateJournal::KeptName(QStringLiteral("README")), ReadAll(dir + QStringLiteral("README")));
        WriteAll(dir + QStringLiteral("README"), "Tarnwick 2.5\n");
        WriteAll(dir + QStringLiteral("tarnwick.metainfo.xml"), "<component/>");
        WriteAll(dir + UpdateJournal::StagedName(QStringLiteral("tarnwick")), StandIn("2.5"));
        WriteAll(dir + QLatin1String(UpdateManifest::LogName), "done: Version 2.0 is installed.\n");
        WriteAll(dir + QLatin1String(UpdateJournal::JournalName),
                 UpdateJournal::Format({QStringLiteral("2.0"),
                                        QStringLiteral("2.5"),
                                        false,
                                        {{QStringLiteral("tarnwick"), true},
                                         {QStringLiteral("README"), true},
                                         {QStringLiteral("tarnwick.metainfo.xml"), false}}}));
        QProcess updater;
        updater.setProcessChannelMode(QProcess::ForwardedChannels);
        updater.start(f.installed + QStringLiteral("/Updater"),
                      {QString::fromLatin1(f.server.Url(kSitePath)), QStringLiteral("2.0"), QStringLiteral("A")});
        QVERIFY(updater.waitForStarted());
        // Its message waits for the user; the folder is whole before it shows.
        QTRY_VERIFY_WITH_TIMEOUT(ReadAll(dir + QLatin1String(UpdateManifest::LogName)).contains("was undone"), 30000);
        QCOMPARE(Snapshot(f.installed), before);
        updater.kill();
        updater.waitForFinished();
    }

    // The swap waits for the program of the folder to end, within a bound.
    void waitsForTheRunningProgram_data()
    {
        QTest::addColumn<QString>("runFor");
        QTest::addColumn<bool>("ok");
        QTest::newRow("ends within the wait") << "1" << true;
        QTest::newRow("still running after it") << "10" << false;
    }
    void waitsForTheRunningProgram()
    {
        QFETCH(QString, runFor);
        QFETCH(bool, ok);
        Fixture f;
        QVERIFY(f.MakeSite());
        // A real executable under the program's name, as a running copy is.
        QFile::remove(f.installed + QStringLiteral("/tarnwick"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), f.installed + QStringLiteral("/tarnwick")));
        QProcess running;
        running.start(f.installed + QStringLiteral("/tarnwick"), {runFor});
        QVERIFY(running.waitForStarted());
        QTRY_VERIFY(!TUpdateJob::ProgramProcesses(f.installed).isEmpty());
        const QMap<QString, QByteArray> before = Snapshot(f.installed);
        auto job = f.Job(QStringLiteral("2.0"));
        job->Start();
        QTRY_VERIFY_WITH_TIMEOUT(job->IsFinished(), 30000);
        QCOMPARE(job->Succeeded(), ok);
        if (ok) {
            QCOMPARE(running.state(), QProcess::NotRunning);
            QCOMPARE(ReadAll(f.installed + QStringLiteral("/tarnwick")), ReadAll(f.release + QStringLiteral("/tarnwick")));
        } else {
            QVERIFY2(job->Message().contains(QStringLiteral("still running")), qPrintable(job->Message()));
            QCOMPARE(Snapshot(f.installed), before);
        }
        running.kill();
        running.waitForFinished();
    }

    // An update made with the brand replaces the publisher's files like the
    // program's, keeps which news the user has read, and leaves the user's
    // files alone; a failure half-way puts the old brand back.
    void brandUpdate_data()
    {
        QTest::addColumn<QByteArray>("oldMarker");
        QTest::addColumn<int>("failingSwap");
        QTest::newRow("marker carried over") << QByteArray("7") << 0;
        QTest::newRow("no news read yet") << QByteArray() << 0;
        QTest::newRow("failure at the last file") << QByteArray("7") << -1;
    }
    void brandUpdate()
    {
        QFETCH(QByteArray, oldMarker);
        QFETCH(int, failingSwap);
        Fixture f;
        const QString brand = f.root.filePath(QStringLiteral("brand"));
        WriteContainer(brand + QStringLiteral("/dbsettings.dat"),
                       "<%%ApplicationName%%>Acme Books<%%/ApplicationName%%>\r\n"
                       "<%%Banner1%%>new.png^http://acme.example/<%%/Banner1%%>\r\n");
        WriteAll(brand + QStringLiteral("/banner1.dat"), "new banner");
        WriteAll(brand + QStringLiteral("/mainskin.dat"), "#btnNews { color: red; }");
        // The folder of a branded archive, with an older brand in it: the
        // brand folder's files are the ones shipped.
        WriteAll(f.release + QStringLiteral("/banner1.dat"), "banner of the archive");
        QByteArray oldText = "<%%ApplicationName%%>Acme<%%/ApplicationName%%>\r\n";
        if (!oldMarker.isEmpty())
            oldText += "<%%LastNewsId%%>" + oldMarker + "<%%/LastNewsId%%>\r\n";
        WriteContainer(f.installed + QStringLiteral("/dbsettings.dat"), oldText);
        WriteAll(f.installed + QStringLiteral("/banner1.dat"), "old banner");
        QByteArray output;
        QVERIFY2(f.MakeSite({QStringLiteral("--brand"), brand}, &output), output.constData());
        const QMap<QString, QByteArray> before = Snapshot(f.installed);

        auto job = f.Job(QStringLiteral("2.0"));
        // The brand's files are swapped after the program's; the last one
        // failing puts back the others.
        job->beforeReplace = [&](const QString &name) {
            if (failingSwap < 0 && name == u"mainskin.dat")
                QFile::remove(f.installed + QStringLiteral("/.") + name + QStringLiteral(".update-new"));
        };
        job->Start();
        QTRY_VERIFY_WITH_TIMEOUT(job->IsFinished(), 30000);
        const QMap<QString, QByteArray> after = Snapshot(f.installed);
        if (failingSwap < 0) {
            QVERIFY(!job->Succeeded());
            QCOMPARE(after, before);
            return;
        }
        QVERIFY2(job->Succeeded(), qPrintable(job->Message()));
        QCOMPARE(ReadAll(f.installed + QStringLiteral("/banner1.dat")), QByteArray("new banner"));
        QCOMPARE(ReadAll(f.installed + QStringLiteral("/mainskin.dat")), QByteArray("#btnNews { color: red; }"));
        const QString folder = f.installed + u'/';
        QCOMPARE(ReadLastNewsId(folder), oldMarker);
        QByteArray text;
        QCOMPARE(ReadSettingsText(folder, text), TContainerState::Opened);
        QVERIFY(text.contains("Acme Books"));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("dbsettings.sim")));
        for (const QString &user : {QStringLiteral("categories.dat"), QStringLiteral("items.dat"),
                                    QStringLiteral("tarnwick.ini"), QStringLiteral("backups/items.dat.20260101-000000"),
                                    QStringLiteral("browser/Cookies")})
            QCOMPARE(after.value(user), before.value(user));
    }

    // What the release tool refuses to publish.
    void releaseToolRefuses_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("book in the folder") << "items.dat" << "holds user files";
        QTest::newRow("settings container") << "dbsettings.dat" << "holds user files";
        QTest::newRow("browser profile") << "browser/" << "holds user files";
        QTest::newRow("window settings") << "tarnwick.ini" << "holds user files (tarnwick.ini)";
        QTest::newRow("updater's journal") << "updater.journal" << "holds user files (updater.journal)";
        QTest::newRow("sub-folder") << "lib/" << "not a plain file";
        QTest::newRow("misread version") << "version 2.10" << "rank below \"2.9\"";
        QTest::newRow("three-part version") << "version 2.0.1" << "not a number";
        QTest::newRow("version read above itself") << "version 2.2" << "\"2.1\" or \"2.3\"";
        QTest::newRow("2.9 read above itself") << "version 2.9" << "\"2.8\" or \"3\"";
        QTest::newRow("minimum not below") << "minimum 2.5" << "not below";
        QTest::newRow("updater trusts another key") << "other key" << "does not trust";
        QTest::newRow("no updater") << "no updater" << "has no Updater";
        QTest::newRow("book in the brand") << "brand items.dat" << "not one of the publisher's files";
        QTest::newRow("window settings in the brand") << "brand tarnwick.ini" << "tarnwick.ini, which is not";
        QTest::newRow("container that does not open") << "brand dbsettings.dat" << "does not open";
    }
    void releaseToolRefuses()
    {
        QFETCH(QString, fault);
        QFETCH(QString, messagePart);
        Fixture f;
        QStringList extra;
        if (fault.startsWith(u"version "))
            WriteAll(f.release + QStringLiteral("/tarnwick"), StandIn(fault.mid(8).toLatin1()), true);
        else if (fault.startsWith(u"minimum "))
            extra = {QStringLiteral("--min-version"), fault.mid(8)};
        else if (fault == u"other key")
            WriteAll(f.release + QStringLiteral("/Updater"), "no key inside", true);
        else if (fault == u"no updater")
            QFile::remove(f.release + QStringLiteral("/Updater"));
        else if (fault.startsWith(u"brand ")) {
            const QString brand = f.root.filePath(QStringLiteral("brand"));
            WriteAll(brand + QStringLiteral("/banner1.dat"), "banner");
            WriteAll(brand + u'/' + fault.mid(6), "not a container");
            extra = {QStringLiteral("--brand"), brand};
        }
        else if (fault.endsWith(u'/'))
            QDir().mkpath(f.release + u'/' + fault);
        else
            WriteAll(f.release + u'/' + fault, "x");
        QByteArray output;
        QVERIFY(!f.MakeSite(extra, &output));
        QVERIFY2(output.contains(messagePart.toUtf8()), output.constData());
        QVERIFY(!QFileInfo::exists(f.site + QStringLiteral("/mainappupdate.inf")));
    }

    // Versions whose floating-point reading lies below their value are safe
    // to publish.
    void releaseToolAcceptsSafeVersions_data()
    {
        QTest::addColumn<QByteArray>("version");
        for (const char *v : {"2.1", "2.3", "2.25", "3"})
            QTest::newRow(v) << QByteArray(v);
    }
    void releaseToolAcceptsSafeVersions()
    {
        QFETCH(QByteArray, version);
        Fixture f;
        WriteAll(f.release + QStringLiteral("/tarnwick"), StandIn(version), true);
        QByteArray output;
        QVERIFY2(f.MakeSite({}, &output), output.constData());
        QVERIFY(ReadAll(f.site + QStringLiteral("/mainappupdate.inf")).contains("Version=" + version + "\r\n"));
    }

    // --help tells every command and option; a wrong call is told the short
    // usage and ends with 2, changing nothing.
    void releaseToolUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exit");
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("help after a command") << QStringList{"make", "-h"} << 0;
        QTest::newRow("nothing") << QStringList{} << 2;
        QTest::newRow("unknown command") << QStringList{"publish"} << 2;
        QTest::newRow("keygen without a name") << QStringList{"keygen"} << 2;
        QTest::newRow("option without its value") << QStringList{"make", "--out"} << 2;
        QTest::newRow("unknown option") << QStringList{"make", "--colour", "red"} << 2;
        QTest::newRow("make without a key") << QStringList{"make", "--app-folder", "x", "--out", "y"} << 2;
    }
    void releaseToolUsage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exit);
        QTemporaryDir cwd;
        QProcess p;
        p.setWorkingDirectory(cwd.path());
        p.start(QStringLiteral(TARNWICK_RELEASE_EXE), arguments);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), exit);
        const QByteArray out = p.readAllStandardOutput();
        const QByteArray err = p.readAllStandardError();
        if (exit == 0) {
            QVERIFY(err.isEmpty());
            for (const char *part : {"keygen NAME", "--app-folder DIR", "--key PRIVATE", "--notes NOTES.md",
                                     "--out SITE", "--min-version V", "--brand DIR", "--help"})
                QVERIFY2(out.contains(part), part);
        } else {
            QVERIFY(out.isEmpty());
            QVERIFY2(err.contains("usage: tarnwick-release keygen NAME | make"), err.constData());
        }
        QCOMPARE(QDir(cwd.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void releaseToolKeygenAndSite()
    {
        Fixture f;
        const QString name = f.root.filePath(QStringLiteral("publisher"));
        QCOMPARE(Run(QStringLiteral(TARNWICK_RELEASE_EXE), {QStringLiteral("keygen"), name}), 0);
        QCOMPARE(QFileInfo(name + QStringLiteral(".private.pem")).permissions().toInt() & 0x0777, 0x0600);
        // A key is never overwritten.
        QCOMPARE(Run(QStringLiteral(TARNWICK_RELEASE_EXE), {QStringLiteral("keygen"), name}), 1);
        QVERIFY(f.MakeSite());
        QCOMPARE(ReadAll(f.site + QStringLiteral("/mainappupdate.inf")),
                 QByteArray("[APPLICATION]\r\nName=Tarnwick\r\nVersion=2.5\r\n"));
        const QByteArray json = ReadAll(f.site + u'/' + QLatin1String(UpdateManifest::ManifestName));
        QVERIFY(ReleaseSigning::Verify(ReadAll(QStringLiteral(DEV_PUBLIC_KEY)), json,
                                       ReadAll(f.site + u'/' + QLatin1String(UpdateManifest::SignatureName))));
        QString error;
        const std::optional<UpdateManifest::TManifest> m = UpdateManifest::Parse(json, error);
        QVERIFY2(m, qPrintable(error));
        QCOMPARE(m->version, QStringLiteral("2.5"));
        QCOMPARE(m->notes, QStringLiteral("Faster search.\n"));
        QCOMPARE(m->files.size(), 4);
        for (const UpdateManifest::TFile &file : m->files) {
            QCOMPARE(file.sha256, ReleaseSigning::FileSha256Hex(f.release + u'/' + file.name));
            QCOMPARE(ReadAll(f.site + QStringLiteral("/files/") + file.name), ReadAll(f.release + u'/' + file.name));
            QCOMPARE(file.mode, file.name == u"tarnwick" || file.name == u"Updater" ? 0755 : 0644);
        }
    }
};

QTEST_GUILESS_MAIN(TestUpdaterEndToEnd)
#include "test_updater_end_to_end.moc"
