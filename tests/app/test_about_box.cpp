#include "app/about_box.h"
#include "app/main_window.h"
#include "brand_fixtures.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "support/when_ready.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

class TestAboutBox : public QObject
{
    Q_OBJECT
private slots:
    void controlsAtTheirPlaces()
    {
        TfrmAbout box(TBrandingSettings{});
        QCOMPARE(box.objectName(), QString("frmAbout"));
        QCOMPARE(box.size(), QSize(368, 211));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QVERIFY(!(box.windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(box.lblProductName->pos(), QPoint(9, 7));
        QVERIFY(box.lblProductName->font().bold());
        QCOMPARE(box.lblProductVersion->pos(), QPoint(9, 32));
        QCOMPARE(box.lblCopyright->pos(), QPoint(9, 57));
        QCOMPARE(box.bsSkinPanel1->geometry(), QRect(8, 88, 348, 71));
        QCOMPARE(box.memAbout->parentWidget(), box.bsSkinPanel1);
        QVERIFY(box.memAbout->isReadOnly());
        QCOMPARE(box.editAbout->geometry(), QRect(129, 171, 87, 21));
        QCOMPARE(box.editAbout->text(), QString("Ok"));
    }

    void texts_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("years");
        QTest::addColumn<QByteArray>("company");
        QTest::addColumn<QByteArray>("about");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("copyright");
        QTest::addColumn<QString>("memo");

        QTest::newRow("without settings") << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                                          << QString("About ...") << QString::fromUtf8("Copyright © ") + " "
                                          << QString();
        QTest::newRow("branded") << QByteArray("Tarnwick") << QByteArray("2004-2006") << QByteArray("Caf\xE9 Ltd")
                                 << QByteArray("one\r\ntwo\rthree\nfour\r\n") << QString("About Tarnwick...")
                                 << QString::fromUtf8("Copyright © 2004-2006 Café Ltd")
                                 << QString("one\ntwo\nthree\nfour");
        QTest::newRow("markup shown as text, NUL ends the memo")
            << QByteArray("<b>X</b>") << QByteArray() << QByteArray() << QByteArray("a\0hidden", 8)
            << QString("About <b>X</b>...") << QString::fromUtf8("Copyright ©  ") << QString("a");
    }
    void texts()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, years);
        QFETCH(QByteArray, company);
        QFETCH(QByteArray, about);
        QFETCH(QString, caption);
        QFETCH(QString, copyright);
        QFETCH(QString, memo);
        TBrandingSettings s;
        s.ApplicationName = name;
        s.CopyrightYears = years;
        s.CopyrightCompany = company;
        s.AboutText = about;
        TfrmAbout box(s);
        QCOMPARE(box.windowTitle(), caption);
        QCOMPARE(box.lblProductName->text(), QString::fromLatin1(name));
        QCOMPARE(box.lblProductName->textFormat(), Qt::PlainText);
        QCOMPARE(box.lblProductVersion->text(), QString("Product Version: 2.0"));
        QCOMPARE(box.lblCopyright->text(), copyright);
        QCOMPARE(box.memAbout->toPlainText(), memo);
    }

    void longText_scrolls()
    {
        TBrandingSettings s;
        for (int i = 0; i < 40; ++i)
            s.AboutText += "line " + QByteArray::number(i) + "\r\n";
        TfrmAbout box(s);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QVERIFY(box.bsSkinScrollBar1->maximum() > 0);
    }

    // "About" on the main window opens the box modally with the settings read
    // at start; "Ok" closes it.
    void aboutButton_showsBrandedBox_okCloses()
    {
        TTempAppFolder dir;
        WriteContainer(dir.Path(), Tagged("ApplicationName", "Acme") + Tagged("CopyrightYears", "2006") +
                                       Tagged("CopyrightCompany", "Acme Inc.") + Tagged("AboutText", "Hello\r\nWorld"));
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        QString seen;
        bool closed = false;
        WhenReady([] { return qobject_cast<TfrmAbout *>(QApplication::activeModalWidget()) != nullptr; },
                  [&] {
                      auto *box = qobject_cast<TfrmAbout *>(QApplication::activeModalWidget());
                      QVERIFY(box);
                      seen = box->windowTitle() + "|" + box->lblCopyright->text() + "|" +
                             box->memAbout->toPlainText();
                      QTest::mouseClick(box->editAbout, Qt::LeftButton);
                      closed = true;
                  },
                  [] { // a failed check above must not leave the modal box waiting
                      if (QWidget *modal = QApplication::activeModalWidget())
                          modal->close();
                  });
        QTest::mouseClick(Child<QPushButton>(w, "btnAbout"), Qt::LeftButton);
        QVERIFY(closed);
        QCOMPARE(seen, QString::fromUtf8("About Acme...|Copyright © 2006 Acme Inc.|Hello\nWorld"));
        QVERIFY(!w.findChild<TfrmAbout *>());
    }
};

QTEST_MAIN(TestAboutBox)
#include "test_about_box.moc"
