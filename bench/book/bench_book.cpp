// A large account book in the main window: opening it, the memory that costs,
// showing items, storing an edited item and saving, and the same with the
// accessibility bridge on. Every measurement runs in a fresh process (this
// program started again with --child), so a memory figure belongs to one task
// alone and no run inherits another's caches inside the process. The window is
// driven as a user drives it: through the tree's selection, the editor's
// fields and the Save button, found by their object names.
//
// Usage: bench_book [items] [categories] [rounds]   (default 1000000 500 5)
//        bench_book --write-book <folder> [items] [categories]
//        (only writes the book, to start the program on it by hand)
#include "app/application.h"
#include "app/main_window.h"
#include "bench/support/bench_book_files.h"
#include "bench/support/bench_support.h"
#include "util/text_utils.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------- one child

// Answers every question with No and counts what was shown: the tasks timed
// here ask nothing, so a message means the measurement went wrong.
class TQuietMessages : public TMessageService
{
public:
    TModalResult MessageDlg(const QString &text, TMsgDlgType, TMsgDlgButtons, int) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        ++shown;
        return TModalResult::mrNo;
    }
    void ShowHint(QWidget *, const QString &) override {}
    int shown = 0;
};

void Report(const char *key, double value)
{
    std::printf("%s %.3f\n", key, value);
    std::fflush(stdout);
}

double Ms(qint64 fromNs)
{
    return double(Bench::NowNs() - fromNs) / 1e6;
}

// Runs the event loop until `window` has painted for the first time.
bool WaitForFirstPaint(QWidget &window)
{
    struct TFilter : QObject
    {
        bool painted = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted = true;
            return false;
        }
    } filter;
    window.installEventFilter(&filter);
    window.show();
    QElapsedTimer waited;
    waited.start();
    while (!filter.painted && waited.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // The paint in hand (the tree and the editor inside the window) ends first.
    QCoreApplication::processEvents();
    window.removeEventFilter(&filter);
    return filter.painted;
}

struct TWindowParts
{
    QAbstractItemView *tree = nullptr;
    QLineEdit *title = nullptr;
    QLineEdit *payout = nullptr;
    QAbstractButton *save = nullptr;
    QModelIndex first;
    QModelIndex last;
};

bool FindParts(TfrmMain &w, TWindowParts &p)
{
    p.tree = w.findChild<QAbstractItemView *>(QStringLiteral("tvwMain"));
    p.title = w.findChild<QLineEdit *>(QStringLiteral("edtTitle"));
    p.payout = w.findChild<QLineEdit *>(QStringLiteral("edtPayout"));
    p.save = w.findChild<QAbstractButton *>(QStringLiteral("btnSave"));
    if (!p.tree || !p.title || !p.payout || !p.save || !p.tree->model())
        return false;
    const QAbstractItemModel *m = p.tree->model();
    const int cats = m->rowCount();
    if (cats == 0)
        return false;
    const QModelIndex firstCat = m->index(0, 0);
    const QModelIndex lastCat = m->index(cats - 1, 0);
    if (m->rowCount(firstCat) == 0 || m->rowCount(lastCat) == 0)
        return false;
    p.first = m->index(0, 0, firstCat);
    p.last = m->index(m->rowCount(lastCat) - 1, 0, lastCat);
    return true;
}

// Moves the selection to `index` as a click does and returns the time until
// the editor shows the item, or -1 when it does not show that item. The time
// the window then takes for what the move posted (painting the tree and the
// editor, whatever the book's size) goes to `paintMs`.
double ShowAt(const TWindowParts &p, const QModelIndex &index, double *paintMs = nullptr)
{
    qint64 start = Bench::NowNs();
    p.tree->setCurrentIndex(index);
    const double ms = Ms(start);
    start = Bench::NowNs();
    QCoreApplication::processEvents();
    if (paintMs)
        *paintMs = Ms(start);
    return p.title->text() == index.data(Qt::DisplayRole).toString() ? ms : -1;
}

