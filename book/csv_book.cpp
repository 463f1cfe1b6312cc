#include "csv_book.h"

#include "book/input_rules.h"
#include "book/item_titles.h"
#include "util/codepage.h"
#include "util/text_utils.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QUrl>

#include <sodium.h>

#include <algorithm>

namespace {

// Field names in item order, as the editor labels them.
const QStringList &FieldNames()
{
    static const QStringList names{
        QStringLiteral("Category"),        QStringLiteral("Title"),       QStringLiteral("Affiliate Program"),
        QStringLiteral("Website URL"),     QStringLiteral("Login URL"),   QStringLiteral("Username"),
        QStringLiteral("Password"),        QStringLiteral("Affiliate Link"), QStringLiteral("Cloaked URL"),
        QStringLiteral("Min Payout"),      QStringLiteral("Payment Day"), QStringLiteral("Description"),
    };
    return names;
}

QString Key(const QString &header)
{
    return header.trimmed().toLower();
}

// Header names of lists of logins, lower case, by the field they fill.
struct TSynonyms
{
    QStringList title{"name", "title", "account"};
    QStringList url{"url", "login_uri", "website", "web site", "uri", "login url", "login_url"};
    QStringList username{"username", "login", "login_username", "login name", "user name", "user"};
    QStringList email{"email", "e-mail"};
    QStringList password{"password", "login_password"};
    QStringList notes{"notes", "note", "extra", "comments", "comment"};
    QStringList folder{"folder", "grouping", "group", "category"};
};

int Find(const QStringList &keys, const QStringList &names)
{
    for (const QString &n : names)
        if (const qsizetype i = keys.indexOf(n); i >= 0)
            return int(i);
    return -1;
}

// The set a header row matches exactly, to tell the user what was found.
QString FormatName(const QStringList &keys)
{
    struct TKnown
    {
        const char *name;
        QStringList keys;
    };
    static const QList<TKnown> known{
        {"browser password list", {"name", "url", "username", "password"}},
        {"browser password list", {"name", "url", "username", "password", "note"}},
        {"browser password list",
         {"url", "username", "password", "httprealm", "formactionorigin", "guid", "timecreated", "timelastused",
          "timepasswordchanged"}},
        {"browser password list", {"title", "url", "username", "password", "notes", "otpauth"}},
        {"password manager export",
         {"folder", "favorite", "type", "name", "notes", "fields", "reprompt", "login_uri", "login_username",
          "login_password", "login_totp"}},
        {"password manager export", {"url", "username", "password", "totp", "extra", "name", "grouping", "fav"}},
        {"password manager export", {"url", "username", "password", "extra", "name", "grouping", "fav"}},
        {"password manager export",
         {"group", "title", "username", "password", "url", "notes", "totp", "icon", "last modified", "created"}},
        {"password manager export", {"account", "login name", "password", "web site", "comments"}},
        {"password manager export", {"title", "url", "username", "password", "notes"}},
    };
    for (const TKnown &k : known)
        if (keys == k.keys)
            return QString::fromLatin1(k.name);
    return QStringLiteral("list of logins");
}

// --- Making text fit the book's files --------------------------------------

class TFitter
{
public:
    TFitter(int row, QList<TImportNote> &notes, TBookText text = TBookText::Ansi)
        : m_row(row), m_notes(notes), m_text(text)
    {
    }

    // `secret`: the characters the book lacks are not quoted in the note.
    QByteArray Line(const QString &field, QString text, bool secret = false)
    {
        bool broken = false;
        for (QChar &c : text) {
            if (c == u'\r' || c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029)) {
                c = u' ';
                broken = true;
            }
        }
        if (broken)
            Note(field, QStringLiteral("line breaks in a single-line field"),
                 QStringLiteral("each becomes a blank"));
        if (m_text == TBookText::Utf8)
            return Utf8(field, text);
        bool delimiter = false;
        for (QChar &c : text) {
            if (c == QChar(0x00A5)) {
                c = u'?';
                delimiter = true;
            }
        }
        if (delimiter)
            Note(field, QStringLiteral("the character \"\u00A5\" separates the book's fields"),
                 QStringLiteral("it becomes \"?\""));
        return Ansi(field, text, secret);
    }

