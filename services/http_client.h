#pragma once

#include <QObject>

// The one HTTP client of the main window for the publisher's services.
class THttpClient : public QObject
{
    Q_OBJECT
public:
    explicit THttpClient(QObject *parent = nullptr);

    // Closes open connections and ends a request in flight.
    void Disconnect();
};
