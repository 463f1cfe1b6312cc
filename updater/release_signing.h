#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// Ed25519 signatures and SHA-256 digests of releases, done by OpenSSL.
namespace ReleaseSigning {

inline constexpr qsizetype SignatureSize = 64;

// A new key pair as PEM texts (PKCS#8 private key, SubjectPublicKeyInfo).
bool GenerateKeyPair(QByteArray &privatePem, QByteArray &publicPem, QString &error);
// The detached signature of `message`; empty with `error` set on failure.
QByteArray Sign(const QByteArray &privatePem, const QByteArray &message, QString &error);
// True only for an Ed25519 public key and a valid signature of `message`.
bool Verify(const QByteArray &publicPem, const QByteArray &message, const QByteArray &signature);
// The public half of a private key, as PEM; empty when it is not Ed25519.
QByteArray PublicKeyOf(const QByteArray &privatePem);

// SHA-256 over data given in pieces; Hex() ends it.
class TSha256
{
public:
    TSha256();
    ~TSha256();
    void Add(const char *data, qsizetype size);
    void Add(const QByteArray &data) { Add(data.constData(), data.size()); }
    QByteArray Hex(); // lower-case, 64 characters

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
QByteArray Sha256Hex(const QByteArray &data);
// Empty when the file cannot be read.
QByteArray FileSha256Hex(const QString &path);

} // namespace ReleaseSigning
