#include "release_signing.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace ReleaseSigning {
namespace {

struct TKeyFree
{
    void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};
struct TBioFree
{
    void operator()(BIO *b) const { BIO_free(b); }
};
struct TMdCtxFree
{
    void operator()(EVP_MD_CTX *c) const { EVP_MD_CTX_free(c); }
};
using TKey = std::unique_ptr<EVP_PKEY, TKeyFree>;
using TBio = std::unique_ptr<BIO, TBioFree>;
using TMdCtx = std::unique_ptr<EVP_MD_CTX, TMdCtxFree>;

QString OpenSslError(const char *what)
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLatin1(text);
}

TBio ReadBio(const QByteArray &bytes)
{
    return TBio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
}

QByteArray BioBytes(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, qsizetype(size));
}

TKey PrivateKey(const QByteArray &pem)
{
    TBio bio = ReadBio(pem);
    TKey key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (key && EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        key.reset();
    ERR_clear_error();
    return key;
}

QByteArray PublicPem(EVP_PKEY *key)
{
    TBio out(BIO_new(BIO_s_mem()));
    if (!out || PEM_write_bio_PUBKEY(out.get(), key) != 1)
        return {};
    return BioBytes(out.get());
}

} // namespace

bool GenerateKeyPair(QByteArray &privatePem, QByteArray &publicPem, QString &error)
{
    TKey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    if (!key) {
        error = OpenSslError("cannot make an Ed25519 key");
        return false;
    }
    TBio out(BIO_new(BIO_s_mem()));
    if (!out || PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        error = OpenSslError("cannot write the private key");
        return false;
    }
    privatePem = BioBytes(out.get());
    publicPem = PublicPem(key.get());
    if (publicPem.isEmpty()) {
        error = OpenSslError("cannot write the public key");
        return false;
    }
    return true;
}

QByteArray PublicKeyOf(const QByteArray &privatePem)
{
    TKey key = PrivateKey(privatePem);
    return key ? PublicPem(key.get()) : QByteArray();
}

QByteArray Sign(const QByteArray &privatePem, const QByteArray &message, QString &error)
{
    TKey key = PrivateKey(privatePem);
    if (!key) {
        error = QStringLiteral("the key is not an Ed25519 private key in PEM form");
        return {};
    }
    TMdCtx ctx(EVP_MD_CTX_new());
    QByteArray signature(SignatureSize, '\0');
    size_t size = size_t(signature.size());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char *>(signature.data()), &size,
                       reinterpret_cast<const unsigned char *>(message.constData()), size_t(message.size())) != 1 ||
        size != size_t(SignatureSize)) {
        error = OpenSslError("cannot sign");
        return {};
    }
    return signature;
}

bool Verify(const QByteArray &publicPem, const QByteArray &message, const QByteArray &signature)
{
    if (signature.size() != SignatureSize)
        return false;
    TBio bio = ReadBio(publicPem);
    TKey key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    TMdCtx ctx(EVP_MD_CTX_new());
    const bool ok = key && ctx && EVP_PKEY_get_id(key.get()) == EVP_PKEY_ED25519 &&
                    EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
                    EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
                                     size_t(signature.size()),
                                     reinterpret_cast<const unsigned char *>(message.constData()),
                                     size_t(message.size())) == 1;
    ERR_clear_error();
    return ok;
}

struct TSha256::Impl
{
    TMdCtx ctx{EVP_MD_CTX_new()};
};

TSha256::TSha256() : m(std::make_unique<Impl>())
{
    if (!m->ctx || EVP_DigestInit_ex(m->ctx.get(), EVP_sha256(), nullptr) != 1)
        qFatal("SHA-256 is not available");
}

TSha256::~TSha256() = default;

void TSha256::Add(const char *data, qsizetype size)
{
    EVP_DigestUpdate(m->ctx.get(), data, size_t(size));
}

QByteArray TSha256::Hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(m->ctx.get(), digest, &size);
    return QByteArray(reinterpret_cast<const char *>(digest), qsizetype(size)).toHex();
}

QByteArray Sha256Hex(const QByteArray &data)
{
    TSha256 sha;
    sha.Add(data);
    return sha.Hex();
}

QByteArray FileSha256Hex(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    TSha256 sha;
    char buffer[65536];
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0)
            return {};
        if (n == 0)
            break;
        sha.Add(buffer, qsizetype(n));
    }
    return sha.Hex();
}

} // namespace ReleaseSigning
