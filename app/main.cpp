#include "app/application.h"
#include "app/main_window.h"

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TApplication app(argc, argv);
    TfrmMain frmMain(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    frmMain.show();
    return app.exec();
}
