#include "ui/telvo_application.h"

#include <cstdio>
#include <exception>

namespace telvo {

namespace {
std::function<void(const QString&)>& errorHandler()
{
    static std::function<void(const QString&)> handler;
    return handler;
}
} // namespace

TTelvoApplication::TTelvoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TTelvoApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
    return false;
}

void TTelvoApplication::SetErrorHandler(std::function<void(const QString&)> handler)
{
    errorHandler() = std::move(handler);
}

void TTelvoApplication::ReportError(const QString& message)
{
    // The handler may itself fail (a message box during shut-down); the
    // error must still be seen.
    try {
        if (errorHandler()) {
            errorHandler()(message);
            return;
        }
    } catch (...) {
    }
    std::fprintf(stderr, "Programm error occured: %s\n", message.toLocal8Bit().constData());
}

} // namespace telvo
