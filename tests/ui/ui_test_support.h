#pragma once
// Helpers of the workbench UI tests: waiting on the event loop, answering
// the modal dialogs a command opens, and a main window on a fresh program
// folder.

#include "support/test_support.h"
#include "ui/mainwindow/main_form.h"
#include "ui/qt_user_interface.h"
#include "workbench/workbench.h"

#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class QDialog;

namespace telvo::test {

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int ms = 5000);

// Answers every modal window that opens while it exists. A message box is
// recorded (its text) and answered as queued: a button, the Escape key or
// the box's close button; with nothing queued, No where the box has it,
// else its escape button. Any other dialog goes to OnDialog, which must
// close it.
class TModalAnswers {
public:
    TModalAnswers();
    ~TModalAnswers();
    TModalAnswers(const TModalAnswers&) = delete;
    TModalAnswers& operator=(const TModalAnswers&) = delete;

    void Queue(QMessageBox::StandardButton button) { answers_.push_back({TAnswerKind::Button, button}); }
    void QueueEscapeKey() { answers_.push_back({TAnswerKind::EscapeKey, QMessageBox::NoButton}); }
    void QueueCloseButton() { answers_.push_back({TAnswerKind::CloseButton, QMessageBox::NoButton}); }
    std::function<void(QDialog*)> OnDialog;
    QStringList Texts;
    // The icon of each message box, in order (errors are critical).
    QList<QMessageBox::Icon> Icons;

private:
    void poll();

    enum class TAnswerKind { Button, EscapeKey, CloseButton };
    struct TQueued {
        TAnswerKind Kind;
        QMessageBox::StandardButton Button;
    };

    QTimer timer_;
    std::deque<TQueued> answers_;
    QPointer<QWidget> handled_;
};

// The library folder of a test program folder: a few shipped event blocks.
void CopyShippedTypes(const std::filesystem::path& programFolder, const std::vector<std::string>& types);

// A main window on a fresh program folder with a small library, shown and
// through its start-up.
class TMainFormFixture {
public:
    TMainFormFixture();
    ~TMainFormFixture();

    // settings.ini before start, or none.
    void WriteSettings(const std::string& text) const;
    // Creates the workbench and the window, shows it and waits for the end
    // of start-up.
    void Start();

    TempDir Home;
    TQtUserInterface UI;
    std::unique_ptr<TWorkbench> Workbench;
    std::unique_ptr<TMainForm> Form;
};

// The lines of the log window without their time stamps.
QStringList LogTexts(const TMainForm& form);

} // namespace telvo::test
