// The web engine plugin: the browser and the HTML document view, reached by
// the program through TWebEngineParts. Built twice from this file: as the
// plugin module beside the executable, and as a static plugin that the test
// suites link so they drive the real engine.
#include "util/html_view.h"
#include "util/web_engine_parts.h"
#include "web/web_browser.h"

#include <QObject>

class TWebEnginePlugin : public QObject, public TWebEngineParts
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TWebEngineParts_iid)
    Q_INTERFACES(TWebEngineParts)
public:
    std::unique_ptr<TBrowser> NewBrowser(const QString &profileFolder, QWidget *parent) override
    {
        return std::make_unique<TWebBrowser>(profileFolder, parent);
    }
    std::unique_ptr<TDocument> NewDocument(QWidget *parent) override { return std::make_unique<THtmlView>(parent); }
};

#include "web_engine_plugin.moc"
