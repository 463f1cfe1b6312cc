#pragma once
// Just enough of the ZIP format to carry one AES-encrypted, stored entry to
// and from the 7-Zip program.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

struct TZipEntry
{
    QByteArray Name;
    QByteArray Data;         // the entry's data as stored: for AES, the container
    int Method = 0;          // 99 for AES
    int VendorVersion = 0;   // 1 (AE-1: CRC checked) or 2 (AE-2: CRC zero)
    int Strength = 0;        // 1, 2, 3: AES-128, -192, -256
    int InnerMethod = -1;    // the compression under the encryption; 0 = stored
    quint32 Crc = 0;
    quint32 PlainSize = 0;
};

quint32 Crc32(const QByteArray &data);

// An archive with one entry whose data is `container`, an encryption of
// `plain` under the given key strength.
QByteArray ZipWithAesEntry(const QByteArray &name, const QByteArray &container, const QByteArray &plain,
                           int strength, int vendorVersion);

// The first entry of an archive, by its central directory.
std::optional<TZipEntry> FirstZipEntry(const QByteArray &zip);

// The 7-Zip program, or empty when it is not installed.
QString SevenZipProgram();

// Runs 7-Zip; returns its exit code (-1 when it did not finish) and its output.
int RunSevenZip(const QStringList &arguments, QByteArray *output = nullptr);
