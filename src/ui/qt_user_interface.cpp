#include "ui/qt_user_interface.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace telvo {

TQtUserInterface::TQtUserInterface(QWidget* dialogParent) : parent_(dialogParent) {}

template <typename F> void TQtUserInterface::onUiThread(F&& work, bool wait)
{
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(work),
                                  wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void TQtUserInterface::ShowMessage(const std::string& text)
{
    QString q = QString::fromStdString(text);
    onUiThread([this, q] { QMessageBox::information(parent_, QApplication::applicationName(), q); }, true);
}

void TQtUserInterface::ShowWarning(const std::string& text)
{
    QString q = QString::fromStdString(text);
    onUiThread([this, q] { QMessageBox::warning(parent_, QApplication::applicationName(), q); }, true);
}

bool TQtUserInterface::AskYesNo(const std::string& text)
{
    QString q = QString::fromStdString(text);
    bool yes = false;
    onUiThread(
        [this, q, &yes] {
            yes = QMessageBox::question(parent_, QApplication::applicationName(), q,
                                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        },
        true);
    return yes;
}

TAnswer TQtUserInterface::AskYesNoCancel(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Yes);
    // Escape and the title bar's close button both report the escape
    // button: a box dismissed without a choice loses nothing.
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return TAnswer::Yes;
    case QMessageBox::No:
        return TAnswer::No;
    default:
        return TAnswer::Cancel;
    }
}

TAnswer TQtUserInterface::AskYesNoCancel(const std::string& text)
{
    QString q = QString::fromStdString(text);
    TAnswer answer = TAnswer::Cancel;
    onUiThread([this, q, &answer] { answer = AskYesNoCancel(parent_, q); }, true);
    return answer;
}

void TQtUserInterface::ShowError(const std::string& text)
{
    QString q = QString::fromStdString(text);
    onUiThread([this, q] { QMessageBox::critical(parent_, QApplication::applicationName(), q); }, true);
}

std::string TQtUserInterface::UserHint(const std::string& text, int)
{
    // Without the assistant character the hint is the status text, and it
    // is shown where the assistant would have spoken it.
    QString q = QString::fromStdString(text);
    onUiThread([this, q] { emit hintText(q); }, false);
    return text;
}

void TQtUserInterface::Log(const std::string& text)
{
    QString q = QString::fromStdString(text);
    onUiThread([this, q] { emit logLine(q); }, false);
}

void TQtUserInterface::SetStatus(const std::string& text)
{
    QString q = QString::fromStdString(text);
    onUiThread([this, q] { emit statusText(q); }, false);
}

void TQtUserInterface::BeginBusy()
{
    onUiThread(
        [this] {
            if (busy_++ == 0) {
                QApplication::setOverrideCursor(Qt::WaitCursor);
                emit busyChanged(true);
            }
        },
        false);
}

void TQtUserInterface::EndBusy()
{
    onUiThread(
        [this] {
            if (busy_ == 0)
                return;
            if (--busy_ == 0) {
                QApplication::restoreOverrideCursor();
                emit busyChanged(false);
            }
        },
        false);
}

} // namespace telvo
