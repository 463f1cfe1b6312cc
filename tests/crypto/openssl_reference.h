#pragma once
// Independent results from OpenSSL, to check ours against.

#include <QByteArray>

namespace OpenSsl {

QByteArray Sha1(const QByteArray &data);
// The digest with the data fed in the given pieces (sizes cycle).
QByteArray Sha1Chunked(const QByteArray &data, const QList<int> &pieces);
QByteArray HmacSha1(const QByteArray &key, const QByteArray &data);
QByteArray Pbkdf2(const QByteArray &password, const QByteArray &salt, int iterations, int length);
QByteArray AesEcb(const QByteArray &key, const QByteArray &blocks);
// Blocks 1, 2, ... of the container keystream: AES of the counter written as
// 8 little-endian bytes and 8 zero bytes, starting with the counter `first`.
QByteArray CounterKeystream(const QByteArray &key, qsizetype length, quint64 first = 1);

} // namespace OpenSsl
