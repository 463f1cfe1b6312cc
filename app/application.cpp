#include "application.h"

#include "util/error_reporter.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Tarnwick"));
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    ErrorReporter::Run([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