int RunChild(int argc, char **argv)
{
    const QByteArray mode = argv[2];
    const QString folder = QString::fromLocal8Bit(argv[3]);
    const int rounds = std::max(1, QByteArray(argv[4]).toInt());
    const qint64 processStartNs = QByteArray(argv[5]).toLongLong();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TApplication app(argc, argv);
    TQuietMessages messages;

    const qint64 createNs = Bench::NowNs();
    const double createCpuMs = Bench::CpuMs();
    TfrmMain w(folder, &messages);
    if (!WaitForFirstPaint(w)) {
        std::fprintf(stderr, "the window was never painted\n");
        return 1;
    }
    const double shownMs = Ms(createNs);
    const double shownCpuMs = Bench::CpuMs();
    TWindowParts p;
    if (!FindParts(w, p)) {
        std::fprintf(stderr, "the tree shows no book\n");
        return 1;
    }

    if (mode == "open") {
        Report("shown_ms", shownMs);
        Report("process_shown_ms", Ms(processStartNs));
        Report("process_shown_cpu_ms", shownCpuMs);
        Report("shown_cpu_ms", shownCpuMs - createCpuMs);
        // What a user does next: look at an item or two.
        if (ShowAt(p, p.first) < 0 || ShowAt(p, p.last) < 0) {
            std::fprintf(stderr, "the editor did not show the selected item\n");
            return 1;
        }
        Report("peak_kb", double(Bench::PeakMemoryKb()));
        return messages.shown == 0 ? 0 : 1;
    }

    if (mode == "a11y") {
        // The bridge comes up once the accessibility bus has answered.
        QElapsedTimer waited;
        waited.start();
        while (!QAccessible::isActive() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QTest::qWait(200); // the bridge's first exchanges with the bus
        Report("bridge_active", QAccessible::isActive() ? 1 : 0);
    }

    const QString itemsPath = folder + QStringLiteral("items.dat");
    QByteArray fileBytes;
    std::vector<double> first, last, paint, save, commit, write;
    for (int r = 0; r < rounds; ++r) {
        double painted = 0;
        const double f = ShowAt(p, p.first, &painted);
        paint.push_back(painted);
        const double l = ShowAt(p, p.last, &painted);
        paint.push_back(painted);
        if (f < 0 || l < 0) {
            std::fprintf(stderr, "the editor did not show the selected item\n");
            return 1;
        }
        first.push_back(f);
        last.push_back(l);

        // One typed character in the last item, then Save.
        const qint64 sizeBefore = QFileInfo(itemsPath).size();
        QTest::keyClicks(p.payout, QStringLiteral("7"));
        qint64 start = Bench::NowNs();
        p.save->click();
        QCoreApplication::processEvents();
        save.push_back(Ms(start));
        // A large book is written on a thread of its own; the file counts
        // as saved once it is committed.
        w.WaitForSaves();
        commit.push_back(Ms(start));
        if (QFileInfo(itemsPath).size() != sizeBefore + 1) {
            std::fprintf(stderr, "Save did not write the edited item (%lld to %lld bytes, payout %s)\n",
                         sizeBefore, QFileInfo(itemsPath).size(), qPrintable(p.payout->text()));
            return 1;
        }

        // The file just saved, written again alone from one buffer, the
        // same atomic way.
        QFile in(itemsPath);
        if (!in.open(QIODevice::ReadOnly))
            return 1;
        fileBytes = in.readAll();
        in.close();
        start = Bench::NowNs();
        QSaveFile alone(itemsPath);
        if (!alone.open(QIODevice::WriteOnly) || alone.write(fileBytes) != fileBytes.size() || !alone.commit())
            return 1;
        write.push_back(Ms(start));
    }
    Report("first_ms", Bench::Median(first));
    Report("last_ms", Bench::Median(last));
    Report("paint_ms", Bench::Median(paint));
    Report("save_ms", Bench::Median(save));
    Report("commit_ms", Bench::Median(commit));
    Report("write_ms", Bench::Median(write));
    return messages.shown == 0 ? 0 : 1;
}

// ---------------------------------------------------------------- the parent

using TFigures = QHash<QByteArray, double>;

bool RunMeasurement(const QString &program, QStringList args, bool a11y, TFigures &figures)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.qpa.*=false"));
    QString launcher = program;
    if (a11y) {
        // A session bus of its own, on which the accessibility bus is started
        // when the program asks for it, as on a desktop with a screen reader.
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        // Qt looks for that bus once, at start, so it is started first.
        launcher = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
        args = QStringList{QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                           QStringLiteral("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                                          "org.a11y.Bus.GetAddress >/dev/null && exec \"$0\" \"$@\""),
                           program}
               + args;
    }
    QProcess child;
    child.setProcessEnvironment(env);
    // The buses' and Qt's chatter is shown only when the measurement fails.
    child.setProcessChannelMode(QProcess::SeparateChannels);
    args.append(QString::number(Bench::NowNs()));
    child.start(launcher, args);
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        std::fprintf(stderr, "%s\nmeasurement %s failed\n", child.readAllStandardError().constData(),
                     qPrintable(args.join(u' ')));
        return false;
    }
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> kv = line.split(' ');
        if (kv.size() == 2)
            figures.insert(kv[0], kv[1].toDouble());
    }
    return true;
}

