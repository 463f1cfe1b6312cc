// The protected book through the book folder: any character survives every
// field, nothing readable is left on disk, a wrong password or a damaged file
// loads and writes nothing, saves and backups go through the same steps as the
// plain book's, and protect, change and remove each read back what they wrote.
#include "book/account_book.h"
#include "book/book_check.h"
#include "book/book_folder.h"
#include "book/protected_book.h"
#include "book/search_rule.h"
#include "support/fault_injection.h"
#include "support/temp_app_folder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <memory>

namespace {

const TKdfParameters kFast{2, 8192 * 4};

const QByteArray kCategories = "Travel\r\nShops\r\n";
// A stored item with a two-line description, a freshly added one, and a
// record cut short: protecting keeps each as it reads.
const QByteArray kItems = "Travel\xA5Hotels\xA5hp\xA5w\xA5l\xA5" "alice\xA5s3cr\xE9t-one\xA5" "a\xA5" "c\xA5" "5\xA5"
                          "15th\xA5line one\xA5\xA5\xA7\xA7line two\xA5\r\n"
                          "Shops\xA5" "Books\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n"
                          "Shops\xA5Mail\xA5prog\xA5\r\n";
const QList<QByteArray> kPasswords = {"s3cr\xE9t-one", "s3cr\xC3\xA9t-one"};

QStringList Files(const TTempAppFolder &dir)
{
    QStringList names;
    QDirIterator it(dir.Path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << it.next().mid(dir.Path().size());
    names.sort();
    return names;
}

// Every file of the folder with its bytes, to show nothing was touched.
QMap<QString, QByteArray> Snapshot(const TTempAppFolder &dir)
{
    QMap<QString, QByteArray> all;
    for (const QString &name : Files(dir))
        all.insert(name, dir.Read(name));
    return all;
}

struct TProtected
{
    TProtected()
    {
        dir.Write("categories.dat", kCategories);
        dir.Write("items.dat", kItems);
        folder = std::make_unique<TBookFolder>(dir.Path());
        if (!folder->Load().isEmpty())
            qFatal("load");
        const TProtection p = ProtectBook(*folder, "master \xF0\x9F\x94\x91", kFast);
        if (!p.error.isEmpty())
            qFatal("%s", qPrintable(p.error));
        removable = p.removable;
    }
    // A fresh folder object, as at the next start.
    std::unique_ptr<TBookFolder> Reopen(const QByteArray &password = "master \xF0\x9F\x94\x91",
                                        TBookFolder::TUnlock *unlock = nullptr) const
    {
        auto again = std::make_unique<TBookFolder>(dir.Path());
        const TBookFolder::TUnlock u = again->Unlock(password);
        if (unlock)
            *unlock = u;
        return again;
    }
    TTempAppFolder dir;
    std::unique_ptr<TBookFolder> folder;
    QStringList removable;
};

QString Item(const TAccountBook &book, qsizetype record)
{
    const TItemRecord item = book.ReadItem(record);
    QStringList parts;
    for (const QByteArray &f : item.fields)
        parts << DecodeBookText(f, book.Text());
    parts << DecodeBookText(item.description, book.Text());
    return parts.join(u'|');
}

} // namespace

Q_DECLARE_METATYPE(TProtectedFault)

class TestProtectedBook : public QObject
{
    Q_OBJECT
private slots:
    void protect_keepsEveryRecordAndLeavesNoSecretOnDisk()
    {
        TProtected t;
        QVERIFY(t.folder->IsProtected());
        QCOMPARE(t.folder->Book().Text(), TBookText::Utf8);
        QCOMPARE(t.removable.size(), 2);
        QCOMPARE(RemoveFiles(t.removable), QString());
        QCOMPARE(Files(t.dir), (QStringList{"book.tarnwick"}));
        // An export never goes over the book itself.
        QVERIFY(!t.folder->ExportRefusal(t.dir.File("book.tarnwick")).isEmpty());
        for (const QString &name : Files(t.dir))
            for (const QByteArray &secret : kPasswords + QList<QByteArray>{"alice", "line one"})
                QVERIFY2(!t.dir.Read(name).contains(secret), qPrintable(name));
        const auto again = t.Reopen();
        QCOMPARE(again->Book().CategoryCount(), 2);
        QCOMPARE(again->Book().RecordCount(), 3);
        QCOMPARE(Item(again->Book(), 0), QString::fromUtf8("Travel|Hotels|hp|w|l|alice|s3cr\xC3\xA9t-one|a|c|5|15th|"
                                                           "line one\r\nline two"));
        QCOMPARE(Item(again->Book(), 1), QString("Shops|Books||||||||||"));
        QVERIFY(!again->Book().ReadItem(2).complete);
        QCOMPARE(again->Book().CutRecordsRead(), 1);
    }