    // `ownBreaks`: the book's own export, whose line breaks are the book's
    // and come back as they were; other lists get the editor's CR LF.
    QByteArray Description(const QString &field, const QString &text, bool ownBreaks)
    {
        QString lines = text;
        if (!ownBreaks) {
            lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
            lines.replace(QChar(0x2028), u'\n').replace(QChar(0x2029), u'\n');
            lines.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        }
        if (m_text == TBookText::Utf8)
            return Utf8(field, lines);
        QByteArray bytes = Ansi(field, lines);
        if (UnescapeLineBreaks(EscapeLineBreaks(bytes)) != bytes) {
            // Only a "¥" before a CR or next to another "¥", and a "§"
            // before a LF or next to another "§", pair up wrongly.
            QByteArray fixed = bytes;
            for (qsizetype i = 0; i < bytes.size(); ++i) {
                const char c = bytes[i];
                const char prev = i > 0 ? bytes[i - 1] : '\0';
                const char next = i + 1 < bytes.size() ? bytes[i + 1] : '\0';
                if ((c == '\xA5' && (prev == '\xA5' || next == '\xA5' || next == '\r'))
                    || (c == '\xA7' && (prev == '\xA7' || next == '\xA7' || next == '\n')))
                    fixed[i] = '?';
            }
            if (UnescapeLineBreaks(EscapeLineBreaks(fixed)) != fixed)
                fixed.replace('\xA5', '?').replace('\xA7', '?');
            bytes = fixed;
            Note(field, QStringLiteral("\"\u00A5\" or \"\u00A7\" next to each other, or \"\u00A5\" before a "
                                       "line break, would come back as a line break"),
                 QStringLiteral("each such character becomes \"?\""));
        }
        return bytes;
    }

    void Note(const QString &field, const QString &problem, const QString &action)
    {
        m_notes.append({m_row, field, problem, action});
    }

private:
    // Every character as it is; only a NUL, which would end the book's
    // line, becomes "?".
    QByteArray Utf8(const QString &field, QString text)
    {
        if (text.contains(QChar(0))) {
            text.replace(QChar(0), u'?');
            Note(field, QStringLiteral("a NUL character"), QStringLiteral("it becomes \"?\""));
        }
        return text.toUtf8();
    }

    // One "?" per character that Windows-1252 lacks, a pair of surrogates
    // (an emoji, say) being one character.
    QByteArray Ansi(const QString &field, const QString &text, bool secret = false)
    {
        // Most text of a list is plain ASCII, which converts as it is; the
        // walk below, a conversion per character, only for the rest.
        bool plain = true;
        for (const QChar c : text)
            plain = plain && c.unicode() - 1u < 0x7Fu;
        if (plain)
            return text.toLatin1();
        QByteArray bytes;
        bytes.reserve(text.size());
        QStringList lacking;
        bool nul = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c == QChar(0)) {
                bytes += '?';
                nul = true;
            } else if (IsAnsiEncodable(c)) {
                bytes += ToAnsi(QString(c));
            } else {
                const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
                const QString one = text.mid(i, pair ? 2 : 1);
                if (!lacking.contains(one) && lacking.size() < 10)
                    lacking << one;
                bytes += '?';
                i += pair ? 1 : 0;
            }
        }
        if (nul)
            Note(field, QStringLiteral("a NUL character"), QStringLiteral("it becomes \"?\""));
        if (!lacking.isEmpty() && secret)
            Note(field, QStringLiteral("characters the book cannot hold"), QStringLiteral("each becomes \"?\""));
        else if (!lacking.isEmpty())
            Note(field, QStringLiteral("characters the book cannot hold (%1)").arg(lacking.join(QString())),
                 QStringLiteral("each becomes \"?\""));
        return bytes;
    }

    int m_row;
    QList<TImportNote> &m_notes;
    TBookText m_text;
};

