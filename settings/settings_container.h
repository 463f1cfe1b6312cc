#pragma once

#include <QByteArray>
#include <QString>

// The publisher's encrypted settings container and its temporary plaintext.
inline constexpr char kContainerFileName[] = "dbsettings.dat";
inline constexpr char kPlaintextFileName[] = "dbsettings.sim";

enum class TContainerState {
    Missing, // no container file
    Failed,  // unreadable, does not open with the program's passphrase, or
             // damaged (authentication code wrong): nothing of it is used
    Opened,
};

// Decrypts `containerPath` through the temporary plaintext file `plainPath`
// (owner-only, deleted again before this returns, whatever happens) and gives
// the text joined with CR LF after every line. Throws nothing for the failures
// above; `text` is empty unless the result is Opened.
TContainerState ReadContainerText(const QString &containerPath, const QString &plainPath, QByteArray &text);

// The same for the container of an application folder (trailing separator).
TContainerState ReadSettingsText(const QString &appFolder, QByteArray &text);

// Removes the plaintext file when it goes out of scope, on every path.
class TPlaintextGuard
{
public:
    explicit TPlaintextGuard(QString path) : m_path(std::move(path)) {}
    ~TPlaintextGuard();
    TPlaintextGuard(const TPlaintextGuard &) = delete;
    TPlaintextGuard &operator=(const TPlaintextGuard &) = delete;

private:
    QString m_path;
};

// Creates `path` readable and writable by its owner only (replacing any file
// of that name) and writes `bytes` to it. False when that fails.
bool WriteOwnerOnlyFile(const QString &path, const QByteArray &bytes);
