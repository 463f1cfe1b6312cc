#pragma once

#include "util/errors.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

// The protected book's file: a header naming the format, the key derivation
// (Argon2id) and its parameters, then the payload encrypted in chunks
// (XChaCha20-Poly1305 secret stream), each chunk authenticated with the
// header, the last one marked final, so a file altered, cut short or grown is
// refused whole and never half-read. Everything here is libsodium's; nothing
// of the cryptography is written by hand.

// Memory for secrets: kept out of core dumps, locked into RAM where the
// process's lock limit allows, and wiped before it is given back (libsodium's
// guarded allocation for small blocks, a mapping of its own for a book). A view of it as QByteArray shares the bytes without
// copying; whoever keeps such a view keeps the buffer alive too.
class TSecureBuffer
{
public:
    // Throws EFileError when the memory cannot be had.
    explicit TSecureBuffer(qsizetype size);
    ~TSecureBuffer();
    TSecureBuffer(const TSecureBuffer &) = delete;
    TSecureBuffer &operator=(const TSecureBuffer &) = delete;

    char *Data() { return m_data; }
    const char *Data() const { return m_data; }
    qsizetype Size() const { return m_size; }
    // Only ever smaller than the size allocated.
    void Shrink(qsizetype size);
    QByteArray View(qsizetype from = 0) const { return QByteArray::fromRawData(m_data + from, m_size - from); }

private:
    char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_allocated = 0;
    bool m_mapped = false;
};
using TSecureBufferPtr = std::shared_ptr<TSecureBuffer>;

// The cost of the key derivation: passes over memory, and the memory in bytes.
struct TKdfParameters
{
    quint64 ops = 0;
    quint64 memory = 0;
    bool operator==(const TKdfParameters &) const = default;
};

// What a header may ask before anything is derived: a file that asks more is
// refused unread, so no file can make an unlock take all memory or forever.
constexpr quint64 kMaxKdfMemory = quint64(1) << 30;
constexpr quint64 kMaxKdfOps = 100;
// The least a newly protected book is given.
constexpr quint64 kMinProtectMemory = quint64(64) << 20;

// Parameters that take about `seconds` on this machine with at least
// `minMemory` bytes, for a book being protected or given a new password.
TKdfParameters CalibrateKdf(double seconds = 0.5, quint64 minMemory = kMinProtectMemory);

// The key of a protected book, derived from the master password with its
// salt and parameters. The key bytes live in secure memory and are wiped when
// the last holder lets go: the book folder drops it at lock and exit.
class TBookKey
{
public:
    // A fresh random salt: protecting a book, or a new password.
    static std::shared_ptr<const TBookKey> Make(const QByteArray &password, const TKdfParameters &kdf);
    // The salt a file's header names. Throws EFileError when the derivation
    // cannot get its memory.
    static std::shared_ptr<const TBookKey> Derive(const QByteArray &password, const TKdfParameters &kdf,
                                                  const QByteArray &salt);

    const TKdfParameters &Kdf() const { return m_kdf; }
    const QByteArray &Salt() const { return m_salt; }
    const unsigned char *Bytes() const { return reinterpret_cast<const unsigned char *>(m_key.Data()); }

    TBookKey(const TKdfParameters &kdf, const QByteArray &salt);

private:
    TKdfParameters m_kdf;
    QByteArray m_salt;
    TSecureBuffer m_key;
};
using TBookKeyPtr = std::shared_ptr<const TBookKey>;

// Why a protected file was not read. Every one leaves the file as it is.
enum class TProtectedFault {
    NotProtected,  // no header of ours: another file
    Damaged,       // the header or a chunk was altered
    CutShort,      // the file ends before its final chunk
    Unsupported,   // a later format or key derivation than this program knows
    Demanding,     // the header asks more memory or passes than any book is given
    WrongPassword, // the header is whole, the password derives another key
    Unreadable,    // the system could not read it, or the memory was not there
};

class EProtectedFileError : public EFileError
{
public:
    EProtectedFileError(TProtectedFault fault, const QString &message) : EFileError(message), m_fault(fault) {}
    TProtectedFault Fault() const { return m_fault; }

private:
    TProtectedFault m_fault;
};

