// A window larger than its screen is shrunk and moved so that it lies wholly
// on the screen, its title bar first.
#include "util/window_place.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

class TestWindowPlace : public QObject
{
    Q_OBJECT
private slots:
    void fitIntoArea_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 800, 600); // 1600 x 1200 at scale factor 2
        QTest::newRow("fits: unchanged") << QRect(10, 20, 300, 200) << screen << QSize() << QRect(10, 20, 300, 200);
        QTest::newRow("larger both ways: fills the area")
            << QRect(-64, -46, 929, 692) << screen << QSize() << screen;
        QTest::newRow("title bar above the screen: moved down")
            << QRect(100, -30, 300, 200) << screen << QSize() << QRect(100, 0, 300, 200);
        QTest::newRow("off the right edge: moved left")
            << QRect(700, 100, 300, 200) << screen << QSize() << QRect(500, 100, 300, 200);
        QTest::newRow("too wide only: narrowed, height kept")
            << QRect(0, 50, 1000, 300) << screen << QSize() << QRect(0, 50, 800, 300);
        QTest::newRow("work area below a panel")
            << QRect(0, 0, 929, 692) << QRect(0, 32, 800, 568) << QSize() << QRect(0, 32, 800, 568);
        QTest::newRow("cannot shrink enough: title bar stays on the screen")
            << QRect(-50, -50, 929, 692) << screen << QSize(900, 650) << QRect(0, 0, 900, 650);
        QTest::newRow("second screen to the right")
            << QRect(1500, 100, 929, 692) << QRect(1600, 0, 800, 600) << QSize() << QRect(1600, 0, 800, 600);
    }
    void fitIntoArea()
    {
        QFETCH(QRect, frame);
        QFETCH(QRect, area);
        QFETCH(QSize, minimum);
        QFETCH(QRect, expected);
        QCOMPARE(FitIntoArea(frame, area, minimum.isValid() ? minimum : QSize(0, 0)), expected);
    }

    void fitOntoScreens_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<QRect>("expected");
        const QRect primary(0, 0, 1600, 1200);
        const QRect second(1600, 0, 1280, 1024);
        QTest::newRow("on the second screen: kept") << QRect(1700, 100, 400, 300) << QList<QRect>{primary, second}
                                                    << QRect(1700, 100, 400, 300);
        QTest::newRow("across two: onto the one that shows most")
            << QRect(1400, 100, 800, 600) << QList<QRect>{primary, second} << QRect(1600, 100, 800, 600);
        QTest::newRow("its screen unplugged: onto the primary")
            << QRect(2000, 100, 800, 600) << QList<QRect>{primary} << QRect(800, 100, 800, 600);
        QTest::newRow("beyond every screen: primary, listed first")
            << QRect(-9000, 5000, 800, 600) << QList<QRect>{primary, second} << QRect(0, 600, 800, 600);
        QTest::newRow("no screens: unchanged") << QRect(5, 5, 10, 10) << QList<QRect>{} << QRect(5, 5, 10, 10);
    }
    void fitOntoScreens()
    {
        QFETCH(QRect, frame);
        QFETCH(QList<QRect>, areas);
        QFETCH(QRect, expected);
        QCOMPARE(FitOntoScreens(frame, areas), expected);
    }

    void centreOnScreen_shrinksAWindowLargerThanTheScreen()
    {
        QWidget w;
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        w.resize(area.width() + 300, area.height() + 200);
        CentreOnScreen(&w);
        QVERIFY(area.contains(w.frameGeometry()));
        QCOMPARE(w.frameGeometry().topLeft(), area.topLeft());
    }
};

QTEST_MAIN(TestWindowPlace)
#include "test_window_place.moc"
