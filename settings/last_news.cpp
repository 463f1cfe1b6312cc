#include "last_news.h"

#include "settings_container.h"
#include "tag_text.h"
#include "util/errors.h"
#include "util/file_crypt.h"
#include "util/string_list.h"

#include <QFileInfo>

namespace {

const QByteArray kMarkerName = "LastNewsId";

} // namespace

QByteArray ReadLastNewsId(const QString &appFolder)
{
    QByteArray text;
    if (ReadSettingsText(appFolder, text) != TContainerState::Opened)
        return {};
    return ExtractTagValue(OpenTag(kMarkerName), CloseTag(kMarkerName), text);
}

bool WriteLastNewsId(const QString &appFolder, const QByteArray &id)
{
    return WriteLastNewsIdInto(appFolder + QLatin1String(kContainerFileName),
                               appFolder + QLatin1String(kPlaintextFileName), id);
}

bool WriteLastNewsIdInto(const QString &container, const QString &plain, const QByteArray &id)
{
    // The id comes from the news service over the network. A line break would
    // add lines of its own to the settings, a NUL would end them there, and a
    // tag would plant a setting: such an id is not written.
    if (id.contains('\r') || id.contains('\n') || id.contains('\0') || id.contains("<%%"))
        return false;

    QByteArray text;
    if (ReadContainerText(container, plain, text) != TContainerState::Opened)
        return false;
    TStringList lines = SplitLines(text);

    const QByteArray open = OpenTag(kMarkerName);
    const QByteArray marker = open + id + CloseTag(kMarkerName);
    qsizetype at = -1;
    for (qsizetype i = 0; i < lines.size() && at < 0; ++i)
        if (lines[i].contains(open))
            at = i;
    if (at >= 0)
        lines[at] = marker;
    else
        lines.append(marker);

    TPlaintextGuard guard(plain);
    if (!WriteOwnerOnlyFile(plain, JoinLines(lines)))
        return false;
    try {
        // The container is replaced atomically, so a failure here leaves the
        // old one whole.
        return EncryptFileToFile(plain, container);
    } catch (const EFileError &) {
        return false;
    }
}
