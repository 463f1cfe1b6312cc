#include "brand_fixtures.h"
#include "settings/publisher_files.h"
#include "support/temp_app_folder.h"

#include <QBuffer>
#include <QImage>
#include <QTest>

namespace {

QByteArray Encoded(const char *format, QSize size = {30, 20})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode %s", format);
    return bytes;
}

} // namespace

class TestPublisherFiles : public QObject
{
    Q_OBJECT
private slots:
    void pictureKind_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("animated");
        QTest::addColumn<QByteArray>("format"); // of a still picture

        QTest::newRow("folder part and upper-case GIF") << QByteArray("pics\\Promo.GIF") << true << QByteArray();
        QTest::newRow(".gif anywhere in the name") << QByteArray("a.gif.png") << true << QByteArray();
        QTest::newRow(".gif only in the folder part") << QByteArray("x.gif/pic.png") << false << QByteArray("png");
        QTest::newRow("drive and folders") << QByteArray("c:\\web\\ads\\top.JPG") << false << QByteArray("jpeg");
        QTest::newRow("bitmap") << QByteArray("top.bmp") << false << QByteArray("bmp");
        QTest::newRow("icon") << QByteArray("top.ico") << false << QByteArray("ico");
        QTest::newRow("metafile") << QByteArray("top.wmf") << false << QByteArray();
        QTest::newRow("enhanced metafile") << QByteArray("top.EMF") << false << QByteArray();
        QTest::newRow("no extension") << QByteArray("top") << false << QByteArray();
        QTest::newRow("name ends with a folder") << QByteArray("pics\\") << false << QByteArray();
    }
    void pictureKind()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, animated);
        QFETCH(QByteArray, format);
        QCOMPARE(BannerKindOf(name) == TBannerKind::Animated, animated);
        if (!animated)
            QCOMPARE(StillPictureFormat(name), format);
    }

    void readBanner_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QSize>("size"); // invalid: not shown

        QTest::newRow("animated GIF") << AnimatedGif() << QByteArray("pics\\Promo.GIF") << QSize(120, 40);
        QTest::newRow("still picture") << Encoded("bmp", {700, 90}) << QByteArray("wide.bmp") << QSize(700, 90);
        QTest::newRow("JPEG under .jpg") << Encoded("jpeg") << QByteArray("p.jpg") << QSize(30, 20);
        QTest::newRow("a bitmap named .jpg is rejected") << Encoded("bmp") << QByteArray("p.jpg") << QSize();
        QTest::newRow("a GIF named .bmp is rejected") << AnimatedGif() << QByteArray("p.bmp") << QSize();
        QTest::newRow("metafile") << QByteArray("\xD7\xCD\xC6\x9A junk") << QByteArray("p.wmf") << QSize();
        QTest::newRow("garbage as GIF") << QByteArray("GIF89a?") << QByteArray("p.gif") << QSize();
        QTest::newRow("empty file") << QByteArray() << QByteArray("p.gif") << QSize();
    }
    void readBanner()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, name);
        QFETCH(QSize, size);
        TTempAppFolder dir;
        dir.Write("banner2.dat", bytes);
        const TBannerPicture p = ReadBannerPicture(dir.File(BannerFileName(2)), name);
        QCOMPARE(p.Ok, size.isValid());
        if (p.Ok)
            QCOMPARE(p.Image.size(), size);
        else
            QVERIFY(!p.Problem.isEmpty());
    }

    void readBanner_missingFileOrFolder()
    {
        TTempAppFolder dir;
        QVERIFY(!ReadBannerPicture(dir.File("banner1.dat"), "a.gif").Ok);
        QVERIFY(QDir(dir.Path()).mkdir("banner1.dat"));
        QVERIFY(!ReadBannerPicture(dir.File("banner1.dat"), "a.gif").Ok);
    }

    void styleSheet_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("usable");

        QTest::newRow("rules") << QByteArray("QWidget { background: red; }\nQPushButton#x:hover{color:blue}") << true;
        QTest::newRow("comments and strings with braces")
            << QByteArray("/* { */ QLabel { font-family: \"a}b\"; } /* } */") << true;
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBFQLabel { color: #123; }") << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("blanks only") << QByteArray(" \r\n\t") << false;
        QTest::newRow("a compressed skin of another toolkit") << QByteArrayLiteral("PK\x03\x04\x00\x01{}") << false;
        QTest::newRow("not UTF-8") << QByteArray("QLabel { font-family: \"\xE9t\xE9\"; }") << false;
        QTest::newRow("no rule") << QByteArray("color: red;") << false;
        QTest::newRow("block without selector") << QByteArray("{ color: red; }") << false;
        QTest::newRow("unbalanced") << QByteArray("QLabel { color: red; ") << false;
        QTest::newRow("closing first") << QByteArray("} QLabel { }") << false;
        QTest::newRow("text after the last rule") << QByteArray("QLabel { } trailing") << false;
        QTest::newRow("unclosed comment") << QByteArray("QLabel { } /* ") << false;
        QTest::newRow("unclosed string") << QByteArray("QLabel { font: \"x; }") << false;
    }
    void styleSheet()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, usable);
        QCOMPARE(IsUsableStyleSheet(bytes), usable);
    }

    // What of a publisher's skin reaches the window: styles only.
    void safeSkin_data()
    {
        QTest::addColumn<QByteArray>("skin");
        QTest::addColumn<QString>("applied");
        QTest::newRow("a skin that rewrites the paste question")
            << QByteArray("QMessageBox QLabel#qt_msgbox_label { qproperty-text: \"This page belongs to this item's "
                          "own site. Paste the password?\" }\nQMessageBox QPushButton { qproperty-text: \"No\" }\n")
            << "";
        QTest::newRow("styles kept, written again")
            << QByteArray("QLineEdit[echoMode=\"2\"]:!focus,\n  QPushButton#btnSave:hover {\n color:#ff0000;\n"
                          "  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fff, stop:1 #ddd) }")
            << "QLineEdit[echoMode=\"2\"]:!focus, QPushButton#btnSave:hover { color: #ff0000; background: "
               "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fff, stop:1 #ddd); }\n";
        QTest::newRow("property setter among styles")
            << QByteArray("QLabel { color: red; qproperty-text: \"x\"; font: bold 10pt \"DejaVu Sans\" }")
            << "QLabel { color: red; font: bold 10pt \"DejaVu Sans\"; }\n";
        QTest::newRow("property setter in capitals") << QByteArray("QLabel { QPROPERTY-Text: \"x\"; color: red }")
                                                     << "QLabel { color: red; }\n";
        QTest::newRow("property setter written with an escape")
            << QByteArray("QLabel { qpropert\\79-text: \"x\"; color: red }") << "QLabel { color: red; }\n";
        QTest::newRow("property setter split by a comment")
            << QByteArray("QLabel { qproperty/**/-text: \"x\"; color: red }") << "QLabel { color: red; }\n";
        QTest::newRow("a file by url") << QByteArray("QWidget { background: url(/etc/passwd) #fff; color: red }")
                                       << "QWidget { color: red; }\n";
        QTest::newRow("url in capitals, blanks inside")
            << QByteArray("QWidget { background: URL ( file:///tmp/x.png ); color: red }") << "QWidget { color: red; }\n";
        QTest::newRow("pictures and icons without url")
            << QByteArray("QCheckBox::indicator { image: \":/x.png\"; border-image: none; "
                          "titlebar-close-icon: \"x\"; width: 10px }")
            << "QCheckBox::indicator { width: 10px; }\n";
        QTest::newRow("@import before a rule") << QByteArray("@import \"other.qss\";\nQLabel { color: red }") << "";
        QTest::newRow("@media block, then a rule")
            << QByteArray("@media screen { QLabel { color: red } }\nQPushButton { color: blue }")
            << "QPushButton { color: blue; }\n";
        QTest::newRow("string with an escaped quote: the whole rule")
            << QByteArray("QLabel { font-family: \"a\\\"; qproperty-text: \\\"x\"; color: red }\nQFrame { color: red }")
            << "QFrame { color: red; }\n";
        QTest::newRow("semicolon or brace inside a string")
            << QByteArray("QLabel { font-family: \"a;b\"; color: red } QFrame[x=\"}\"] { color: red }")
            << "QLabel { color: red; }\n";
        QTest::newRow("selector with other characters")
            << QByteArray("QLa\\62el { color: red } Q\xC3\xA9 { color: red } QFrame { color: red }")
            << "QFrame { color: red; }\n";
        QTest::newRow("declaration without a value or name")
            << QByteArray("QLabel { color: ; : red; ; color }") << "";
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBFQLabel { color: #123; }")
                                        << "QLabel { color: #123; }\n";
        QTest::newRow("not a style sheet") << QByteArray("color: red;") << "";
    }
    void safeSkin()
    {
        QFETCH(QByteArray, skin);
        QFETCH(QString, applied);
        const QString safe = SafeSkinStyleSheet(skin);
        QCOMPARE(safe, applied);
        // What is written again reads the same.
        QCOMPARE(SafeSkinStyleSheet(safe.toUtf8()), safe);
    }
};

QTEST_MAIN(TestPublisherFiles)
#include "test_publisher_files.moc"
