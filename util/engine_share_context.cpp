#include "engine_share_context.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QThread>

#include <cstdio>

// QtGui's own setter and getter of the global context, exported though not
// public; the engine declares them the same way.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
QT_END_NAMESPACE

namespace {

QtMessageHandler g_previousHandler = nullptr;

// Passes on every message but Qt's note that the attribute belongs before the
// application object: set now, it still tells the widgets that draw with
// OpenGL to share with the context just made, which is all it is for here.
void WithoutLateAttributeNote(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtWarningMsg && text.contains(QLatin1String("AA_ShareOpenGLContexts")))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

void DeleteShareContext()
{
    delete qt_gl_global_share_context();
    qt_gl_set_global_share_context(nullptr);
}

} // namespace

void ProvideEngineShareContext()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!app || app->thread() != QThread::currentThread() || qt_gl_global_share_context())
        return;
    // As the application object makes it: the default format, and kept even
    // where it cannot be created (no OpenGL at all), so that the engine takes
    // the same path it would have taken then.
    auto *context = new QOpenGLContext;
    context->setFormat(QSurfaceFormat::defaultFormat());
    context->create();
    qt_gl_set_global_share_context(context);
    // Gone with the application object, while the platform it belongs to is
    // still there.
    qAddPostRoutine(DeleteShareContext);
    // Widgets that draw with OpenGL ask for the attribute, not the context.
    g_previousHandler = qInstallMessageHandler(WithoutLateAttributeNote);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(g_previousHandler);
}
