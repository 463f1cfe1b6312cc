// The updater's window: what it shows of a run, and how the user ends one.
#include "support/http_test_server.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "updater/update_job.h"
#include "updater/updater_window.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestUpdaterWindow : public QObject
{
    Q_OBJECT
private slots:
    // Cancel by the button or by closing the window, while the site has not
    // answered yet: the user is told once, and nothing is left behind.
    void userEndsTheRun_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("window closed") << true;
    }
    void userEndsTheRun()
    {
        QFETCH(bool, byClosing);
        TTempAppFolder folder;
        THttpTestServer server;
        server.SetSilent(true);
        TScriptedMessages messages;
        TUpdateJob job(folder.Path(), QString::fromLatin1(server.Url("/liveupdate/tarnwick/")), QStringLiteral("2.0"),
                       "no key needed before the site answers");
        TUpdaterWindow window(&job, messages);
        QSignalSpy done(&window, &TUpdaterWindow::done);
        window.show();
        job.Start();
        QTRY_COMPARE(server.requests.size(), 1);
        if (byClosing)
            window.close();
        else
            QTest::mouseClick(window.btnCancel, Qt::LeftButton);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.at(0).at(0).toBool(), false);
        QCOMPARE(messages.Texts(), QStringList{QStringLiteral("The update was cancelled.")});
        QCOMPARE(messages.shown.at(0).kind, TMsgDlgType::mtWarning);
        QVERIFY(!window.btnCancel->isEnabled());
        QCOMPARE(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("updater.log")});
    }

    void showsVersionNotesAndProgress()
    {
        TTempAppFolder folder;
        TScriptedMessages messages;
        TUpdateJob job(folder.Path(), QStringLiteral("http://127.0.0.1:1/liveupdate/tarnwick/"), QStringLiteral("2.0"),
                       {});
        TUpdaterWindow window(&job, messages);
        emit job.described(QStringLiteral("2.5"), QStringLiteral("Faster search."));
        QCOMPARE(window.lblVersion->text(), QStringLiteral("Updating to version 2.5"));
        QCOMPARE(window.memNotes->toPlainText(), QStringLiteral("Faster search."));
        QVERIFY(window.memNotes->isReadOnly());
        // Byte counts beyond an int's range still show as a share.
        emit job.progress(qint64(3) << 31, qint64(4) << 31, QStringLiteral("tarnwick"));
        QCOMPARE(window.prgBytes->value() * 4, window.prgBytes->maximum() * 3);
        QCOMPARE(window.lblFile->text(), QStringLiteral("Downloading tarnwick"));
        emit job.progress(0, 0, QString());
        QCOMPARE(window.prgBytes->value(), window.prgBytes->maximum());
    }
};

QTEST_MAIN(TestUpdaterWindow)
#include "test_updater_window.moc"
