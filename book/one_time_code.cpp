#include "one_time_code.h"

#include <QList>
#include <QUrl>
#include <QUrlQuery>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <limits>

namespace {

// A key line is a handful of bytes; one far longer is no key worth the work,
// and a secret beyond this is no key any site hands out.
constexpr qsizetype kMaxUriBytes = 4096;
constexpr qsizetype kMaxSecretBytes = 1024;

TOneTimeKeyLine Unreadable(const QString &problem)
{
    TOneTimeKeyLine line;
    line.found = true;
    line.problem = problem;
    return line;
}

TOneTimeKeyLine Readable(TOneTimeKey key)
{
    TOneTimeKeyLine line;
    line.found = true;
    line.key = std::move(key);
    return line;
}

TOneTimeKeyLine FromSecret(QByteArrayView text, TOneTimeKey key)
{
    const std::optional<QByteArray> secret = DecodeBase32(text);
    if (!secret)
        return Unreadable(QStringLiteral("the secret is not base32"));
    if (secret->isEmpty())
        return Unreadable(QStringLiteral("the key has no secret"));
    if (secret->size() > kMaxSecretBytes)
        return Unreadable(QStringLiteral("the secret is too long"));
    key.secret = *secret;
    return Readable(std::move(key));
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

const EVP_MD *Digest(TOtpAlgorithm algorithm)
{
    switch (algorithm) {
    case TOtpAlgorithm::Sha1:
        return EVP_sha1();
    case TOtpAlgorithm::Sha256:
        return EVP_sha256();
    case TOtpAlgorithm::Sha512:
        return EVP_sha512();
    }
    return nullptr;
}

} // namespace

std::optional<QByteArray> DecodeBase32(QByteArrayView text)
{
    QByteArray bytes;
    quint32 buffer = 0;
    int bits = 0;
    bool padding = false;
    for (const char c : text) {
        if (IsBlank(c) || c == '-')
            continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        if (padding)
            return std::nullopt;
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a';
        else if (c >= '2' && c <= '7')
            value = c - '2' + 26;
        else
            return std::nullopt;
        buffer = (buffer << 5) | quint32(value);
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            bytes.append(char((buffer >> bits) & 0xFF));
        }
    }
    // Leftover bits of an unpadded last group are what authenticator apps
    // drop too.
    return bytes;
}

TOneTimeKeyLine ReadKeyUri(QByteArrayView uri)
{
    if (uri.size() > kMaxUriBytes)
        return Unreadable(QStringLiteral("the key address is too long"));
    for (const char c : uri)
        if (uchar(c) < 0x21 || uchar(c) > 0x7E)
            return Unreadable(QStringLiteral("the key address holds characters other than ASCII"));
    const QUrl url(QString::fromLatin1(uri.data(), uri.size()), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().compare(u"otpauth", Qt::CaseInsensitive) != 0)
        return Unreadable(QStringLiteral("the key address cannot be read"));
    if (url.host().compare(u"totp", Qt::CaseInsensitive) != 0)
        return Unreadable(QStringLiteral("only time-based (totp) keys give codes here"));

    const QUrlQuery query(url);
    TOneTimeKey key;
    const QString digits = query.queryItemValue(QStringLiteral("digits"), QUrl::FullyDecoded);
    if (!digits.isEmpty()) {
        bool ok = false;
        key.digits = digits.toInt(&ok);
        if (!ok || key.digits < 6 || key.digits > 8)
            return Unreadable(QStringLiteral("digits must be 6, 7 or 8"));
    }
    const QString period = query.queryItemValue(QStringLiteral("period"), QUrl::FullyDecoded);
    if (!period.isEmpty()) {
        bool ok = false;
        key.period = period.toLongLong(&ok);
        if (!ok || key.period <= 0 || key.period > std::numeric_limits<qint32>::max())
            return Unreadable(QStringLiteral("the period is not a number of seconds"));
    }
    const QString algorithm = query.queryItemValue(QStringLiteral("algorithm"), QUrl::FullyDecoded);
    if (algorithm.isEmpty() || algorithm.compare(u"SHA1", Qt::CaseInsensitive) == 0)
        key.algorithm = TOtpAlgorithm::Sha1;
    else if (algorithm.compare(u"SHA256", Qt::CaseInsensitive) == 0)
        key.algorithm = TOtpAlgorithm::Sha256;
    else if (algorithm.compare(u"SHA512", Qt::CaseInsensitive) == 0)
        key.algorithm = TOtpAlgorithm::Sha512;
    else
        return Unreadable(QStringLiteral("unknown algorithm %1").arg(algorithm.left(16)));
    key.issuer = query.queryItemValue(QStringLiteral("issuer"), QUrl::FullyDecoded);

    if (!query.hasQueryItem(QStringLiteral("secret")))
        return Unreadable(QStringLiteral("the key has no secret"));
    return FromSecret(query.queryItemValue(QStringLiteral("secret"), QUrl::FullyDecoded).toLatin1(),
                      std::move(key));
}

TOneTimeKeyLine FindOneTimeKey(const QByteArray &description)
{
    static const QByteArray kUriStart = QByteArrayLiteral("otpauth:");
    static const QByteArray kLineStart = QByteArrayLiteral("totp:");
    qsizetype start = 0;
    while (start <= description.size()) {
        qsizetype end = start;
        while (end < description.size() && description[end] != '\n' && description[end] != '\r')
            ++end;
        const QByteArrayView line = QByteArrayView(description).sliced(start, end - start).trimmed();
        // The URI may follow a word of the user's own ("2FA: otpauth://…").
        const qsizetype uriAt = QByteArray::fromRawData(line.data(), line.size()).toLower().indexOf(kUriStart);
        if (uriAt >= 0) {
            qsizetype uriEnd = uriAt;
            while (uriEnd < line.size() && !IsBlank(line[uriEnd]))
                ++uriEnd;
            return ReadKeyUri(line.sliced(uriAt, uriEnd - uriAt));
        }
        if (line.size() >= kLineStart.size() &&
            QByteArray::fromRawData(line.data(), kLineStart.size()).toLower() == kLineStart)
            return FromSecret(line.sliced(kLineStart.size()), TOneTimeKey());
        start = end + 1;
    }
    return {};
}

QByteArray OneTimeCode(const TOneTimeKey &key, qint64 unixSeconds)
{
    if (unixSeconds < 0 || key.period <= 0 || key.secret.isEmpty() || key.digits < 6 || key.digits > 8)
        return {};
    quint64 counter = quint64(unixSeconds / key.period);
    unsigned char message[8];
    for (int i = 7; i >= 0; --i) {
        message[i] = static_cast<unsigned char>(counter & 0xFF);
        counter >>= 8;
    }
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macLength = 0;
    if (!HMAC(Digest(key.algorithm), key.secret.constData(), int(key.secret.size()), message, sizeof message, mac,
              &macLength) ||
        macLength < 20)
        return {};
    const unsigned offset = mac[macLength - 1] & 0x0F;
    const quint32 binary = (quint32(mac[offset] & 0x7F) << 24) | (quint32(mac[offset + 1]) << 16) |
                           (quint32(mac[offset + 2]) << 8) | quint32(mac[offset + 3]);
    quint32 modulus = 1;
    for (int i = 0; i < key.digits; ++i)
        modulus *= 10;
    return QByteArray::number(binary % modulus).rightJustified(key.digits, '0');
}

qint64 OneTimeCodeSecondsLeft(const TOneTimeKey &key, qint64 unixSeconds)
{
    if (key.period <= 0)
        return 0;
    const qint64 into = ((unixSeconds % key.period) + key.period) % key.period;
    return key.period - into;
}
