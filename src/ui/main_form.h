#pragma once
// The application frame: a multi-document main window under which the
// editor windows open.

#include <QMainWindow>

class QMdiArea;

namespace telvo {

class TWorkbench;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(TWorkbench& workbench, QWidget* parent = nullptr);

    static QString NoProjectCaption() { return QStringLiteral("TELVO Engineering Support System "); }

    QMdiArea* MdiArea() const { return mdi_; }

private:
    TWorkbench& workbench_;
    QMdiArea* mdi_;
};

} // namespace telvo
