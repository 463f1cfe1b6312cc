// Time and memory from program start to the main window on screen, with an
// empty folder. Each start is a fresh process, timed from just before it is
// launched to the end of the window's first paint; its peak memory is taken
// at that moment. Six programs take turns in one run:
//   program                - the program as built (the web engine and the
//                            OpenGL context it shares start with the first
//                            navigation);
//   program, shared contexts at start - the same, asking for the shared
//                            OpenGL contexts before its application object,
//                            so that Qt makes the context at start;
//   program, engine libraries at start - the same, made to load the web
//                            engine plugin (and so the engine's libraries)
//                            before the window is created, as a program
//                            linked to them does;
//   bare window            - a bare Qt window with a tree, the yardstick;
//   bare window, shared contexts - the same asking for the shared contexts:
//                            its difference to the bare window is what the
//                            OpenGL context at start costs;
//   bare window + engine libraries - the same bare window with the web
//                            engine's libraries linked, so loaded at start
//                            (with the shared context they make) but never
//                            used: the difference to the bare window with
//                            shared contexts is what loading those
//                            libraries costs.
// Usage: bench_startup [rounds]   (default 20)
#include "app/application.h"
#include "app/main_window.h"
#include "first_paint.h"
#include "util/errors.h"
#include "util/web_engine_parts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>
#include <vector>

