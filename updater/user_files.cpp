#include "user_files.h"

#include "book/book_file_names.h"

#include <QRegularExpression>
#include <QStringList>

namespace UpdateManifest {
namespace {

// The one list of what no release carries and no update replaces; lower case.
const QStringList &UserNames()
{
    static const QStringList names = {
        BookFileNames::kCategories,        BookFileNames::kItems,              QStringLiteral("backups"),
        QStringLiteral("tarnwick.ini"),    QStringLiteral("tarnwick.lock"),   QStringLiteral("browser"),
        QStringLiteral("dbsettings.dat"),  QStringLiteral("dbsettings.sim"),  QStringLiteral("mainskin.dat"),
        QStringLiteral("main.ico"),        QStringLiteral("mainappupdate.inf"), QStringLiteral("updater.log"),
        QStringLiteral("updater.journal"), BookFileNames::kProtected,
    };
    return names;
}

bool IsUserName(const QString &n)
{
    // Book files, banners and whatever else the settings bring end in .dat or
    // .sim; locks of the program and the book tool in .lock.
    return UserNames().contains(n) || n.endsWith(QLatin1String(".dat")) || n.endsWith(QLatin1String(".sim")) ||
           n.endsWith(QLatin1String(".lock"));
}

} // namespace

bool IsSafeName(const QString &name)
{
    if (name.isEmpty() || name.size() > 255 || name.startsWith(u'.'))
        return false;
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

bool IsUserFile(const QString &name)
{
    const QString n = name.toLower();
    if (IsUserName(n))
        return true;
    // What an atomic write leaves beside its file when it is cut short
    // ("items.dat.Ab12Cd", "tarnwick.lock.rmlock"). The updater's own
    // temporary files are hidden, which IsSafeName refuses.
    for (qsizetype dot = n.indexOf(u'.', 1); dot > 0; dot = n.indexOf(u'.', dot + 1))
        if (IsUserName(n.left(dot)))
            return true;
    return false;
}

bool IsBrandFile(const QString &name)
{
    static const QRegularExpression brand(
        QStringLiteral("^(dbsettings\\.dat|mainskin\\.dat|main\\.ico|banner[1-9][0-9]{0,2}\\.dat)$"));
    return brand.match(name).hasMatch();
}

bool IsReleaseFile(const QString &name)
{
    return IsSafeName(name) && (!IsUserFile(name) || IsBrandFile(name));
}

} // namespace UpdateManifest
