#include "app/application.h"
#include "support/scripted_messages.h"
#include "util/error_reporter.h"
#include "util/errors.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// A handler that fails after it has changed some state.
class TFaulty : public QObject
{
public:
    int done = 0;
    void Handler()
    {
        ++done;
        throw EFileError("Cannot create file \"/x/items.dat\". Disk full");
    }
    void Plain()
    {
        ++done;
        throw std::runtime_error("plain failure");
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User) {
            ++done;
            throw EAppError("thrown from an event");
        }
        return QObject::event(e);
    }
};

} // namespace

class TestErrorReporter : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        msgs = TScriptedMessages{};
        ErrorReporter::SetMessageService(&msgs);
    }
    void cleanup() { ErrorReporter::SetMessageService(nullptr); }

    void guardedHandler_reportsAndKeepsState_data()
    {
        QTest::addColumn<bool>("appError");
        QTest::addColumn<QString>("text");
        QTest::newRow("application error") << true << "Cannot create file \"/x/items.dat\". Disk full";
        QTest::newRow("standard exception") << false << "plain failure";
    }
    void guardedHandler_reportsAndKeepsState()
    {
        QFETCH(bool, appError);
        QFETCH(QString, text);
        TFaulty faulty;
        QPushButton button;
        QObject::connect(&button, &QPushButton::clicked, &faulty,
                         Guarded(&faulty, appError ? &TFaulty::Handler : &TFaulty::Plain));
        button.click();
        button.click();
        QCOMPARE(faulty.done, 2);
        QCOMPARE(msgs.Texts(), (QStringList{text, text}));
        QCOMPARE(msgs.shown[0].kind, TMsgDlgType::mtError);
        QCOMPARE(msgs.shown[0].buttons, TMsgDlgButtons(mbOK));
    }

    void unguardedEventHandler_isCaughtByTheApplication()
    {
        TFaulty faulty;
        QCoreApplication::postEvent(&faulty, new QEvent(QEvent::User));
        QTRY_COMPARE(faulty.done, 1);
        QCOMPARE(msgs.Texts(), QStringList{"thrown from an event"});
        // The loop keeps running afterwards.
        bool ticked = false;
        QTimer::singleShot(0, [&] { ticked = true; });
        QTRY_VERIFY(ticked);
    }

    void reportWhileReporting_doesNotStackBoxes()
    {
        struct TReentrant : TMessageService
        {
            int calls = 0;
            TModalResult MessageDlg(const QString &, TMsgDlgType, TMsgDlgButtons, int) override
            {
                ++calls;
                ErrorReporter::Report("second");
                return TModalResult::mrOk;
            }
        } reentrant;
        ErrorReporter::SetMessageService(&reentrant);
        ErrorReporter::Report("first");
        QCOMPARE(reentrant.calls, 1);
    }

private:
    TScriptedMessages msgs;
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestErrorReporter test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_error_reporter.moc"
