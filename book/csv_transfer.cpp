#include "csv_transfer.h"

#include "book/account_book.h"
#include "book/book_folder.h"
#include "util/codepage.h"
#include "util/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>

namespace {

// The path as the file system resolves it, also for a file not yet made.
QString Resolved(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName());
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

QByteArray ExportBookCsv(const TAccountBook &book)
{
    QList<TItemRecord> items;
    items.reserve(book.RecordCount());
    for (qsizetype r = 0; r < book.RecordCount(); ++r)
        items.append(book.ReadItem(r));
    return BookToCsv(items, book.Text());
}

QString ExportTargetRefusal(const QString &appFolder, const QString &path)
{
    const QString target = Resolved(path);
    for (const QString &own : {TBookFolder::kCategoriesFile, TBookFolder::kItemsFile, TBookFolder::kProtectedFile,
                               QStringLiteral("dbsettings.dat")}) {
        if (target == Resolved(QDir(appFolder).filePath(own)))
            return QStringLiteral("\"%1\" is a file of the account book itself; choose another file for the "
                                  "export.")
                .arg(Native(path));
    }
    return {};
}

void SaveCsvExport(const QString &path, const QByteArray &csv)
{
    QSaveFile file(path);
    const auto fail = [&](const QString &what) {
        const QString why = file.errorString();
        file.cancelWriting();
        throw EFileError(QStringLiteral("%1 \"%2\". %3").arg(what, Native(path), why));
    };
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot create file"));
    // Narrowed before the first byte, and also over the mode of a file it
    // replaces, which the save would otherwise carry over.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        fail(QStringLiteral("Cannot create file"));
    if (file.write(csv) != csv.size())
        fail(QStringLiteral("Cannot write file"));
    if (!file.commit())
        throw EFileError(QStringLiteral("Cannot write file \"%1\". %2").arg(Native(path), file.errorString()));
}

QByteArray ReadCsvFile(const QString &path, qsizetype maxBytes)
{
    const QString tooLarge =
        QStringLiteral("\"%1\" is larger than %2 MB; it is not read.").arg(Native(path)).arg(maxBytes / (1024 * 1024));
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("Cannot open file \"%1\". %2").arg(Native(path), file.errorString()));
    if (file.size() > maxBytes)
        throw EFileError(tooLarge);
    // A pipe or a device tells no size: read one byte past the bound to know.
    // A file that tells one is read into a buffer of its size (and a byte
    // more, to notice one that grows), not into one of the bound's.
    QByteArray bytes;
    if (const qint64 size = file.size(); size > 0 && !file.isSequential()) {
        bytes = file.read(size + 1);
        while (file.error() == QFileDevice::NoError && bytes.size() <= maxBytes && !file.atEnd()) {
            const QByteArray more = file.read(std::min<qint64>(64 * 1024, maxBytes + 1 - bytes.size()));
            if (more.isEmpty())
                break;
            bytes += more;
        }
    } else {
        bytes = file.read(maxBytes + 1);
    }
    if (file.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("Cannot read file \"%1\". %2").arg(Native(path), file.errorString()));
    if (bytes.size() > maxBytes)
        throw EFileError(tooLarge);
    return bytes;
}

TImportBook ImportBookOf(const TAccountBook &book)
{
    TImportBook out;
    for (int c = 0; c < book.CategoryCount(); ++c)
        out.categories.append(book.CategoryName(c));
    out.hasTitle = [&book](const QByteArray &category, const QByteArray &title) {
        return book.FindItem(category, title) >= 0;
    };
    out.text = book.Text();
    // Items show under the first category of their name.
    out.loginsIn = [&book](const QByteArray &category) {
        QList<TBookLogin> logins;
        for (int c = 0; c < book.CategoryCount(); ++c) {
            if (book.CategoryName(c) != category)
                continue;
            const QModelIndex node = book.CategoryIndex(c);
            for (int i = 0, n = book.rowCount(node); i < n; ++i) {
                const TItemRecord item = book.ReadItem(book.RecordAt(book.index(i, 0, node)));
                logins.append({item.Title(), item.Login(), item.Password()});
            }
            break;
        }
        return logins;
    };
    return out;
}

TImportDone ApplyCsvImport(TAccountBook &book, const TImportPlan &plan)
{
    TImportDone done;
    const auto Shown = [&book](const QByteArray &bytes) { return DecodeBookText(bytes, book.Text()); };
    const auto changed = [](const QString &what) {
        throw EAppError(QStringLiteral("The account book changed while the import was prepared (%1). "
                                       "Import the file again.")
                            .arg(what));
    };
    for (const QByteArray &name : plan.newCategories) {
        if (book.AddCategory(name) != TBookOutcome::Done)
            changed(QStringLiteral("the category \"%1\" is there now").arg(Shown(name)));
        ++done.newCategories;
    }
    // Items show under the first category of their name.
    QHash<QByteArray, int> rowOf;
    for (int c = book.CategoryCount() - 1; c >= 0; --c)
        rowOf.insert(book.CategoryName(c), c);

    for (const TImportItem &in : plan.items) {
        const TItemRecord &item = in.item;
        const auto row = rowOf.constFind(item.Category());
        if (row == rowOf.constEnd())
            changed(QStringLiteral("the category \"%1\" is gone").arg(Shown(item.Category())));
        const QModelIndex category = book.CategoryIndex(*row);
        // Adding compares titles ignoring case, as for a title the user
        // types in; the plan made titles unique byte for byte, as storing an
        // edited item does. A title that differs from one of the category
        // only in case is added under a stand-in and stored under its own.
        QModelIndex node;
        TBookOutcome added = book.AddItem(category, item.Title(), &node);
        for (int n = 1; added == TBookOutcome::ItemExists && n < 1000; ++n)
            added = book.AddItem(category, "\x7F" "import " + QByteArray::number(n), &node);
        if (added != TBookOutcome::Done)
            changed(QStringLiteral("no place for \"%1\"").arg(Shown(item.Title())));
        std::array<QByteArray, 10> rest;
        std::copy(item.fields.begin() + 1, item.fields.end(), rest.begin());
        if (book.StoreItem(node, rest, item.description) != TBookOutcome::Done)
            changed(QStringLiteral("the title \"%1\" is taken in \"%2\"")
                        .arg(Shown(item.Title()), Shown(item.Category())));
        ++done.items;
    }
    return done;
}
