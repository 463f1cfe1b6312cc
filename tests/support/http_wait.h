#pragma once

#include "services/http_client.h"

#include <QEventLoop>
#include <QPointer>

#include <functional>

// For tests that want a request's outcome before they go on: runs the event
// loop until the exchange has finished (or gone with its client, which counts
// as cancelled) and throws its EHttpError, as a caller that waited would see it.
inline void WaitForExchange(THttpExchange *exchange)
{
    QPointer<THttpExchange> watched(exchange);
    std::optional<EHttpError> error;
    bool done = false;
    QEventLoop loop;
    QObject::connect(exchange, &THttpExchange::finished, &loop, [&] {
        error = watched->Error();
        done = true;
        loop.quit();
    });
    QObject::connect(exchange, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (watched)
        loop.exec();
    if (!done)
        throw EHttpError(QStringLiteral("The request was cancelled."), true);
    if (error)
        throw *error;
}

inline QByteArray PostForm(THttpClient &client, const QByteArray &url, const THttpFormFields &fields)
{
    THttpExchange *exchange = client.Post(url, fields);
    QPointer<THttpExchange> watched(exchange);
    QByteArray body;
    QObject::connect(exchange, &THttpExchange::finished, exchange, [&] { body = watched->Body(); });
    WaitForExchange(exchange);
    return body;
}

inline void GetToFile(THttpClient &client, const QByteArray &url, QIODevice &out)
{
    WaitForExchange(client.Get(url, out));
}

// Runs `start`, which starts something asynchronous and is handed the call
// that tells it is done, until that call came.
inline void WaitUntilCalled(const std::function<void(std::function<void()> done)> &start)
{
    bool done = false;
    QEventLoop loop;
    start([&] {
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
}