QString HostOf(const QString &address)
{
    QUrl url(address.trimmed());
    if (url.host().isEmpty())
        url = QUrl(QStringLiteral("http://") + address.trimmed());
    return url.host();
}

// Category names as the book compares them when one is added: surrounding
// blanks and ASCII case do not count. A name spelt exactly as a category of
// the book or of the import so far stays; another spelling of one takes its
// spelling; anything else is a new category.
class TCategoryNames
{
public:
    explicit TCategoryNames(const QByteArrayList &book)
    {
        // Of several spellings in the book (only a hand edit makes them) the
        // first wins: walking backwards, it is inserted last.
        for (auto it = book.crbegin(); it != book.crend(); ++it) {
            m_exact.insert(*it);
            m_folded.insert(Fold(*it), *it);
        }
    }

    QByteArray Resolve(const QByteArray &name, bool *isNew)
    {
        *isNew = false;
        // The spelling kept here, so that the items of a category share one
        // copy of its name.
        if (const auto it = m_exact.constFind(name); it != m_exact.cend())
            return *it;
        const QByteArray key = Fold(name);
        if (const auto it = m_folded.constFind(key); it != m_folded.constEnd())
            return *it;
        *isNew = true;
        m_exact.insert(name);
        m_folded.insert(key, name);
        return name;
    }

private:
    static QByteArray Fold(const QByteArray &name) { return UpperAscii(TrimAnsi(name)); }

    QSet<QByteArray> m_exact;
    QHash<QByteArray, QByteArray> m_folded;
};

// The addresses of a field that may hold several, separated by commas.
QStringList Addresses(const QString &field)
{
    QStringList out;
    for (const QString &part : field.split(u','))
        if (const QString address = part.trimmed(); !address.isEmpty())
            out << address;
    return out;
}

// The root group that every group path of the file starts with, when at
// least one path goes below it; empty otherwise, and then no path is
// shortened: a list whose paths start differently has no root to drop.
QString CommonRootGroup(const TCsvSource &csv, qsizetype maxBytes, int column)
{
    QString root;
    bool nested = false;
    TCsvReader reader(csv, maxBytes);
    TCsvRow row;
    if (!reader.Next(row))
        return {};
    const qsizetype width = row.fields.size();
    while (reader.Next(row)) {
        if (!row.fault.isEmpty() || row.fields.size() != width)
            continue;
        const QString path = row.fields[column].trimmed();
        if (path.isEmpty())
            continue;
        const QString first = path.section(u'/', 0, 0);
        if (root.isNull())
            root = first;
        else if (first != root)
            return {};
        nested = nested || path.size() > first.size();
    }
    return nested ? root : QString();
}

QString WithoutRootGroup(const QString &path, const QString &root)
{
    if (root.isEmpty() || !path.startsWith(root + u'/'))
        return path;
    return path.mid(root.size() + 1).trimmed();
}

// The title a numbered title was made from ("Mail (2)" -> "Mail"), as the
// import numbers a taken one; empty for any other title.
QByteArray UnnumberedTitle(const QByteArray &title)
{
    const qsizetype open = title.lastIndexOf(" (");
    if (open <= 0 || !title.endsWith(')'))
        return {};
    const QByteArray digits = title.mid(open + 2, title.size() - open - 3);
    if (digits.isEmpty() || digits.size() > 9 || digits.startsWith('0'))
        return {};
    for (const char d : digits)
        if (d < '0' || d > '9')
            return {};
    return digits.toInt() >= 2 ? title.left(open) : QByteArray();
}

