#pragma once

#include <QString>

#include <exception>
#include <utility>

class TMessageService;

// The application-wide handler for errors that escape an event handler: it
// tells the user and lets the program go on with the state the handler left.
namespace ErrorReporter {

// Where reports go; the main window installs its message service. Without one
// the report goes to standard error.
void SetMessageService(TMessageService *service);
TMessageService *MessageService();

void Report(const QString &text);
// The user-facing text of an exception.
QString Describe(const std::exception &e);

// Runs f, reporting anything it throws.
template <typename F>
void Run(F &&f)
{
    try {
        std::forward<F>(f)();
    } catch (const std::exception &e) {
        Report(Describe(e));
    } catch (...) {
        Report(QStringLiteral("An unknown error occurred."));
    }
}

} // namespace ErrorReporter

// Wraps a member handler for connect() so that nothing it throws crosses Qt's
// event loop.
template <class Obj, class... Args>
auto Guarded(Obj *obj, void (Obj::*handler)(Args...))
{
    return [obj, handler](Args... args) { ErrorReporter::Run([&] { (obj->*handler)(args...); }); };
}