namespace {

// One start of the program, as app/main.cpp does it.
int RunChild(int argc, char **argv)
{
    const QByteArray mode = argv[2];
    const std::int64_t startNs = QByteArray(argv[3]).toLongLong();
    if (mode == "shared")
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TApplication app(argc, argv);
    QTemporaryDir folder;
    if (mode == "libraries") {
        try {
            WebEngineParts();
        } catch (const EAppError &e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    TfrmMain frmMain(folder.path() + QLatin1Char('/'));
    TFirstPaint firstPaint(startNs);
    frmMain.installEventFilter(&firstPaint);
    frmMain.show();
    return app.exec();
}

struct TVariant
{
    const char *name;
    QString program;
    const char *mode;
    std::vector<double> ms;
    std::vector<double> peakMb;
    std::vector<double> cpuMs;
};

QProcessEnvironment ChildEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (geteuid() == 0)
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.qpa.*=false"));
    return env;
}

bool TimeOneStart(TVariant &variant)
{
    QProcess child;
    child.setProcessEnvironment(ChildEnvironment());
    const std::int64_t start = Bench::NowNs();
    child.start(variant.program,
                {QStringLiteral("--child"), QString::fromLatin1(variant.mode), QString::number(start)});
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s: start failed: %s\n", variant.name, child.readAllStandardError().constData());
        return false;
    }
    const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
    bool ok = out.size() == 3;
    const double ms = ok ? out[0].toDouble(&ok) : 0;
    if (!ok)
        return false;
    variant.ms.push_back(ms);
    variant.peakMb.push_back(out[1].toDouble() * 1024 / 1e6);
    variant.cpuMs.push_back(out[2].toDouble());
    return true;
}

// The dynamic loader's own account of one start (glibc's LD_DEBUG=statistics).
QByteArray LoaderStatistics(const TVariant &variant)
{
    QProcess child;
    QProcessEnvironment env = ChildEnvironment();
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("statistics"));
    child.setProcessEnvironment(env);
    child.start(variant.program,
                {QStringLiteral("--child"), QString::fromLatin1(variant.mode), QString::number(Bench::NowNs())});
    if (!child.waitForFinished(60000))
        return "not available";
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    // The figures of the start itself: the first report in the output.
    const auto number = [&](const char *label) {
        const QRegularExpression re(QString::fromLatin1(label) + QStringLiteral(":\\s*([0-9]+)"));
        const QRegularExpressionMatch m = re.match(err);
        return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
    };
    const double cycles = number("total startup time in dynamic loader");
    const double relocations = number("number of relocations");
    const double relative = number("number of relative relocations");
    if (cycles < 0)
        return "not available";
    return QByteArray::number(cycles / 1e6, 'f', 1) + " Mcycles, " + QByteArray::number(relocations, 'f', 0)
           + " symbol and " + QByteArray::number(relative, 'f', 0) + " relative relocations";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 20;
    const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    std::vector<TVariant> variants = {
        {"program", QCoreApplication::applicationFilePath(), "program", {}, {}, {}},
        {"program, engine libraries at start", QCoreApplication::applicationFilePath(), "libraries", {}, {}, {}},
        {"program, shared contexts at start", QCoreApplication::applicationFilePath(), "shared", {}, {}, {}},
        {"bare window", dir + QStringLiteral("subject_bare_window"), "bare", {}, {}, {}},
        {"bare window, shared contexts", dir + QStringLiteral("subject_bare_window"), "shared", {}, {}, {}},
        {"bare window + engine libraries", dir + QStringLiteral("subject_bare_window_webengine"), "bare", {}, {}, {}},
    };
    for (const TVariant &v : variants)
        if (!QFileInfo(v.program).isExecutable()) {
            std::fprintf(stderr, "missing %s\n", qPrintable(v.program));
            return 1;
        }
    const bool display = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    const std::string loadBefore = Bench::LoadAverage();
    // One start of each to warm the disk cache, not counted.
    for (TVariant &v : variants) {
        if (!TimeOneStart(v))
            return 1;
        v.ms.clear();
        v.peakMb.clear();
        v.cpuMs.clear();
    }
    // Take turns, rotating the order so no program always goes first.
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < variants.size(); ++i)
            if (!TimeOneStart(variants[(i + size_t(r)) % variants.size()]))
                return 1;

    std::printf("Program start to window shown, empty folder, %d starts each, platform %s, load %s\n", rounds,
                display ? "display" : "offscreen", loadBefore.c_str());
    std::printf("%-36s %9s %9s %9s %13s %13s\n", "", "median ms", "min", "max", "CPU ms (med)",
                "peak MB (med)");
    for (const TVariant &v : variants)
        std::printf("%-36s %9.1f %9.1f %9.1f %13.1f %13.1f\n", v.name, Bench::Median(v.ms),
                    *std::min_element(v.ms.begin(), v.ms.end()), *std::max_element(v.ms.begin(), v.ms.end()),
                    Bench::Median(v.cpuMs), Bench::Median(v.peakMb));
    const TVariant &program = variants[0];
    const TVariant &programShared = variants[2];
    const TVariant &bare = variants[3];
    const TVariant &bareShared = variants[4];
    const TVariant &bareEngine = variants[5];
    const double startRatio = Bench::Median(program.ms) / Bench::Median(bare.ms);
    const double memoryRatio = Bench::Median(program.peakMb) / Bench::Median(bare.peakMb);
    std::printf("program / bare window, start to shown: %.2f (target at most 1.50) %s\n", startRatio,
                startRatio <= 1.5 ? "met" : "MISSED");
    std::printf("program / bare window, peak memory:    %.2f (target at most 1.50) %s\n", memoryRatio,
                memoryRatio <= 1.5 ? "met" : "MISSED");
    const double cpuRatio = Bench::Median(program.cpuMs) / Bench::Median(bare.cpuMs);
    std::printf("program / bare window, CPU to shown:   %.2f\n", cpuRatio);
    std::printf("the shared OpenGL context at start: bare window %+.1f ms, CPU %+.1f ms, memory %+.1f MB; "
                "program %+.1f ms, CPU %+.1f ms, memory %+.1f MB\n",
                Bench::Median(bareShared.ms) - Bench::Median(bare.ms),
                Bench::Median(bareShared.cpuMs) - Bench::Median(bare.cpuMs),
                Bench::Median(bareShared.peakMb) - Bench::Median(bare.peakMb),
                Bench::Median(programShared.ms) - Bench::Median(program.ms),
                Bench::Median(programShared.cpuMs) - Bench::Median(program.cpuMs),
                Bench::Median(programShared.peakMb) - Bench::Median(program.peakMb));
    const double libraryMs = Bench::Median(bareEngine.ms) - Bench::Median(bareShared.ms);
    const double libraryCpuMs = Bench::Median(bareEngine.cpuMs) - Bench::Median(bareShared.cpuMs);
    const double libraryMb = Bench::Median(bareEngine.peakMb) - Bench::Median(bareShared.peakMb);
    std::printf("loading the engine's libraries at start: %+.1f ms = %.0f %% of the program's start; CPU %+.1f ms = "
                "%.0f %%; memory %+.1f MB (worth moving out of the start above 15 %%)\n",
                libraryMs, 100 * libraryMs / Bench::Median(program.ms), libraryCpuMs,
                100 * libraryCpuMs / Bench::Median(program.cpuMs), libraryMb);
    const TVariant &preloaded = variants[1];
    const double savedMs = Bench::Median(preloaded.ms) - Bench::Median(program.ms);
    const double savedCpuMs = Bench::Median(preloaded.cpuMs) - Bench::Median(program.cpuMs);
    std::printf("the program, engine libraries at start / as built: start %.2f, CPU %.2f, memory %.2f "
                "(%.1f ms, %.1f ms of CPU, %.1f MB saved)\n",
                Bench::Median(preloaded.ms) / Bench::Median(program.ms),
                Bench::Median(preloaded.cpuMs) / Bench::Median(program.cpuMs),
                Bench::Median(preloaded.peakMb) / Bench::Median(program.peakMb), savedMs, savedCpuMs,
                Bench::Median(preloaded.peakMb) - Bench::Median(program.peakMb));
    std::printf("dynamic loader, one start each:\n");
    for (const TVariant &v : {program, bare, bareEngine})
        std::printf("  %-34s %s\n", v.name, LoaderStatistics(v).constData());
    std::printf("load after the run %s\n", Bench::LoadAverage().c_str());
    return 0;
}
