#pragma once
// Encryption library: hashing, key derivation, AES, counter keystream, salt pool
// and the password-protected container.

#include "crypto/aes.h"
#include "crypto/cipher.h"
#include "crypto/encryption.h"
#include "crypto/random_pool.h"
#include "crypto/sha1.h"
#include "crypto/streams.h"
