#include "settings/window_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestWindowSettings : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip()
    {
        QTemporaryDir dir;
        TWindowState s;
        s.geometry = QRect(-20, 40, 900, 600);
        s.maximized = true;
        s.splitters["bsSkinSplitter1"] = {250, 750};
        s.splitters["_editor2"] = {300, 0, 200};
        s.remindersOn = false;
        s.lastReminder = QDate(2026, 12, 9);
        s.passwordShown = false;
        const TWindowSettings settings(dir.path());
        QVERIFY(settings.Save(s));
        QCOMPARE(settings.Path(), dir.filePath("tarnwick.ini"));
        const TWindowState r = TWindowSettings(dir.path() + '/').Load();
        QCOMPARE(r.geometry, s.geometry);
        QCOMPARE(r.maximized, true);
        QCOMPARE(r.splitters, s.splitters);
        QCOMPARE(r.remindersOn, false);
        QCOMPARE(r.lastReminder, s.lastReminder);
        QCOMPARE(r.passwordShown, false);
        // Nothing but the file is left in the folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"tarnwick.ini"});
    }

    void saveReplacesEverything()
    {
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        Write(settings.Path(), "[Splitters]\nbsSkinSplitter1=1 2\nStray=x\n");
        TWindowState s;
        s.lastReminder = QDate(2026, 1, 2);
        QVERIFY(settings.Save(s));
        const TWindowState r = settings.Load();
        QVERIFY(r.splitters.isEmpty());
        QVERIFY(!r.geometry.isValid());
        QFile f(settings.Path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(!f.readAll().contains("Stray"));
    }

    void damaged_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("geometry");
        QTest::addColumn<int>("mainPanes");
        QTest::addColumn<bool>("remindersOn");
        QTest::addColumn<bool>("lastReminder");
        QTest::newRow("missing file") << QByteArray() << false << 0 << true << false;
        QTest::newRow("words for numbers") << QByteArray("[Window]\nX=a\nY=1\nWidth=2\nHeight=3\n[Splitters]\nbsSkinSplitter1=a b\n")
                                           << false << 0 << true << false;
        QTest::newRow("zero size") << QByteArray("[Window]\nX=0\nY=0\nWidth=0\nHeight=100\n") << false << 0 << true
                                   << false;
        QTest::newRow("huge size") << QByteArray("[Window]\nX=0\nY=0\nWidth=99999999\nHeight=100\n") << false << 0
                                   << true << false;
        QTest::newRow("negative pane") << QByteArray("[Splitters]\nbsSkinSplitter1=100 -5\n") << false << 0 << true << false;
        QTest::newRow("one pane") << QByteArray("[Splitters]\nbsSkinSplitter1=100\n") << false << 0 << true << false;
        QTest::newRow("too many panes") << QByteArray("[Splitters]\nbsSkinSplitter1=1 1 1 1 1 1 1 1 1\n") << false << 0
                                        << true << false;
        QTest::newRow("sound") << QByteArray("[Window]\nX=1\nY=2\nWidth=3\nHeight=4\n[Splitters]\nbsSkinSplitter1=5 6\n"
                                             "[Reminders]\nOn=false\nLastShown=2026-12-09\n")
                               << true << 2 << false << true;
        QTest::newRow("reminders flag unreadable: stays on")
            << QByteArray("[Reminders]\nOn=perhaps\nLastShown=2026-13-45\n") << false << 0 << true << false;
        QTest::newRow("binary garbage") << QByteArray("\x00\xFF[[[=\n\x01", 7) << false << 0 << true << false;
    }
    void damaged()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, geometry);
        QFETCH(int, mainPanes);
        QFETCH(bool, remindersOn);
        QFETCH(bool, lastReminder);
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        if (!ini.isEmpty())
            Write(settings.Path(), ini);
        const TWindowState r = settings.Load();
        QCOMPARE(r.geometry.isValid(), geometry);
        QCOMPARE(r.splitters.value("bsSkinSplitter1").size(), mainPanes);
        QCOMPARE(r.remindersOn, remindersOn);
        QCOMPARE(r.lastReminder.isValid(), lastReminder);
    }

    // Dots only when the user chose them: anything else shows the password
    // as the window always did.
    void passwordShown_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("shown");
        QTest::newRow("no file") << QByteArray() << true;
        QTest::newRow("no entry") << QByteArray("[Reminders]\nOn=false\n") << true;
        QTest::newRow("hidden") << QByteArray("[Editor]\nShowPassword=false\n") << false;
        QTest::newRow("hidden as a number") << QByteArray("[Editor]\nShowPassword=0\n") << false;
        QTest::newRow("unreadable") << QByteArray("[Editor]\nShowPassword=dots\n") << true;
        QTest::newRow("in another section") << QByteArray("[Window]\nShowPassword=false\n") << true;
    }
    void passwordShown()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, shown);
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        if (!ini.isEmpty())
            Write(settings.Path(), ini);
        QCOMPARE(settings.Load().passwordShown, shown);
        // A folder whose user never hid it keeps the file it had.
        TWindowState state;
        state.passwordShown = shown;
        QVERIFY(settings.Save(state));
        QFile f(settings.Path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().contains("[Editor]"), !shown);
        QCOMPARE(settings.Load().passwordShown, shown);
    }

    // Only names the window could have written come back, and no more of
    // them than a window has splitters.
    void splitterNames_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("object names") << QByteArray("[Splitters]\nbsSkinSplitter1=1 2\n_x9=3 4\n")
                                      << QStringList{"_x9", "bsSkinSplitter1"};
        QTest::newRow("a key that is a path") << QByteArray("[Splitters]\na%2Fb=1 2\n[Splitters/c]\nd=1 2\n")
                                              << QStringList{};
        QTest::newRow("leading digit, blank, non-ASCII")
            << QByteArray("[Splitters]\n1a=1 2\na%20b=1 2\n%U00E9=1 2\nok=1 2\n") << QStringList{"ok"};
        QByteArray many = "[Splitters]\n";
        QStringList first16;
        for (char c = 'a'; c <= 't'; ++c)
            many += QByteArray(1, c) + "=1 2\n";
        for (char c = 'a'; c <= 'p'; ++c)
            first16 << QString(QChar(c));
        QTest::newRow("at most sixteen") << many << first16;
    }
    void splitterNames()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, names);
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        Write(settings.Path(), ini);
        const TWindowState r = settings.Load();
        QCOMPARE(r.splitters.keys(), names);
        // What was read is written back as it was read.
        QVERIFY(settings.Save(r));
        QCOMPARE(settings.Load().splitters, r.splitters);
    }

    void saveSkipsWhatCouldNotBeReadBack()
    {
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        TWindowState s;
        s.splitters["a b"] = {1, 2};
        s.splitters["one"] = {1};
        s.splitters["nine"] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
        s.splitters["fine"] = {0, 7};
        QVERIFY(settings.Save(s));
        QCOMPARE(settings.Load().splitters, (QMap<QString, QList<int>>{{"fine", {0, 7}}}));
    }

    void oversizedFile_isIgnoredAndReplaced()
    {
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        Write(settings.Path(), "[Splitters]\nbsSkinSplitter1=5 6\n" + QByteArray(100 * 1024, '#') + '\n');
        QVERIFY(settings.Load().splitters.isEmpty());
        TWindowState s;
        s.splitters["bsSkinSplitter1"] = {1, 2};
        QVERIFY(settings.Save(s));
        QCOMPARE(settings.Load().splitters.value("bsSkinSplitter1"), (QList<int>{1, 2}));
        QVERIFY(QFileInfo(settings.Path()).size() < 1024);
    }

    // The lock's settings change while the window holds a layout read
    // before; saving that layout at close must not take them back.
    void bookLock_survivesALayoutSavedAfterIt_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("declined");
        QTest::newRow("no file") << QByteArray() << 0 << true;
        QTest::newRow("a layout only") << QByteArray("[Window]\nMaximized=true\n") << 25 << false;
        QTest::newRow("earlier lock settings")
            << QByteArray("[Lock]\nIdleMinutes=3\nProtectOfferDeclined=false\n") << 10 << true;
    }
    void bookLock_survivesALayoutSavedAfterIt()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, minutes);
        QFETCH(bool, declined);
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        if (!before.isEmpty())
            Write(settings.Path(), before);
        TWindowState layout = settings.Load();
        QVERIFY(settings.SaveBookLock({minutes, declined}));
        layout.splitters["bsSkinSplitter1"] = {100, 200};
        QVERIFY(settings.Save(layout));
        QCOMPARE(settings.LoadBookLock(), (TBookLockSettings{minutes, declined}));
        QCOMPARE(settings.Load().splitters.value("bsSkinSplitter1"), (QList<int>{100, 200}));
    }

    // Category names and titles are bytes the book holds: whatever they are,
    // they come back as they were, and the layout and lock saved after them
    // keep them.
    void tree_roundTripOfAnyName_data()
    {
        QTest::addColumn<QByteArray>("category");
        QTest::addColumn<QByteArray>("title");
        QTest::newRow("plain") << QByteArray("Travel") << QByteArray("Hotels");
        QTest::newRow("category only") << QByteArray("Travel") << QByteArray();
        QTest::newRow("blanks, slash and percent") << QByteArray(" My / shops ") << QByteArray("50% off/now");
        QTest::newRow("INI's own marks") << QByteArray("a=b;c,d") << QByteArray("\"q\" [x] #1 @Variant(");
        QTest::newRow("Windows-1252 bytes") << QByteArray("Caf\xE9") << QByteArray("\xA5\x80\xFF");
        QTest::newRow("line break") << QByteArray("two\r\nlines") << QByteArray("\n");
    }
    void tree_roundTripOfAnyName()
    {
        QFETCH(QByteArray, category);
        QFETCH(QByteArray, title);
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        const TTreeState tree{{category, "Other", "x y"}, category, title};
        QVERIFY(settings.SaveTree(tree));
        QCOMPARE(settings.LoadTree(), tree);
        TWindowState layout;
        layout.splitters["bsSkinSplitter1"] = {100, 200};
        QVERIFY(settings.Save(layout));
        QVERIFY(settings.SaveBookLock({5, true}));
        QCOMPARE(settings.LoadTree(), tree);
        QCOMPARE(settings.Load().splitters.value("bsSkinSplitter1"), (QList<int>{100, 200}));
        QCOMPARE(settings.LoadBookLock(), (TBookLockSettings{5, true}));
    }

    void tree_damagedOrOversized_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArrayList>("open");
        QTest::addColumn<QByteArray>("category");
        QTest::newRow("characters never written") << QByteArray("[Tree]\nOpen=a b+c\nSelected=x/y/z\n")
                                                  << QByteArrayList{"a"} << QByteArray();
        QTest::newRow("empty selection part") << QByteArray("[Tree]\nSelected=/y\n") << QByteArrayList{} << QByteArray();
        QTest::newRow("no tree") << QByteArray("[Window]\nMaximized=true\n") << QByteArrayList{} << QByteArray();
    }
    void tree_damagedOrOversized()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArrayList, open);
        QFETCH(QByteArray, category);
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        Write(settings.Path(), file);
        QCOMPARE(settings.LoadTree().open, open);
        QCOMPARE(settings.LoadTree().category, category);
        // Far more open categories than the file has room for: the file stays
        // readable, so the layout is not lost with them.
        TTreeState many;
        for (int i = 0; i < 20000; ++i)
            many.open.append("Category " + QByteArray::number(i));
        TWindowState layout;
        layout.maximized = true;
        QVERIFY(settings.Save(layout));
        QVERIFY(settings.SaveTree(many));
        QVERIFY(settings.Load().maximized);
        const TTreeState back = settings.LoadTree();
        QVERIFY(back.open.size() > 100 && back.open.size() < many.open.size());
        QCOMPARE(back.open.first(), QByteArray("Category 0"));
    }

    void bookLock_outOfRangeOrMissing_takesTheDefaults_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("minutes");
        QTest::newRow("missing") << QByteArray("[Window]\n") << 10;
        QTest::newRow("never") << QByteArray("[Lock]\nIdleMinutes=0\n") << 0;
        QTest::newRow("negative") << QByteArray("[Lock]\nIdleMinutes=-5\n") << 10;
        QTest::newRow("beyond a day") << QByteArray("[Lock]\nIdleMinutes=1441\n") << 10;
        QTest::newRow("a word") << QByteArray("[Lock]\nIdleMinutes=soon\n") << 10;
    }
    void bookLock_outOfRangeOrMissing_takesTheDefaults()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, minutes);
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        Write(settings.Path(), text);
        QCOMPARE(settings.LoadBookLock().idleMinutes, minutes);
    }

    void failedSave_reportsAndKeepsTheFolder()
    {
        QTemporaryDir dir;
        const TWindowSettings settings(dir.path());
        QVERIFY(QDir(dir.path()).mkdir("tarnwick.ini")); // nothing can be written there
        TWindowState s;
        s.splitters["bsSkinSplitter1"] = {1, 2};
        QVERIFY(!settings.Save(s));
        QVERIFY(QFileInfo(settings.Path()).isDir());
    }
};

QTEST_GUILESS_MAIN(TestWindowSettings)
#include "test_window_settings.moc"