// What the header says, checked: format, derivation and its limits.
struct TProtectedHeader
{
    TKdfParameters kdf;
    QByteArray salt;
};
// The bytes a header takes at the start of the file.
qsizetype ProtectedHeaderSize();
// Throws EProtectedFileError; `name` names the file in the message.
TProtectedHeader ReadProtectedHeader(const QByteArray &head, const QString &name);
// True when the bytes start as a protected file does (any version).
bool LooksProtected(const QByteArray &head);

// Reads the whole file from `in` (positioned at its start; `name` for the
// messages). With a password the key is derived from the header's salt and
// parameters; with a key, the header must name the key's own, else the file
// was protected under another password. Throws EProtectedFileError.
struct TProtectedContents
{
    TSecureBufferPtr payload;
    TBookKeyPtr key;
};
TProtectedContents ReadProtectedFile(QIODevice &in, const QString &name, const QByteArray &password);
TProtectedContents ReadProtectedFile(QIODevice &in, const QString &name, const TBookKeyPtr &key);

// Reads a protected file while the caller works on its payload: the header
// is read and the key derived or checked at once (throwing as
// ReadProtectedFile does), then a thread of its own decrypts chunk after
// chunk into the payload while the caller reads the part already
// authenticated. Only Finish tells that the whole file is sound: until then a
// later chunk may still refuse it all.
class TProtectedReading
{
public:
    TProtectedReading(QIODevice &in, const QString &name, const QByteArray &password, TBookKeyPtr key);
    // Stops the decryption and waits for it; the payload is wiped once
    // nobody holds it.
    ~TProtectedReading();
    TProtectedReading(const TProtectedReading &) = delete;
    TProtectedReading &operator=(const TProtectedReading &) = delete;

    // Of its full size from the start; only the bytes below what WaitFor
    // returned may be read.
    const TSecureBufferPtr &Payload() const;
    // Waits until at least the first `bytes` of the payload are
    // authenticated, or all of it, and returns how many are. Throws
    // EProtectedFileError when a chunk is refused.
    qsizetype WaitFor(qsizetype bytes);
    // Waits for the whole file. Throws EProtectedFileError.
    TProtectedContents Finish();

private:
    struct TWork;
    std::unique_ptr<TWork> m_work;
};

// Encrypts a payload of any length as it comes, one chunk at a time: the
// plain bytes wait in secure memory, only ciphertext reaches `out`.
class TProtectedWriter
{
public:
    using TOut = std::function<void(const char *data, qsizetype size)>;
    // Writes the header at once.
    TProtectedWriter(const TBookKeyPtr &key, TOut out);
    ~TProtectedWriter();
    TProtectedWriter(const TProtectedWriter &) = delete;
    TProtectedWriter &operator=(const TProtectedWriter &) = delete;

    void Write(const char *data, qsizetype size);
    void Write(const QByteArray &bytes) { Write(bytes.constData(), bytes.size()); }
    // The final chunk; nothing may be written after it.
    void Finish();

private:
    void Push(bool final);

    TBookKeyPtr m_key;
    TOut m_out;
    QByteArray m_header;
    TSecureBuffer m_chunk;
    qsizetype m_filled = 0;
    QByteArray m_cipher;
    std::unique_ptr<unsigned char[]> m_state;
    bool m_finished = false;
};

// The payload: the category names and the item records, each as lines, the
// categories preceded by their length so the items stay one run of lines the
// book reads in place.
QByteArray PayloadPrefix(qsizetype categoriesBytes);
// Splits a payload into its two parts, views into `payload`. Throws
// EProtectedFileError (Damaged) for a payload of another shape.
void SplitPayload(const TSecureBuffer &payload, const QString &name, QByteArray *categories, QByteArray *items);

// Writes `bytes` over with zeros where it is not shared, then empties it:
// for passwords and other secrets held in ordinary byte arrays.
void WipeBytes(QByteArray &bytes);

// For tests and the benchmark only: the parameters a book is protected
// with instead of a calibration, so a suite does not spend half a second and
// 64 MiB on every book it protects. Never set by the program.
void SetKdfForTesting(const TKdfParameters &kdf);
// The parameters protecting uses now: the tests' when set, else calibrated.
TKdfParameters KdfForProtecting();