    void everyField_keepsAnyCharacter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("Cyrillic") << QString::fromUtf8("\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C");
        QTest::newRow("CJK") << QString::fromUtf8("\xE5\xAF\x86\xE7\xA0\x81\xE6\x97\xA5\xE6\x9C\xAC");
        QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x94\x91\xF0\x9F\x98\x80");
        QTest::newRow("yen, the plain delimiter") << QString::fromUtf8("\xC2\xA5\xC2\xA5 100");
        QTest::newRow("section signs") << QString::fromUtf8("\xC2\xA7\xC2\xA7");
        QTest::newRow("combining accents") << QString::fromUtf8("e\xCC\x81\x61\xCC\x88");
        QTest::newRow("right to left") << QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD8\xB3\xD9\x84\xD8\xA7\xD9\x85");
        QTest::newRow("Devanagari double danda, A5 A5 in UTF-8") << QString::fromUtf8("\xE0\xA5\xA5");
        QTest::newRow("starting with U+FEFF, which a byte-order mark is too") << QChar(0xFEFF) + QStringLiteral("pw");
    }
    void everyField_keepsAnyCharacter()
    {
        QFETCH(QString, text);
        TProtected t;
        TAccountBook &book = t.folder->Book();
        const QModelIndex item = book.IndexOfRecord(0);
        std::array<QByteArray, 10> fields;
        for (size_t f = 0; f < fields.size(); ++f)
            fields[f] = (text + QString::number(f)).toUtf8();
        const QString description = text + "\r\n" + text + "\n";
        QCOMPARE(book.StoreItem(item, fields, description.toUtf8()), TBookOutcome::Done);
        QModelIndex category;
        QCOMPARE(book.AddCategory(text.toUtf8(), &category), TBookOutcome::Done);
        QCOMPARE(book.AddItem(category, (text + " new").toUtf8()), TBookOutcome::Done);
        QVERIFY(t.folder->SaveBook(true).written.Ok());

        const auto again = t.Reopen();
        const TItemRecord read = again->Book().ReadItem(0);
        for (size_t f = 0; f < fields.size(); ++f)
            QCOMPARE(DecodeBookText(read.fields[f + 1], TBookText::Utf8), text + QString::number(f));
        QCOMPARE(DecodeBookText(read.description, TBookText::Utf8), description);
        // Nor does the book's check take any of it for text that is not UTF-8.
        TStringList categories;
        TStringList items;
        for (int c = 0; c < again->Book().CategoryCount(); ++c)
            categories << again->Book().CategoryName(c);
        for (qsizetype r = 0; r < again->Book().RecordCount(); ++r)
            items << again->Book().Record(r);
        for (const TBookFinding &f : CheckBook(categories, items, TBookText::Utf8))
            QVERIFY2(f.kind != TBookFinding::TKind::RefusedText, qPrintable(f.text));
        QCOMPARE(again->Book().CategoryIndex(2).data().toString(), text);
        QCOMPARE(again->Book().FindItem(text.toUtf8(), (text + " new").toUtf8()), 3);
        QCOMPARE(again->Book().index(0, 0, again->Book().CategoryIndex(2)).data().toString(), text + " new");
    }

