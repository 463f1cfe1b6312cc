// The updater: started by the program's update check with the update site's
// address, the running version and "A", from the application folder.
#include "update_job.h"
#include "update_key.h"
#include "updater_window.h"
#include "util/message_service.h"

#include <QApplication>
#include <QDir>
#include <QProcess>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: Updater <update site address> <running version> A\n");
        return 2;
    }
    // The folder of this executable is the one to update, wherever it was
    // started from.
    const QString folder = QCoreApplication::applicationDirPath() + u'/';
    TUpdateJob job(folder, args.at(1), args.at(2), QByteArray(UpdatePublicKeyPem));
    TSkinMessage messages;
    TUpdaterWindow window(&job, messages);
    bool cancelled = false;
    QObject::connect(&window, &TUpdaterWindow::done, &app, [&](bool) {
        cancelled = job.Message() == QStringLiteral("The update was cancelled.");
        // The program closed itself for the update; unless it still runs,
        // the user gets it back, new or as it was.
        if (TUpdateJob::ProgramProcesses(folder).isEmpty())
            QProcess::startDetached(folder + QLatin1String(UpdateManifest::ProgramName), {}, folder);
        app.quit();
    });
    // An earlier update cut short is undone first, and the user hears of it
    // once: the journal that told goes with it.
    const QString recovered = job.RecoverInterrupted();
    window.show();
    if (!recovered.isEmpty())
        messages.MessageDlg(recovered, TMsgDlgType::mtInformation, mbOK);
    job.Start();
    app.exec();
    return job.Succeeded() ? 0 : (cancelled ? 3 : 1);
}
