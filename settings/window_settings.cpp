#include "window_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>

#include <cctype>

namespace {

// The file holds a few numbers; anything larger was not written by us.
constexpr qint64 kMaxFileSize = 64 * 1024;
constexpr int kMaxCoordinate = 100000;
constexpr int kMaxPanes = 8;
constexpr int kMaxSplitters = 16;
// Room for the tree's names, well inside the file's limit.
constexpr qsizetype kMaxTreeText = 32 * 1024;

// Names are any bytes: percent-encoded, so that the line holds only letters,
// digits, "-._~" and "%", which neither INI reader nor writer escapes.
QByteArray Encoded(const QByteArray &name)
{
    return name.toPercentEncoding();
}

bool Decoded(const QByteArray &text, QByteArray *name)
{
    for (char c : text)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~' || c == '%'))
            return false;
    *name = QByteArray::fromPercentEncoding(text);
    return !name->isEmpty();
}

// Object names only: a key that QSettings would read as a path or escape is
// not one the window wrote.
bool SplitterName(const QString &name)
{
    static const QRegularExpression kName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,63}$"));
    return kName.match(name).hasMatch();
}

QRect ReadGeometry(const QSettings &s)
{
    bool ok[4];
    const QRect r(s.value("Window/X").toString().toInt(&ok[0]), s.value("Window/Y").toString().toInt(&ok[1]),
                  s.value("Window/Width").toString().toInt(&ok[2]), s.value("Window/Height").toString().toInt(&ok[3]));
    if (!(ok[0] && ok[1] && ok[2] && ok[3]))
        return {};
    auto inRange = [](int v, int lo) { return v >= lo && v <= kMaxCoordinate; };
    if (!inRange(r.x(), -kMaxCoordinate) || !inRange(r.y(), -kMaxCoordinate) || !inRange(r.width(), 1)
        || !inRange(r.height(), 1))
        return {};
    return r;
}

QList<int> ReadSizes(const QVariant &value)
{
    const QStringList parts = value.toString().split(u' ', Qt::SkipEmptyParts);
    if (parts.size() < 2 || parts.size() > kMaxPanes)
        return {};
    QList<int> sizes;
    for (const QString &p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v < 0 || v > kMaxCoordinate)
            return {};
        sizes << v;
    }
    return sizes;
}

QString WriteSizes(const QList<int> &sizes)
{
    QStringList parts;
    for (int v : sizes)
        parts << QString::number(v);
    return parts.join(u' ');
}

bool ReadBool(const QSettings &s, const QString &key, bool fallback)
{
    const QString v = s.value(key).toString().trimmed().toLower();
    if (v == QLatin1String("true") || v == QLatin1String("1"))
        return true;
    if (v == QLatin1String("false") || v == QLatin1String("0"))
        return false;
    return fallback;
}

} // namespace

TWindowSettings::TWindowSettings(const QString &folder)
    : m_path(QDir(folder).filePath(QString::fromLatin1(kWindowSettingsFile)))
{
}

TWindowState TWindowSettings::Load() const
{
    TWindowState state;
    const QFileInfo info(m_path);
    if (!info.isFile() || info.size() > kMaxFileSize)
        return state;
    QSettings s(m_path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError)
        return state;
    state.geometry = ReadGeometry(s);
    state.maximized = ReadBool(s, "Window/Maximized", false);
    s.beginGroup(QStringLiteral("Splitters"));
    const QStringList names = s.childKeys();
    for (const QString &name : names) {
        if (state.splitters.size() == kMaxSplitters)
            break;
        if (const QList<int> sizes = ReadSizes(s.value(name)); SplitterName(name) && !sizes.isEmpty())
            state.splitters.insert(name, sizes);
    }
    s.endGroup();
    state.remindersOn = ReadBool(s, "Reminders/On", true);
    state.lastReminder = QDate::fromString(s.value("Reminders/LastShown").toString(), Qt::ISODate);
    state.passwordShown = ReadBool(s, "Editor/ShowPassword", true);
    return state;
}

TBookLockSettings TWindowSettings::LoadBookLock() const
{
    TBookLockSettings lock;
    const QFileInfo info(m_path);
    if (!info.isFile() || info.size() > kMaxFileSize)
        return lock;
    QSettings s(m_path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError)
        return lock;
    bool ok = false;
    const int minutes = s.value("Lock/IdleMinutes").toString().toInt(&ok);
    if (ok && minutes >= 0 && minutes <= 1440)
        lock.idleMinutes = minutes;
    lock.protectOfferDeclined = ReadBool(s, "Lock/ProtectOfferDeclined", false);
    return lock;
}

