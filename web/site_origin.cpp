#include "site_origin.h"

namespace {

int DefaultPort(const QString &scheme)
{
    if (scheme == u"http")
        return 80;
    if (scheme == u"https")
        return 443;
    return -1;
}

} // namespace

QString TSiteOrigin::Text() const
{
    if (!IsValid())
        return {};
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    QString text = scheme + QStringLiteral("://") + shownHost;
    if (port >= 0 && port != DefaultPort(scheme))
        text += u':' + QString::number(port);
    return text;
}

TSiteOrigin OriginOf(const QUrl &url)
{
    TSiteOrigin origin;
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        return origin;
    const QString host = url.host();
    // An IPv6 address has no ASCII form to look up; QUrl has already written
    // it in its one canonical form.
    const QString ascii =
        host.contains(u':') ? host.toLower() : QString::fromLatin1(QUrl::toAce(host)).toLower();
    if (ascii.isEmpty())
        return origin;
    origin.scheme = url.scheme().toLower();
    origin.host = ascii;
    origin.port = url.port(DefaultPort(origin.scheme));
    return origin;
}

TSiteOrigin OriginOfAddress(const QString &address)
{
    return OriginOf(QUrl(address.trimmed(), QUrl::TolerantMode));
}

bool IsSameSite(const TSiteOrigin &item, const TSiteOrigin &page)
{
    if (!item.IsValid() || !page.IsValid() || item.host != page.host)
        return false;
    if (item.scheme == page.scheme)
        return item.port == page.port;
    // A site that moved to https is still the item's site; the reverse would
    // send the password in clear text.
    return item.scheme == u"http" && page.scheme == u"https" && item.port == DefaultPort(item.scheme) &&
           page.port == DefaultPort(page.scheme);
}
