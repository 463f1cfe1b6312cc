#pragma once
// Files in and out of the encrypted container.

#include <QByteArray>
#include <QString>

// The program's own containers: a passphrase fixed in the program and
// 256 KiB chunks.
inline constexpr char ContainerPassphrase[] = "qorvendatu";
inline constexpr int ContainerBufferSize = 0x40000;

// Both open the source (EFileError "Cannot open file ..." before anything
// else is touched), create the destination (EFileError "Cannot create file
// ..."), run the operation and return its result. The destination is replaced
// atomically and is kept even when the result is false, so the caller decides
// what to do with it; only a destination that could not be written whole
// (EFileError "Cannot write file ...") or a source that could not be read
// (EFileError "Cannot read file ...") leaves the old file as it was.
bool EncryptFileToFile(const QString &source, const QString &destination);
// The plaintext is readable and writable by its owner only. False when the
// passphrase does not match (the destination is then empty) or the container
// is damaged (it holds everything decrypted).
bool DecryptFileToFile(const QString &source, const QString &destination);

// For the publisher's tools: any passphrase (as bytes in the ANSI code page).
bool EncryptFileWithPassphrase(const QString &source, const QString &destination,
                               const QByteArray &passphrase);

enum class TContainerCheck
{
    Opened,            // sound: the destination holds the plaintext
    TooShort,          // shorter than an empty container
    VerifierMismatch,  // wrong passphrase, or not a container
    Damaged,           // the authentication code does not match, or data is missing
};

// Decrypts into the destination only when the container opens: in every
// other case the old destination stays as it was and nothing is handed over.
TContainerCheck UnpackContainer(const QString &source, const QString &destination,
                                const QByteArray &passphrase);
