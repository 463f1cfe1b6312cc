// Time from program start to the main window on screen. Each start is a fresh
// process, timed from just before it is launched to the end of the window's
// first paint. Three programs take turns in one run:
//   with web panel    - the program as built: the web engine starts with the
//                       first navigation;
//   without web panel - the same program with an empty widget in the panel's
//                       place (bench_startup_without_web);
//   engine at start   - for comparison, the program as built but made to start
//                       the engine before the window is shown.
// Usage: bench_startup [rounds]   (default 20)
#include "app/application.h"
#include "app/main_window.h"
#include "web/web_browser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Ends the program after the window's first paint, printing the time since
// `startNs` in milliseconds.
class TFirstPaint : public QObject
{
public:
    explicit TFirstPaint(qint64 startNs) : m_startNs(startNs) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued: the paint in hand finishes first.
            QTimer::singleShot(0, qApp, [this] {
                std::printf("%.1f\n", double(NowNs() - m_startNs) / 1e6);
                std::fflush(stdout);
                qApp->quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    qint64 m_startNs;
    bool m_seen = false;
};

// One start of the program, as app/main.cpp does it.
int RunChild(int argc, char **argv)
{
    const QByteArray mode = argv[2];
    const qint64 startNs = QByteArray(argv[3]).toLongLong();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TApplication app(argc, argv);
    QTemporaryDir folder;
    TfrmMain frmMain(folder.path() + QLatin1Char('/'));
    if (mode == "eager")
        frmMain.EmbeddedWB1->Navigate(QStringLiteral("about:blank"));
    TFirstPaint firstPaint(startNs);
    frmMain.installEventFilter(&firstPaint);
    frmMain.show();
    return app.exec();
}

#ifndef TARNWICK_BENCH_WITHOUT_WEB
struct TVariant
{
    const char *name;
    QString program;
    const char *mode;
    std::vector<double> ms;
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool TimeOneStart(TVariant &variant)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (geteuid() == 0)
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    const qint64 start = NowNs();
    child.start(variant.program,
                {QStringLiteral("--child"), QString::fromLatin1(variant.mode), QString::number(start)});
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s: start failed: %s\n", variant.name, child.readAllStandardError().constData());
        return false;
    }
    bool ok = false;
    const double ms = child.readAllStandardOutput().trimmed().toDouble(&ok);
    if (!ok)
        return false;
    variant.ms.push_back(ms);
    return true;
}
#endif

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);
#ifdef TARNWICK_BENCH_WITHOUT_WEB
    std::fprintf(stderr, "run bench_startup; this program is one of its subjects\n");
    return 2;
#else
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 20;
    const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    std::vector<TVariant> variants = {
        {"with web panel", QCoreApplication::applicationFilePath(), "lazy", {}},
        {"without web panel", dir + QStringLiteral("bench_startup_without_web"), "plain", {}},
        {"engine at start", QCoreApplication::applicationFilePath(), "eager", {}},
    };
    if (!QFileInfo(variants[1].program).isExecutable()) {
        std::fprintf(stderr, "missing %s\n", qPrintable(variants[1].program));
        return 1;
    }
    // One start of each to warm the disk cache, not counted.
    for (TVariant &v : variants) {
        if (!TimeOneStart(v))
            return 1;
        v.ms.clear();
    }
    // Take turns, rotating the order so no program always goes first.
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < variants.size(); ++i)
            if (!TimeOneStart(variants[(i + size_t(r)) % variants.size()]))
                return 1;

    std::printf("Program start to main window shown, %d starts each (ms)\n", rounds);
    std::printf("%-20s %9s %9s %9s\n", "", "median", "min", "max");
    for (const TVariant &v : variants)
        std::printf("%-20s %9.1f %9.1f %9.1f\n", v.name, Median(v.ms), *std::min_element(v.ms.begin(), v.ms.end()),
                    *std::max_element(v.ms.begin(), v.ms.end()));
    const double ratio = Median(variants[0].ms) / Median(variants[1].ms);
    std::printf("with / without web panel (medians): %.2f (limit 1.20)\n", ratio);
    std::printf("engine at start / without web panel (medians): %.2f\n",
                Median(variants[2].ms) / Median(variants[1].ms));
    return 0;
#endif
}
