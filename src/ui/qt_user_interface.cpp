#include "ui/qt_user_interface.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace telvo {

TQtUserInterface::TQtUserInterface(QWidget* dialogParent) : parent_(dialogParent) {}

void TQtUserInterface::ShowMessage(const std::string& text)
{
    QMessageBox::information(parent_, QApplication::applicationName(), QString::fromStdString(text));
}

bool TQtUserInterface::AskYesNo(const std::string& text)
{
    return QMessageBox::question(parent_, QApplication::applicationName(), QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::string TQtUserInterface::UserHint(const std::string& text, int)
{
    // Without the assistant character the hint is the status text.
    QString q = QString::fromStdString(text);
    QMetaObject::invokeMethod(this, [this, q] { emit hintText(q); }, Qt::QueuedConnection);
    return text;
}

void TQtUserInterface::Log(const std::string& text)
{
    QString q = QString::fromStdString(text);
    if (QThread::currentThread() == thread())
        emit logLine(q);
    else
        QMetaObject::invokeMethod(this, [this, q] { emit logLine(q); }, Qt::QueuedConnection);
}

void TQtUserInterface::SetStatus(const std::string& text)
{
    QString q = QString::fromStdString(text);
    QMetaObject::invokeMethod(this, [this, q] { emit statusText(q); }, Qt::AutoConnection);
}

void TQtUserInterface::BeginBusy() { QApplication::setOverrideCursor(Qt::WaitCursor); }
void TQtUserInterface::EndBusy() { QApplication::restoreOverrideCursor(); }

} // namespace telvo
