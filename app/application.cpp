#include "application.h"

#include "util/error_reporter.h"
#include "util/private_temp.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Tarnwick"));
    // The book's passwords are in this process's memory from the start: no
    // core file and no other process of the user may read them.
    MakeProcessUndumpable();
    // A run that was killed could not remove its private files.
    PrivateTemp::RemoveLeftovers();
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    ErrorReporter::Run([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
