#pragma once

#include <QByteArray>
#include <QString>

// Whether the latest news the service named is worth a balloon: the window
// asks the service and shows the answer, this decides.
namespace NewsService {

// A news identifier or marker as a signed 32-bit number; text that does not
// convert (empty, not a number, beyond 32 bits) counts as 0.
qint32 NewsNumber(const QByteArray &text);

// The balloon's text when the latest news the service answered with is
// numbered above the last one read; empty when there is nothing to announce.
QString NewsAnnouncement(const QByteArray &latestId, const QByteArray &title,
                         const QByteArray &lastReadId);

} // namespace NewsService