const char *Verdict(bool met)
{
    return met ? "met" : "MISSED";
}

void Row(const char *what, const QByteArray &figure, const QByteArray &target, bool met)
{
    std::printf("%-60s %-26s %-16s %s\n", what, figure.constData(), target.constData(), Verdict(met));
}

QByteArray MsText(double ms)
{
    return QByteArray::number(ms, 'f', ms < 10 ? 2 : 0) + " ms";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 6 && qstrcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);

    QCoreApplication app(argc, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--write-book") == 0) {
        const QString to = QDir(QString::fromLocal8Bit(argv[2])).absolutePath() + QLatin1Char('/');
        const int n = argc > 3 ? std::max(1, QByteArray(argv[3]).toInt()) : 1000000;
        const int c = argc > 4 ? std::max(1, QByteArray(argv[4]).toInt()) : 500;
        return QDir().mkpath(to) && Bench::WriteBook(to, n, c) ? 0 : 1;
    }
    const int items = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 1000000;
    const int categories = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 500;
    const int rounds = argc > 3 ? std::max(1, QByteArray(argv[3]).toInt()) : 5;
    const QString self = QCoreApplication::applicationFilePath();

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tarnwick-bench-book-XXXXXX"));
    const QString folder = dir.path() + QLatin1Char('/');
    if (!dir.isValid() || !Bench::WriteBook(folder, items, categories)) {
        std::fprintf(stderr, "cannot write the book in %s\n", qPrintable(dir.path()));
        return 1;
    }
    const double fileMb = double(QFileInfo(folder + QStringLiteral("items.dat")).size()) / 1e6;
    const bool display = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    std::printf("Account book of %d items in %d categories, items.dat %.1f MB, platform %s, load %s\n", items,
                categories, fileMb, display ? "display" : "offscreen", Bench::LoadAverage().c_str());

    // Opening, three fresh processes; the median of each figure.
    std::vector<double> shown, shownCpu, processShown, processCpu, peak;
    for (int i = 0; i < 3; ++i) {
        TFigures f;
        if (!RunMeasurement(self, {QStringLiteral("--child"), QStringLiteral("open"), folder, QString::number(rounds)},
                            false, f))
            return 1;
        shown.push_back(f.value("shown_ms"));
        shownCpu.push_back(f.value("shown_cpu_ms"));
        processShown.push_back(f.value("process_shown_ms"));
        processCpu.push_back(f.value("process_shown_cpu_ms"));
        peak.push_back(f.value("peak_kb") * 1024 / 1e6);
    }
    TFigures use;
    if (!RunMeasurement(self, {QStringLiteral("--child"), QStringLiteral("use"), folder, QString::number(rounds)},
                        false, use))
        return 1;

    TFigures a11y;
    QByteArray a11yNote;
    if (!display)
        a11yNote = "needs a display (run under xvfb-run)";
    else if (QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty()
             || QStandardPaths::findExecutable(QStringLiteral("dbus-send")).isEmpty())
        a11yNote = "needs dbus-run-session and dbus-send (Debian packages dbus-daemon, dbus-bin)";
    else if (!RunMeasurement(self, {QStringLiteral("--child"), QStringLiteral("a11y"), folder, QString::number(rounds)},
                             true, a11y))
        return 1;
    else if (a11y.value("bridge_active") != 1)
        a11yNote = "the bridge did not come up (is at-spi2-core installed?)";

    std::printf("%-60s %-26s %-16s %s\n", "", "figure", "target", "");
    const double shownMs = Bench::Median(shown);
    Row("window created, loaded and shown", MsText(shownMs), "< 1000 ms", shownMs < 1000);
    std::printf("%-60s %s\n", "  (its processor time; on a busy machine the surer figure)",
                MsText(Bench::Median(shownCpu)).constData());
    std::printf("%-60s %s, processor time %s\n", "  (from process start)",
                MsText(Bench::Median(processShown)).constData(), MsText(Bench::Median(processCpu)).constData());
    const double peakMb = Bench::Median(peak);
    Row("peak memory, opened and two items shown",
        QByteArray::number(peakMb, 'f', 0) + " MB = " + QByteArray::number(peakMb / fileMb, 'f', 2) + " x file",
        "<= 2 x items.dat", peakMb <= 2 * fileMb);
    Row("showing the first item", MsText(use.value("first_ms")), "< 5 ms", use.value("first_ms") < 5);
    Row("showing the last item", MsText(use.value("last_ms")), "< 5 ms", use.value("last_ms") < 5);
    std::printf("%-60s %s\n", "  (then painting the window)", MsText(use.value("paint_ms")).constData());
    const double save = use.value("save_ms");
    const double commit = use.value("commit_ms");
    const double write = use.value("write_ms");
    Row("storing one edited item and saving (window held)",
        MsText(save) + " = " + QByteArray::number(save / write, 'f', 2) + " x write", "< 1.5 x write",
        save < 1.5 * write);
    Row("  the same until items.dat is committed",
        MsText(commit) + " = " + QByteArray::number(commit / write, 'f', 2) + " x write", "< 1.5 x write",
        commit < 1.5 * write);
    std::printf("%-60s %s\n", "  (writing items.dat alone)", MsText(write).constData());
    if (!a11yNote.isEmpty()) {
        std::printf("with the accessibility bridge: not measured, %s\n", a11yNote.constData());
    } else {
        const double a11ySave = a11y.value("save_ms");
        const double a11yMove =
            std::max(a11y.value("first_ms"), a11y.value("last_ms")) + a11y.value("paint_ms");
        Row("bridge on: storing one edited item and saving (window held)",
            MsText(a11ySave) + " = " + QByteArray::number(a11ySave / a11y.value("write_ms"), 'f', 2) + " x write",
            "< 200 ms", a11ySave < 200);
        const double a11yCommit = a11y.value("commit_ms");
        std::printf("%-60s %s = %s x write\n", "  (the same until items.dat is committed)", MsText(a11yCommit).constData(),
                    QByteArray::number(a11yCommit / a11y.value("write_ms"), 'f', 2).constData());
        Row("bridge on: moving the selection, with painting", MsText(a11yMove), "< 200 ms", a11yMove < 200);
    }
    std::printf("medians of %d rounds; opening: medians of 3 processes; load now %s\n", rounds,
                Bench::LoadAverage().c_str());
    return 0;
}
