#include "window_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

// The file holds a few numbers; anything larger was not written by us.
constexpr qint64 kMaxFileSize = 64 * 1024;
constexpr int kMaxCoordinate = 100000;
constexpr int kMaxPanes = 8;

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

QList<int> ReadSizes(const QSettings &s, const QString &key)
{
    const QStringList parts = s.value(key).toString().split(u' ', Qt::SkipEmptyParts);
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
    const QSettings s(m_path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError)
        return state;
    state.geometry = ReadGeometry(s);
    state.maximized = ReadBool(s, "Window/Maximized", false);
    state.mainSplitter = ReadSizes(s, "Window/MainSplitter");
    state.editorSplitter = ReadSizes(s, "Window/EditorSplitter");
    state.remindersOn = ReadBool(s, "Reminders/On", true);
    state.lastReminder = QDate::fromString(s.value("Reminders/LastShown").toString(), Qt::ISODate);
    return state;
}

bool TWindowSettings::Save(const TWindowState &state) const
{
    // QSettings would merge with what the file holds; the state is written
    // whole, so a damaged file is replaced rather than carried along.
    if (const QFileInfo info(m_path); info.isFile() && info.size() > kMaxFileSize)
        QFile::remove(m_path); // not ours, and QSettings would read it all first
    QSettings s(m_path, QSettings::IniFormat);
    s.setAtomicSyncRequired(true);
    s.clear();
    if (state.geometry.isValid()) {
        s.setValue("Window/X", state.geometry.x());
        s.setValue("Window/Y", state.geometry.y());
        s.setValue("Window/Width", state.geometry.width());
        s.setValue("Window/Height", state.geometry.height());
    }
    s.setValue("Window/Maximized", state.maximized);
    if (!state.mainSplitter.isEmpty())
        s.setValue("Window/MainSplitter", WriteSizes(state.mainSplitter));
    if (!state.editorSplitter.isEmpty())
        s.setValue("Window/EditorSplitter", WriteSizes(state.editorSplitter));
    s.setValue("Reminders/On", state.remindersOn);
    if (state.lastReminder.isValid())
        s.setValue("Reminders/LastShown", state.lastReminder.toString(Qt::ISODate));
    s.sync();
    return s.status() == QSettings::NoError;
}
