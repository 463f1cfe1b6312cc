#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Time-based one-time codes (RFC 6238) from a key kept in an item's
// description, as authenticator apps hold it: a key URI line
// ("otpauth://totp/…?secret=…") or a line "TOTP: <base32 secret>". The key
// stays in the description; nothing here writes it anywhere.

enum class TOtpAlgorithm { Sha1, Sha256, Sha512 };

struct TOneTimeKey
{
    QByteArray secret; // the decoded key bytes, never empty
    TOtpAlgorithm algorithm = TOtpAlgorithm::Sha1;
    int digits = 6;     // 6 to 8
    qint64 period = 30; // seconds, above 0
    QString issuer;     // as the URI names it; may be empty
};

struct TOneTimeKeyLine
{
    bool found = false;             // the description has a key line at all
    std::optional<TOneTimeKey> key; // set when that line could be read
    QString problem;                // otherwise a short reason to show instead of a code
};

// The first key line of a description (Windows-1252 bytes; the key itself is
// ASCII). Without one, `found` is false.
TOneTimeKeyLine FindOneTimeKey(const QByteArray &description);

// One key URI, "otpauth://totp/Label?secret=…&issuer=…&digits=…&period=…&algorithm=…".
TOneTimeKeyLine ReadKeyUri(QByteArrayView uri);

// Base32 (RFC 4648) as people copy it: any case, with or without "="
// padding, with blanks or dashes between groups. Nothing when another
// character is in it or padding stands before the end.
std::optional<QByteArray> DecodeBase32(QByteArrayView text);

// The code in effect at `unixSeconds`, `key.digits` ASCII digits with leading
// zeros; empty when the key cannot give one (a time before 1970, a failing
// library).
QByteArray OneTimeCode(const TOneTimeKey &key, qint64 unixSeconds);

// Seconds until the code of `unixSeconds` is replaced: 1 to key.period.
qint64 OneTimeCodeSecondsLeft(const TOneTimeKey &key, qint64 unixSeconds);