// A 128-bit digest of byte strings under a key drawn for each import, so
// that what the import remembers of every row takes 16 bytes instead of the
// row's text, and no file can be made whose rows collide.
struct TDigest
{
    quint64 low = 0;
    quint64 high = 0;
    bool operator==(const TDigest &o) const { return low == o.low && high == o.high; }
};
size_t qHash(const TDigest &d, size_t seed = 0)
{
    return size_t(d.low) ^ seed;
}

class TKeyedDigest
{
public:
    TKeyedDigest()
    {
        static_assert(sizeof m_key == crypto_shorthash_siphashx24_KEYBYTES);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(m_key), sizeof m_key / sizeof(quint32));
    }

    // Of the parts, each with its length, so that no two lists of parts
    // give the same bytes.
    TDigest Of(std::initializer_list<QByteArrayView> parts)
    {
        m_bytes.truncate(0);
        for (const QByteArrayView part : parts) {
            const quint32 size = quint32(part.size());
            m_bytes.append(reinterpret_cast<const char *>(&size), sizeof size).append(part);
        }
        TDigest d;
        static_assert(sizeof d == crypto_shorthash_siphashx24_BYTES);
        crypto_shorthash_siphashx24(reinterpret_cast<unsigned char *>(&d),
                                    reinterpret_cast<const unsigned char *>(m_bytes.constData()),
                                    quint64(m_bytes.size()), m_key);
        return d;
    }

private:
    alignas(quint32) unsigned char m_key[16];
    QByteArray m_bytes;
};

// The items of the book and of the rows so far, as the duplicate check
// compares them. The book's items of a category are asked for at the first
// row that lands in it, so a large book is not walked for categories the
// file never names.
class TKnownLogins
{
public:
    TKnownLogins(const TBookLoginsIn &book, TKeyedDigest &digest) : m_book(book), m_digest(digest) {}

    // The row that gave the same item first, 0 when the book holds it, -1
    // when nothing does.
    int Find(const QByteArray &category, const TItemRecord &item)
    {
        Load(category);
        return m_keys.value(Key(category, item.Title(), item.Login(), item.Password()), -1);
    }

    void Add(const QByteArray &category, const QByteArray &title, const TItemRecord &item, int row)
    {
        Load(category);
        Insert(category, title, item.Login(), item.Password(), row);
    }

private:
    TDigest Key(const QByteArray &category, const QByteArray &title, const QByteArray &username,
                const QByteArray &password)
    {
        return m_digest.Of({category, title, username, password});
    }

    void Insert(const QByteArray &category, const QByteArray &title, const QByteArray &username,
                const QByteArray &password, int row)
    {
        m_keys.insert(Key(category, title, username, password), row);
        if (const QByteArray plain = UnnumberedTitle(title); !plain.isEmpty())
            m_keys.insert(Key(category, plain, username, password), row);
    }

    void Load(const QByteArray &category)
    {
        if (m_loaded.contains(category))
            return;
        m_loaded.insert(category);
        if (m_book)
            for (const TBookLogin &login : m_book(category))
                Insert(category, login.title, login.username, login.password, 0);
    }

    const TBookLoginsIn &m_book;
    TKeyedDigest &m_digest;
    QSet<QByteArray> m_loaded;
    QHash<TDigest, int> m_keys;
};

} // namespace

QStringList BookCsvHeader()
{
    return FieldNames();
}

QByteArray BookToCsv(const QList<TItemRecord> &items, TBookText text)
{
    QByteArray out = CsvRecord(BookCsvHeader());
    QStringList fields;
    for (const TItemRecord &item : items) {
        fields.clear();
        for (const QByteArray &f : item.fields)
            fields << DecodeBookText(f, text);
        fields << DecodeBookText(item.description, text);
        out += CsvRecord(fields);
    }
    return out;
}

