#pragma once

#include <QString>
#include <QUrl>

// Which site a web address belongs to: its scheme, its host in the ASCII form
// the network uses, and its port. Whatever is handed to a page on the item's
// behalf (a password, a log-in) goes only to a page of the item's own site.
struct TSiteOrigin
{
    QString scheme; // lower case
    QString host;   // the ASCII (punycode) form, lower case; an IPv6 address without brackets
    int port = -1;  // the port in effect: the scheme's default when none is written

    // False when the address names no site: no scheme, no host, or a host
    // without an ASCII form.
    bool IsValid() const { return !scheme.isEmpty() && !host.isEmpty(); }

    // "https://bank.example", "http://bank.example:8080": the port only when
    // it is not the scheme's default. Empty when not valid.
    QString Text() const;

    friend bool operator==(const TSiteOrigin &, const TSiteOrigin &) = default;
};

// The origin of an address as the browser has it.
TSiteOrigin OriginOf(const QUrl &url);

// The origin of an address as typed in an item's field; blanks around it do
// not count. An address without a scheme ("bank.example/login") names no
// site: the browser refuses to open it as well.
TSiteOrigin OriginOfAddress(const QString &address);

// Whether the page at `page` belongs to the site of the item address at
// `item`: the same scheme, host and port, or the https page of an http item
// (each at its scheme's default port). Never for an origin that is not valid;
// never for an http page of an https item.
bool IsSameSite(const TSiteOrigin &item, const TSiteOrigin &page);
