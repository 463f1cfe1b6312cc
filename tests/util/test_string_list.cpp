#include "support/fault_injection.h"
#include "support/temp_app_folder.h"
#include "util/errors.h"
#include "support/string_list_files.h"

#include <QDir>
#include <QTest>

#include <algorithm>
#include <cstring>

class TestStringList : public QObject
{
    Q_OBJECT
private slots:
    void splitLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("empty") << QByteArray() << QByteArrayList{};
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("lone CR") << QByteArray("a\rb") << QByteArrayList{"a", "b"};
        QTest::newRow("lone LF") << QByteArray("a\nb\n") << QByteArrayList{"a", "b"};
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QByteArrayList{"a", "", "b"};
        QTest::newRow("empty lines kept") << QByteArray("\r\n\r\nx") << QByteArrayList{"", "", "x"};
        QTest::newRow("last line without end") << QByteArray("a\r\nlast") << QByteArrayList{"a", "last"};
        QTest::newRow("NUL ends the text") << QByteArray("a\r\nb\0c\r\nd", 10) << QByteArrayList{"a", "b"};
        QTest::newRow("NUL right after a break") << QByteArray("a\r\0b", 4) << QByteArrayList{"a"};
        QTest::newRow("CR at the very end") << QByteArray("a\r") << QByteArrayList{"a"};
        QTest::newRow("binary bytes stay") << QByteArray("\x01\xff\xa5\x7f") << QByteArrayList{"\x01\xff\xa5\x7f"};
    }
    void splitLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArrayList, lines);
        QCOMPARE(SplitLines(text), lines);
    }

    // Line ends are looked for 16 bytes at a time: a break on either side
    // of a block's edge, or a CR LF split by it, is found like any other.
    void splitLines_breaksAtEveryOffsetOfABlock_data()
    {
        QTest::addColumn<QByteArray>("brk");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("CR") << QByteArray("\r");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("NUL") << QByteArray("\0", 1);
    }
    void splitLines_breaksAtEveryOffsetOfABlock()
    {
        QFETCH(QByteArray, brk);
        for (int at = 0; at <= 48; ++at) {
            const QByteArray before(at, 'a');
            const QByteArray after(at % 7 + 20, 'b');
            const QByteArray text = before + brk + after + brk + "c";
            QByteArrayList expected;
            if (brk != QByteArray("\0", 1))
                expected << before << after << QByteArray("c");
            else if (at > 0)
                expected << before;
            QCOMPARE(SplitLines(text), expected);
            // The same text seen from an odd start in memory.
            const QByteArray shifted = "z" + text;
            QCOMPARE(SplitLines(QByteArray::fromRawData(shifted.constData() + 1, text.size())), expected);
        }
    }

    // Counting a byte while the lines are found: every line gets the count
    // of its own bytes only, wherever the block edges fall, and a long line
    // is counted whole.
    void linesCounting_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("none") << QByteArray("abc\r\ndef");
        QTest::newRow("in every line") << QByteArray("a|b|\r\n|\n||c|\r|");
        QTest::newRow("after the break, in the same block") << QByteArray("ab|\r\n||||||||||||||||||||");
        QTest::newRow("empty lines between") << QByteArray("||\r\n\r\n\n|");
        QTest::newRow("NUL ends the text") << QByteArray("a|b\0|||", 8);
        QTest::newRow("one column of 300 in a long line")
            << QByteArray("start\r\n") + QByteArray(16 * 300, 'x').replace(QByteArray(16, 'x'), "|xxxxxxxxxxxxxxx")
                   + "\r\nend|";
        QTest::newRow("4096 in a row: a byte per column would wrap to 0") << QByteArray(4096, '|') + "\r\n|";
    }
    void linesCounting()
    {
        QFETCH(QByteArray, text);
        for (int shift = 0; shift < 17; ++shift) {
            // The same text at every place in a block.
            const QByteArray padded = QByteArray(shift, 'z') + text;
            const QByteArray seen = QByteArray::fromRawData(padded.constData() + shift, text.size());
            QByteArrayList lines;
            QList<qsizetype> counts;
            ForEachLineCounting(seen, '|', [&](qsizetype start, qsizetype length, qsizetype count) {
                lines << seen.mid(start, length);
                counts << count;
            });
            QCOMPARE(lines, SplitLines(seen));
            for (qsizetype i = 0; i < lines.size(); ++i)
                QCOMPARE(counts[i], lines[i].count('|'));
        }
    }

    // The same text readable a few bytes at a time, as a protected book is
    // decrypted: the bytes not yet readable are a line break or a NUL, so a
    // look past what was made readable splits or ends a line wrongly.
    void linesCountingAsReadable_data() { linesCounting_data(); }
    void linesCountingAsReadable()
    {
        QFETCH(QByteArray, text);
        for (const char hidden : {'\r', '\n', '\0', '|'}) {
            for (const qsizetype step : {1, 2, 3, 7, 64}) {
                QByteArray shown(text.size(), hidden);
                qsizetype readable = 0;
                const auto ready = [&](qsizetype n) {
                    readable = std::min(text.size(), std::max(n, readable + step));
                    std::memcpy(shown.data(), text.constData(), size_t(readable));
                    return readable;
                };
                QByteArrayList lines;
                QList<qsizetype> counts;
                ForEachReadyLineCounting(shown, '|', ready, [&](qsizetype start, qsizetype length, qsizetype count) {
                    QVERIFY(start + length <= readable);
                    lines << shown.mid(start, length);
                    counts << count;
                });
                QCOMPARE(lines, SplitLines(text));
                for (qsizetype i = 0; i < lines.size(); ++i)
                    QCOMPARE(counts[i], lines[i].count('|'));
            }
        }
    }

    void joinLines_endsEveryEntry()
    {
        QCOMPARE(JoinLines({}), QByteArray());
        QCOMPARE(JoinLines({""}), QByteArray("\r\n"));
        QCOMPARE(JoinLines({"a", "", "b"}), QByteArray("a\r\n\r\nb\r\n"));
    }

    void hugeLine_isReadWhole()
    {
        TTempAppFolder dir;
        QByteArray big(10 * 1024 * 1024, 'x');
        dir.Write("big.dat", "first\r\n" + big + "\r\nlast");
        const TStringList lines = LoadStringList(dir.File("big.dat"));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[1].size(), big.size());
    }

    void load_unreadablePaths_throw()
    {
        TTempAppFolder dir;
        QVERIFY(QDir().mkdir(dir.File("folder.dat")));
        QVERIFY_THROWS_EXCEPTION(EFileError, LoadStringList(dir.File("folder.dat")));
        QVERIFY_THROWS_EXCEPTION(EFileError, LoadStringList(dir.File("missing.dat")));
    }

    void save_replacesWholeFile()
    {
        TTempAppFolder dir;
        dir.Write("book.dat", "old contents that are longer\r\n");
        SaveStringList(dir.File("book.dat"), {"new"});
        QCOMPARE(dir.Read("book.dat"), QByteArray("new\r\n"));
        SaveStringList(dir.File("book.dat"), {});
        QCOMPARE(dir.Read("book.dat"), QByteArray());
        QCOMPARE(QDir(dir.Path()).entryList(QDir::Files), QStringList{"book.dat"});
    }

    void save_failingHalfWay_keepsOldFile()
    {
        TTempAppFolder dir;
        const QByteArray old = "keep me\r\n";
        dir.Write("book.dat", old);
        TStringList many;
        for (int i = 0; i < 1000; ++i)
            many << QByteArray(100, 'a' + i % 26);
        QString error;
        {
            TFileSizeLimit limit(4096);
            try {
                SaveStringList(dir.File("book.dat"), many);
            } catch (const EFileError &e) {
                error = e.message();
            }
        }
        // The system's reason, not what cancelling the write says.
        QCOMPARE(error, QStringLiteral("Cannot write file \"%1\". File too large")
                            .arg(QDir::toNativeSeparators(dir.File("book.dat"))));
        QCOMPARE(dir.Read("book.dat"), old);
        QCOMPARE(QDir(dir.Path()).entryList(QDir::Files), QStringList{"book.dat"});
    }

    void save_folderRefusingWrites_keepsOldFile()
    {
        TTempAppFolder dir;
        dir.Write("book.dat", "keep\r\n");
        {
            TReadOnlyFolder readOnly(dir.Path());
            if (!readOnly.Active())
                QSKIP("cannot make a folder refuse writes here");
            try {
                SaveStringList(dir.File("book.dat"), {"lost?"});
                QFAIL("the save reported success");
            } catch (const EFileError &e) {
                QVERIFY2(e.message().contains("book.dat"), qPrintable(e.message()));
            }
        }
        QCOMPARE(dir.Read("book.dat"), QByteArray("keep\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestStringList)
#include "test_string_list.moc"