TCsvColumns DetectCsvColumns(const QStringList &header)
{
    TCsvColumns c;
    QStringList keys;
    for (const QString &h : header)
        keys << Key(h);

    QStringList own;
    for (const QString &n : FieldNames())
        own << Key(n);
    if (keys == own) {
        c.format = QStringLiteral("account book export");
        c.own = true;
        int *columns[] = {&c.category, &c.title,     &c.program,   &c.website,
                        &c.login,    &c.username,  &c.password,  &c.affiliate,
                        &c.cloaked,  &c.payout,    &c.paymentDay, &c.description};
        for (int i = 0; i < 12; ++i)
            *columns[i] = i;
        return c;
    }

    const TSynonyms s;
    c.title = Find(keys, s.title);
    c.website = Find(keys, s.url);
    c.username = Find(keys, s.username);
    if (c.username < 0)
        c.username = Find(keys, s.email);
    c.password = Find(keys, s.password);
    c.description = Find(keys, s.notes);
    c.category = Find(keys, s.folder);
    if (!c.Recognised())
        return TCsvColumns{};
    c.login = c.website;
    c.addressList = c.website >= 0 && keys[c.website] == QLatin1String("login_uri");
    c.groupPath = c.category >= 0 && keys[c.category] == QLatin1String("group");
    c.format = FormatName(keys);
    const QList<int> used{c.title, c.website, c.username, c.password, c.description, c.category};
    for (int i = 0; i < header.size(); ++i)
        if (!used.contains(i) && !header[i].trimmed().isEmpty())
            c.ignored << header[i].trimmed();
    return c;
}

TImportPlan PlanCsvImport(const QByteArray &csv, const TBookHasTitle &bookHasTitle, qsizetype maxBytes)
{
    return PlanCsvImportInto(csv, TImportBook{{}, bookHasTitle}, maxBytes);
}

TImportPlan PlanCsvImportInto(const QByteArray &csv, const TImportBook &book, qsizetype maxBytes)
{
    struct TKeep final : TImportSink
    {
        QList<TImportItem> items;
        QList<TImportItem> refused;
        void AddCategory(const QByteArray &) override {}
        void AddItem(TImportItem &&item) override { items.append(std::move(item)); }
        void Refuse(TImportItem &&row) override { refused.append(std::move(row)); }
    } keep;
    TImportPlan plan = MapCsvImport(csv, book, &keep, maxBytes);
    if (plan.fault.isEmpty()) {
        plan.items = std::move(keep.items);
        plan.refused = std::move(keep.refused);
    }
    return plan;
}

