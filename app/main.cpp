#include "app/application.h"
#include "app/desktop_entry.h"
#include "app/main_window.h"

int main(int argc, char **argv)
{
    if (const int code = DesktopEntry::RunCommandLine(argc, argv); code >= 0)
        return code;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TApplication app(argc, argv);
    TfrmMain frmMain(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    frmMain.show();
    return app.exec();
}
