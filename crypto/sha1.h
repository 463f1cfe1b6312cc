#pragma once
// SHA-1, HMAC-SHA1 and PBKDF2-HMAC-SHA1.
//
// The contexts are plain values: copying one byte for byte duplicates the
// computation in progress (key derivation relies on that).

#include <cstddef>
#include <cstdint>
#include <type_traits>

struct TSha1Context
{
    std::uint32_t Count[2];  // message bytes added so far, low word first
    std::uint32_t Hash[5];   // chaining value
    std::uint8_t Block[64];  // bytes of the current block, in stream order
};

void Sha1Init(TSha1Context &context);
void Sha1Update(const void *data, std::size_t length, TSha1Context &context);
void Sha1Final(std::uint8_t digest[20], TSha1Context &context);
// One compression of the block buffer into the chaining value; no padding and
// no change of the byte count (the salt pool mixes with it).
void Sha1Compress(TSha1Context &context);

inline constexpr std::uint32_t HmacDataPhase = 0xFFFFFFFFu;

struct THmacContext
{
    // The key (zero-padded) while it is entered, then key ^ ipad, and in the
    // final step key ^ opad.
    std::uint8_t KeyBlock[64];
    TSha1Context Hash;
    // Key bytes entered so far, or HmacDataPhase once data has begun.
    std::uint32_t KeyLength;
};

static_assert(std::is_trivially_copyable_v<TSha1Context> && std::is_standard_layout_v<TSha1Context>);
static_assert(std::is_trivially_copyable_v<THmacContext> && std::is_standard_layout_v<THmacContext>);

void HmacInit(THmacContext &context);
// Adds a part of the key; 0, or -1 (nothing changed) once data has begun.
int HmacSetKey(const void *key, std::size_t length, THmacContext &context);
void HmacUpdate(const void *data, std::size_t length, THmacContext &context);
// Writes the first `length` bytes of the code. A length above 20 is capped at
// 20; the bytes written are returned. The context is spent afterwards.
std::size_t HmacFinal(std::uint8_t *mac, std::size_t length, THmacContext &context);

// PBKDF2 with HMAC-SHA1 as the pseudo-random function.
void DeriveKey(const void *password, std::size_t passwordLength, const void *salt,
               std::size_t saltLength, std::uint32_t iterations, std::uint8_t *key,
               std::size_t keyLength);

// Overwrites memory in a way the compiler may not drop as a dead store.
void SecureZero(void *data, std::size_t length);
