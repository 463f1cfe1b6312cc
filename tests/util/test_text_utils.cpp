#include "util/codepage.h"
#include "util/text_utils.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// A text of "a^b" style where '|' separates the expected fields and '~' marks
// an empty one.
QByteArrayList Fields(const QByteArray &pattern)
{
    if (pattern.isEmpty())
        return {};
    QByteArrayList out = pattern.split('|');
    for (QByteArray &f : out)
        if (f == "~")
            f.clear();
    return out;
}

} // namespace

class TestTextUtils : public QObject
{
    Q_OBJECT
private slots:
    void splitByDelimiter_data()
    {
        QTest::addColumn<char>("delimiter");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("fields");
        QTest::newRow("empty") << '^' << QByteArray() << QByteArray();
        QTest::newRow("one field") << '^' << QByteArray("a") << QByteArray("a");
        QTest::newRow("two fields") << '^' << QByteArray("a^b") << QByteArray("a|b");
        QTest::newRow("trailing delimiter adds nothing") << '^' << QByteArray("a^b^") << QByteArray("a|b");
        QTest::newRow("leading delimiter") << '^' << QByteArray("^b") << QByteArray("~|b");
        QTest::newRow("two in a row") << '^' << QByteArray("a^^b") << QByteArray("a|~|b");
        QTest::newRow("lone delimiter") << '^' << QByteArray("^") << QByteArray("~");
        QTest::newRow("0xA5 splits an escaped pair")
            << '\xA5' << QByteArray("one\xA5\xA5\xA7\xA7two\xA5") << QByteArray("one|~|\xA7\xA7two");
        QTest::newRow("0xAF news list") << '\xAF' << QByteArray("1^t^d\xAF\xAFOK") << QByteArray("1^t^d|~|OK");
    }
    void splitByDelimiter()
    {
        QFETCH(char, delimiter);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, fields);
        TStringList out{"stale"};
        SplitByDelimiter(delimiter, text, out);
        QCOMPARE(out, Fields(fields));
    }

    void decodeDollarHex_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("escape in the middle") << QByteArray("a$41b") << QByteArray("aAb");
        QTest::newRow("percent") << QByteArray("100$25") << QByteArray("100%");
        QTest::newRow("one digit at the end") << QByteArray("$4") << QByteArray("\x04", 1);
        QTest::newRow("lower-case digits") << QByteArray("$ff$0a") << Hex("ff0a");
        QTest::newRow("nul byte") << QByteArray("x$00y") << QByteArray("x\0y", 3);
        QTest::newRow("no escape") << QByteArray("plain text") << QByteArray("plain text");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("lone dollar at the end") << QByteArray("abc$") << QByteArray();
        QTest::newRow("not hex") << QByteArray("$G1") << QByteArray();
        QTest::newRow("blank then digit") << QByteArray("$ 1") << QByteArray();
        QTest::newRow("sign") << QByteArray("$-1") << QByteArray();
        QTest::newRow("bad escape discards what was decoded") << QByteArray("x$41$zz") << QByteArray();
        QTest::newRow("valid first digit, bad second") << QByteArray("$4g") << QByteArray();
    }
    void decodeDollarHex()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QCOMPARE(DecodeDollarHex(in), out);
    }

    void lineBreakEscapes_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("escaped");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("no breaks") << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("CR LF") << QByteArray("one\r\ntwo") << QByteArray("one\xA5\xA5\xA7\xA7two");
        QTest::newRow("lone CR and LF") << QByteArray("a\rb\nc") << QByteArray("a\xA5\xA5" "b\xA7\xA7" "c");
        QTest::newRow("single bytes pass") << QByteArray("\xA5x\xA7") << QByteArray("\xA5x\xA7");
    }
    void lineBreakEscapes()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, escaped);
        QCOMPARE(EscapeLineBreaks(plain), escaped);
        QCOMPARE(UnescapeLineBreaks(escaped), plain);
    }

    void unescape_pairsLeftToRight()
    {
        QCOMPARE(UnescapeLineBreaks("\xA5\xA5\xA5"), QByteArray("\r\xA5"));
        // A literal pair in the text comes back as a line break.
        QCOMPARE(UnescapeLineBreaks(EscapeLineBreaks("x\xA7\xA7y")), QByteArray("x\ny"));
    }

    void comparisons_data()
    {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("ascii case") << QByteArray("Travel") << QByteArray("tRAVEL") << true;
        QTest::newRow("accented letters must match") << QByteArray("caf\xE9") << QByteArray("CAF\xC9") << false;
        QTest::newRow("lengths differ") << QByteArray("a") << QByteArray("ab") << false;
        QTest::newRow("bytes above z are not folded") << QByteArray("{") << QByteArray("[") << false;
    }
    void comparisons()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(bool, same);
        QCOMPARE(SameTextAscii(a, b), same);
    }

    void trim()
    {
        QCOMPARE(TrimAnsi(QByteArray("\t \x01 x y \r\n\x20")), QByteArray("x y"));
        QCOMPARE(TrimAnsi(QByteArray(" \xA0 ")), QByteArray("\xA0"));
        QCOMPARE(TrimAnsi(QByteArray("   ")), QByteArray());
    }

    void codepage_roundTripsEveryByte()
    {
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = static_cast<char>(i);
        bool lossless = false;
        QCOMPARE(ToAnsi(FromAnsi(all), &lossless), all);
        QVERIFY(lossless);
        QCOMPARE(FromAnsi("\x80\xA5\xA7"), QString::fromUtf8("€¥§"));
        QCOMPARE(ToAnsi(QString::fromUtf8("€ ¥ §")), QByteArray("\x80 \xA5 \xA7"));
    }
    void codepage_flagsWhatItCannotHold()
    {
        bool lossless = true;
        QCOMPARE(ToAnsi(QString::fromUtf8("a\u0416b"), &lossless), QByteArray("a?b"));
        QVERIFY(!lossless);
        QVERIFY(!IsAnsiEncodable(QChar(0x0416)));
        QVERIFY(IsAnsiEncodable(QChar(0x20AC)));
    }

    // The default browser is found through the XDG associations; a stub
    // records the arguments it was started with.
    void openURLInBrowser_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("passed"); // empty: nothing is started
        QTest::newRow("plain") << QByteArray("http://example.test/a?b=c&d=e f")
                               << QByteArray("http://example.test/a?b=c&d=e%20f");
        QTest::newRow("ansi bytes") << QByteArray("http://ex.test/caf\xE9") << QByteArray("http://ex.test/caf%C3%A9");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("an option for the browser") << QByteArray("--renderer-cmd-prefix=/tmp/x") << QByteArray();
        QTest::newRow("a local file") << QByteArray("file:///etc/passwd") << QByteArray();
    }
    void openURLInBrowser()
    {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, passed);
        QTemporaryDir dir;
        const QString root = dir.path();
        const QString record = root + "/args.txt";
        const QString stub = root + "/Bin Dir/stub-browser";
        QVERIFY(QDir().mkpath(root + "/Bin Dir"));
        QVERIFY(QDir().mkpath(root + "/data/applications"));
        QVERIFY(QDir().mkpath(root + "/config"));
        WriteFile(stub, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"" + record.toUtf8() + ".tmp\"\nmv \""
                            + record.toUtf8() + ".tmp\" \"" + record.toUtf8() + "\"\n");
        QFile::setPermissions(stub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        WriteFile(root + "/data/applications/stub.desktop",
                  "[Desktop Entry]\nType=Application\nName=Stub\nExec=\"" + stub.toUtf8() + "\" --new-window %u\n");
        WriteFile(root + "/config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/http=missing.desktop;stub.desktop;\n");
        ScopedXdg env(root + "/config", root + "/data");

        QCOMPARE(OpenURLInBrowser(url), !passed.isEmpty());
        if (passed.isEmpty()) {
            QTest::qWait(300); // what a start would take
            QVERIFY(!QFileInfo::exists(record));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 5000);
        QFile f(record);
        QVERIFY(f.open(QIODevice::ReadOnly));
        // The URL is one argument, encoded; the entry's own options stay.
        QCOMPARE(f.readAll(), "2\n--new-window\n" + passed + "\n");
    }

    // What may be handed to the desktop: the settings, the news and the
    // book come from files and servers anyone may have written.
    void desktopAddress_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<bool>("mail"); // a link that may also write mail
        QTest::addColumn<QString>("passed"); // empty: refused
        QTest::addColumn<QString>("reason"); // part of the refusal
        QTest::newRow("http") << QByteArray("http://pub.example/offer?a=1#top") << false
                              << "http://pub.example/offer?a=1#top" << "";
        QTest::newRow("https, upper-case scheme") << QByteArray("HTTPS://Pub.Example:8443/x") << false
                                                  << "https://pub.example:8443/x" << "";
        QTest::newRow("mailto on a link") << QByteArray("mailto:help@pub.example?subject=Hi there") << true
                                          << "mailto:help@pub.example?subject=Hi%20there" << "";
        QTest::newRow("mailto where only web goes") << QByteArray("mailto:help@pub.example") << false << ""
                                                    << "only web addresses";
        QTest::newRow("mailto without an address") << QByteArray("mailto:") << true << "" << "mail address";
        QTest::newRow("file") << QByteArray("file:///etc/passwd") << true << "" << "only web addresses";
        QTest::newRow("javascript") << QByteArray("javascript:alert(1)") << true << "" << "only web addresses";
        QTest::newRow("another program's scheme") << QByteArray("steam://run/1") << true << "" << "only web";
        QTest::newRow("bare path") << QByteArray("/usr/bin/xterm") << false << "" << "only web addresses";
        QTest::newRow("bare host") << QByteArray("pub.example/offer") << false << "" << "only web addresses";
        QTest::newRow("an option") << QByteArray("-x") << false << "" << "only web addresses";
        QTest::newRow("a long option") << QByteArray("--renderer-cmd-prefix=xterm") << false << ""
                                       << "only web addresses";
        QTest::newRow("spaces and quotes") << QByteArray("http://pub.example/a b\"c'd<e>") << false
                                           << "http://pub.example/a%20b%22c'd%3Ce%3E" << "";
        QTest::newRow("no host") << QByteArray("http:///path") << false << "" << "names no host";
        QTest::newRow("only a scheme") << QByteArray("https:") << false << "" << "names no host";
        QTest::newRow("line break") << QByteArray("http://pub.example/\r\nX: y") << false << ""
                                    << "control characters";
        QTest::newRow("blanks around") << QByteArray("  http://pub.example/  ") << false << "http://pub.example/"
                                       << "";
        QTest::newRow("empty") << QByteArray() << false << "" << "No address";
        QTest::newRow("blank") << QByteArray("   ") << true << "" << "No address";
    }
    void desktopAddress()
    {
        QFETCH(QByteArray, url);
        QFETCH(bool, mail);
        QFETCH(QString, passed);
        QFETCH(QString, reason);
        QString why;
        const QString got = DesktopAddress(url, mail ? TAddressUse::WebOrMail : TAddressUse::Web, &why);
        QCOMPARE(got, passed);
        QVERIFY(!got.startsWith(u'-'));
        if (passed.isEmpty())
            QVERIFY2(why.contains(reason), qPrintable(why));
    }

    void defaultBrowserCommand_data()
    {
        QTest::addColumn<QString>("list");    // where the association stands
        QTest::addColumn<QString>("exec");    // the entry's Exec line
        QTest::addColumn<QStringList>("command");
        const QString url = "http://x.test/?a=1";
        QTest::newRow("user's list, url code") << "config/mimeapps.list" << "browser %u"
                                               << QStringList{"browser", url};
        QTest::newRow("no field code: url appended") << "data/applications/defaults.list" << "/opt/b/browser"
                                                     << QStringList{"/opt/b/browser", url};
        QTest::newRow("wrapper command from the cache")
            << "data/applications/mimeinfo.cache" << "env GDK_BACKEND=x11 browser %U %i"
            << QStringList{"env", "GDK_BACKEND=x11", "browser", url};
        QTest::newRow("desktop's own list") << "config/xfce-mimeapps.list" << "\"my browser\" --private %u %%"
                                            << QStringList{"my browser", "--private", url, "%"};
    }
    void defaultBrowserCommand()
    {
        QFETCH(QString, list);
        QFETCH(QString, exec);
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        const QString root = dir.path();
        QVERIFY(QDir().mkpath(root + "/data/applications"));
        QVERIFY(QDir().mkpath(root + "/config"));
        WriteFile(root + "/data/applications/b.desktop", "[Desktop Entry]\nExec=" + exec.toUtf8() + "\n");
        const QByteArray group = list.endsWith("cache") ? "MIME Cache" : "Default Applications";
        WriteFile(root + "/" + list, "[" + group + "]\nx-scheme-handler/http=b.desktop\n");
        ScopedXdg env(root + "/config", root + "/data");
        qputenv("XDG_CURRENT_DESKTOP", "XFCE");
        QCOMPARE(DefaultBrowserCommand("http://x.test/?a=1"), command);
        qunsetenv("XDG_CURRENT_DESKTOP");
    }

    void openURLInBrowser_noAssociation_startsNothing()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.path() + "/config"));
        WriteFile(dir.path() + "/config/mimeapps.list", "[Default Applications]\ntext/html=foo.desktop\n");
        ScopedXdg env(dir.path() + "/config", dir.path() + "/data");
        QCOMPARE(DefaultBrowserCommand("http://x/"), QStringList());
        QVERIFY(!OpenURLInBrowser("http://example.test/"));
    }

private:
    static void WriteFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // Points every XDG search path into the test's folder for one test.
    struct ScopedXdg
    {
        ScopedXdg(const QString &config, const QString &data)
        {
            for (const char *name : kNames)
                saved.append(qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
            qputenv("XDG_CONFIG_HOME", config.toUtf8());
            qputenv("XDG_CONFIG_DIRS", config.toUtf8() + "/none");
            qputenv("XDG_DATA_HOME", data.toUtf8());
            qputenv("XDG_DATA_DIRS", data.toUtf8() + "/none");
        }
        ~ScopedXdg()
        {
            for (int i = 0; i < 4; ++i) {
                if (saved[i].isNull())
                    qunsetenv(kNames[i]);
                else
                    qputenv(kNames[i], saved[i]);
            }
        }
        static constexpr const char *kNames[4] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME",
                                                  "XDG_DATA_DIRS"};
        QByteArrayList saved;
    };
};

QTEST_GUILESS_MAIN(TestTextUtils)
#include "test_text_utils.moc"
