#include "book/csv.h"
#include "book/csv_book.h"
#include "util/codepage.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using TRows = QList<QStringList>;

namespace {

TRows Fields(const TCsvTable &t)
{
    TRows rows;
    for (const TCsvRow &r : t.rows)
        rows << r.fields;
    return rows;
}

// The notes of a plan as "row field" pairs, for comparing in one go.
QStringList Where(const TImportPlan &plan)
{
    QStringList out;
    for (const TImportNote &n : plan.notes)
        out << QStringLiteral("%1 %2").arg(n.row).arg(n.field).trimmed();
    return out;
}

TItemRecord Item(QList<QByteArray> fields, const QByteArray &description)
{
    TItemRecord item;
    item.complete = true;
    for (int i = 0; i < kItemFieldCount && i < fields.size(); ++i)
        item.fields[i] = fields[i];
    item.description = description;
    return item;
}

// A book of items given as "category|title|username|password", as the
// import sees it.
TImportBook BookOf(const QList<QByteArray> &items)
{
    TImportBook book;
    QList<QList<QByteArray>> split;
    for (const QByteArray &i : items) {
        split << i.split('|');
        if (!book.categories.contains(split.last()[0]))
            book.categories << split.last()[0];
    }
    book.hasTitle = [split](const QByteArray &category, const QByteArray &title) {
        for (const QList<QByteArray> &i : split)
            if (i[0] == category && i[1] == title)
                return true;
        return false;
    };
    book.loginsIn = [split](const QByteArray &category) {
        QList<TBookLogin> out;
        for (const QList<QByteArray> &i : split)
            if (i[0] == category)
                out.append({i[1], i[2], i[3]});
        return out;
    };
    return book;
}

// "row category/title" of every item of a plan.
QStringList Landed(const TImportPlan &plan)
{
    QStringList out;
    for (const TImportItem &i : plan.items)
        out << QStringLiteral("%1 %2/%3").arg(i.row).arg(FromAnsi(i.item.fields[0]), FromAnsi(i.item.fields[1]));
    return out;
}

} // namespace