    void refusedFile_loadsAndWritesNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<TProtectedFault>("fault");
        QTest::newRow("wrong password") << "" << QByteArray("master") << TProtectedFault::WrongPassword;
        QTest::newRow("flipped header byte") << "header" << QByteArray("master \xF0\x9F\x94\x91") << TProtectedFault::Damaged;
        QTest::newRow("flipped payload byte") << "payload" << QByteArray("master \xF0\x9F\x94\x91") << TProtectedFault::Damaged;
        QTest::newRow("truncated") << "truncate" << QByteArray("master \xF0\x9F\x94\x91") << TProtectedFault::Damaged;
        QTest::newRow("absurd memory") << "memory" << QByteArray("master \xF0\x9F\x94\x91") << TProtectedFault::Damaged;
    }
    void refusedFile_loadsAndWritesNothing()
    {
        QFETCH(QString, damage);
        QFETCH(QByteArray, password);
        QFETCH(TProtectedFault, fault);
        TProtected t;
        QByteArray file = t.dir.Read("book.tarnwick");
        if (damage == "header")
            file[40] = char(file[40] ^ 1);
        else if (damage == "payload")
            file[file.size() - 20] = char(file[file.size() - 20] ^ 1);
        else if (damage == "truncate")
            file.chop(3);
        else if (damage == "memory")
            file[31] = '\x7F'; // memory field, beyond any limit (checksum left stale)
        t.dir.Write("book.tarnwick", file);
        const auto before = Snapshot(t.dir);
        TBookFolder::TUnlock unlock;
        const auto again = t.Reopen(password, &unlock);
        QVERIFY(!unlock.Ok());
        QCOMPARE(unlock.fault, fault);
        QVERIFY(again->IsLocked());
        QCOMPARE(again->Book().RecordCount(), 0);
        QCOMPARE(again->Book().CategoryCount(), 0);
        // A locked book writes nothing, whatever is asked.
        QVERIFY(!again->SaveBook(true).written.Ok());
        QVERIFY(!again->SaveItems().written.Ok());
        QCOMPARE(Snapshot(t.dir), before);
    }

    // The open book's file replaced by another book of several chunks,
    // damaged past its first: the records of the sound chunks are found while
    // the rest is still decrypted, yet the whole file is refused and the book
    // already open keeps every category and record it had.
    void laterChunkRefused_leavesTheOpenBookAsItWas_data()
    {
        const qsizetype sealed = (qsizetype(1) << 20) + 17;
        const qsizetype header = 104;
        QTest::addColumn<QString>("damage");
        QTest::addColumn<qsizetype>("at");
        QTest::addColumn<TProtectedFault>("fault");
        QTest::newRow("byte of the second chunk") << "flip" << header + sealed + 100 << TProtectedFault::Damaged;
        QTest::newRow("byte of the last chunk") << "flip" << qsizetype(-20) << TProtectedFault::Damaged;
        QTest::newRow("tag of the third chunk") << "flip" << header + 3 * sealed - 1 << TProtectedFault::Damaged;
        QTest::newRow("cut at a chunk's border") << "cut" << header + 2 * sealed << TProtectedFault::CutShort;
        QTest::newRow("a chunk left out") << "drop" << header + sealed << TProtectedFault::Damaged;
    }
    void laterChunkRefused_leavesTheOpenBookAsItWas()
    {
        QFETCH(QString, damage);
        QFETCH(qsizetype, at);
        QFETCH(TProtectedFault, fault);
        const QByteArray password = "master";
        const auto protect = [&](const TTempAppFolder &dir, const QByteArray &categories, const QByteArray &title) {
            dir.Write("categories.dat", categories);
            QByteArray items;
            for (int i = 0; i < 70000; ++i)
                items += (i % 2 ? "Travel" : "Shops") + QByteArray("\xA5") + title + QByteArray::number(i)
                         + "\xA5p\xA5w\xA5l\xA5user\xA5secret\xA5" "a\xA5" "c\xA5" "5\xA5" "15th\xA5notes\xA5\r\n";
            dir.Write("items.dat", items);
            TBookFolder plain(dir.Path());
            QVERIFY(plain.Load().isEmpty());
            const TProtection p = ProtectBook(plain, password, kFast);
            QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
        };
        TTempAppFolder dir;
        protect(dir, kCategories, "Program ");
        TTempAppFolder other;
        protect(other, "Travel\r\nShops\r\nGames\r\n", "Other ");
        TBookFolder open(dir.Path());
        QVERIFY(open.Unlock(password).Ok());
        const TAccountBook &book = open.Book();
        QCOMPARE(book.RecordCount(), 70000);
        const QString lastItem = Item(book, 69999);

        QByteArray file = other.Read("book.tarnwick");
        const qsizetype sealed = (qsizetype(1) << 20) + 17;
        QVERIFY(file.size() > 104 + 3 * sealed);
        if (at < 0)
            at += file.size();
        if (damage == "flip")
            file[at] = char(file[at] ^ 1);
        else if (damage == "cut")
            file.truncate(at);
        else
            file.remove(at, sealed);
        dir.Write("book.tarnwick", file);

        const TBookFolder::TUnlock again = open.Unlock(password);
        QVERIFY(!again.Ok());
        QCOMPARE(again.fault, fault);
        QCOMPARE(book.CategoryCount(), 2);
        QCOMPARE(book.RecordCount(), 70000);
        QCOMPARE(Item(book, 69999), lastItem);
        QCOMPARE(book.FindItem("Travel", "Program 69999"), 69999);
    }

    void saves_keepEncryptedBackups_andRestore()
    {
        TProtected t;
        RemoveFiles(t.removable);
        TAccountBook &book = t.folder->Book();
        QCOMPARE(book.DeleteItem(book.IndexOfRecord(0)), TBookOutcome::Done);
        t.folder->BackupBeforeNextSave();
        QVERIFY(t.folder->SaveItems().written.Ok());
        const QList<TBookBackup> backups = t.folder->Backups();
        QCOMPARE(backups.size(), 1);
        QCOMPARE(backups[0].items, 3);
        QCOMPARE(backups[0].notInCurrent.items, 1);
        for (const QString &name : Files(t.dir)) {
            QVERIFY2(name == "book.tarnwick" || name.endsWith("-book.tarnwick"), qPrintable(name));
            QVERIFY(!t.dir.Read(name).contains("alice"));
        }
        QCOMPARE(t.folder->Restore(backups[0].stamp), QString());
        QCOMPARE(t.folder->Load(), QString());
        QCOMPARE(t.folder->Book().RecordCount(), 3);
    }

    void backgroundSave_writesTheProtectedFile()
    {
        TProtected t;
        t.folder->SetBackgroundSaveFrom(0);
        TAccountBook &book = t.folder->Book();
        QCOMPARE(book.AddCategory(QString::fromUtf8("\xD0\x9D\xD0\xBE\xD0\xB2").toUtf8()), TBookOutcome::Done);
        const TBookSave save = t.folder->SaveItems();
        QVERIFY(save.posted);
        t.folder->WaitForSaves();
        t.folder->Lock();
        QCOMPARE(t.folder->Book().RecordCount(), 0);
        QVERIFY(t.folder->IsLocked());
        const auto again = t.Reopen();
        QCOMPARE(again->Book().CategoryCount(), 3);
        QCOMPARE(again->Book().RecordCount(), 3);
    }

    void changeAndRemove_roundTrip()
    {
        TProtected t;
        QVERIFY(!ChangeMasterPassword(*t.folder, "not it", "new", kFast).error.isEmpty());
        const TProtection changed = ChangeMasterPassword(*t.folder, "master \xF0\x9F\x94\x91", "n\xC3\xAAw", kFast);
        QCOMPARE(changed.error, QString());
        TBookFolder::TUnlock unlock;
        t.Reopen("master \xF0\x9F\x94\x91", &unlock);
        QCOMPARE(unlock.fault, TProtectedFault::WrongPassword);
        QVERIFY(t.Reopen("n\xC3\xAAw", &unlock)->Book().RecordCount() == 3);
        QVERIFY(unlock.Ok());

        // A character the plain files cannot hold stops the removal until
        // the user agrees to its "?".
        TAccountBook &book = t.folder->Book();
        std::array<QByteArray, 10> fields;
        fields[0] = "Hotels";
        fields[5] = "\xD0\x9F\xC2\xA5"; // password: Cyrillic and the plain delimiter
        QCOMPARE(book.StoreItem(book.IndexOfRecord(0), fields, "ok"), TBookOutcome::Done);
        QVERIFY(t.folder->SaveBook(true).written.Ok());
        const QList<TUnstorable> unstorable = FindUnstorable(book);
        QCOMPARE(unstorable.size(), 1);
        QCOMPARE(unstorable[0].field, QString("Password"));
        QCOMPARE(unstorable[0].title, QString("Hotels"));
        const auto before = Snapshot(t.dir);
        QVERIFY(!UnprotectBook(*t.folder, false).error.isEmpty());
        QCOMPARE(Snapshot(t.dir), before);

        const TProtection removed = UnprotectBook(*t.folder, true);
        QCOMPARE(removed.error, QString());
        QVERIFY(!t.folder->IsProtected());
        QVERIFY(!t.dir.Exists("book.tarnwick"));
        QVERIFY(!removed.removable.isEmpty());
        TBookFolder plain(t.dir.Path());
        QVERIFY(!plain.IsProtected());
        QCOMPARE(plain.Load(), QString());
        QCOMPARE(plain.Book().ReadItem(0).fields[6], QByteArray("??"));
        QCOMPARE(plain.Book().ReadItem(1).fields[1], QByteArray("Books"));
        QCOMPARE(plain.Book().CategoryCount(), 2);
    }

    void passwordStrength_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("strength");
        QTest::newRow("empty") << "" << int(TPasswordStrength::Empty);
        QTest::newRow("one word") << "password" << int(TPasswordStrength::Weak);
        QTest::newRow("long but one letter repeated") << "aaaaaaaaaaaaaaaaaaaaaaaaaaaa" << int(TPasswordStrength::Weak);
        QTest::newRow("mixed, ten") << "Tr0ub4dor&" << int(TPasswordStrength::Fair);
        QTest::newRow("four words") << "correct horse battery staple" << int(TPasswordStrength::Strong);
        QTest::newRow("Cyrillic sentence") << QString::fromUtf8("Ð¼Ð¾Ð¹ ÑÐµÐºÑÐµÑÐ½ÑÐ¹ ÐºÐ»ÑÑ") << int(TPasswordStrength::Strong);
    }
    void passwordStrength()
    {
        QFETCH(QString, password);
        QFETCH(int, strength);
        QCOMPARE(int(JudgePassword(password)), strength);
        QCOMPARE(PasswordHint(password).isEmpty(), password.isEmpty());
    }

    void firstStart_offersOnlyWhereNoBookIs_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("offer");
        QTest::newRow("empty folder") << "" << true;
        QTest::newRow("plain categories") << "categories.dat" << false;
        QTest::newRow("plain items") << "items.dat" << false;
        QTest::newRow("protected") << "book.tarnwick" << false;
        QTest::newRow("only the window's settings") << "tarnwick.ini" << true;
    }
    void firstStart_offersOnlyWhereNoBookIs()
    {
        QFETCH(QString, file);
        QFETCH(bool, offer);
        TTempAppFolder dir;
        if (!file.isEmpty())
            dir.Write(file, "");
        QCOMPARE(HasNoBook(dir.Path()), offer);
    }

    // A write that fails leaves the folder as it was: plain, no encrypted
    // file beside it, the book on disk and in memory unchanged.
    void failedWrite_leavesTheFolderAsItWas_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("disk full while writing book.tarnwick") << int(TAtomicWriter::TStep::Write);
        QTest::newRow("book.tarnwick refused its place") << int(TAtomicWriter::TStep::Replace);
    }
    void failedWrite_leavesTheFolderAsItWas()
    {
        QFETCH(int, step);
        TTempAppFolder dir;
        dir.Write("categories.dat", kCategories);
        dir.Write("items.dat", kItems);
        TBookFolder folder(dir.Path());
        QCOMPARE(folder.Load(), QString());
        const auto before = Snapshot(dir);
        {
            TWriteFault fault("book.tarnwick", TAtomicWriter::TStep(step), ENOSPC);
            const TProtection p = ProtectBook(folder, "pw", kFast);
            QVERIFY(!p.error.isEmpty());
            QVERIFY(p.removable.isEmpty());
        }
        QCOMPARE(Snapshot(dir), before);
        QVERIFY(!folder.IsProtected());
        QCOMPARE(folder.Book().RecordCount(), 3);
        QCOMPARE(folder.Book().Text(), TBookText::Ansi);

        // And a protected book's save that fails keeps the file as it was.
        QCOMPARE(ProtectBook(folder, "pw", kFast).error, QString());
        const QByteArray protectedBefore = dir.Read("book.tarnwick");
        TAccountBook &book = folder.Book();
        QCOMPARE(book.DeleteItem(book.IndexOfRecord(0)), TBookOutcome::Done);
        {
            TWriteFault fault("book.tarnwick", TAtomicWriter::TStep(step), ENOSPC);
            QVERIFY(!folder.SaveItems().written.Ok());
        }
        QCOMPARE(dir.Read("book.tarnwick"), protectedBefore);
    }

    void search_foldsAnyScript_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("found");
        QTest::newRow("Cyrillic, other case") << QString::fromUtf8("\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C") << true;
        QTest::newRow("Greek final sigma folds") << QString::fromUtf8("\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x8C\xCE\xA3") << true;
        QTest::newRow("accent typed, none stored") << QString::fromUtf8("caf\xC3\xA9") << true;
        QTest::newRow("combining accent stored") << QString("resume") << true;
        QTest::newRow("CJK") << QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC") << true;
        QTest::newRow("the password is never searched") << QString::fromUtf8("\xE7\xA7\x98\xE5\xAF\x86") << false;
        QTest::newRow("other script") << QString::fromUtf8("\xD7\xA9\xD7\x9C") << false;
    }
    void search_foldsAnyScript()
    {
        QFETCH(QString, typed);
        QFETCH(bool, found);
        TItemRecord item;
        item.fields[0] = "\xE6\x97\xA5\xE6\x9C\xAC";                                   // 日本
        item.fields[1] = "\xD0\x9F\xD0\x90\xD0\xA0\xD0\x9E\xD0\x9B\xD0\xAC";           // ПАРОЛЬ
        item.fields[2] = "\xCF\x83\xCE\xBF\xCF\x86\xCF\x8C\xCF\x82";                   // σοφός
        item.fields[3] = "cafe";
        item.fields[6] = "\xE7\xA7\x98\xE5\xAF\x86";                                   // 秘密
        item.description = "r\xC3\xA9sum\x65\xCC\x81";                                  // résumé
        const QByteArray record = BuildStoredRecord(item.fields[0], {item.fields[1], item.fields[2], item.fields[3], {}, {},
                                                                     item.fields[6], {}, {}, {}, {}},
                                                    item.description, TBookText::Utf8);
        const TSearchRule rule(typed, TBookText::Utf8);
        QCOMPARE(rule.MatchesRecord(record), found);
        QCOMPARE(rule.MatchesItem(ReadItemRecord(record, TBookText::Utf8)), found);
    }
};

QTEST_GUILESS_MAIN(TestProtectedBook)
#include "test_protected_book.moc"
