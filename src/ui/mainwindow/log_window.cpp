#include "ui/mainwindow/log_window.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace telvo {

TfrmLog::TfrmLog(QWidget* parent) : QWidget(parent)
{
    setObjectName("frmLog");
    setWindowTitle(Caption());
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("mmLog");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // A long session logs a lot; the oldest lines go first.
    memo_->setMaximumBlockCount(20000);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo_);
}

void TfrmLog::AddLine(const QString& text)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    memo_->appendPlainText(QLatin1Char('[') + stamp + QStringLiteral("] ") + text);
    memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
}

QString TfrmLog::Text() const { return memo_->toPlainText(); }

} // namespace telvo

#include <QCloseEvent>

namespace telvo {

void TLogSubWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    showMinimized();
}

} // namespace telvo