TImportPlan MapCsvImport(const TCsvSource &csv, const TImportBook &book, TImportSink *sink, qsizetype maxBytes)
{
    TImportPlan plan;
    plan.text = book.text;
    const auto shownText = [&book](const QByteArray &bytes) { return DecodeBookText(bytes, book.text); };
    // Row by row, so that the file's rows and the items they give are not
    // held whole at once. A fault of the whole file, which may show only at
    // its end, still leaves nothing but itself.
    TCsvReader reader(csv, maxBytes);
    const auto fileFault = [&reader] {
        TImportPlan failed;
        failed.fault = reader.Fault();
        return failed;
    };
    if (!reader.Fault().isEmpty())
        return fileFault();
    // A file of more lines than rows may be is read once first, so that one
    // of too many rows is refused before its rows are planned.
    if (reader.LineBreaks() >= kCsvMaxRows) {
        TCsvReader probe(csv, maxBytes);
        for (TCsvRow row; probe.Next(row);) {
        }
        if (!probe.Fault().isEmpty()) {
            plan.fault = probe.Fault();
            return plan;
        }
    }
    TCsvRow header;
    if (!reader.Next(header)) {
        if (!reader.Fault().isEmpty())
            return fileFault();
        plan.fault = QStringLiteral("The file holds no rows.");
        return plan;
    }
    plan.header = header.fields;
    plan.columns = DetectCsvColumns(header.fields);
    if (!header.fault.isEmpty() || !plan.columns.Recognised()) {
        for (TCsvRow rest; reader.Next(rest);) {
        }
        if (!reader.Fault().isEmpty())
            return fileFault();
        plan.fault = QStringLiteral("The header row names no known columns: a password column and a name "
                                    "or address column are needed.");
        return plan;
    }
    const TCsvColumns &c = plan.columns;
    if (reader.ReadAsAnsi())
        plan.notes.append({0, {}, QStringLiteral("the file is not UTF-8"),
                           QStringLiteral("it is read as Windows-1252")});
    if (!c.ignored.isEmpty())
        plan.notes.append({0, {}, QStringLiteral("columns without a place in the book: %1").arg(c.ignored.join(", ")),
                           QStringLiteral("they are not imported")});

    TKeyedDigest digest;
    QSet<TDigest> given; // category and title of the items given
    // The next number worth trying after a title; a file of many rows of one
    // title would otherwise try every number given before, for every row.
    QHash<QPair<QByteArray, QByteArray>, qint64> nextNumber;
    TCategoryNames categories(book.categories);
    TKnownLogins known(book.loginsIn, digest);
    const QString rootGroup = c.groupPath ? CommonRootGroup(csv, maxBytes, c.category) : QString();
    const QStringList &names = FieldNames();
    for (TCsvRow row; reader.Next(row);) {
        if (!row.fault.isEmpty()) {
            plan.notes.append({row.row, {}, QStringLiteral("malformed: %1").arg(row.fault),
                               QStringLiteral("the row is skipped"), TImportSkip::Malformed});
            continue;
        }
        if (row.fields.size() != header.fields.size()) {
            plan.notes.append({row.row, {},
                               QStringLiteral("%1 fields where the header has %2")
                                   .arg(row.fields.size())
                                   .arg(header.fields.size()),
                               QStringLiteral("the row is skipped"), TImportSkip::FieldCount});
            continue;
        }
        auto text = [&row](int column) { return column >= 0 ? row.fields[column] : QString(); };

        QString title = text(c.title).trimmed();
        const QStringList addresses = c.addressList ? Addresses(text(c.website)) : QStringList();
        const QString address = c.addressList ? addresses.value(0) : text(c.website).trimmed();
        const QString folder = WithoutRootGroup(text(c.category).trimmed(), rootGroup);
        if (!c.own) {
            bool empty = title.isEmpty() && address.isEmpty();
            for (int col : {c.username, c.password, c.description})
                empty = empty && text(col).isEmpty();
            if (empty) {
                plan.notes.append({row.row, {}, QStringLiteral("nothing to import"),
                                   QStringLiteral("the row is skipped"), TImportSkip::Empty});
                continue;
            }
        }

        // The username and the password go in exactly or not at all: one
        // changed on the way in would fail, without a word, where it is used.
        QList<TImportNote> refusal;
        for (const int f : {5, 6}) {
            const QString value = text(f == 5 ? c.username : c.password);
            if (book.text == TBookText::Utf8 ? !value.contains(u'\r') && !value.contains(u'\n')
                        && !value.contains(QChar(0x2028)) && !value.contains(QChar(0x2029)) && !value.contains(QChar(0))
                                             : RefusalForLine(value).isEmpty())
                continue;
            QList<TImportNote> why;
            TFitter(row.row, why, book.text).Line(names[f], value, f == 6);
            for (TImportNote &n : why) {
                n.action = QStringLiteral("the row is not imported");
                n.skip = TImportSkip::Unstorable;
            }
            refusal += why;
        }
        if (!refusal.isEmpty()) {
            plan.notes += refusal;
            // Shown as the book would have held it; the changes to the
            // other fields no longer matter.
            QList<TImportNote> unused;
            TFitter shown(row.row, unused, book.text);
            TImportItem out;
            out.row = row.row;
            QString category = folder;
            if (category.isEmpty() && !c.own)
                category = QString::fromLatin1(kImportedCategory);
            out.item.Category() = shown.Line(names[0], category);
            out.item.Title() = shown.Line(names[1], title.isEmpty() && !c.own ? HostOf(address) : title);
            out.item.WebsiteURL() = shown.Line(names[3], text(c.website));
            out.item.Login() = shown.Line(names[5], text(c.username));
            out.item.Password() = shown.Line(names[6], text(c.password));
            if (sink)
                sink->Refuse(std::move(out));
            continue;
        }

        // Kept apart until the row is known to be no item of the book.
        QList<TImportNote> rowNotes;
        TFitter fit(row.row, rowNotes, book.text);
        TImportItem in;
        in.row = row.row;
        TItemRecord &item = in.item;
        item.complete = true;
        if (c.own) {
            for (int f = 0; f < kItemFieldCount; ++f)
                item.fields[f] = fit.Line(names[f], row.fields[f]);
            item.description = fit.Description(names[11], row.fields[11], true);
        } else {
            QString category = folder;
            if (category.isEmpty())
                category = QString::fromLatin1(kImportedCategory);
            if (title.isEmpty()) {
                title = HostOf(address);
                if (title.isEmpty())
                    title = QStringLiteral("Untitled");
                fit.Note(names[1], QStringLiteral("no name"), QStringLiteral("the title is \"%1\"").arg(title));
            }
            item.Category() = fit.Line(names[0], category);
            item.Title() = fit.Line(names[1], title);
            if (addresses.size() > 1) {
                item.WebsiteURL() = fit.Line(names[3], addresses[1]);
                item.LoginURL() = fit.Line(names[4], addresses[0]);
                if (addresses.size() > 2)
                    fit.Note(names[3], QStringLiteral("%1 addresses").arg(addresses.size()),
                             QStringLiteral("the first is the login address, the second the website; "
                                            "the others are not imported"));
            } else {
                item.WebsiteURL() = fit.Line(names[3], c.addressList ? address : text(c.website));
                item.LoginURL() = item.WebsiteURL();
            }
            item.Login() = fit.Line(names[5], text(c.username));
            item.Password() = fit.Line(names[6], text(c.password));
            item.description = fit.Description(names[11], text(c.description), false);
        }

        // A description of one CR under an otherwise blank item reads back
        // as the blank record of a freshly added item.
        if (item.description == "\r") {
            bool blank = true;
            for (int f = 2; f < kItemFieldCount; ++f)
                blank = blank && item.fields[f].isEmpty();
            if (blank) {
                item.description = "\r\n";
                fit.Note(names[11], QStringLiteral("a lone CR would read back as no description"),
                         QStringLiteral("it becomes a CR LF line break"));
            }
        }

        const QByteArray spelt = item.Category();
        bool isNew = false;
        item.Category() = categories.Resolve(spelt, &isNew);
        if (const int first = isNew ? -1 : known.Find(item.Category(), item); first >= 0) {
            if (first == 0)
                plan.notes.append({row.row, {}, QStringLiteral("already in the book (the same category, title, "
                                                               "username and password)"),
                                   QStringLiteral("the row is skipped"), TImportSkip::InBook});
            else
                plan.notes.append({row.row, {}, QStringLiteral("the same category, title, username and password "
                                                               "as row %1").arg(first),
                                   QStringLiteral("the row is skipped"), TImportSkip::Repeated});
            continue;
        }
        if (!isNew && item.Category() != spelt)
            fit.Note(names[0], QStringLiteral("the category \"%1\" is spelt \"%2\" in the book")
                                   .arg(shownText(spelt), shownText(item.Category())),
                     QStringLiteral("the item goes into \"%1\"").arg(shownText(item.Category())));

        const QByteArray &category = item.Category();
        const QByteArray wanted = item.Title();
        const auto taken = [&](const QByteArray &t) {
            return (!book.holdsGiven && given.contains(digest.Of({category, t})))
                || (book.hasTitle && book.hasTitle(category, t));
        };
        if (taken(wanted)) {
            // As ImportTitle counts, from the first number not yet found taken.
            qint64 &n = nextNumber[{category, wanted}];
            n = std::max<qint64>(n, 2);
            while (taken(wanted + " (" + QByteArray::number(n) + ')'))
                ++n;
            item.Title() = wanted + " (" + QByteArray::number(n) + ')';
            ++n;
        }
        if (item.Title() != wanted)
            fit.Note(names[1], QStringLiteral("the title \"%1\" is taken in \"%2\"").arg(shownText(wanted), shownText(category)),
                     QStringLiteral("the item is titled \"%1\"").arg(shownText(item.Title())));
        if (!book.holdsGiven)
            given.insert(digest.Of({category, item.Title()}));
        known.Add(category, wanted, item, row.row);
        if (item.Title() != wanted)
            known.Add(category, item.Title(), item, row.row);
        plan.notes += rowNotes;
        if (isNew) {
            plan.newCategories.append(category);
            if (sink)
                sink->AddCategory(category);
        }
        ++plan.itemCount;
        if (sink)
            sink->AddItem(std::move(in));
    }
    if (!reader.Fault().isEmpty())
        return fileFault();
    return plan;
}

