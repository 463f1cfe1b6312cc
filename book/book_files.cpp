#include "book_files.h"

#include "book/book_folder.h"
#include "util/atomic_writer.h"
#include "util/errors.h"
#include "util/string_list.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace {

const QString &kCategoriesFile = TBookFolder::kCategoriesFile;
const QString &kItemsFile = TBookFolder::kItemsFile;

// A message with its closing full stop, whether or not it brought one.
QString Sentence(const QString &text)
{
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

} // namespace

QString TBookWriteResult::Message() const
{
    if (Ok())
        return {};
    if (unchanged)
        return QStringLiteral("%1 The account book is unchanged.").arg(Sentence(error));
    return QStringLiteral("%1 The account book's two files no longer belong together: restore the newest backup "
                          "to bring back the book as it was.")
        .arg(Sentence(error));
}

TBookWriteResult WriteBookFiles(const QString &folder, const TBookFileContent &categories,
                                const TBookFileContent &items)
{
    TBookWriteResult result;
    const QString categoriesPath = folder + kCategoriesFile;
    try {
        if (!categories) {
            TAtomicWriter itemsOut(folder + kItemsFile);
            items(itemsOut);
            itemsOut.Commit();
            return result;
        }
        // What categories.dat holds now, to put back should items.dat fail
        // after it: the same bytes the backup taken before the command holds.
        std::optional<QByteArray> before;
        if (QFileInfo::exists(categoriesPath))
            before = LoadFileBytes(categoriesPath);
        TAtomicWriter categoriesOut(categoriesPath);
        categories(categoriesOut);
        categoriesOut.Prepare();
        TAtomicWriter itemsOut(folder + kItemsFile);
        items(itemsOut);
        itemsOut.Prepare();
        // From here on only the two renames are left to fail.
        categoriesOut.Commit();
        try {
            itemsOut.Commit();
        } catch (const EFileError &e) {
            result.error = e.message();
            try {
                if (before)
                    SaveBytesAtomic(categoriesPath, *before);
                else if (!QFile::remove(categoriesPath))
                    throw EFileError(QStringLiteral("Cannot remove file \"%1\".")
                                         .arg(QDir::toNativeSeparators(categoriesPath)));
            } catch (const EFileError &back) {
                result.unchanged = false;
                result.error = QStringLiteral("%1 %2").arg(Sentence(e.message()), back.message());
            }
        }
    } catch (const EFileError &e) {
        // Nothing was replaced yet: the writers left no file behind.
        result.error = e.message();
    }
    return result;
}

TBookWriteResult WriteBookFiles(const QString &folder, const QByteArray &categories, const QByteArray &items)
{
    return WriteBookFiles(
        folder, [&](TAtomicWriter &out) { out.Write(categories); }, [&](TAtomicWriter &out) { out.Write(items); });
}
