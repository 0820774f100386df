#pragma once
// The core's user channel on the desktop: message boxes, the log window, the
// hint channel, the status bar and the busy indicator. Every call may come
// from a worker thread (opening a project and indexing the library run on
// one so that the windows keep painting): what must happen on the UI thread
// is handed to it, questions block the worker until they are answered, and
// log lines keep their call order.

#include "model/user_interface.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace telvo {

class TQtUserInterface : public QObject, public TUserInterface {
    Q_OBJECT
public:
    explicit TQtUserInterface(QWidget* dialogParent = nullptr);

    void SetDialogParent(QWidget* parent) { parent_ = parent; }

    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    // Yes, No and Cancel; Escape and the box's close button are Cancel.
    TAnswer AskYesNoCancel(const std::string& text) override;
    std::string UserHint(const std::string& text, int gesture) override;
    void Log(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void BeginBusy() override;
    void EndBusy() override;

    // The question box of AskYesNoCancel, for windows that ask on their
    // own behalf (closing or replacing a changed document): a question whose
    // "No" throws work away, so that Escape and the box's close button
    // answer Cancel and no key or click that was not meant as No loses it.
    static TAnswer AskYesNoCancel(QWidget* parent, const QString& text);

    // The standard error box of the global error handler.
    void ShowError(const std::string& text);

    // Nested busy periods count as one.
    int BusyDepth() const { return busy_; }

signals:
    // Emitted on the UI thread, in call order.
    void logLine(const QString& text);
    void statusText(const QString& text);
    void hintText(const QString& text);
    // The first BeginBusy and the last EndBusy.
    void busyChanged(bool busy);

private:
    // Runs `work` on the UI thread: at once when called there, else queued
    // (and waited for when `wait`).
    template <typename F> void onUiThread(F&& work, bool wait);

    // Dialogs open over this window while it exists.
    QPointer<QWidget> parent_;
    int busy_ = 0;
};

} // namespace telvo
