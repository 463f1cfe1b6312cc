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
#include <QScopeGuard>

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

EFileError TooLarge(const QString &path, qsizetype maxBytes)
{
    return EFileError(
        QStringLiteral("\"%1\" is larger than %2 MB; it is not read.").arg(Native(path)).arg(maxBytes / (1024 * 1024)));
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
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("Cannot open file \"%1\". %2").arg(Native(path), file.errorString()));
    if (file.size() > maxBytes)
        throw TooLarge(path, maxBytes);
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
        throw TooLarge(path, maxBytes);
    return bytes;
}

TCsvSource OpenCsvFile(const QString &path, qsizetype maxBytes)
{
    QFile file(path);
    if (QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) && !file.isSequential()) {
        if (file.size() > maxBytes)
            throw TooLarge(path, maxBytes);
        return TCsvSource::File(path);
    }
    return TCsvSource(ReadCsvFile(path, maxBytes));
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

namespace {

// Adds what an import gives to the book, in the order given: each new
// category before its first item, items after the book's own.
class TBookImportSink final : public TImportSink
{
public:
    TBookImportSink(TAccountBook &book, const std::function<void()> &beforeFirstChange)
        : m_book(book), m_beforeFirstChange(beforeFirstChange)
    {
        // Items show under the first category of their name.
        for (int c = book.CategoryCount() - 1; c >= 0; --c)
            m_rowOf.insert(book.CategoryName(c), c);
    }

    void AddCategory(const QByteArray &name) override
    {
        Changing();
        if (m_book.AddCategory(name) != TBookOutcome::Done)
            Changed(QStringLiteral("the category \"%1\" is there now").arg(Shown(name)));
        if (!m_rowOf.contains(name))
            m_rowOf.insert(name, m_book.CategoryCount() - 1);
        ++m_done.newCategories;
    }

    void AddItem(TImportItem &&in) override
    {
        Changing();
        const TItemRecord &item = in.item;
        const auto row = m_rowOf.constFind(item.Category());
        if (row == m_rowOf.constEnd())
            Changed(QStringLiteral("the category \"%1\" is gone").arg(Shown(item.Category())));
        const QModelIndex category = m_book.CategoryIndex(*row);
        // Adding compares titles ignoring case, as for a title the user
        // types in; the plan made titles unique byte for byte, as storing an
        // edited item does. A title that differs from one of the category
        // only in case is added under a stand-in and stored under its own.
        QModelIndex node;
        TBookOutcome added = m_book.AddItem(category, item.Title(), &node);
        for (int n = 1; added == TBookOutcome::ItemExists && n < 1000; ++n)
            added = m_book.AddItem(category, "\x7F" "import " + QByteArray::number(n), &node);
        if (added != TBookOutcome::Done)
            Changed(QStringLiteral("no place for \"%1\"").arg(Shown(item.Title())));
        if (m_book.StoreItem(node, item.FieldsAfterCategory(), item.description) != TBookOutcome::Done)
            Changed(QStringLiteral("the title \"%1\" is taken in \"%2\"")
                        .arg(Shown(item.Title()), Shown(item.Category())));
        ++m_done.items;
    }

    void Refuse(TImportItem &&) override {}

    const TImportDone &Done() const { return m_done; }

private:
    QString Shown(const QByteArray &bytes) const { return DecodeBookText(bytes, m_book.Text()); }

    void Changing()
    {
        if (m_done.items == 0 && m_done.newCategories == 0 && m_beforeFirstChange)
            m_beforeFirstChange();
    }

    [[noreturn]] static void Changed(const QString &what)
    {
        throw EAppError(QStringLiteral("The account book changed while the import was prepared (%1). "
                                       "Import the file again.")
                            .arg(what));
    }

    TAccountBook &m_book;
    const std::function<void()> m_beforeFirstChange;
    QHash<QByteArray, int> m_rowOf;
    TImportDone m_done;
};

} // namespace

TImportDone ApplyCsvImport(TAccountBook &book, const TImportPlan &plan)
{
    TBookImportSink sink(book, {});
    for (const QByteArray &name : plan.newCategories)
        sink.AddCategory(name);
    for (const TImportItem &in : plan.items)
        sink.AddItem(TImportItem(in));
    return sink.Done();
}

TImportPlan ImportCsvInto(TAccountBook &book, const TCsvSource &csv, TImportDone *done,
                          const std::function<void()> &beforeFirstChange)
{
    TBookImportSink sink(book, beforeFirstChange);
    const auto report = qScopeGuard([&] { *done = sink.Done(); });
    TImportBook into = ImportBookOf(book);
    into.holdsGiven = true;
    return MapCsvImport(csv, into, &sink);
}
