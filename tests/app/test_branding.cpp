#include "app/about_box.h"
#include "app/link_label.h"
#include "app/main_window.h"
#include "brand_fixtures.h"
#include "settings/branding_parser.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/publisher_wait.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "util/file_crypt.h"
#include "util/document_view.h"
#include "web/browser_panel.h"
#include "web/web_panel.h"
#include "support/when_ready.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMovie>
#include <QPushButton>
#include <QTabWidget>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

namespace {

QByteArray Picture(const char *format, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode %s", format);
    return bytes;
}

const QByteArray kLevel = Tagged("BranderType", "Gold") + Tagged("GoldNewsBaseURL", "http://news/") +
                          Tagged("GoldPublID", "3");

const QByteArray kSkin = "QWidget#frmMain { background: #102030; }\n";

} // namespace

class TestBranding : public QObject
{
    Q_OBJECT
public slots:
    // The desktop's open action, replaced for http and https.
    void openUrl(const QUrl &url) { opened << url.toString(); }

private:
    QStringList opened;
    std::unique_ptr<TFakeBrowser> browser;

    std::unique_ptr<TfrmMain> Open(const TTempAppFolder &dir, TScriptedMessages &msgs)
    {
        return std::make_unique<TfrmMain>(dir.Path(), &msgs);
    }

private slots:
    void initTestCase()
    {
        browser = std::make_unique<TFakeBrowser>();
        QDesktopServices::setUrlHandler("http", this, "openUrl");
        QDesktopServices::setUrlHandler("https", this, "openUrl");
    }
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
        browser.reset();
    }
    void init()
    {
        // The first candidate every time, so the choices are known.
        SetBrandingRandom([](qsizetype) { return 0; });
        qApp->setWindowIcon(QIcon());
        opened.clear();
        browser->Clear();
    }
    void cleanup() { SetBrandingRandom({}); }

    void withoutContainer_keepsDesignTimeLook()
    {
        TTempAppFolder dir;
        dir.Write("mainskin.dat", kSkin);
        dir.Write("main.ico", Picture("ico", {32, 32}));
        TScriptedMessages msgs;
        auto w = Open(dir, msgs);
        const QString builtIn = qApp->styleSheet();
        QCOMPARE(w->windowTitle(), QString("Tarnwick"));
        QVERIFY(!Child<QToolButton>(w, "btnNews")->isHidden());
        QCOMPARE(Child<QPushButton>(w, "btnMakeMoney")->text(), QString("Make Money"));
        QVERIFY(!Child<QFrame>(w, "panBanner")->isHidden());
        QCOMPARE(Child<QFrame>(w, "panBanner")->height(), 65);
        QVERIFY(!Child<QFrame>(w, "panLinks")->isHidden());
        QCOMPARE(Child<TLinkLabel>(w, "lblLink1URL")->text(), QString("Google"));
        QCOMPARE(Child<TLinkLabel>(w, "lblLink2URL")->text(), QString("Google"));
        QVERIFY(!Child<TLinkLabel>(w, "lblLink1URL")->URL().isEmpty());
        QVERIFY(Child<QTimer>(w, "Timer1")->isActive());
        QVERIFY(!builtIn.contains("#102030"));
        QVERIFY(qApp->windowIcon().isNull());
        QVERIFY(msgs.shown.isEmpty());

        // The banner has no link: a click starts nothing. Make Money has no
        // address either: the user hears so instead of an empty browser.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTest::mouseClick(Child<QLabel>(w, "imgBanner"), Qt::LeftButton);
        QVERIFY(msgs.shown.isEmpty());
        QTest::mouseClick(Child<QPushButton>(w, "btnMakeMoney"), Qt::LeftButton);
        QCOMPARE(msgs.Texts(), QStringList{"No address is set for this link."});
        QCOMPARE(msgs.shown[0].kind, TMsgDlgType::mtWarning);
        QTest::qWait(300);
        QCOMPARE(browser->Starts(), QStringList{});
    }

    // Wrong passphrase, failed authentication or an unreadable file: nothing
    // of the container is used, and the window looks as for an empty text.
    void containerThatDoesNotOpen_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("wrong passphrase") << "passphrase";
        QTest::newRow("authentication code fails") << "code";
        QTest::newRow("container is a folder") << "folder";
    }
    void containerThatDoesNotOpen()
    {
        QFETCH(QString, how);
        TTempAppFolder dir;
        const QByteArray text = Tagged("ApplicationName", "Tampered") + kLevel + Tagged("Welcome1", "<p>w</p>") +
                                Tagged("Banner1", "a.gif^http://b") + Tagged("Link1", "L^http://l");
        dir.Write("banner1.dat", AnimatedGif());
        if (how == "passphrase") {
            dir.Write("plain", text);
            QVERIFY(EncryptFileWithPassphrase(dir.File("plain"), dir.File("dbsettings.dat"), "another one"));
            QFile::remove(dir.File("plain"));
        } else if (how == "code") {
            WriteContainer(dir.Path(), text);
            QByteArray bytes = dir.Read("dbsettings.dat");
            bytes[bytes.size() - 3] = char(bytes[bytes.size() - 3] ^ 0x10);
            dir.Write("dbsettings.dat", bytes);
        } else {
            QVERIFY(QDir(dir.Path()).mkdir("dbsettings.dat"));
        }
        dir.Write("mainskin.dat", kSkin);
        dir.Write("main.ico", Picture("ico", {32, 32}));
        const QStringList files = FilesIn(dir.Path());

        TScriptedMessages msgs;
        auto w = Open(dir, msgs);
        QCOMPARE(w->windowTitle(), QString(" v2.0"));
        QVERIFY(Child<QToolButton>(w, "btnNews")->isHidden());
        QVERIFY(Child<QFrame>(w, "panBanner")->isHidden());
        QVERIFY(Child<QFrame>(w, "panLinks")->isHidden());
        QCOMPARE(Child<QPushButton>(w, "btnMakeMoney")->text(), QString("Make Money"));
        QVERIFY(BrandingSettings().WelcomePage.isEmpty());
        QVERIFY(BrandingSettings().ApplicationName.isEmpty());
        QVERIFY(Child<QTimer>(w, "Timer1")->isActive());
        QVERIFY(Child<QTabWidget>(w, "pgcPrinc")->styleSheet().contains("#102030"));
        QVERIFY(!qApp->styleSheet().contains("#102030"));
        QVERIFY(!qApp->windowIcon().isNull());
        QCOMPARE(FilesIn(dir.Path()), files);
        QVERIFY(msgs.shown.isEmpty());
    }

    void fullBranding_appliesEverything()
    {
        TTempAppFolder dir;
        const QByteArray text = Tagged("applicationname", "Acme Pro") + Tagged("BranderCode", "BC") +
                                Tagged("brandertype", "Gold") + Tagged("AffiliateURL", "http://aff/%%AFFILIATEID%%") +
                                Tagged("AffiliateID", "77") + Tagged("GOLDNEWSBASEURL", "http://news/") +
                                Tagged("GoldPublID", "3") + Tagged("MakeMoneyButton", "Earn Now") + Tagged("AppHelpURL", "http://help/") +
                                Tagged("Welcome1", "<h1>Welcome</h1>") + Tagged("Banner1", "pics\\Promo.GIF^http://banner/") +
                                Tagged("Link1", "First^http://first/") + Tagged("Link2", "<b>Second</b>^http://second/");
        WriteContainer(dir.Path(), text);
        dir.Write("banner1.dat", AnimatedGif());
        dir.Write("Promo.GIF", Picture("bmp", {300, 30})); // a file of the picture's name is not what shows
        const QStringList files = FilesIn(dir.Path());

        TScriptedMessages msgs;
        auto w = Open(dir, msgs);
        QCOMPARE(w->windowTitle(), QString("Acme Pro v2.0"));
        QCOMPARE(Child<QPushButton>(w, "btnMakeMoney")->text(), QString("Earn Now"));
        QVERIFY(!Child<QToolButton>(w, "btnNews")->isHidden());
        QCOMPARE(BrandingSettings().AffiliateURL, QByteArray("http://aff/77"));
        QCOMPARE(BrandingSettings().WelcomePage, QByteArray("<h1>Welcome</h1>"));
        QVERIFY(!Child<QTimer>(w, "Timer1")->isActive());

        QVERIFY(Child<QLabel>(w, "imgBanner")->isHidden());
        QVERIFY(!Child<QLabel>(w, "gifBanner")->isHidden());
        QCOMPARE(Child<QLabel>(w, "gifBanner")->size(), QSize(120, 40));
        QCOMPARE(Child<QFrame>(w, "panBanner")->height(), 50);
        QCOMPARE(Child<QMovie>(w, "gifMovie")->frameCount(), 2);
        QCOMPARE(Child<QMovie>(w, "gifMovie")->state(), QMovie::Running);
        QCOMPARE(Child<QLabel>(w, "gifBanner")->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(Child<QLabel>(w, "imgBanner")->cursor().shape(), Qt::PointingHandCursor);

        QVERIFY(!Child<QFrame>(w, "panLinks")->isHidden());
        QCOMPARE(Child<TLinkLabel>(w, "lblLink1URL")->text(), QString("First"));
        QCOMPARE(Child<TLinkLabel>(w, "lblLink1URL")->URL(), QByteArray("http://first/"));
        QCOMPARE(Child<TLinkLabel>(w, "lblLink2URL")->text(), QString("<b>Second</b>"));
        QCOMPARE(Child<TLinkLabel>(w, "lblLink2URL")->textFormat(), Qt::PlainText);
        QCOMPARE(FilesIn(dir.Path()), files); // nothing renamed, no plaintext left
        QVERIFY(msgs.shown.isEmpty());

        // The welcome page first, then the main page with the clicks.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsWelcome"));
        QCOMPARE(Child<TDocumentView>(w, "prfWelcome")->Html(), QString("<h1>Welcome</h1>"));
        QTest::mouseClick(Child<QPushButton>(w, "bsSkinButton1"), Qt::LeftButton);
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->currentWidget(), Child<QWidget>(w, "stsMain"));
        QTRY_VERIFY(Child<QLabel>(w, "gifBanner")->isVisible());

        QTest::mouseClick(Child<QLabel>(w, "gifBanner"), Qt::LeftButton);
        QTest::mouseClick(Child<QToolButton>(w, "btnHelp"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(w, "btnMakeMoney"), Qt::LeftButton);
        QTRY_COMPARE(browser->Starts().size(), 3);
        const QStringList starts = browser->Starts();
        QCOMPARE(QSet<QString>(starts.begin(), starts.end()),
                 (QSet<QString>{"1:[http://banner/]", "1:[http://help/]", "1:[http://aff/77]"}));
        auto *second = Child<TLinkLabel>(w, "lblLink2URL");
        QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(second->width() - 3, 5));
        QCOMPARE(opened, QStringList{"http://second/"});
    }

    void banner_data()
    {
        QTest::addColumn<QByteArray>("member");
        QTest::addColumn<QByteArray>("file"); // banner1.dat; empty: none
        QTest::addColumn<QString>("shown");    // "gif", "img" or "" for a hidden bar
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("hand");

        const QByteArray gif = AnimatedGif();
        QTest::newRow("still picture larger than the bar")
            << QByteArray("wide.bmp^http://b") << Picture("bmp", {1500, 100}) << "img" << QSize(1500, 100) << true;
        QTest::newRow("JPEG without link keeps the normal cursor")
            << QByteArray("c:\\ads\\top.JPG^") + "^" << Picture("jpeg", {200, 50}) << "img" << QSize(200, 50) << false;
        QTest::newRow("file missing") << QByteArray("a.gif^http://b") << QByteArray() << "" << QSize() << true;
        QTest::newRow("metafile") << QByteArray("a.wmf^http://b") << QByteArray("\xD7\xCD\xC6\x9A") << "" << QSize() << true;
        QTest::newRow("rejected by the reader") << QByteArray("a.gif^http://b") << QByteArray("not a gif") << ""
                                                << QSize() << true;
        QTest::newRow("picture name empty") << QByteArray("^http://b") << gif << "" << QSize() << true;
        QTest::newRow("member without link field is never chosen")
            << QByteArray("a.gif") << gif << "" << QSize() << false;
    }
    void banner()
    {
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        QFETCH(QSize, size);
        QFETCH(bool, hand);
        TTempAppFolder dir;
        WriteContainer(dir.Path(), Tagged("Banner1", member));
        if (!file.isEmpty())
            dir.Write("banner1.dat", file);
        const QStringList files = FilesIn(dir.Path());
        TScriptedMessages msgs;
        auto w = Open(dir, msgs);
        QCOMPARE(Child<QFrame>(w, "panBanner")->isHidden(), shown.isEmpty());
        QCOMPARE(Child<QLabel>(w, "imgBanner")->cursor().shape(), hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
        QCOMPARE(FilesIn(dir.Path()), files);
        if (shown.isEmpty())
            return;
        QLabel *label = shown == "gif" ? Child<QLabel>(w, "gifBanner") : Child<QLabel>(w, "imgBanner");
        QVERIFY(!label->isHidden());
        QCOMPARE(label->size(), size);
        QCOMPARE(Child<QFrame>(w, "panBanner")->height(), size.height() + 10);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(label->x(), Child<QFrame>(w, "panBanner")->width() / 2 - size.width() / 2);
        QCOMPARE(label->y(), 5);
    }

    void links_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("bar");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QByteArrayList>("urls");

        QTest::newRow("one link only") << Tagged("Link1", "Solo^http://solo/") << true << QStringList{"Solo", ""}
                                       << QByteArrayList{"http://solo/", ""};
        QTest::newRow("first link without caption hides the bar")
            << Tagged("Link1", "^http://x/") << false << QStringList{"", ""} << QByteArrayList{"http://x/", ""};
        QTest::newRow("malformed links only") << Tagged("Link1", "NoUrl") + Tagged("Link2", "Cap^") << false
                                              << QStringList{"", ""} << QByteArrayList{"", ""};
        QTest::newRow("Windows-1252 caption") << Tagged("Link1", "Caf\xE9 \x80^http://c/") + Tagged("Link2", "B^http://b/")
                                              << true << QStringList{QString::fromUtf8("Café €"), "B"}
                                              << QByteArrayList{"http://c/", "http://b/"};
    }
    void links()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, bar);
        QFETCH(QStringList, captions);
        QFETCH(QByteArrayList, urls);
        TTempAppFolder dir;
        WriteContainer(dir.Path(), text);
        TScriptedMessages msgs;
        auto w = Open(dir, msgs);
        QCOMPARE(!Child<QFrame>(w, "panLinks")->isHidden(), bar);
        const TLinkLabel *first = Child<TLinkLabel>(w, "lblLink1URL");
        const TLinkLabel *second = Child<TLinkLabel>(w, "lblLink2URL");
        QCOMPARE((QStringList{first->text(), second->text()}), captions);
        QCOMPARE((QByteArrayList{first->URL(), second->URL()}), urls);
    }

    void skinAndIcon_data()
    {
        QTest::addColumn<QByteArray>("skin");
        QTest::addColumn<bool>("skinApplied");
        QTest::addColumn<QByteArray>("icon");
        QTest::addColumn<bool>("iconApplied");

        QTest::newRow("style sheet and icon") << kSkin << true << Picture("ico", {32, 32}) << true;
        QTest::newRow("skin of another toolkit, broken icon")
            << QByteArray("\x1f\x8b\x08\x00binary{}", 12) << false << QByteArray("not an icon") << false;
        QTest::newRow("empty skin, PNG bytes named .ico") << QByteArray() << false << Picture("png", {16, 16}) << true;
    }
    void skinAndIcon()
    {
        QFETCH(QByteArray, skin);
        QFETCH(bool, skinApplied);
        QFETCH(QByteArray, icon);
        QFETCH(bool, iconApplied);
        TTempAppFolder dir;
        WriteContainer(dir.Path(), Tagged("ApplicationName", "A"));
        dir.Write("mainskin.dat", skin);
        dir.Write("main.ico", icon);
        TScriptedMessages msgs;
        auto w = Open(dir, msgs);
        QCOMPARE(Child<QTabWidget>(w, "pgcPrinc")->styleSheet().contains("#102030"), skinApplied);
        QVERIFY(qApp->styleSheet().contains("#bsSkinPanel1")); // the built-in skin, for every window
        QCOMPARE(!qApp->windowIcon().isNull(), iconApplied);
    }

    // A skin styles the main window's controls and nothing else: the paste
    // question, its buttons and the program's dialogs stay as the program
    // wrote them, whatever the skin says about them.
    void skinNeverSpeaksForTheProgram()
    {
        TTempAppFolder dir;
        WriteContainer(dir.Path(), Tagged("ApplicationName", "A"));
        dir.Write("mainskin.dat",
                  "QMessageBox QLabel#qt_msgbox_label { qproperty-text: \"This page belongs to this item's own site. "
                  "Paste the password?\" }\n"
                  "QMessageBox QPushButton { qproperty-text: \"No\" }\n"
                  "QMessageBox QLabel, QDialog QPushButton { color: #ff0000; }\n"
                  "QPushButton#btnSave { color: #ff0000; qproperty-text: \"Send\"; }\n");
        TfrmMain w(dir.Path()); // its own message boxes
        Child<QTimer>(w, "Timer1")->stop();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QColor red(0xff, 0, 0);

        QSignalSpy loaded(Child<TBrowserPanel>(w, "EmbeddedWB1"), &TBrowserPanel::loadFinished);
        Child<TBrowserPanel>(w, "EmbeddedWB1")->Navigate("data:text/html,<input id=p autofocus>");
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 20000);
        const QStringList addresses{"https://bank.example/", "", "", ""};
        w.findChild<QLineEdit *>("edtWebsiteURL")->setText(addresses[0]);
        w.findChild<QLineEdit *>("edtPassword")->setText("hunter2");
        const QString question = WebPanel::PasswordPasteQuestion(Child<TBrowserPanel>(w, "EmbeddedWB1")->Url(), addresses);
        QVERIFY(!question.isEmpty());
        QGuiApplication::clipboard()->setText("previous");

        QString shown;
        QStringList buttons;
        QColor textColour;
        const auto box = [] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); };
        WhenReady([&] { return box() && box()->isVisible(); },
                  [&] {
                      QMessageBox *b = box();
                      QVERIFY(b);
                      const auto *label = b->findChild<QLabel *>("qt_msgbox_label");
                      QVERIFY(label);
                      shown = label->text();
                      textColour = label->palette().color(QPalette::WindowText);
                      for (QAbstractButton *button : b->buttons())
                          buttons << QString(button->text()).remove(u'&');
                      b->button(QMessageBox::No)->click();
                  },
                  [&] {
                      if (QMessageBox *b = box())
                          b->reject();
                  });
        QTest::mouseClick(w.findChild<QPushButton *>("btnPPaste"), Qt::LeftButton);
        QCOMPARE(shown, question);
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"No", "Yes"}));
        QVERIFY(textColour != red);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("previous")); // No pasted nothing

        // The window's own controls take the skin's styles, not its texts.
        QTRY_COMPARE(w.findChild<QPushButton *>("btnSave")->palette().color(QPalette::ButtonText), red);
        QCOMPARE(w.findChild<QPushButton *>("btnSave")->text(), QString("Save Item"));

        // A dialog of the program keeps the program's look as well.
        TfrmAbout about(BrandingSettings(), &w);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        for (const QPushButton *button : about.findChildren<QPushButton *>())
            QVERIFY2(button->palette().color(QPalette::ButtonText) != red, qPrintable(button->objectName()));
    }

    // A link in the publisher's page opens in the default browser, and the
    // page stays.
    void welcomeLinks_openOutside()
    {
        TTempAppFolder dir;
        WriteContainer(dir.Path(), Tagged("Welcome1", "<a id=a href=\"http://pub.example/offer\">offer</a>"
                                                      "<a id=b target=_blank href=\"http://pub.example/new\">new</a>"));
        TScriptedMessages msgs;
        auto w = Open(dir, msgs);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QWebEngineView *view = Child<TDocumentView>(w, "prfWelcome")->findChild<QWebEngineView *>();
        QVERIFY(view);
        QTRY_VERIFY_WITH_TIMEOUT(!view->page()->isLoading() && view->page()->contentsSize().height() > 0, 10000);
        const QUrl before = view->url();
        // Only the user's click counts, not a script's.
        view->page()->runJavaScript("document.getElementById('a').click();");
        QTest::qWait(500);
        QCOMPARE(opened, QStringList{});
        // A link with a target goes out the same way.
        QWidget *surface = view->focusProxy() ? view->focusProxy() : view;
        for (const char *id : {"a", "b"}) {
            QVariant centre;
            view->page()->runJavaScript(QStringLiteral("var r = document.getElementById('%1').getBoundingClientRect();"
                                                       "[Math.round(r.x + r.width / 2), Math.round(r.y + r.height / 2)]")
                                            .arg(QLatin1String(id)),
                                        [&](const QVariant &v) { centre = v; });
            QTRY_VERIFY_WITH_TIMEOUT(centre.isValid(), 10000);
            const QPoint at(centre.toList().value(0).toInt(), centre.toList().value(1).toInt());
            QTest::mouseClick(surface, Qt::LeftButton, {}, at);
        }
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 2, 10000);
        QCOMPARE(QSet<QString>(opened.begin(), opened.end()),
                 (QSet<QString>{"http://pub.example/offer", "http://pub.example/new"}));
        QCOMPARE(view->url(), before);

        // What a script asks for on its own, and addresses that would start
        // other programs or open local files, go nowhere.
        opened.clear();
        view->page()->runJavaScript("window.open('http://pub.example/popup');"
                                    "window.open('file:///etc/passwd');"
                                    "location.href = 'steam://run/1';");
        QTest::qWait(500);
        QCOMPARE(opened, QStringList{});
        QCOMPARE(view->url(), before);
    }

    // The publisher's addresses come from a file anyone can make: what is not
    // a web address never reaches the browser or the desktop, and the user
    // who clicked is told why.
    void hostileAddresses_notOpened_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QString>("reason");
        QTest::newRow("Make Money, an option for the browser")
            << "btnMakeMoney" << QByteArray("--renderer-cmd-prefix=xterm") << "only web addresses";
        QTest::newRow("Help, a local file") << "btnHelp" << QByteArray("file:///etc/passwd") << "only web addresses";
        QTest::newRow("Help, no host") << "btnHelp" << QByteArray("http:///help") << "names no host";
        QTest::newRow("banner, a bare path") << "imgBanner" << QByteArray("/usr/bin/xterm") << "only web addresses";
        QTest::newRow("link, a script") << "lblLink1URL" << QByteArray("javascript:alert(1)") << "only web addresses";
        QTest::newRow("link, an option") << "lblLink2URL" << QByteArray("-x") << "only web addresses";
    }
    void hostileAddresses_notOpened()
    {
        QFETCH(QString, place);
        QFETCH(QByteArray, url);
        QFETCH(QString, reason);
        TTempAppFolder dir;
        TScriptedMessages msgs;
        auto w = Open(dir, msgs);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        BrandingSettings().AffiliateURL = url;
        BrandingSettings().AppHelpURL = url;
        BrandingSettings().BannerLinkURL = url;
        Child<TLinkLabel>(w, "lblLink1URL")->SetURL(url);
        Child<TLinkLabel>(w, "lblLink2URL")->SetURL(url);
        if (place == u"imgBanner") {
            Services(*w).BannerClick();
        } else {
            QWidget *control = w->findChild<QWidget *>(place);
            QVERIFY(control);
            QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(control->width() / 2, control->height() / 2));
        }
        QCOMPARE(msgs.shown.size(), 1);
        QCOMPARE(msgs.shown[0].kind, TMsgDlgType::mtWarning);
        QVERIFY2(msgs.shown[0].text.contains(reason), qPrintable(msgs.shown[0].text));
        QTest::qWait(300);
        QCOMPARE(browser->Starts(), QStringList{});
        QCOMPARE(opened, QStringList{});
        BrandingSettings() = TBrandingSettings{};
    }
};

QTEST_MAIN(TestBranding)
#include "test_branding.moc"
