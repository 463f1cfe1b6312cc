#pragma once
// The keyed state of one container pass: counter-mode keystream for secrecy,
// HMAC-SHA1 over the ciphertext for integrity, keys from PBKDF2.

#include "aes.h"
#include "sha1.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

struct TCipherContext
{
    std::uint8_t Counter[16];    // bytes 0..7 count little-endian, 8..15 stay zero
    std::uint8_t Keystream[16];  // the current keystream block
    TAesContext Aes;
    THmacContext Mac;
    std::uint32_t Position;      // next keystream byte; 16 = block used up
    std::uint32_t PassphraseLength;
    std::int32_t KeyMode;
};

static_assert(std::is_trivially_copyable_v<TCipherContext> && std::is_standard_layout_v<TCipherContext>);

// Salt bytes by key mode (1, 2, 3); index 0 is unused.
inline constexpr std::int32_t SaltLength[4] = {0, 8, 12, 16};

inline constexpr std::uint32_t MaxPassphraseLength = 128;
inline constexpr std::uint32_t KeyDerivationIterations = 1000;
inline constexpr std::int32_t VerifierLength = 2;
inline constexpr std::int32_t CodeLength = 10;

inline constexpr std::int32_t CipherPassphraseTooLong = -100;
inline constexpr std::int32_t CipherBadKeyMode = -101;

// Keys the context from the passphrase and the salt (4 * mode + 4 bytes) and
// yields the 2-byte password verifier. 0, or one of the negative codes above
// with nothing changed.
std::int32_t CipherInit(std::int32_t keyMode, const std::uint8_t *passphrase,
                        std::uint32_t passphraseLength, const std::uint8_t *salt,
                        std::uint8_t verifier[2], TCipherContext &context);
// In place; the MAC always sees ciphertext.
void CipherEncrypt(std::uint8_t *data, std::size_t length, TCipherContext &context);
void CipherDecrypt(std::uint8_t *data, std::size_t length, TCipherContext &context);
// Writes the 10-byte authentication code and returns 10.
std::int32_t CipherFinish(std::uint8_t code[10], TCipherContext &context);

// XORs the next `length` keystream bytes into the data. The keystream goes on
// across calls of any length.
void CtrApply(std::uint8_t *data, std::size_t length, TCipherContext &context);
