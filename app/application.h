#pragma once

#include <QApplication>

// The application object. It is the last line of the error reporter: an
// exception that escapes an event handler without a guard is reported here and
// the program goes on.
class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
