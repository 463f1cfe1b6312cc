#include "app/application.h"
#include "app/desktop_entry.h"
#include "app/main_window.h"
#include "util/message_service.h"
#include "util/single_instance.h"
#include "util/window_place.h"

int main(int argc, char **argv)
{
    if (const int code = DesktopEntry::RunCommandLine(argc, argv); code >= 0)
        return code;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TApplication app(argc, argv);
    const QString appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');

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

    TfrmMain frmMain(appFolder);
    QObject::connect(&instance, &TSingleInstance::activationRequested, &frmMain,
                     [&frmMain] { BringToFront(&frmMain); });
    frmMain.show();
    return app.exec();
}
