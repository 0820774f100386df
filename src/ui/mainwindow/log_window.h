#pragma once
// The log window: progress lines of the whole workbench, each stamped with
// the date and time. It lives for the whole run; closing it only minimises
// it.

#include <QWidget>

class QPlainTextEdit;

namespace telvo {

class TfrmLog : public QWidget {
    Q_OBJECT
public:
    explicit TfrmLog(QWidget* parent = nullptr);

    static QString Caption() { return QStringLiteral("Log"); }

    // Appends "[" + date and time + "] " + text.
    void AddLine(const QString& text);
    QString Text() const;
    QPlainTextEdit* Memo() const { return memo_; }

private:
    QPlainTextEdit* memo_;
};

} // namespace telvo

#include <QMdiSubWindow>

namespace telvo {

// The MDI frame of the log window: closing it minimises it instead.
class TLogSubWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TLogSubWindow(QWidget* parent = nullptr) : QMdiSubWindow(parent) {}

protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace telvo
