#pragma once

#include "settings/branding_parser.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What `tarnwick-brand check --online` finds out: the container's news site
// asked as the program asks it, and every web address the program would open.

// The http and https addresses the program opens from these settings, in the
// order of the text, each once: the Make Money and Help targets, banner and
// link targets, and the addresses written in the welcome pages.
QList<QByteArray> AddressesToCheck(const TBrandingText &parsed);

struct TOnlineReport
{
    QStringList Lines;
    QStringList Warnings;
};

// Asks the news site of the level (latest news, then the list) and fetches
// each address, then calls `done` with what came of it; the caller runs the
// event loop meanwhile. Each request gives up after `timeoutMs`; at most
// `maxAddresses` addresses are tried, all at once.
using TOnlineDone = std::function<void(const TOnlineReport &report)>;
void CheckOnline(const TBrandingText &parsed, TOnlineDone done, int timeoutMs = 15000, int maxAddresses = 40);
