#include "winzip_aes.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

namespace {

void Put16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}

void Put32(QByteArray &out, quint32 v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

quint32 Get16(const QByteArray &in, qsizetype at)
{
    return qFromLittleEndian<quint16>(in.constData() + at);
}

quint32 Get32(const QByteArray &in, qsizetype at)
{
    return qFromLittleEndian<quint32>(in.constData() + at);
}

} // namespace

quint32 Crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray ZipWithAesEntry(const QByteArray &name, const QByteArray &container, const QByteArray &plain,
                           int strength, int vendorVersion)
{
    QByteArray extra;
    Put16(extra, 0x9901);
    Put16(extra, 7);
    Put16(extra, quint32(vendorVersion));
    extra.append("AE");
    extra.append(char(strength));
    Put16(extra, 0);  // stored under the encryption

    // AE-2 leaves the CRC out: the authentication code stands for it.
    const quint32 crc = vendorVersion == 1 ? Crc32(plain) : 0;
    const auto common = [&](QByteArray &out) {
        Put16(out, 51);      // version needed: AES
        Put16(out, 0x0001);  // encrypted
        Put16(out, 99);      // AES
        Put16(out, 0);       // time
        Put16(out, 0x21);    // 1980-01-01
        Put32(out, crc);
        Put32(out, quint32(container.size()));
        Put32(out, quint32(plain.size()));
        Put16(out, quint32(name.size()));
        Put16(out, quint32(extra.size()));
    };

    QByteArray zip;
    Put32(zip, 0x04034b50);
    common(zip);
    zip += name + extra + container;

    const qsizetype directoryAt = zip.size();
    Put32(zip, 0x02014b50);
    Put16(zip, 63);  // made by
    common(zip);
    Put16(zip, 0);  // comment
    Put16(zip, 0);  // disk
    Put16(zip, 0);  // internal attributes
    Put32(zip, 0);  // external attributes
    Put32(zip, 0);  // local header offset
    zip += name + extra;
    const qsizetype directorySize = zip.size() - directoryAt;

    Put32(zip, 0x06054b50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 1);
    Put16(zip, 1);
    Put32(zip, quint32(directorySize));
    Put32(zip, quint32(directoryAt));
    Put16(zip, 0);
    return zip;
}

std::optional<TZipEntry> FirstZipEntry(const QByteArray &zip)
{
    const qsizetype end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > zip.size())
        return std::nullopt;
    const qsizetype dir = Get32(zip, end + 16);
    if (dir + 46 > zip.size() || Get32(zip, dir) != 0x02014b50)
        return std::nullopt;
    TZipEntry entry;
    entry.Method = int(Get16(zip, dir + 10));
    entry.Crc = Get32(zip, dir + 16);
    const qsizetype dataSize = Get32(zip, dir + 20);
    entry.PlainSize = Get32(zip, dir + 24);
    const qsizetype nameLength = Get16(zip, dir + 28);
    const qsizetype extraLength = Get16(zip, dir + 30);
    const qsizetype local = Get32(zip, dir + 42);
    entry.Name = zip.mid(dir + 46, nameLength);
    for (qsizetype at = dir + 46 + nameLength; at + 4 <= dir + 46 + nameLength + extraLength;) {
        const quint32 id = Get16(zip, at);
        const qsizetype size = Get16(zip, at + 2);
        if (id == 0x9901 && size >= 7) {
            entry.VendorVersion = int(Get16(zip, at + 4));
            entry.Strength = quint8(zip[at + 8]);
            entry.InnerMethod = int(Get16(zip, at + 9));
        }
        at += 4 + size;
    }
    if (local + 30 > zip.size() || Get32(zip, local) != 0x04034b50)
        return std::nullopt;
    const qsizetype dataAt = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
    if (dataAt + dataSize > zip.size())
        return std::nullopt;
    entry.Data = zip.mid(dataAt, dataSize);
    return entry;
}

QString SevenZipProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("7zz"));
}

int RunSevenZip(const QStringList &arguments, QByteArray *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(SevenZipProgram(), arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (output)
        *output = p.readAll();
    return p.exitCode();
}
