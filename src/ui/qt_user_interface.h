#pragma once
// The core's user channel on the desktop: message boxes, the log window, the
// status bar and the busy cursor. Log lines from worker threads are queued to
// the UI thread in call order.

#include "model/user_interface.h"

#include <QObject>
#include <QString>

class QWidget;

namespace telvo {

class TQtUserInterface : public QObject, public TUserInterface {
    Q_OBJECT
public:
    explicit TQtUserInterface(QWidget* dialogParent = nullptr);

    void SetDialogParent(QWidget* parent) { parent_ = parent; }

    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    std::string UserHint(const std::string& text, int gesture) override;
    void Log(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void BeginBusy() override;
    void EndBusy() override;

signals:
    // Emitted on the UI thread, in call order.
    void logLine(const QString& text);
    void statusText(const QString& text);
    void hintText(const QString& text);

private:
    QWidget* parent_;
};

} // namespace telvo
