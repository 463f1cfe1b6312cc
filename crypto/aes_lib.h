#pragma once
// Encryption library: hashing, key derivation, AES, counter keystream, salt pool
// and the password-protected container.
