#include "error_reporter.h"

#include "errors.h"
#include "message_service.h"

#include <cstdio>

namespace {
TMessageService *g_service = nullptr;
bool g_reporting = false;
} // namespace

void ErrorReporter::SetMessageService(TMessageService *service)
{
    g_service = service;
}

TMessageService *ErrorReporter::MessageService()
{
    return g_service;
}

QString ErrorReporter::Describe(const std::exception &e)
{
    if (const auto *app = dynamic_cast<const EAppError *>(&e))
        return app->message();
    return QString::fromLocal8Bit(e.what());
}

void ErrorReporter::Report(const QString &text)
{
    std::fprintf(stderr, "tarnwick: %s\n", text.toLocal8Bit().constData());
    // A report raised while a report is on screen goes to standard error only,
    // so a failing paint or timer cannot stack boxes without end.
    if (!g_service || g_reporting)
        return;
    g_reporting = true;
    try {
        g_service->MessageDlg(text, TMsgDlgType::mtError, mbOK);
    } catch (...) {
    }
    g_reporting = false;
}
