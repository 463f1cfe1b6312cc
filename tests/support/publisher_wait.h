#pragma once

#include "app/main_window.h"
#include "app/publisher_services.h"
#include "services/http_client.h"

#include <QSignalSpy>

#include <functional>
#include <memory>

// The publisher services of a main window and their HTTP client, as tests
// reach them.
inline TPublisherServices &Services(const TfrmMain &w)
{
    auto *services = w.findChild<TPublisherServices *>(QStringLiteral("PublisherServices"));
    if (!services)
        qFatal("no publisher services");
    return *services;
}

inline THttpClient &HttpClient(const TfrmMain &w)
{
    auto *client = w.findChild<THttpClient *>(QStringLiteral("IdHTTP1"));
    if (!client)
        qFatal("no HTTP client");
    return *client;
}

// Runs `start` and the event loop until `signal` of `sender` came (at once
// when `start` emitted it already); the spy holds what it came with.
template <typename Signal>
std::unique_ptr<QSignalSpy> RunUntil(const TPublisherServices &sender, Signal signal, const std::function<void()> &start)
{
    auto spy = std::make_unique<QSignalSpy>(&sender, signal);
    start();
    if (spy->isEmpty())
        spy->wait(60000);
    return spy;
}

// One news tick, its requests and the quiet update check included.
inline void RunNewsTick(TfrmMain &w)
{
    TPublisherServices &services = Services(w);
    RunUntil(services, &TPublisherServices::tickFinished, [&] { services.NewsTick(); });
}

// The update check to its end; true when the updater was started.
inline bool RunUpdateCheck(TfrmMain &w, bool quiet)
{
    TPublisherServices &services = Services(w);
    const auto spy = RunUntil(services, &TPublisherServices::checkFinished, [&] { services.CheckForUpdates(quiet); });
    return !spy->isEmpty() && spy->first().value(0).toBool();
}
