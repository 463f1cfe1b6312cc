#include "services/message_hint.h"

#include <QApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

class TestMessageHint : public QObject
{
    Q_OBJECT
private slots:
    void placement_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("expected");
        QTest::newRow("room everywhere: below-left") << QPoint(400, 300) << int(THintPosition::BelowLeft);
        QTest::newRow("near the left edge: below-right") << QPoint(20, 300) << int(THintPosition::BelowRight);
        QTest::newRow("near the bottom: above-left") << QPoint(400, 590) << int(THintPosition::AboveLeft);
        QTest::newRow("bottom-left corner: above-right") << QPoint(20, 590) << int(THintPosition::AboveRight);
        QTest::newRow("fits nowhere: below-left") << QPoint(-500, -500) << int(THintPosition::BelowLeft);
    }
    void placement()
    {
        QFETCH(QPoint, at);
        QFETCH(int, expected);
        const QRect screen(0, 0, 800, 600);
        const QSize size(200, 60);
        const THintPlacement p = PlaceHint(size, at, screen);
        QCOMPARE(int(p.position), expected);
        QCOMPARE(p.geometry.size(), size);
        QCOMPARE(screen.contains(p.geometry), at.x() >= 0);
        // The pointer's side touches the point.
        const bool below = p.position == THintPosition::BelowLeft || p.position == THintPosition::BelowRight;
        QCOMPARE(below ? p.geometry.top() : p.geometry.bottom() + 1 - TMessageHint::kShadow, at.y());
    }

    void shownBalloon_pointsAtItsPoint_andReplacesTheOld()
    {
        TMessageHint hint;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QPoint at = screen.center();
        hint.ShowMessage("You've Got A Message!\r\nSummer promo", at);
        QVERIFY(hint.isVisible());
        QCOMPARE(hint.Text(), QString("You've Got A Message!\nSummer promo"));
        QCOMPARE(hint.Position(), THintPosition::BelowLeft);
        QTRY_COMPARE(hint.Tip(), at);
        QCOMPARE(hint.font().pixelSize(), 11);
        // Both lines fit unwrapped: the body is wider than the longer line
        // with its margins and tall enough for two lines.
        const QFontMetrics fm(hint.font());
        QVERIFY(hint.width() - TMessageHint::kShadow - 20 > fm.horizontalAdvance("You've Got A Message!"));
        QVERIFY(hint.height() - TMessageHint::kShadow - TMessageHint::kPointer - 14 >= 2 * fm.lineSpacing() - 2);
        QCOMPARE(hint.objectName(), QString("LMDMessageHint1"));

        const QPoint corner(screen.left() + 30, screen.bottom() - 5);
        hint.ShowMessage("second", corner);
        QCOMPARE(hint.Text(), QString("second"));
        QCOMPARE(hint.Position(), THintPosition::AboveRight);
        QTRY_COMPARE(hint.Tip(), corner);
    }

    void anyUserInput_closesTheBalloon_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("clicks"); // only a press on the balloon itself is a click on it
        QTest::newRow("key") << 0 << 0;
        QTest::newRow("mouse press") << 1 << 0;
        QTest::newRow("wheel") << 2 << 0;
        QTest::newRow("application deactivated") << 3 << 0;
        QTest::newRow("mouse press on the balloon") << 4 << 1;
    }
    void anyUserInput_closesTheBalloon()
    {
        QFETCH(int, input);
        QFETCH(int, clicks);
        QWidget elsewhere;
        elsewhere.resize(200, 100);
        elsewhere.show();
        QVERIFY(QTest::qWaitForWindowExposed(&elsewhere));
        TMessageHint hint;
        hint.ShowMessage("text", QGuiApplication::primaryScreen()->geometry().center());
        QVERIFY(hint.isVisible());
        // A mouse move is not input that closes it.
        QTest::mouseMove(&elsewhere, QPoint(10, 10));
        QVERIFY(hint.isVisible());
        QSignalSpy clicked(&hint, &TMessageHint::clicked);
        switch (input) {
        case 0:
            QTest::keyClick(&elsewhere, Qt::Key_A);
            break;
        case 1:
            QTest::mouseClick(&elsewhere, Qt::LeftButton);
            break;
        case 2: {
            QWheelEvent wheel(QPointF(5, 5), elsewhere.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&elsewhere, &wheel);
            break;
        }
        case 3: {
            QEvent deactivate(QEvent::ApplicationDeactivate);
            QApplication::sendEvent(qApp, &deactivate);
            break;
        }
        default:
            QTest::mouseClick(&hint, Qt::LeftButton, {}, hint.rect().center());
        }
        QVERIFY(!hint.isVisible());
        QCOMPARE(clicked.size(), clicks);
    }
};

QTEST_MAIN(TestMessageHint)
#include "test_message_hint.moc"