class TestCsv : public QObject
{
    Q_OBJECT
private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<TRows>("rows");
        QTest::newRow("plain, CR LF") << QByteArray("a,b\r\nc,d\r\n") << TRows{{"a", "b"}, {"c", "d"}};
        QTest::newRow("LF and no final line end") << QByteArray("a,b\nc,d") << TRows{{"a", "b"}, {"c", "d"}};
        QTest::newRow("lone CR") << QByteArray("a\rb\r") << TRows{{"a"}, {"b"}};
        QTest::newRow("byte-order mark skipped") << QByteArray("\xEF\xBB\xBFname,url\r\n") << TRows{{"name", "url"}};
        QTest::newRow("a field starting with U+FEFF keeps it")
            << QByteArray("\xEF\xBB\xBF" "a,\xEF\xBB\xBF" "pw\r\n\xEF\xBB\xBF\r\n") << TRows{{"a", QChar(0xFEFF) + QStringLiteral("pw")}, {QString(QChar(0xFEFF))}};
        QTest::newRow("quoted comma and quotes") << QByteArray("\"a,b\",\"say \"\"hi\"\"\"\r\n")
                                                 << TRows{{"a,b", "say \"hi\""}};
        QTest::newRow("quoted line breaks kept as they are")
            << QByteArray("\"one\r\ntwo\nthree\",x\r\ny\r\n") << TRows{{"one\r\ntwo\nthree", "x"}, {"y"}};
        QTest::newRow("empty fields") << QByteArray(",,\r\n\"\",a,\r\n") << TRows{{"", "", ""}, {"", "a", ""}};
        QTest::newRow("empty lines skipped") << QByteArray("a\r\n\r\n\nb\r\n") << TRows{{"a"}, {"b"}};
        QTest::newRow("blanks kept") << QByteArray(" a , b \r\n") << TRows{{" a ", " b "}};
        QTest::newRow("utf-8") << QByteArray("caf\xC3\xA9,\xE2\x82\xAC\r\n") << TRows{{"caf\u00E9", "\u20AC"}};
        QTest::newRow("not utf-8: read as windows-1252") << QByteArray("caf\xE9,\x80\r\n")
                                                         << TRows{{"caf\u00E9", "\u20AC"}};
        QTest::newRow("one byte that is not utf-8 at the end: the whole file is windows-1252")
            << QByteArray("caf\xC3\xA9\r\nx\xE9\r\n") << TRows{{"caf\u00C3\u00A9"}, {"x\u00E9"}};
        QTest::newRow("a character cut short at the end") << QByteArray("a\r\n\xE2\x82")
                                                          << TRows{{"a"}, {"\u00E2\u201A"}};
    }
    void read()
    {
        QFETCH(QByteArray, csv);
        QFETCH(TRows, rows);
        // Read a few bytes at a time too, so that every row also meets a
        // chunk's end inside a field, a line end, a quote pair, a character
        // and the byte-order mark.
        for (const qsizetype chunk : {qsizetype(1), qsizetype(2), qsizetype(5), TCsvSource::kChunk}) {
            const TCsvTable t = ReadCsv(TCsvSource(csv, chunk));
            QVERIFY(t.fault.isEmpty());
            QCOMPARE(Fields(t), rows);
            for (const TCsvRow &r : t.rows)
                QVERIFY2(r.fault.isEmpty(), qPrintable(r.fault));
        }
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<int>("badRow");
        QTest::addColumn<int>("badLine");
        QTest::addColumn<int>("rowCount");
        QTest::newRow("quote inside an unquoted field") << QByteArray("h\r\nok\r\nab\"c\r\nok\r\n") << 3 << 3 << 4;
        QTest::newRow("text after closing quote") << QByteArray("h\r\n\"a\"b,c\r\nok\r\n") << 2 << 2 << 3;
        QTest::newRow("quote never closed") << QByteArray("h\r\nok\r\n\"abc,\r\nd\r\n") << 3 << 3 << 3;
        QTest::newRow("row number counts records, not lines")
            << QByteArray("h\r\n\"x\r\ny\"\r\n\"bad\"!\r\n") << 3 << 4 << 3;
        QTest::newRow("too many fields") << QByteArray("h\r\n") + QByteArray(300, ',') + "\r\n" << 2 << 2 << 2;
    }
    void malformed()
    {
        QFETCH(QByteArray, csv);
        QFETCH(int, badRow);
        QFETCH(int, badLine);
        QFETCH(int, rowCount);
        for (const qsizetype chunk : {qsizetype(1), qsizetype(3), TCsvSource::kChunk}) {
            const TCsvTable t = ReadCsv(TCsvSource(csv, chunk));
            QCOMPARE(t.rows.size(), rowCount);
            for (const TCsvRow &r : t.rows) {
                QCOMPARE(!r.fault.isEmpty(), r.row == badRow);
                if (r.row == badRow)
                    QCOMPARE(r.line, badLine);
            }
            QVERIFY(t.rows.back().fields.size() <= kCsvMaxFields);
        }
    }

    void bounds()
    {
        QVERIFY(!ReadCsv(QByteArray(101, 'a'), 100).fault.isEmpty());
        QVERIFY(ReadCsv(QByteArray(100, 'a'), 100).fault.isEmpty());
        const TCsvTable many = ReadCsv("a\nb\nc\nd\n", kCsvMaxBytes, 3);
        QVERIFY(!many.fault.isEmpty());
        QCOMPARE(many.rows.size(), 3);
    }

    // A file on disk is read again at every pass and never whole; the bound
    // holds for it too, and one that cannot be read is a fault, not an
    // empty file.
    void fileSource_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<qsizetype>("bound");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("fault");
        QTest::newRow("read in chunks") << QByteArray("a,\"b\r\nc\"\r\n").repeated(5000) << true << kCsvMaxBytes << 5000
                                        << false;
        QTest::newRow("over the bound") << QByteArray(101, 'a') << true << qsizetype(100) << 0 << true;
        QTest::newRow("missing") << QByteArray() << false << kCsvMaxBytes << 0 << true;
    }
    void fileSource()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, exists);
        QFETCH(qsizetype, bound);
        QFETCH(int, rows);
        QFETCH(bool, fault);
        QTemporaryDir dir;
        const QString path = dir.filePath("list.csv");
        if (exists) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        const TCsvTable t = ReadCsv(TCsvSource::File(path, 4096), bound);
        QCOMPARE(t.rows.size(), rows);
        QCOMPARE(!t.fault.isEmpty(), fault);
        if (rows > 0)
            QCOMPARE(t.rows.last().fields, (QStringList{"a", "b\r\nc"}));
    }

    // A file changed between the first pass and the rows gives a fault, never
    // rows the first pass did not see (the last one perhaps cut in two).
    void fileChangedWhileRead_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("fault");
        QTest::newRow("unchanged") << "" << false;
        QTest::newRow("cut short inside a row") << "cut" << true;
        QTest::newRow("rewritten in place, same size") << "rewrite" << true;
        QTest::newRow("grown") << "append" << true;
    }
    void fileChangedWhileRead()
    {
        QFETCH(QString, change);
        QFETCH(bool, fault);
        QTemporaryDir dir;
        const QString path = dir.filePath("list.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray row = "title,secret-password\r\n";
        QVERIFY(file.write(row.repeated(1000)) == row.size() * 1000);
        TCsvReader reader(TCsvSource::File(path, 1024));
        if (change == u"cut")
            QVERIFY(file.resize(row.size() * 500 + 15));
        if (change == u"rewrite")
            QVERIFY(file.seek(row.size() * 900) && file.write("T") == 1);
        if (change == u"append")
            QVERIFY(file.seek(file.size()) && file.write(row) == row.size());
        file.close();
        // A row rewritten in place is given as it now reads; the fault at the
        // end tells the reader's caller to drop what it took.
        int rows = 0;
        for (TCsvRow r; reader.Next(r); ++rows)
            QVERIFY(change == u"rewrite" || r.fields == (QStringList{"title", "secret-password"}));
        QCOMPARE(!reader.Fault().isEmpty(), fault);
        if (!fault)
            QCOMPARE(rows, 1000);
    }

    void record_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plain") << QStringList{"a", "b"} << QByteArray("a,b\r\n");
        QTest::newRow("comma") << QStringList{"a,b"} << QByteArray("\"a,b\"\r\n");
        QTest::newRow("quote") << QStringList{"5\" disk"} << QByteArray("\"5\"\" disk\"\r\n");
        QTest::newRow("line break") << QStringList{"a\r\nb", "c"} << QByteArray("\"a\r\nb\",c\r\n");
        QTest::newRow("lone LF") << QStringList{"a\nb"} << QByteArray("\"a\nb\"\r\n");
        QTest::newRow("leading blank") << QStringList{" a"} << QByteArray("\" a\"\r\n");
        QTest::newRow("empty fields") << QStringList{"", ""} << QByteArray(",\r\n");
        QTest::newRow("utf-8") << QStringList{"\u20AC\u00E9"} << QByteArray("\xE2\x82\xAC\xC3\xA9\r\n");
    }
    void record()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, bytes);
        QCOMPARE(CsvRecord(fields), bytes);
        QCOMPARE(Fields(ReadCsv(bytes)), TRows{fields});
    }

    // Header sets of the lists of logins that browsers and password managers
    // write, by header name only.
    void detect_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QList<int>>("columns"); // title, url, username, password, notes, folder
        QTest::newRow("browser: name url username password")
            << "name,url,username,password" << QList<int>{0, 1, 2, 3, -1, -1};
        QTest::newRow("browser with note") << "name,url,username,password,note" << QList<int>{0, 1, 2, 3, 4, -1};
        QTest::newRow("browser without names")
            << "\"url\",\"username\",\"password\",\"httpRealm\",\"formActionOrigin\",\"guid\",\"timeCreated\","
               "\"timeLastUsed\",\"timePasswordChanged\""
            << QList<int>{-1, 0, 1, 2, -1, -1};
        QTest::newRow("browser with title and notes") << "Title,URL,Username,Password,Notes,OTPAuth"
                                                      << QList<int>{0, 1, 2, 3, 4, -1};
        QTest::newRow("manager: folder login_uri login_username login_password")
            << "folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,login_password,login_totp"
            << QList<int>{3, 7, 8, 9, 4, 0};
        QTest::newRow("manager: grouping extra") << "url,username,password,totp,extra,name,grouping,fav"
                                                 << QList<int>{5, 0, 1, 2, 4, 6};
        QTest::newRow("manager: group title")
            << "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\",\"Last Modified\","
               "\"Created\""
            << QList<int>{1, 4, 2, 3, 5, 0};
        QTest::newRow("manager: account login name web site comments")
            << "Account,Login Name,Password,Web Site,Comments" << QList<int>{0, 3, 1, 2, 4, -1};
        QTest::newRow("manager: title url username password notes") << "Title,Url,Username,Password,Notes"
                                                                    << QList<int>{0, 1, 2, 3, 4, -1};
        QTest::newRow("manager: email when no username")
            << "type,name,url,email,password,note,vault" << QList<int>{1, 2, 3, 4, 5, -1};
        QTest::newRow("manager: username before email")
            << "name,url,email,username,password,note" << QList<int>{0, 1, 3, 4, 5, -1};
        QTest::newRow("blanks and case in names") << " NAME , Url ,LOGIN, PassWord " << QList<int>{0, 1, 2, 3, -1, -1};
        QTest::newRow("no password column: not recognised") << "name,url,username" << QList<int>{};
        QTest::newRow("password alone: not recognised") << "password,notes" << QList<int>{};
        QTest::newRow("unrelated table") << "date,amount,payee" << QList<int>{};
    }
    void detect()
    {
        QFETCH(QString, header);
        QFETCH(QList<int>, columns);
        const TCsvColumns c = DetectCsvColumns(ReadCsv(header.toUtf8()).rows.value(0).fields);
        QCOMPARE(c.Recognised(), !columns.isEmpty());
        if (columns.isEmpty())
            return;
        QCOMPARE((QList<int>{c.title, c.website, c.username, c.password, c.description, c.category}), columns);
        QVERIFY(!c.own);
        QCOMPARE(c.login, c.website);
        QVERIFY(!c.format.isEmpty());
    }

    void ownExport_isRecognised()
    {
        const TCsvColumns c = DetectCsvColumns(BookCsvHeader());
        QVERIFY(c.own);
        QCOMPARE((QList<int>{c.category, c.title, c.program, c.website, c.login, c.username, c.password, c.affiliate,
                             c.cloaked, c.payout, c.paymentDay, c.description}),
                 (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
        QVERIFY(c.ignored.isEmpty());
    }

    void exportThenImport_reproducesItems()
    {
        const QList<TItemRecord> items{
            Item({"Travel", "Hotels", "Prog", "http://w", "http://l", "user", "p,w\"d", "http://a", "http://c", "$50",
                  "15th"},
                 "line one\r\nline two, with \"quotes\"\r\n"),
            Item({"Travel", "Flights"}, {}),
            Item({"Caf\xE9s", "\x80uro shop", " blank ", "", "", "\x9A" "ef", "", "", "", "", ""}, "\xA7 alone \xA5 too"),
            Item({"", "In an empty-named category"}, "x"),
            Item({"Travel", "Lone breaks"}, "a\nb\rc\r\n"),
        };
        const QByteArray csv = BookToCsv(items);
        QVERIFY(csv.startsWith("Category,Title,Affiliate Program,"));
        QVERIFY(csv.contains("Caf\xC3\xA9s")); // converted, not copied
        const TImportPlan plan = PlanCsvImport(csv, {});
        QVERIFY2(plan.fault.isEmpty(), qPrintable(plan.fault));
        QCOMPARE(Where(plan), QStringList{});
        QCOMPARE(plan.items.size(), items.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            QCOMPARE(plan.items[i].row, int(i) + 2);
            for (int f = 0; f < kItemFieldCount; ++f)
                QCOMPARE(plan.items[i].item.fields[f], items[i].fields[f]);
            QCOMPARE(plan.items[i].item.description, items[i].description);
        }
    }

    void browserList_imports()
    {
        const QByteArray csv = "\xEF\xBB\xBFname,url,username,password,note\r\n"
                               "Mail,https://mail.example.com/login,joe,s3cret,\"two\nlines\"\r\n"
                               ",https://shop.example.org:8443/x,ann,pw,\r\n";
        const TImportPlan plan = PlanCsvImport(csv, {});
        QVERIFY(plan.fault.isEmpty());
        QCOMPARE(plan.items.size(), 2);
        const TItemRecord &a = plan.items[0].item;
        QCOMPARE(a.fields[0], QByteArray("Imported"));
        QCOMPARE(a.fields[1], QByteArray("Mail"));
        QCOMPARE(a.fields[3], QByteArray("https://mail.example.com/login"));
        QCOMPARE(a.fields[4], QByteArray("https://mail.example.com/login"));
        QCOMPARE(a.fields[5], QByteArray("joe"));
        QCOMPARE(a.fields[6], QByteArray("s3cret"));
        QCOMPARE(a.description, QByteArray("two\r\nlines"));
        QCOMPARE(plan.items[1].item.fields[1], QByteArray("shop.example.org"));
        QCOMPARE(Where(plan), QStringList{"3 Title"}); // the name was made up, and said so
    }

    // Text the book's files cannot hold is replaced by a stated rule and
    // listed with its row and field.
    void problems_data()
    {
        QTest::addColumn<QByteArray>("row"); // name,url,username,password,notes,folder
        QTest::addColumn<int>("field");      // 11 = description
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("outside windows-1252") << QByteArray("Shop \xE4\xB8\xAD,u,joe,p,,") << 1
                                              << QByteArray("Shop ?") << QStringList{"2 Title"};
        QTest::newRow("in windows-1252: no note") << QByteArray("Caf\xC3\xA9 \xE2\x82\xAC,u,joe,p,,") << 1
                                                  << QByteArray("Caf\xE9 \x80") << QStringList{};
        QTest::newRow("address outside the code page") << QByteArray("S,u\xF0\x9F\x98\x80,joe,p,,") << 3
                                                       << QByteArray("u?") << QStringList{"2 Website URL"};
        QTest::newRow("line break in an address") << QByteArray("S,\"u\r\nv\",j,p,,") << 3 << QByteArray("u  v")
                                                  << QStringList{"2 Website URL"};
        QTest::newRow("delimiter in a title") << QByteArray("Y\xC2\xA5N,u,j,p,,") << 1 << QByteArray("Y?N")
                                              << QStringList{"2 Title"};
        QTest::newRow("delimiter in a folder") << QByteArray("S,u,j,p,,A\xC2\xA5") << 0 << QByteArray("A?")
                                               << QStringList{"2 Category"};
        QTest::newRow("line break in a folder") << QByteArray("S,u,j,p,,\"A\nB\"") << 0 << QByteArray("A B")
                                                << QStringList{"2 Category"};
        QTest::newRow("description: lone delimiter survives") << QByteArray("S,u,j,p,a\xC2\xA5" "b,") << 11
                                                              << QByteArray("a\xA5" "b") << QStringList{};
        QTest::newRow("description: pair of delimiters")
            << QByteArray("S,u,j,p,a\xC2\xA5\xC2\xA5" "b,") << 11 << QByteArray("a??b") << QStringList{"2 Description"};
        QTest::newRow("description: section signs side by side")
            << QByteArray("S,u,j,p,a\xC2\xA7\xC2\xA7" "b,") << 11 << QByteArray("a??b") << QStringList{"2 Description"};
        QTest::newRow("description: delimiter before a line break")
            << QByteArray("S,u,j,p,\"a\xC2\xA5\nb\",") << 11 << QByteArray("a?\r\nb") << QStringList{"2 Description"};
        QTest::newRow("description: delimiter after a line break survives")
            << QByteArray("S,u,j,p,\"a\r\n\xC2\xA5" "b\",") << 11 << QByteArray("a\r\n\xA5" "b") << QStringList{};
        QTest::newRow("description: section signs around a line break survive")
            << QByteArray("S,u,j,p,\"a\xC2\xA7\n\xC2\xA7" "b\",") << 11 << QByteArray("a\xA7\r\n\xA7" "b")
            << QStringList{};
        QTest::newRow("description: only the offending characters change")
            << QByteArray("S,u,j,p,x\xC2\xA5" "y\xC2\xA5\xC2\xA5" "z,") << 11 << QByteArray("x\xA5y??z")
            << QStringList{"2 Description"};
        QTest::newRow("description: line feeds become CR LF") << QByteArray("S,u,j,p,\"a\nb\rc\",") << 11
                                                              << QByteArray("a\r\nb\r\nc") << QStringList{};
        QTest::newRow("NUL") << QByteArray("S,u", 3) + QByteArray("\0v,j,p,,", 8) << 3 << QByteArray("u?v")
                             << QStringList{"2 Website URL"};
    }
    void problems()
    {
        QFETCH(QByteArray, row);
        QFETCH(int, field);
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, notes);
        const TImportPlan plan = PlanCsvImport("name,url,username,password,notes,folder\r\n" + row + "\r\n", {});
        QVERIFY(plan.fault.isEmpty());
        QCOMPARE(plan.items.size(), 1);
        const TItemRecord &item = plan.items[0].item;
        QCOMPARE(field == 11 ? item.description : item.fields[field], stored);
        QCOMPARE(Where(plan), notes);
        for (const TImportNote &n : plan.notes)
            QVERIFY(!n.problem.isEmpty() && !n.action.isEmpty());
    }

    // A username or password the book cannot hold exactly is never changed
    // on the way in: the row is left out, with the field and why, and takes
    // no title and no category from the rows that do go in.
    void unstorableSecrets_data()
    {
        QTest::addColumn<QByteArray>("username");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QStringList>("fields"); // of the notes, in order
        QTest::newRow("password outside the code page") << QByteArray("joe") << QByteArray("\xD0\xBF\xD0\xB0\xD1\x80"
                                                                                       "\xD0\xBE\xD0\xBB\xD1\x8C"
                                                                                       "\xF0\x9F\x99\x82")
                                                        << QStringList{"Password"};
        QTest::newRow("the delimiter in a password") << QByteArray("joe") << QByteArray("pass\xC2\xA5word")
                                                     << QStringList{"Password"};
        QTest::newRow("only emoji") << QByteArray("joe") << QByteArray("\xF0\x9F\x92\xB0\xF0\x9F\x92\xB0")
                                    << QStringList{"Password"};
        QTest::newRow("username outside the code page") << QByteArray("j\xC5\x91") << QByteArray("pw")
                                                        << QStringList{"Username"};
        QTest::newRow("line break in a username") << QByteArray("\"jo\r\ne\"") << QByteArray("pw")
                                                  << QStringList{"Username"};
        QTest::newRow("NUL in a password") << QByteArray("joe") << QByteArray("p\0q", 3) << QStringList{"Password"};
        QTest::newRow("both") << QByteArray("j\xC2\xA5") << QByteArray("\xF0\x9F\x92\xB0")
                              << QStringList{"Username", "Password"};
    }
    void unstorableSecrets()
    {
        QFETCH(QByteArray, username);
        QFETCH(QByteArray, password);
        QFETCH(QStringList, fields);
        const QByteArray csv = "name,url,username,password,folder\r\n"
                               "Bank \xE4\xB8\xAD,u," + username + "," + password + ",Lost\r\n"
                               "Bank \xE4\xB8\xAD,u,ann,pass\xE2\x82\xAC word,\r\n";
        const TImportPlan plan = PlanCsvImport(csv, {});
        QVERIFY2(plan.fault.isEmpty(), qPrintable(plan.fault));
        // The good row goes in exactly, titled as if the other were not there.
        QCOMPARE(plan.items.size(), 1);
        QCOMPARE(plan.items[0].row, 3);
        QCOMPARE(plan.items[0].item.fields[1], QByteArray("Bank ?"));
        QCOMPARE(plan.items[0].item.fields[6], QByteArray("pass\x80 word"));
        QCOMPARE(plan.newCategories, QByteArrayList{"Imported"});
        QStringList got;
        for (const TImportNote &n : plan.notes) {
            if (n.row != 2)
                continue;
            got << n.field;
            QCOMPARE(n.skip, TImportSkip::Unstorable);
            QVERIFY(!n.problem.isEmpty());
            QVERIFY(n.action.contains("not imported"));
            if (n.field == "Password") // the password is not quoted
                for (const QChar ch : QString::fromUtf8(password))
                    QVERIFY(ch.unicode() < 0x80 || ch == QChar(0xA5) || !n.problem.contains(ch));
        }
        QCOMPARE(got, fields);
        QCOMPARE(plan.SkippedRows(), 1);
        // Shown with what can be shown of it.
        QCOMPARE(plan.refused.size(), 1);
        QCOMPARE(plan.refused[0].row, 2);
        QCOMPARE(plan.refused[0].item.fields[0], QByteArray("Lost"));
        QCOMPARE(plan.refused[0].item.fields[1], QByteArray("Bank ?"));
        QVERIFY(DescribeSkippedRows(plan).contains("cannot store exactly (row 2)"));
    }

    // The book's own export edited by hand is held to the same rule.
    void ownExport_unstorablePassword_leavesTheRowOut()
    {
        const QByteArray csv = CsvRecord(BookCsvHeader())
            + CsvRecord({"A", "T", "", "", "", "joe", "p\U0001F642", "", "", "", "", ""})
            + CsvRecord({"A", "U", "", "", "", "ann", "p\u20AC", "", "", "", "", ""});
        const TImportPlan plan = PlanCsvImport(csv, {});
        QCOMPARE(plan.items.size(), 1);
        QCOMPARE(plan.items[0].item.fields[1], QByteArray("U"));
        QCOMPARE(Where(plan), QStringList{"2 Password"});
        QCOMPARE(plan.refused.value(0).item.fields[5], QByteArray("joe"));
    }

    // How many rows are left out and why, grouped, with their rows.
    void describeSkippedRows()
    {
        QByteArray csv = "name,url,username,password\r\n"
                         "A,u,j,\xF0\x9F\x92\xB0\r\n"   // 2: password
                         "\"bad\"x,u,j,p\r\n"               // 3: malformed
                         "B,u,j\xC2\xA5,p\r\n"             // 4: username
                         "C,u\r\n"                         // 5: fields
                         ",,,\r\n"                         // 6: nothing
                         "D,u,j,p\r\n";                    // 7: imported
        for (int i = 0; i < 12; ++i)
            csv += "E,u,j,\xF0\x9F\x92\xB0\r\n";         // 8 to 19: password
        const TImportPlan plan = PlanCsvImport(csv, {});
        QCOMPARE(plan.items.size(), 1);
        QCOMPARE(plan.SkippedRows(), 17);
        QCOMPARE(DescribeSkippedRows(plan),
                 QString("17 row(s) of the file are not imported: 14 whose username or password the book cannot "
                         "store exactly (rows 2, 4, 8, 9, 10, 11, 12, 13, 14, 15, and 4 more); 1 malformed (row 3); "
                         "1 with another number of fields than the header row (row 5); 1 with nothing to import "
                         "(row 6)."));
        QVERIFY(DescribeSkippedRows(plan, true).startsWith("17 row(s) of the file were not imported: "));
        QCOMPARE(DescribeSkippedRows(PlanCsvImport("name,password\r\nA,p\r\n", {})), QString());
    }

    void rows_skippedAndTitlesMadeUnique()
    {
        const QByteArray csv = "name,url,username,password,folder\r\n"
                               "Mail,u,a,p,Work\r\n"
                               "Mail,u,b,p,Work\r\n"   // taken by the row before
                               "Mail,u,c,p,\r\n"       // another category
                               "Bank,u,d,p,Work\r\n"   // taken in the book
                               "\"bad\"x,u,e,p,\r\n"   // malformed
                               "short,u\r\n"           // too few fields
                               ",,,,Work\r\n";         // nothing to import
        auto book = [](const QByteArray &category, const QByteArray &title) {
            return category == "Work" && title == "Bank";
        };
        const TImportPlan plan = PlanCsvImport(csv, book);
        QVERIFY(plan.fault.isEmpty());
        QStringList got;
        for (const TImportItem &i : plan.items)
            got << QString::number(i.row) + ' ' + QString::fromLatin1(i.item.fields[0] + '/' + i.item.fields[1]);
        QCOMPARE(got, (QStringList{"2 Work/Mail", "3 Work/Mail (2)", "4 Imported/Mail", "5 Work/Bank (2)"}));
        QCOMPARE(Where(plan), (QStringList{"3 Title", "5 Title", "6", "7", "8"}));
        QVERIFY(DescribeNote(plan.notes[0]).startsWith("Row 3, Title: "));
    }

    void unusableFiles_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("unknown header") << QByteArray("a,b\r\n1,2\r\n");
        QTest::newRow("malformed header") << QByteArray("name,\"url,password\r\n");
        QTest::newRow("too large") << QByteArray("name,password\r\n") + QByteArray(2000, 'x');
    }
    void unusableFiles()
    {
        QFETCH(QByteArray, csv);
        const TImportPlan plan = PlanCsvImport(csv, {}, 1000);
        QVERIFY(!plan.fault.isEmpty());
        QVERIFY(plan.items.isEmpty());
        QVERIFY(plan.notes.isEmpty());
        QVERIFY(plan.newCategories.isEmpty());
    }

    void ownExport_unstorableDescription()
    {
        // A line feed alone is a line break the book keeps, but a "§" before
        // it would pair with the escape.
        const QByteArray csv = CsvRecord(BookCsvHeader())
            + CsvRecord({"A", "T", "", "", "", "", "", "", "", "", "", "a\u00A7\nb\rc"});
        const TImportPlan plan = PlanCsvImport(csv, {});
        QCOMPARE(plan.items.size(), 1);
        QCOMPARE(plan.items[0].item.description, QByteArray("a?\nb\rc"));
        QCOMPARE(Where(plan), QStringList{"2 Description"});

        // Nothing but a lone CR under a title is the shape of a freshly added item.
        const TImportPlan blank = PlanCsvImport(CsvRecord(BookCsvHeader())
                                                    + CsvRecord({"A", "T", "", "", "", "", "", "", "", "", "", "\r"}),
                                                {});
        QCOMPARE(blank.items.value(0).item.description, QByteArray("\r\n"));
        QCOMPARE(Where(blank), QStringList{"2 Description"});
    }

    void fileNotes()
    {
        const TImportPlan plan = PlanCsvImport("name,password,totp\r\nCaf\xE9,p,1\r\n", {});
        QCOMPARE(Where(plan), (QStringList{"0", "0"}));
        QVERIFY(plan.notes[1].problem.contains("totp"));
        QCOMPARE(plan.items.value(0).item.fields[1], QByteArray("Caf\xE9"));
    }
    // Whole files in the shapes browsers and password managers write: each
    // row lands with its name, address, username, password, notes and folder.
    void knownLists_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("item"); // category, title, address, username, password, description
        QTest::newRow("browser") << QByteArray("name,url,username,password\r\n"
                                               "Shop,https://shop.example.com/,ann,pw1\r\n")
                                 << QStringList{"Imported", "Shop", "https://shop.example.com/", "ann", "pw1", ""};
        QTest::newRow("browser with note")
            << QByteArray("name,url,username,password,note\n"
                          "Bank,https://bank.example.com/login,bob,\"p,w\",\"first\nsecond\"\n")
            << QStringList{"Imported", "Bank", "https://bank.example.com/login", "bob", "p,w", "first\r\nsecond"};
        QTest::newRow("browser without names")
            << QByteArray("\"url\",\"username\",\"password\",\"httpRealm\",\"formActionOrigin\",\"guid\","
                          "\"timeCreated\",\"timeLastUsed\",\"timePasswordChanged\"\r\n"
                          "\"https://mail.example.net\",\"carol\",\"pw3\",,\"https://mail.example.net\","
                          "\"{1}\",\"1\",\"2\",\"3\"\r\n")
            << QStringList{"Imported", "mail.example.net", "https://mail.example.net", "carol", "pw3", ""};
        QTest::newRow("browser with title and notes")
            << QByteArray("Title,URL,Username,Password,Notes,OTPAuth\r\nForum,https://f.example.org,dan,pw4,n,\r\n")
            << QStringList{"Imported", "Forum", "https://f.example.org", "dan", "pw4", "n"};
        QTest::newRow("manager with folders")
            << QByteArray("folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,login_password,"
                          "login_totp\r\nWork,,login,Wiki,note,,0,https://wiki.example.com,eve,pw5,\r\n")
            << QStringList{"Work", "Wiki", "https://wiki.example.com", "eve", "pw5", "note"};
        QTest::newRow("manager with grouping")
            << QByteArray("url,username,password,totp,extra,name,grouping,fav\r\n"
                          "https://a.example.com,fay,pw6,,x,Ads,Affiliates,0\r\n")
            << QStringList{"Affiliates", "Ads", "https://a.example.com", "fay", "pw6", "x"};
        QTest::newRow("manager with groups and titles")
            << QByteArray("\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\","
                          "\"Last Modified\",\"Created\"\r\n\"Root\",\"Net\",\"gus\",\"pw7\",\"https://n.example.com\","
                          "\"\",\"\",\"0\",\"2024\",\"2023\"\r\n")
            << QStringList{"Root", "Net", "https://n.example.com", "gus", "pw7", ""};
        QTest::newRow("manager with accounts and web sites")
            << QByteArray("Account,Login Name,Password,Web Site,Comments\r\nPay,hal,pw8,https://pay.example.com,c\r\n")
            << QStringList{"Imported", "Pay", "https://pay.example.com", "hal", "pw8", "c"};
        QTest::newRow("manager with email only")
            << QByteArray("type,name,url,email,password,note,vault\r\nlogin,Host,https://h.example.com,i@x.y,pw9,,V\r\n")
            << QStringList{"Imported", "Host", "https://h.example.com", "i@x.y", "pw9", ""};
    }
    void knownLists()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, item);
        const TImportPlan plan = PlanCsvImport(csv, {});
        QVERIFY2(plan.fault.isEmpty(), qPrintable(plan.fault));
        QCOMPARE(plan.items.size(), 1);
        const TItemRecord &got = plan.items[0].item;
        QCOMPARE((QStringList{FromAnsi(got.fields[0]), FromAnsi(got.fields[1]), FromAnsi(got.fields[3]),
                              FromAnsi(got.fields[5]), FromAnsi(got.fields[6]), FromAnsi(got.description)}),
                 item);
        QCOMPARE(got.fields[4], got.fields[3]); // the login address too
        QCOMPARE(plan.newCategories, QByteArrayList{got.fields[0]});
        QVERIFY(!plan.columns.format.isEmpty());
        QCOMPARE(plan.header.size(), ReadCsv(csv).rows.value(0).fields.size());
    }

    // A category the book would refuse to add beside one it has (another
    // case, surrounding blanks) takes the book's spelling and says so.
    void categories_data()
    {
        QTest::addColumn<QByteArrayList>("book");
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QByteArrayList>("landed");
        QTest::addColumn<QByteArrayList>("added");
        QTest::addColumn<QStringList>("notes");
        const QByteArray list = "name,password,folder\r\n";
        QTest::newRow("the book's spelling") << QByteArrayList{"Work"} << list + "a,p,Work\r\n"
                                             << QByteArrayList{"Work"} << QByteArrayList{} << QStringList{};
        QTest::newRow("other case") << QByteArrayList{"Home", "Work"} << list + "a,p,WORK\r\n"
                                    << QByteArrayList{"Work"} << QByteArrayList{} << QStringList{"2 Category"};
        QTest::newRow("new, then spelt otherwise") << QByteArrayList{} << list + "a,p,New\r\nb,p,nEW\r\nc,p,New\r\n"
                                                   << QByteArrayList{"New", "New", "New"} << QByteArrayList{"New"}
                                                   << QStringList{"3 Category"};
        QTest::newRow("no folder, the book has another spelling")
            << QByteArrayList{"imported"} << list + "a,p,\r\n" << QByteArrayList{"imported"} << QByteArrayList{}
            << QStringList{"2 Category"};
        QTest::newRow("two spellings in the book: the exact one")
            << QByteArrayList{"Work", "WORK"} << list + "a,p,WORK\r\n" << QByteArrayList{"WORK"} << QByteArrayList{}
            << QStringList{};
        QTest::newRow("two spellings in the book: else the first")
            << QByteArrayList{"Work", "WORK"} << list + "a,p,work\r\n" << QByteArrayList{"Work"} << QByteArrayList{}
            << QStringList{"2 Category"};
        QTest::newRow("own export keeps blanks, so they are compared away")
            << QByteArrayList{"Work"}
            << CsvRecord(BookCsvHeader()) + CsvRecord({" Work ", "T", "", "", "", "", "", "", "", "", "", ""})
            << QByteArrayList{"Work"} << QByteArrayList{} << QStringList{"2 Category"};
        QTest::newRow("accents are not case") << QByteArrayList{"Caf\xE9"} << list + "a,p,CAF\xC3\x89\r\n"
                                              << QByteArrayList{"CAF\xC9"} << QByteArrayList{"CAF\xC9"}
                                              << QStringList{};
    }
    void categories()
    {
        QFETCH(QByteArrayList, book);
        QFETCH(QByteArray, csv);
        QFETCH(QByteArrayList, landed);
        QFETCH(QByteArrayList, added);
        QFETCH(QStringList, notes);
        const TImportPlan plan = PlanCsvImportInto(csv, TImportBook{book, {}});
        QVERIFY2(plan.fault.isEmpty(), qPrintable(plan.fault));
        QByteArrayList got;
        for (const TImportItem &i : plan.items)
            got << i.item.fields[0];
        QCOMPARE(got, landed);
        QCOMPARE(plan.newCategories, added);
        QCOMPARE(Where(plan), notes);
    }

    // Numbers go on from the last one given, and skip those already taken.
    void manyRowsOfOneTitle()
    {
        QByteArray csv = "name,password,folder\r\n";
        for (int i = 0; i < 3000; ++i)
            csv += "Mail,p" + QByteArray::number(i) + ",Work\r\n"; // another password: not a repeat
        csv += "Mail (3001),p,Work\r\n";
        auto book = [](const QByteArray &category, const QByteArray &title) {
            return category == "Work" && (title == "Mail" || title == "Mail (3)");
        };
        const TImportPlan plan = PlanCsvImportInto(csv, TImportBook{{"Work"}, book});
        QCOMPARE(plan.items.size(), 3001);
        QCOMPARE(plan.items[0].item.fields[1], QByteArray("Mail (2)"));
        QCOMPARE(plan.items[1].item.fields[1], QByteArray("Mail (4)"));
        QCOMPARE(plan.items[2998].item.fields[1], QByteArray("Mail (3001)"));
        QCOMPARE(plan.items[2999].item.fields[1], QByteArray("Mail (3002)"));
        QCOMPARE(plan.items[3000].item.fields[1], QByteArray("Mail (3001) (2)"));
        QSet<QByteArray> titles;
        for (const TImportItem &i : plan.items)
            titles.insert(i.item.fields[1]);
        QCOMPARE(titles.size(), 3001);
    }

    // A row the book already holds (the same category, title, username and
    // password), or an earlier row gave, is left out; anything that differs
    // in one of them is a new item.
    void duplicates_data()
    {
        QTest::addColumn<QList<QByteArray>>("book");
        QTest::addColumn<QByteArray>("rows"); // name,username,password,folder
        QTest::addColumn<QStringList>("landed");
        QTest::addColumn<QStringList>("skipped"); // "row kind"
        const QList<QByteArray> mail{"Work|Mail|ann|pw"};
        QTest::newRow("the same item") << mail << QByteArray("Mail,ann,pw,Work\r\n") << QStringList{}
                                       << QStringList{"2 book"};
        QTest::newRow("another password") << mail << QByteArray("Mail,ann,pw2,Work\r\n")
                                          << QStringList{"2 Work/Mail (2)"} << QStringList{};
        QTest::newRow("another username") << mail << QByteArray("Mail,bob,pw,Work\r\n")
                                          << QStringList{"2 Work/Mail (2)"} << QStringList{};
        QTest::newRow("another title") << mail << QByteArray("Post,ann,pw,Work\r\n") << QStringList{"2 Work/Post"}
                                       << QStringList{};
        QTest::newRow("another category") << mail << QByteArray("Mail,ann,pw,Home\r\n")
                                          << QStringList{"2 Home/Mail"} << QStringList{};
        QTest::newRow("the category spelt otherwise") << mail << QByteArray("Mail,ann,pw,WORK\r\n") << QStringList{}
                                                      << QStringList{"2 book"};
        QTest::newRow("case of the password counts") << mail << QByteArray("Mail,ann,PW,Work\r\n")
                                                     << QStringList{"2 Work/Mail (2)"} << QStringList{};
        QTest::newRow("a row repeated in the file")
            << QList<QByteArray>{} << QByteArray("Mail,ann,pw,Work\r\nMail,ann,pw,Work\r\nMail,ann,pw2,Work\r\n")
            << QStringList{"2 Work/Mail", "4 Work/Mail (2)"} << QStringList{"3 row 2"};
        QTest::newRow("numbered by an earlier import")
            << QList<QByteArray>{"Work|Mail|bob|x", "Work|Mail (2)|ann|pw"} << QByteArray("Mail,ann,pw,Work\r\n")
            << QStringList{} << QStringList{"2 book"};
        QTest::newRow("numbered in the file, then repeated")
            << mail << QByteArray("Mail,ann,pw2,Work\r\nMail,ann,pw2,Work\r\n") << QStringList{"2 Work/Mail (2)"}
            << QStringList{"3 row 2"};
        QTest::newRow("a number the import never gives")
            << QList<QByteArray>{"Work|Mail (1)|ann|pw", "Work|Mail (02)|ann|pw", "Work|Mail (x)|ann|pw"}
            << QByteArray("Mail,ann,pw,Work\r\n") << QStringList{"2 Work/Mail"} << QStringList{};
        QTest::newRow("a numbered row against the book's plain title")
            << mail << QByteArray("Mail (2),ann,pw,Work\r\n") << QStringList{"2 Work/Mail (2)"} << QStringList{};
        QTest::newRow("no folder: the category it lands in")
            << QList<QByteArray>{"Imported|Mail|ann|pw"} << QByteArray("Mail,ann,pw,\r\n") << QStringList{}
            << QStringList{"2 book"};
        QTest::newRow("text the book changes compares as changed")
            << QList<QByteArray>{"Work|Caf\xE9 ?|ann|pw"} << QByteArray("Caf\xC3\xA9 \xE2\x98\x95,ann,pw,Work\r\n")
            << QStringList{} << QStringList{"2 book"};
    }
    void duplicates()
    {
        QFETCH(QList<QByteArray>, book);
        QFETCH(QByteArray, rows);
        QFETCH(QStringList, landed);
        QFETCH(QStringList, skipped);
        const TImportPlan plan = PlanCsvImportInto("name,username,password,folder\r\n" + rows, BookOf(book));
        QVERIFY2(plan.fault.isEmpty(), qPrintable(plan.fault));
        QCOMPARE(Landed(plan), landed);
        QStringList got;
        for (const TImportNote &n : plan.notes) {
            if (n.skip == TImportSkip::InBook)
                got << QStringLiteral("%1 book").arg(n.row);
            else if (n.skip == TImportSkip::Repeated)
                got << QStringLiteral("%1 %2").arg(n.row).arg(n.problem.section(' ', -2));
            else
                QVERIFY2(n.row == 0 || Landed(plan).join(' ').contains(QString::number(n.row) + ' '),
                         qPrintable(DescribeNote(n))); // no note of a row left out as already there
        }
        QCOMPARE(got, skipped);
        QCOMPARE(plan.SkippedRows(), skipped.size());
        QCOMPARE(plan.LostRows(), 0);
        if (!skipped.isEmpty())
            QVERIFY(DescribeSkippedRows(plan).contains(skipped.first().endsWith("book") ? "already in the book"
                                                                                          : "repeating an earlier row"));
    }

    // A password manager's export may hold several addresses in one field:
    // the first is where one logs in, the second the website. Other lists
    // keep their address whole, commas and all.
    void addresses_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("item"); // title, website, login address
        QTest::addColumn<int>("notes");
        const QByteArray manager = "folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,"
                                   "login_password,login_totp\r\n";
        QTest::newRow("two addresses")
            << manager + ",,login,Shop,,,0,\"https://login.shop.example,https://www.shop.example\",ann,pw,\r\n"
            << QStringList{"Shop", "https://www.shop.example", "https://login.shop.example"} << 0;
        QTest::newRow("one address fills both")
            << manager + ",,login,Shop,,,0,https://shop.example,ann,pw,\r\n"
            << QStringList{"Shop", "https://shop.example", "https://shop.example"} << 0;
        QTest::newRow("blanks and an empty part")
            << manager + ",,login,Shop,,,0,\" https://a.example , ,https://b.example\",ann,pw,\r\n"
            << QStringList{"Shop", "https://b.example", "https://a.example"} << 0;
        QTest::newRow("three addresses: the rest is told")
            << manager + ",,login,Shop,,,0,\"https://a.example,https://b.example,https://c.example\",ann,pw,\r\n"
            << QStringList{"Shop", "https://b.example", "https://a.example"} << 1;
        QTest::newRow("no name: the title from the first")
            << manager + ",,login,,,,0,\"https://login.shop.example/x,https://www.shop.example\",ann,pw,\r\n"
            << QStringList{"login.shop.example", "https://www.shop.example", "https://login.shop.example/x"} << 1;
        QTest::newRow("a browser's address keeps its comma")
            << QByteArray("name,url,username,password\r\nShop,\"https://shop.example/?a=1,2\",ann,pw\r\n")
            << QStringList{"Shop", "https://shop.example/?a=1,2", "https://shop.example/?a=1,2"} << 0;
    }
    void addresses()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, item);
        QFETCH(int, notes);
        const TImportPlan plan = PlanCsvImport(csv, {});
        QCOMPARE(plan.items.size(), 1);
        const TItemRecord &got = plan.items[0].item;
        QCOMPARE((QStringList{FromAnsi(got.fields[1]), FromAnsi(got.fields[3]), FromAnsi(got.fields[4])}), item);
        QCOMPARE(std::count_if(plan.notes.cbegin(), plan.notes.cend(), [](const TImportNote &n) { return n.row > 0; }),
                 notes);
    }

    // The group path of a password manager of the KeePass family starts with
    // the root group, which every row shares; only the rest names a category.
    void groupPaths_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QStringList>("categories");
        const QByteArray keePass = "Group,Title,Username,Password,URL,Notes";
        QTest::newRow("below the root") << keePass << QStringList{"Root/Shops", "Root/Mail"}
                                        << QStringList{"Shops", "Mail"};
        QTest::newRow("in the root itself") << keePass << QStringList{"Root/Shops", "Root"}
                                            << QStringList{"Shops", "Root"};
        QTest::newRow("only the root") << keePass << QStringList{"Passwords", "Passwords"}
                                       << QStringList{"Passwords", "Passwords"};
        QTest::newRow("deeper") << keePass << QStringList{"Root/Shops/Online", "Root/Shops"}
                                << QStringList{"Shops/Online", "Shops"};
        QTest::newRow("another root name") << keePass << QStringList{"My Vault/Shops", "My Vault/Mail"}
                                           << QStringList{"Shops", "Mail"};
        QTest::newRow("no root shared") << keePass << QStringList{"Home/Shops", "Work/Mail"}
                                        << QStringList{"Home/Shops", "Work/Mail"};
        QTest::newRow("a root that is only a prefix") << keePass << QStringList{"Root/Shops", "Rooted/Mail"}
                                                      << QStringList{"Root/Shops", "Rooted/Mail"};
        QTest::newRow("folders are not groups") << QByteArray("name,url,username,password,folder")
                                                << QStringList{"Work/Shops", "Work/Mail"}
                                                << QStringList{"Work/Shops", "Work/Mail"};
    }
    void groupPaths()
    {
        QFETCH(QByteArray, header);
        QFETCH(QStringList, groups);
        QFETCH(QStringList, categories);
        const bool keePass = header.startsWith("Group");
        QByteArray csv = header + "\r\n";
        for (qsizetype i = 0; i < groups.size(); ++i) {
            const QByteArray title = "T" + QByteArray::number(i);
            csv += keePass ? groups[i].toUtf8() + ',' + title + ",u,p,https://x.example,\r\n"
                           : title + ",https://x.example,u,p," + groups[i].toUtf8() + "\r\n";
        }
        const TImportPlan plan = PlanCsvImport(csv, {});
        QStringList got;
        for (const TImportItem &i : plan.items)
            got << FromAnsi(i.item.fields[0]);
        QCOMPARE(got, categories);
    }
};

QTEST_GUILESS_MAIN(TestCsv)
#include "test_csv.moc"