QString DescribeNote(const TImportNote &note)
{
    QString where = note.row > 0 ? QStringLiteral("Row %1").arg(note.row) : QStringLiteral("File");
    if (!note.field.isEmpty())
        where += QStringLiteral(", ") + note.field;
    return QStringLiteral("%1: %2: %3").arg(where, note.problem, note.action);
}

qsizetype TImportPlan::SkippedRows() const
{
    QSet<int> rows;
    for (const TImportNote &n : notes)
        if (n.skip != TImportSkip::None)
            rows.insert(n.row);
    return rows.size();
}

qsizetype TImportPlan::LostRows() const
{
    QSet<int> rows;
    for (const TImportNote &n : notes)
        if (n.skip != TImportSkip::None && n.skip != TImportSkip::InBook && n.skip != TImportSkip::Repeated)
            rows.insert(n.row);
    return rows.size();
}

QString DescribeSkippedRows(const TImportPlan &plan, bool done)
{
    struct TGroup
    {
        TImportSkip skip;
        const char *what;
        QList<int> rows;
    };
    QList<TGroup> groups{
        {TImportSkip::Unstorable, "whose username or password the book cannot store exactly", {}},
        {TImportSkip::Malformed, "malformed", {}},
        {TImportSkip::FieldCount, "with another number of fields than the header row", {}},
        {TImportSkip::Empty, "with nothing to import", {}},
        {TImportSkip::InBook, "already in the book", {}},
        {TImportSkip::Repeated, "repeating an earlier row", {}},
    };
    qsizetype total = 0;
    for (const TImportNote &n : plan.notes) {
        for (TGroup &g : groups) {
            if (g.skip != n.skip || (!g.rows.isEmpty() && g.rows.last() == n.row))
                continue;
            g.rows.append(n.row);
            ++total;
        }
    }
    if (total == 0)
        return {};
    QStringList parts;
    for (const TGroup &g : groups) {
        if (g.rows.isEmpty())
            continue;
        QStringList rows;
        for (qsizetype i = 0; i < g.rows.size() && i < 10; ++i)
            rows << QString::number(g.rows[i]);
        if (g.rows.size() > 10)
            rows << QStringLiteral("and %1 more").arg(g.rows.size() - 10);
        parts << QStringLiteral("%1 %2 (row%3 %4)")
                     .arg(g.rows.size())
                     .arg(QLatin1String(g.what))
                     .arg(g.rows.size() == 1 ? QString() : QStringLiteral("s"))
                     .arg(rows.join(QStringLiteral(", ")));
    }
    return QStringLiteral("%1 row(s) of the file %2 not imported: %3.")
        .arg(total)
        .arg(done ? QStringLiteral("were") : QStringLiteral("are"))
        .arg(parts.join(QStringLiteral("; ")));
}