TTreeState TWindowSettings::LoadTree() const
{
    TTreeState tree;
    const QFileInfo info(m_path);
    if (!info.isFile() || info.size() > kMaxFileSize)
        return tree;
    QSettings s(m_path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError)
        return tree;
    const QList<QByteArray> open = s.value("Tree/Open").toString().toLatin1().split(' ');
    for (const QByteArray &text : open)
        if (QByteArray name; Decoded(text, &name))
            tree.open.append(name);
    const QList<QByteArray> selected = s.value("Tree/Selected").toString().toLatin1().split('/');
    QByteArray category, title;
    if (selected.size() <= 2 && Decoded(selected[0], &category)
        && (selected.size() == 1 || Decoded(selected[1], &title))) {
        tree.category = category;
        tree.title = title;
    }
    return tree;
}

bool TWindowSettings::Save(const TWindowState &state) const
{
    return Write(state, LoadBookLock(), LoadTree());
}

bool TWindowSettings::SaveBookLock(const TBookLockSettings &lock) const
{
    return Write(Load(), lock, LoadTree());
}

bool TWindowSettings::SaveTree(const TTreeState &tree) const
{
    return Write(Load(), LoadBookLock(), tree);
}

bool TWindowSettings::Write(const TWindowState &state, const TBookLockSettings &lock, const TTreeState &tree) const
{
    // Written whole rather than through QSettings, which would merge with
    // what the file holds (a damaged file would be carried along) and leave a
    // lock file beside it. Every value is a number, a word or a checked name,
    // so nothing needs escaping.
    QByteArray text = "[Window]\n";
    const auto line = [&text](const QString &key, const QString &value) {
        text += key.toLatin1() + '=' + value.toLatin1() + '\n';
    };
    const auto yesNo = [](bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); };
    if (state.geometry.isValid()) {
        line(QStringLiteral("X"), QString::number(state.geometry.x()));
        line(QStringLiteral("Y"), QString::number(state.geometry.y()));
        line(QStringLiteral("Width"), QString::number(state.geometry.width()));
        line(QStringLiteral("Height"), QString::number(state.geometry.height()));
    }
    line(QStringLiteral("Maximized"), yesNo(state.maximized));
    text += "\n[Splitters]\n";
    int splitters = 0;
    for (auto it = state.splitters.cbegin(); it != state.splitters.cend() && splitters < kMaxSplitters; ++it) {
        if (SplitterName(it.key()) && it->size() >= 2 && it->size() <= kMaxPanes) {
            line(it.key(), WriteSizes(*it));
            ++splitters;
        }
    }
    text += "\n[Reminders]\n";
    line(QStringLiteral("On"), yesNo(state.remindersOn));
    if (state.lastReminder.isValid())
        line(QStringLiteral("LastShown"), state.lastReminder.toString(Qt::ISODate));
    // Folders that never changed them keep the file they had.
    if (lock != TBookLockSettings{}) {
        text += "\n[Lock]\n";
        line(QStringLiteral("IdleMinutes"), QString::number(lock.idleMinutes));
        line(QStringLiteral("ProtectOfferDeclined"), yesNo(lock.protectOfferDeclined));
    }
    if (!state.passwordShown) {
        text += "\n[Editor]\n";
        line(QStringLiteral("ShowPassword"), yesNo(state.passwordShown));
    }
    if (tree != TTreeState{}) {
        text += "\n[Tree]\n";
        QByteArray open;
        for (const QByteArray &name : tree.open) {
            const QByteArray encoded = Encoded(name);
            if (encoded.isEmpty() || open.size() + encoded.size() + 1 > kMaxTreeText)
                continue;
            open += (open.isEmpty() ? "" : " ") + encoded;
        }
        if (!open.isEmpty())
            text += "Open=" + open + '\n';
        const QByteArray selected = Encoded(tree.category) + (tree.title.isEmpty() ? "" : "/" + Encoded(tree.title));
        if (!tree.category.isEmpty() && selected.size() <= kMaxTreeText)
            text += "Selected=" + selected + '\n';
    }

    QSaveFile file(m_path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}
