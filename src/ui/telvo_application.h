#pragma once
// The workbench's application object: an error that escapes an event
// handler reaches the global error handler instead of ending the program.

#include <QApplication>

#include <functional>

namespace telvo {

class TTelvoApplication : public QApplication {
    Q_OBJECT
public:
    TTelvoApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Installed by the main window once it is shown; without one an error
    // goes to standard error.
    static void SetErrorHandler(std::function<void(const QString&)> handler);
    // What notify does with an error: the handler, or standard error.
    static void ReportError(const QString& message);
};

} // namespace telvo
