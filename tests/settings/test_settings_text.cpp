// The publisher's settings text made into the program's Windows-1252 bytes.
#include "settings/branding_kit.h"

#include <QTest>

using TSource = TSettingsTextConversion::TSource;

class TestSettingsText : public QObject
{
    Q_OBJECT
private slots:
    void accepted_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("converted");
        QTest::newRow("ASCII stays") << QByteArray("<%%A%%>x<%%/A%%>\r\n") << QByteArray("<%%A%%>x<%%/A%%>\r\n")
                                     << int(TSource::Unchanged) << 0;
        QTest::newRow("UTF-8 converted") << QByteArray("caf\xC3\xA9 \xE2\x80\x93 10 \xE2\x82\xAC")
                                         << QByteArray("caf\xE9 \x96 10 \x80") << int(TSource::Utf8) << 3;
        QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF\xC2\xA9 2026\r\n\xC5\x93")
                                         << QByteArray("\xA9 2026\r\n\x9C") << int(TSource::Utf8WithMark) << 2;
        QTest::newRow("mark before ASCII is dropped") << QByteArray("\xEF\xBB\xBFplain") << QByteArray("plain")
                                                      << int(TSource::Utf8WithMark) << 0;
        QTest::newRow("Windows-1252 stays byte for byte")
            << QByteArray("caf\xE9 \x96 10 \x80\r\n") << QByteArray("caf\xE9 \x96 10 \x80\r\n")
            << int(TSource::Unchanged) << 0;
        QTest::newRow("Windows-1252 with an undefined byte") << QByteArray("a\x81z") << QByteArray("a\x81z")
                                                             << int(TSource::Unchanged) << 0;
        QTest::newRow("Windows-1252 that ends in a lead byte") << QByteArray("abc\xC3") << QByteArray("abc\xC3")
                                                               << int(TSource::Unchanged) << 0;
        QTest::newRow("every 1252 letter of 0x80..0x9F") << QByteArray("\xC5\xA0\xC5\xB8\xCB\x9C\xE2\x84\xA2")
                                                         << QByteArray("\x8A\x9F\x98\x99") << int(TSource::Utf8) << 4;
        QTest::newRow("empty") << QByteArray() << QByteArray() << int(TSource::Unchanged) << 0;
    }
    void accepted()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        QFETCH(int, source);
        QFETCH(int, converted);
        const TSettingsTextConversion r = ConvertSettingsText(input);
        QVERIFY2(r.Ok, qPrintable(r.Problem));
        QCOMPARE(r.Text, output);
        QCOMPARE(int(r.Source), source);
        QCOMPARE(r.Converted, converted);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("problem");
        QTest::newRow("letter outside the code page") << QByteArray("<%%A%%>\r\nx Tsch\xC3\xBC\xC3\x9F \xC5\x91")
                                                      << 2 << 10 << QString::fromUtf8("\"ő\" (U+0151) has no Windows-1252");
        QTest::newRow("CJK") << QByteArray("\xE4\xB8\xAD") << 1 << 1 << QString::fromUtf8("\"中\" (U+4E2D)");
        QTest::newRow("beyond the basic plane") << QByteArray("ok \xF0\x9F\x98\x80") << 1 << 4
                                                << QString::fromUtf8("\"😀\" (U+1F600) has no Windows-1252");
        QTest::newRow("C1 control") << QByteArray("\xC2\x85") << 1 << 1 << QString("control character U+0085");
        QTest::newRow("invisible space") << QByteArray("a\xE2\x80\x8B") << 1 << 2 << QString("(U+200B)");
        QTest::newRow("lines end at CR LF, CR and LF")
            << QByteArray("a\r\nb\rc\nd\xE2\x86\x92") << 4 << 2 << QString::fromUtf8("\"→\" (U+2192)");
        QTest::newRow("mark, then no UTF-8") << QByteArray("\xEF\xBB\xBF\xC3\xA9\r\ncaf\xE9") << 2 << 4
                                             << QString("byte 0xE9 is not valid UTF-8");
        QTest::newRow("mark, then an overlong form") << QByteArray("\xEF\xBB\xBF\xC0\xAF") << 1 << 1
                                                     << QString("byte 0xC0 is not valid UTF-8");
        QTest::newRow("UTF-16 little endian") << QByteArray("\xFF\xFE<\0%\0", 6) << 1 << 1 << QString("UTF-16");
        QTest::newRow("UTF-16 big endian") << QByteArray("\xFE\xFF\0<\0%", 6) << 1 << 1 << QString("UTF-16");
    }
    void refused()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(QString, problem);
        const TSettingsTextConversion r = ConvertSettingsText(input);
        QVERIFY(!r.Ok);
        QVERIFY(r.Text.isEmpty());
        QCOMPARE(r.Line, line);
        QCOMPARE(r.Column, column);
        QVERIFY2(r.Problem.contains(problem), qPrintable(r.Problem));
    }

    void packedUtf8IsRecognised_data()
    {
        QTest::addColumn<QByteArray>("plaintext");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("UTF-8 packed unconverted") << QByteArray("caf\xC3\xA9") << true;
        QTest::newRow("Windows-1252") << QByteArray("caf\xE9") << false;
        QTest::newRow("ASCII") << QByteArray("cafe") << false;
    }
    void packedUtf8IsRecognised()
    {
        QFETCH(QByteArray, plaintext);
        QFETCH(bool, utf8);
        QCOMPARE(LooksLikeUtf8(plaintext), utf8);
    }
};

QTEST_GUILESS_MAIN(TestSettingsText)
#include "test_settings_text.moc"
