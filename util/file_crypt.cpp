#include "file_crypt.h"

#include "errors.h"

#include "crypto/aes_lib.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

QString FileMessage(const char *what, const QString &path, const QString &reason)
{
    return QStringLiteral("%1 \"%2\". %3").arg(QLatin1String(what), QDir::toNativeSeparators(path), reason);
}

// A container stream over a Qt file. A failure is remembered for the caller
// and raised, which ends the container operation.
class TFileDeviceStream : public TStream
{
public:
    explicit TFileDeviceStream(QFileDevice &device) : FDevice(device) {}

    std::int64_t Read(void *buffer, std::int64_t count) override
    {
        const qint64 n = FDevice.read(static_cast<char *>(buffer), count);
        if (n < 0)
            Fail();
        return n;
    }
    void Write(const void *buffer, std::int64_t count) override
    {
        if (FDevice.write(static_cast<const char *>(buffer), count) != count)
            Fail();
    }
    std::int64_t Size() override { return FDevice.size(); }

    bool Failed() const { return !FReason.isNull(); }
    const QString &Reason() const { return FReason; }

private:
    [[noreturn]] void Fail()
    {
        FReason = FDevice.errorString();
        if (FReason.isNull())
            FReason = QStringLiteral("");
        throw EStreamError(FReason.toStdString());
    }

    QFileDevice &FDevice;
    QString FReason;
};

enum class TDirection { Encrypt, Decrypt };

struct TRunOptions
{
    TDirection Direction;
    QByteArray Passphrase;
    bool PrivateDestination;  // plaintext: owner only
    bool KeepFailedResult;    // commit the destination when the operation says false
};

TContainerCheck Run(const QString &sourcePath, const QString &destinationPath, const TRunOptions &options)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        throw EFileError(FileMessage("Cannot open file", sourcePath, source.errorString()));

    // Written beside the target and renamed over it at the end: a crash or a
    // failed write never leaves half a file under the target's name.
    // Plaintext is owner-only before its first byte: QSaveFile gives the
    // replacement the mode of the file it replaces, so a stale copy is made
    // owner-only first, and a new one below, before anything is written.
    if (options.PrivateDestination && QFile::exists(destinationPath)
        && !QFile::setPermissions(destinationPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw EFileError(FileMessage("Cannot create file", destinationPath, QStringLiteral("")));
    QSaveFile destination(destinationPath);
    if (!destination.open(QIODevice::WriteOnly))
        throw EFileError(FileMessage("Cannot create file", destinationPath, destination.errorString()));
    if (options.PrivateDestination
        && !destination.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw EFileError(FileMessage("Cannot create file", destinationPath, destination.errorString()));

    TFileDeviceStream in(source);
    TFileDeviceStream out(destination);
    bool ok;
    bool tooShort = false;
    bool headerPassed = false;
    {
        TEncryption encryption(options.Passphrase.toStdString(), ContainerBufferSize);
        if (options.Direction == TDirection::Encrypt) {
            ok = encryption.Encrypt(in, out);
        } else {
            const qint64 size = source.size();
            tooShort = size < SaltLength[encryption.KeyMode()] + VerifierLength + CodeLength;
            // Chunks are read only once the verifier has matched.
            encryption.OnProgress = [&headerPassed](TEncryption *, std::int32_t code, std::int64_t) {
                if (code == ProgressDecryptChunk)
                    headerPassed = true;
            };
            ok = encryption.Decrypt(in, &out, size);
        }
    }
    if (in.Failed())
        throw EFileError(FileMessage("Cannot read file", sourcePath, in.Reason()));
    if (out.Failed())
        throw EFileError(FileMessage("Cannot write file", destinationPath, out.Reason()));

    const TContainerCheck check = ok             ? TContainerCheck::Opened
                                  : tooShort     ? TContainerCheck::TooShort
                                  : headerPassed ? TContainerCheck::Damaged
                                                 : TContainerCheck::VerifierMismatch;
    if (ok || options.KeepFailedResult) {
        if (!destination.commit())
            throw EFileError(FileMessage("Cannot write file", destinationPath, destination.errorString()));
    } else {
        destination.cancelWriting();
    }
    source.close();
    return check;
}

} // namespace

bool EncryptFileToFile(const QString &source, const QString &destination)
{
    return Run(source, destination, {TDirection::Encrypt, ContainerPassphrase, false, true})
           == TContainerCheck::Opened;
}

bool DecryptFileToFile(const QString &source, const QString &destination)
{
    return Run(source, destination, {TDirection::Decrypt, ContainerPassphrase, true, true})
           == TContainerCheck::Opened;
}

bool EncryptFileWithPassphrase(const QString &source, const QString &destination,
                               const QByteArray &passphrase)
{
    return Run(source, destination, {TDirection::Encrypt, passphrase, false, false})
           == TContainerCheck::Opened;
}

TContainerCheck UnpackContainer(const QString &source, const QString &destination,
                                const QByteArray &passphrase)
{
    return Run(source, destination, {TDirection::Decrypt, passphrase, false, false});
}
