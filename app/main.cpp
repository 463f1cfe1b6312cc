#include "app/application.h"
#include "app/book_lock_controller.h"
#include "app/desktop_entry.h"
#include "app/main_window.h"
#include "updater/update_journal.h"
#include "util/message_service.h"
#include "util/single_instance.h"
#include "util/window_place.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

int main(int argc, char **argv)
{
    if (const int code = DesktopEntry::RunCommandLine(argc, argv); code >= 0)
        return code;
    TApplication app(argc, argv);
    const QString appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString program = QCoreApplication::applicationFilePath();

    // An update that was cut short is undone before anything of the folder
    // is used, and told once: the journal goes with it.
    const UpdateJournal::TRecovery recovery = UpdateJournal::Recover(appFolder);
    if (const QString text = UpdateJournal::RecoveryMessage(recovery); !text.isEmpty()) {
        TSkinMessage msgMain;
        msgMain.MessageDlg(text,
                           recovery.outcome == UpdateJournal::TOutcome::RolledBack ? TMsgDlgType::mtInformation
                                                                                   : TMsgDlgType::mtWarning,
                           mbOK);
    }
    // This process may be the new program that was just taken back: the one
    // put back runs instead.
    if (recovery.restored.contains(QFileInfo(program).fileName()) &&
        QProcess::startDetached(program, QCoreApplication::arguments().mid(1), appFolder))
        return 0;

    // A second copy in this folder would overwrite the first one's book.
    TSingleInstance instance(appFolder);
    switch (instance.Claim()) {
    case TSingleInstance::TClaim::HandedOver:
        return 0;
    case TSingleInstance::TClaim::Unreachable: {
        // Nothing is loaded or written: the other window owns the book.
        TSkinMessage msgMain;
        msgMain.MessageDlg(QStringLiteral("This account book is already open in another window. "
                                          "Use that window, or close it and start the program again."),
                           TMsgDlgType::mtWarning, mbOK);
        return 1;
    }
    case TSingleInstance::TClaim::First:
        break;
    }
    instance.WatchTermination();

    TfrmMain frmMain(appFolder);
    QObject::connect(&instance, &TSingleInstance::activationRequested, &frmMain,
                     [&frmMain] { BringToFront(&frmMain); });
    frmMain.show();
    // The first start in an empty folder offers to protect the new book,
    // asked once the window stands.
    if (auto *lock = frmMain.findChild<TBookLockController *>(QStringLiteral("BookLockController")))
        QTimer::singleShot(0, lock, [lock] { lock->OfferProtectionAtStart(); });
    // SIGTERM closes the window as the user would, so that the book's last
    // save, the layout, the lock and the socket are all seen to. Connected
    // once the window is shown: a request that came earlier is delivered in
    // the event loop, where quitting it works.
    QObject::connect(&instance, &TSingleInstance::terminationRequested, &frmMain, [&frmMain, &app] {
        if (frmMain.close())
            app.quit();
    });
    return app.exec();
}
