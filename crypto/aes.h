#pragma once
// AES forward key expansion and forward cipher (128-, 192- and 256-bit keys).
// Counter mode needs only the forward direction.

#include <cstdint>
#include <type_traits>

struct TAesContext
{
    // 4 * (Rounds + 1) words are used; the first schedule byte of each word is
    // its most significant byte.
    std::uint32_t RoundKeys[64];
    std::uint32_t Rounds;  // 10, 12 or 14; 0 when the key was refused
    std::uint32_t Flags;   // AesBlockSize | AesKeyedForEncryption when keyed
};

static_assert(std::is_trivially_copyable_v<TAesContext> && std::is_standard_layout_v<TAesContext>);

inline constexpr std::uint32_t AesBlockSize = 16;
inline constexpr std::uint32_t AesKeyedForEncryption = 1;

// The key length is given in bytes (16, 24, 32) or in bits (128, 192, 256).
// Returns 1, or 0 for any other length, which leaves the context unkeyed.
int AesSetEncryptKey(const std::uint8_t *key, std::uint32_t keyLength, TAesContext &context);

// Returns 1, or 0 without touching the output when the context is not keyed.
// Input and output may be the same area.
int AesEncryptBlock(const std::uint8_t input[16], std::uint8_t output[16], const TAesContext &context);
