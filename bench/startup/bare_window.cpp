// The yardstick for the program's start-up: a bare Qt window of the main
// window's size holding an empty tree, started and timed the same way.
// Built twice: once as it stands and once with the web engine's libraries
// linked in (and so loaded at start) but never used, which isolates what
// loading those libraries costs. Linked to the engine, it gets the shared
// OpenGL context at start from the engine itself.
#include "first_paint.h"

#include <QApplication>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

#ifdef TARNWICK_BENCH_WITH_WEBENGINE
#include <QWebEngineView>
#endif

int main(int argc, char **argv)
{
    if (argc != 4 || qstrcmp(argv[1], "--child") != 0) {
        std::fprintf(stderr, "run bench_startup; this program is one of its subjects\n");
        return 2;
    }
    const std::int64_t startNs = QByteArray(argv[3]).toLongLong();
    // "shared": with the shared OpenGL contexts asked for, which makes Qt load
    // the OpenGL stack and create a context with the application object.
    if (qstrcmp(argv[2], "shared") == 0)
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
#ifdef TARNWICK_BENCH_WITH_WEBENGINE
    // Keeps the libraries needed by the executable; the branch never runs.
    if (argc == 99)
        delete new QWebEngineView;
#endif
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QTreeWidget(&window));
    window.resize(929, 692);
    TFirstPaint firstPaint(startNs);
    window.installEventFilter(&firstPaint);
    window.show();
    return app.exec();
}
