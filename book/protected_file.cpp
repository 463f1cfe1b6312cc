#include "protected_file.h"

#include "util/string_list.h"

#include <QDir>
#include <QElapsedTimer>
#include <QIODevice>
#include <QtEndian>

#include <sodium.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Header, little-endian:
//   0  magic (8)          8  format version (2)   10 key derivation (2)
//   12 chunk size (4)     16 passes (8)            24 memory (8)
//   32 salt (16)          48 secret stream header (24)
//   72 key check (16): BLAKE2b of bytes 0..71 keyed with the derived key,
//      which tells a wrong password from a damaged payload
//   88 checksum (16): BLAKE2b of bytes 0..87, which tells a damaged header
//      from a wrong password
const char kMagic[8] = {'T', 'W', 'K', 'B', 'O', 'O', 'K', '\n'};
constexpr quint16 kFormatVersion = 1;
constexpr quint16 kKdfArgon2id13 = 1;
constexpr qsizetype kSaltBytes = crypto_pwhash_SALTBYTES;
static_assert(kSaltBytes == 16);
constexpr qsizetype kStreamHeaderBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
static_assert(kStreamHeaderBytes == 24);
constexpr qsizetype kCheckAt = 72;
constexpr qsizetype kSumAt = 88;
constexpr qsizetype kHeaderBytes = 104;
constexpr qsizetype kTagBytes = 16;
constexpr qsizetype kChunkBytes = qsizetype(1) << 20;
constexpr qsizetype kMinChunkBytes = qsizetype(1) << 12;
constexpr qsizetype kMaxChunkBytes = qsizetype(1) << 24;
constexpr qsizetype kKeyBytes = crypto_secretstream_xchacha20poly1305_KEYBYTES;
constexpr qsizetype kABytes = crypto_secretstream_xchacha20poly1305_ABYTES;
// A payload above this is no book the program wrote (a record line is at
// most 4 GB, and a million items take about 200 MB).
constexpr qint64 kMaxPayload = qint64(16) << 30;

void EnsureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw EFileError(QStringLiteral("The encryption library could not be started."));
}

QString Native(const QString &name)
{
    return QDir::toNativeSeparators(name);
}

[[noreturn]] void Refuse(TProtectedFault fault, const QString &name, const QString &why)
{
    throw EProtectedFileError(fault, QStringLiteral("Cannot open the protected book \"%1\". %2").arg(Native(name), why));
}

const unsigned char *UBytes(const QByteArray &b)
{
    return reinterpret_cast<const unsigned char *>(b.constData());
}

std::mutex g_testKdfMutex;
TKdfParameters g_testKdf;

} // namespace

// --- Secure memory ---

namespace {
// Blocks up to this size come from sodium_malloc; larger ones (a decrypted
// book) are mapped directly, sparing sodium_malloc's fill of every byte
// before the decryption writes each of them anyway.
constexpr qsizetype kMappedFrom = qsizetype(1) << 20;
} // namespace

TSecureBuffer::TSecureBuffer(qsizetype size)
{
    EnsureSodium();
    const size_t bytes = size_t(std::max<qsizetype>(size, 1));
    if (size < kMappedFrom) {
        // Guard pages around the block, out of core dumps (madvise), out of
        // swap (mlock); sodium_free wipes it.
        m_data = static_cast<char *>(sodium_malloc(bytes));
    } else {
        void *mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_data = mapped == MAP_FAILED ? nullptr : static_cast<char *>(mapped);
        // Out of core dumps always; out of swap as far as the process's lock
        // limit allows (a large book exceeds the usual one, which is no
        // reason to refuse it). Locking faults every page in at once: large
        // pages make that a few hundred faults instead of thousands, the
        // largest part of opening a protected book beyond its decryption.
        if (m_data) {
            (void)madvise(m_data, bytes, MADV_DONTDUMP);
            AdviseLargePages(m_data, qsizetype(bytes));
            (void)sodium_mlock(m_data, bytes);
        }
    }
    if (!m_data)
        throw EFileError(QStringLiteral("There is not enough memory for %1 bytes of the protected book.").arg(size));
    m_size = size;
    m_allocated = size;
    m_mapped = size >= kMappedFrom;
}

