#include "web_engine_parts.h"

#include "engine_share_context.h"
#include "errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QPluginLoader>

TWebEngineParts &WebEngineParts()
{
    static TWebEngineParts *parts = nullptr;
    if (parts)
        return *parts;
    for (QObject *instance : QPluginLoader::staticInstances())
        if (auto *linked = qobject_cast<TWebEngineParts *>(instance))
            return *(parts = linked);
    const QString path = QCoreApplication::applicationDirPath() + QLatin1Char('/')
                         + QString::fromLatin1(kWebEnginePluginFile);
    // A loaded plugin stays for the program's life: the widgets it made
    // outlive any one caller. A failed one is let go, so that a later call
    // tries again (Qt remembers a failure for as long as its loader lives).
    // Held here for the program's life, so it is never counted as lost.
    [[maybe_unused]] static QPluginLoader *kept = nullptr;
    ProvideEngineShareContext();
    auto *loader = new QPluginLoader(path);
    if (auto *loaded = qobject_cast<TWebEngineParts *>(loader->instance())) {
        kept = loader;
        return *(parts = loaded);
    }
    const QString reason = loader->errorString();
    delete loader;
    throw EAppError(QStringLiteral("Cannot load the web browser from \"%1\". %2")
                        .arg(QDir::toNativeSeparators(path), reason));
}
