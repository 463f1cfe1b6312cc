#include "news_announcement.h"

#include "util/codepage.h"

namespace NewsService {

qint32 NewsNumber(const QByteArray &text)
{
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

QString NewsAnnouncement(const QByteArray &latestId, const QByteArray &title,
                         const QByteArray &lastReadId)
{
    if (NewsNumber(latestId) <= NewsNumber(lastReadId))
        return {};
    return QStringLiteral("You've Got A Message!\r\n") + FromAnsi(title);
}

} // namespace NewsService