TSecureBuffer::~TSecureBuffer()
{
    if (!m_mapped) {
        sodium_free(m_data);
        return;
    }
    // sodium_munlock wipes the whole block before it unlocks it.
    const size_t bytes = size_t(std::max<qsizetype>(m_allocated, 1));
    (void)sodium_munlock(m_data, bytes);
    munmap(m_data, bytes);
}

void TSecureBuffer::Shrink(qsizetype size)
{
    if (size < m_size) {
        sodium_memzero(m_data + size, size_t(m_size - size));
        m_size = size;
    }
}

void WipeBytes(QByteArray &bytes)
{
    if (bytes.isDetached() && !bytes.isEmpty())
        sodium_memzero(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

// --- The key ---

TBookKey::TBookKey(const TKdfParameters &kdf, const QByteArray &salt) : m_kdf(kdf), m_salt(salt), m_key(kKeyBytes)
{
}

std::shared_ptr<const TBookKey> TBookKey::Derive(const QByteArray &password, const TKdfParameters &kdf,
                                                 const QByteArray &salt)
{
    EnsureSodium();
    if (salt.size() != kSaltBytes || kdf.memory > kMaxKdfMemory || kdf.ops > kMaxKdfOps
        || kdf.ops < crypto_pwhash_argon2id_OPSLIMIT_MIN || kdf.memory < crypto_pwhash_argon2id_MEMLIMIT_MIN)
        throw EProtectedFileError(TProtectedFault::Demanding, QStringLiteral("The key derivation's parameters are out of range."));
    auto key = std::make_shared<TBookKey>(kdf, salt);
    auto *out = reinterpret_cast<unsigned char *>(key->m_key.Data());
    if (crypto_pwhash(out, kKeyBytes, password.constData(), quint64(password.size()), UBytes(salt), kdf.ops,
                      size_t(kdf.memory), crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        throw EProtectedFileError(TProtectedFault::Unreadable,
                                  QStringLiteral("There is not enough memory to derive the key (%1 MiB).")
                                      .arg(kdf.memory >> 20));
    return key;
}

std::shared_ptr<const TBookKey> TBookKey::Make(const QByteArray &password, const TKdfParameters &kdf)
{
    EnsureSodium();
    QByteArray salt(kSaltBytes, '\0');
    randombytes_buf(salt.data(), size_t(salt.size()));
    return Derive(password, kdf, salt);
}

TKdfParameters CalibrateKdf(double seconds, quint64 minMemory)
{
    EnsureSodium();
    TKdfParameters kdf{2, std::max<quint64>(minMemory, crypto_pwhash_argon2id_MEMLIMIT_MIN)};
    const QByteArray salt(kSaltBytes, '\x5A');
    QElapsedTimer timer;
    timer.start();
    TBookKey::Derive(QByteArrayLiteral("calibration"), kdf, salt);
    const double took = std::max(1e-3, double(timer.nsecsElapsed()) / 1e9);
    double scale = seconds / took;
    // More memory first (what makes guessing dear on many cores), up to four
    // times the least, then more passes.
    while (scale >= 2 && kdf.memory * 2 <= std::max<quint64>(minMemory * 4, kdf.memory)) {
        kdf.memory *= 2;
        scale /= 2;
    }
    kdf.ops = std::clamp<quint64>(quint64(std::llround(double(kdf.ops) * scale)), 2, kMaxKdfOps);
    return kdf;
}

void SetKdfForTesting(const TKdfParameters &kdf)
{
    std::lock_guard lock(g_testKdfMutex);
    g_testKdf = kdf;
}

TKdfParameters KdfForProtecting()
{
    {
        std::lock_guard lock(g_testKdfMutex);
        if (g_testKdf.ops)
            return g_testKdf;
    }
    return CalibrateKdf();
}

// --- The header ---

qsizetype ProtectedHeaderSize()
{
    return kHeaderBytes;
}

bool LooksProtected(const QByteArray &head)
{
    return head.size() >= qsizetype(sizeof kMagic) && std::memcmp(head.constData(), kMagic, sizeof kMagic) == 0;
}

TProtectedHeader ReadProtectedHeader(const QByteArray &head, const QString &name)
{
    EnsureSodium();
    if (!LooksProtected(head))
        Refuse(TProtectedFault::NotProtected, name, QStringLiteral("It is not a protected account book."));
    if (head.size() < kHeaderBytes)
        Refuse(TProtectedFault::CutShort, name, QStringLiteral("The file is cut short."));
    unsigned char sum[16];
    crypto_generichash(sum, sizeof sum, UBytes(head), kSumAt, nullptr, 0);
    if (sodium_memcmp(sum, head.constData() + kSumAt, sizeof sum) != 0)
        Refuse(TProtectedFault::Damaged, name, QStringLiteral("Its header is damaged."));
    const auto *p = UBytes(head);
    const quint16 version = qFromLittleEndian<quint16>(p + 8);
    const quint16 kdfId = qFromLittleEndian<quint16>(p + 10);
    const quint32 chunk = qFromLittleEndian<quint32>(p + 12);
    TProtectedHeader header;
    header.kdf.ops = qFromLittleEndian<quint64>(p + 16);
    header.kdf.memory = qFromLittleEndian<quint64>(p + 24);
    if (version != kFormatVersion || kdfId != kKdfArgon2id13)
        Refuse(TProtectedFault::Unsupported, name,
               QStringLiteral("It was written in a later format (%1, key derivation %2) than this program reads.")
                   .arg(version)
                   .arg(kdfId));
    if (chunk != quint32(kChunkBytes))
        Refuse(TProtectedFault::Unsupported, name, QStringLiteral("Its chunks are of a size this program does not write."));
    if (header.kdf.memory > kMaxKdfMemory || header.kdf.ops > kMaxKdfOps
        || header.kdf.memory < crypto_pwhash_argon2id_MEMLIMIT_MIN || header.kdf.ops < crypto_pwhash_argon2id_OPSLIMIT_MIN)
        Refuse(TProtectedFault::Demanding, name,
               QStringLiteral("Its key derivation asks for %1 MiB and %2 passes, beyond what any book is given.")
                   .arg(header.kdf.memory >> 20)
                   .arg(header.kdf.ops));
    header.salt = head.mid(32, kSaltBytes);
    return header;
}

namespace {

void KeyCheck(const TBookKey &key, const char *header, unsigned char out[16])
{
    crypto_generichash(out, 16, reinterpret_cast<const unsigned char *>(header), kCheckAt, key.Bytes(), kKeyBytes);
}

// Fills exactly `size` bytes; false when the file ends first.
bool ReadFully(QIODevice &in, char *to, qsizetype size, const QString &name)
{
    qsizetype got = 0;
    while (got < size) {
        const qint64 n = in.read(to + got, size - got);
        if (n < 0)
            Refuse(TProtectedFault::Unreadable, name, in.errorString());
        if (n == 0)
            return false;
        got += qsizetype(n);
    }
    return true;
}

} // namespace

struct TProtectedReading::TWork
{
    QIODevice &in;
    QString name;
    QByteArray head;
    TBookKeyPtr key;
    TSecureBufferPtr payload;
    qint64 chunks = 0;
    qint64 last = 0;
    crypto_secretstream_xchacha20poly1305_state state{};
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    qsizetype verified = 0;
    bool done = false;
    std::optional<EProtectedFileError> error;
    std::atomic<bool> stop{false};

    explicit TWork(QIODevice &device) : in(device) {}
    ~TWork() { sodium_memzero(&state, sizeof state); }
    void Decrypt();
    void Run();
};

TProtectedReading::TProtectedReading(QIODevice &in, const QString &name, const QByteArray &password, TBookKeyPtr key)
    : m_work(std::make_unique<TWork>(in))
{
    EnsureSodium();
    TWork &w = *m_work;
    w.name = name;
    QByteArray head(kHeaderBytes, '\0');
    const qint64 read = in.read(head.data(), kHeaderBytes);
    if (read < 0)
        Refuse(TProtectedFault::Unreadable, name, in.errorString());
    head.resize(qsizetype(read));
    const TProtectedHeader header = ReadProtectedHeader(head, name);

    // The whole file's length tells the payload's before anything is
    // decrypted, so the payload goes into one buffer without growing.
    const qint64 body = in.size() - kHeaderBytes;
    const qint64 sealed = kChunkBytes + kABytes;
    const qint64 chunks = body <= 0 ? 0 : (body + sealed - 1) / sealed;
    const qint64 last = body - (chunks - 1) * sealed;
    if (chunks == 0 || last < qint64(kABytes))
        Refuse(TProtectedFault::CutShort, name, QStringLiteral("The file is cut short."));
    const qint64 plain = body - chunks * kABytes;
    if (plain > kMaxPayload)
        Refuse(TProtectedFault::Damaged, name, QStringLiteral("It is larger than any account book."));

    if (key) {
        if (key->Salt() != header.salt || !(key->Kdf() == header.kdf))
            Refuse(TProtectedFault::WrongPassword, name,
                   QStringLiteral("It was protected with another master password."));
    } else {
        try {
            key = TBookKey::Derive(password, header.kdf, header.salt);
        } catch (const EProtectedFileError &e) {
            Refuse(e.Fault(), name, e.message());
        }
    }
    unsigned char check[16];
    KeyCheck(*key, head.constData(), check);
    if (sodium_memcmp(check, head.constData() + kCheckAt, sizeof check) != 0)
        Refuse(TProtectedFault::WrongPassword, name, QStringLiteral("The master password is wrong."));

    if (crypto_secretstream_xchacha20poly1305_init_pull(&w.state, UBytes(head) + 48, key->Bytes()) != 0)
        Refuse(TProtectedFault::Damaged, name, QStringLiteral("Its header is damaged."));
    try {
        w.payload = std::make_shared<TSecureBuffer>(qsizetype(plain));
    } catch (const EFileError &e) {
        Refuse(TProtectedFault::Unreadable, name, e.message());
    }
    w.head = head;
    w.key = key;
    w.chunks = chunks;
    w.last = last;
    w.thread = std::thread([&w] { w.Run(); });
}

TProtectedReading::~TProtectedReading()
{
    m_work->stop = true;
    if (m_work->thread.joinable())
        m_work->thread.join();
}

void TProtectedReading::TWork::Run()
{
    try {
        Decrypt();
    } catch (const EProtectedFileError &e) {
        std::lock_guard lock(mutex);
        error = e;
    }
    sodium_memzero(&state, sizeof state);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    changed.notify_all();
}

void TProtectedReading::TWork::Decrypt()
{
    const qsizetype sealed = kChunkBytes + kABytes;
    QByteArray cipher(sealed, Qt::Uninitialized);
    qsizetype at = 0;
    for (qint64 i = 0; i < chunks && !stop; ++i) {
        const qsizetype size = qsizetype(i + 1 < chunks ? sealed : last);
        if (!ReadFully(in, cipher.data(), size, name))
            Refuse(TProtectedFault::CutShort, name, QStringLiteral("The file is cut short."));
        unsigned long long produced = 0;
        unsigned char tag = 0;
        // libsodium writes a chunk's plain bytes only once its tag is
        // verified, and the reader is told of them only after that.
        if (crypto_secretstream_xchacha20poly1305_pull(
                &state, reinterpret_cast<unsigned char *>(payload->Data() + at), &produced, &tag, UBytes(cipher),
                quint64(size), UBytes(head), kCheckAt)
            != 0)
            Refuse(TProtectedFault::Damaged, name, QStringLiteral("Part of it was altered or is missing."));
        const bool final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
        // A final chunk before the end means bytes were added; no final chunk
        // at the end means the file lost its tail at a chunk's border.
        if (final != (i + 1 == chunks))
            Refuse(final ? TProtectedFault::Damaged : TProtectedFault::CutShort, name,
                   final ? QStringLiteral("Bytes were added after its end.") : QStringLiteral("The file is cut short."));
        at += qsizetype(produced);
        {
            std::lock_guard lock(mutex);
            verified = at;
        }
        changed.notify_all();
    }
}

const TSecureBufferPtr &TProtectedReading::Payload() const
{
    return m_work->payload;
}

qsizetype TProtectedReading::WaitFor(qsizetype bytes)
{
    TWork &w = *m_work;
    const qsizetype want = std::min(bytes, w.payload->Size());
    std::unique_lock lock(w.mutex);
    w.changed.wait(lock, [&] { return w.verified >= want || w.done; });
    if (w.error)
        throw EProtectedFileError(*w.error);
    return w.verified;
}

TProtectedContents TProtectedReading::Finish()
{
    TWork &w = *m_work;
    if (w.thread.joinable())
        w.thread.join();
    if (w.error)
        throw EProtectedFileError(*w.error);
    if (w.verified != w.payload->Size())
        Refuse(TProtectedFault::CutShort, w.name, QStringLiteral("The file is cut short."));
    return {w.payload, w.key};
}

TProtectedContents ReadProtectedFile(QIODevice &in, const QString &name, const QByteArray &password)
{
    return TProtectedReading(in, name, password, nullptr).Finish();
}

TProtectedContents ReadProtectedFile(QIODevice &in, const QString &name, const TBookKeyPtr &key)
{
    return TProtectedReading(in, name, {}, key).Finish();
}

// --- Writing ---

TProtectedWriter::TProtectedWriter(const TBookKeyPtr &key, TOut out)
    : m_key(key), m_out(std::move(out)), m_chunk(kChunkBytes),
      m_state(new unsigned char[sizeof(crypto_secretstream_xchacha20poly1305_state)])
{
    EnsureSodium();
    m_header = QByteArray(kHeaderBytes, '\0');
    auto *p = reinterpret_cast<unsigned char *>(m_header.data());
    std::memcpy(p, kMagic, sizeof kMagic);
    qToLittleEndian<quint16>(kFormatVersion, p + 8);
    qToLittleEndian<quint16>(kKdfArgon2id13, p + 10);
    qToLittleEndian<quint32>(quint32(kChunkBytes), p + 12);
    qToLittleEndian<quint64>(key->Kdf().ops, p + 16);
    qToLittleEndian<quint64>(key->Kdf().memory, p + 24);
    std::memcpy(p + 32, key->Salt().constData(), kSaltBytes);
    auto *state = reinterpret_cast<crypto_secretstream_xchacha20poly1305_state *>(m_state.get());
    crypto_secretstream_xchacha20poly1305_init_push(state, p + 48, key->Bytes());
    KeyCheck(*key, m_header.constData(), p + kCheckAt);
    crypto_generichash(p + kSumAt, 16, p, kSumAt, nullptr, 0);
    m_cipher = QByteArray(kChunkBytes + kABytes, '\0');
    m_out(m_header.constData(), m_header.size());
}

TProtectedWriter::~TProtectedWriter()
{
    sodium_memzero(m_state.get(), sizeof(crypto_secretstream_xchacha20poly1305_state));
}

void TProtectedWriter::Push(bool final)
{
    auto *state = reinterpret_cast<crypto_secretstream_xchacha20poly1305_state *>(m_state.get());
    unsigned long long produced = 0;
    crypto_secretstream_xchacha20poly1305_push(
        state, reinterpret_cast<unsigned char *>(m_cipher.data()), &produced,
        reinterpret_cast<const unsigned char *>(m_chunk.Data()), quint64(m_filled), UBytes(m_header), kCheckAt,
        final ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
    sodium_memzero(m_chunk.Data(), size_t(m_filled));
    m_filled = 0;
    m_out(m_cipher.constData(), qsizetype(produced));
}

void TProtectedWriter::Write(const char *data, qsizetype size)
{
    while (size > 0) {
        // A full chunk goes out only once more follows, so the last one,
        // full or not, can carry the final mark.
        if (m_filled == kChunkBytes)
            Push(false);
        const qsizetype n = std::min(size, kChunkBytes - m_filled);
        std::memcpy(m_chunk.Data() + m_filled, data, size_t(n));
        m_filled += n;
        data += n;
        size -= n;
    }
}

void TProtectedWriter::Finish()
{
    if (m_finished)
        return;
    Push(true);
    m_finished = true;
}

// --- The payload ---

QByteArray PayloadPrefix(qsizetype categoriesBytes)
{
    QByteArray prefix(8, '\0');
    qToLittleEndian<quint64>(quint64(categoriesBytes), prefix.data());
    return prefix;
}

void SplitPayload(const TSecureBuffer &payload, const QString &name, QByteArray *categories, QByteArray *items)
{
    if (payload.Size() < 8)
        Refuse(TProtectedFault::Damaged, name, QStringLiteral("Its contents are of another shape."));
    const quint64 length = qFromLittleEndian<quint64>(payload.Data());
    if (length > quint64(payload.Size() - 8))
        Refuse(TProtectedFault::Damaged, name, QStringLiteral("Its contents are of another shape."));
    *categories = QByteArray::fromRawData(payload.Data() + 8, qsizetype(length));
    *items = payload.View(8 + qsizetype(length));
}
