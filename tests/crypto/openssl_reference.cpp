#include "openssl_reference.h"

#include <QList>

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace OpenSsl {

namespace {
const unsigned char *Bytes(const QByteArray &a)
{
    return reinterpret_cast<const unsigned char *>(a.constData());
}
unsigned char *Bytes(QByteArray &a)
{
    return reinterpret_cast<unsigned char *>(a.data());
}
} // namespace

QByteArray Sha1(const QByteArray &data)
{
    return Sha1Chunked(data, {int(data.size()) + 1});
}

QByteArray Sha1Chunked(const QByteArray &data, const QList<int> &pieces)
{
    QByteArray out(20, '\0');
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr);
    qsizetype at = 0;
    for (int i = 0; at < data.size(); ++i) {
        const qsizetype n = qMin<qsizetype>(qMax(1, pieces[i % pieces.size()]), data.size() - at);
        EVP_DigestUpdate(ctx, data.constData() + at, size_t(n));
        at += n;
    }
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx, Bytes(out), &len);
    EVP_MD_CTX_free(ctx);
    return out;
}

QByteArray HmacSha1(const QByteArray &key, const QByteArray &data)
{
    QByteArray out(20, '\0');
    unsigned int len = 20;
    HMAC(EVP_sha1(), key.constData(), int(key.size()), Bytes(data), size_t(data.size()), Bytes(out), &len);
    return out;
}

QByteArray Pbkdf2(const QByteArray &password, const QByteArray &salt, int iterations, int length)
{
    QByteArray out(length, '\0');
    PKCS5_PBKDF2_HMAC_SHA1(password.constData(), int(password.size()), Bytes(salt), int(salt.size()),
                           iterations, length, Bytes(out));
    return out;
}

QByteArray AesEcb(const QByteArray &key, const QByteArray &blocks)
{
    const EVP_CIPHER *cipher = key.size() == 16 ? EVP_aes_128_ecb()
                               : key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    QByteArray out(blocks.size() + 16, '\0');
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, cipher, nullptr, Bytes(key), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int len = 0;
    EVP_EncryptUpdate(ctx, Bytes(out), &len, Bytes(blocks), int(blocks.size()));
    EVP_CIPHER_CTX_free(ctx);
    out.truncate(len);
    return out;
}

QByteArray CounterKeystream(const QByteArray &key, qsizetype length, quint64 first)
{
    const qsizetype blocks = (length + 15) / 16;
    QByteArray counters(blocks * 16, '\0');
    for (qsizetype b = 0; b < blocks; ++b) {
        const quint64 c = first + quint64(b);
        for (int i = 0; i < 8; ++i)
            counters[b * 16 + i] = char(c >> (8 * i));
    }
    return AesEcb(key, counters).left(length);
}

} // namespace OpenSsl
