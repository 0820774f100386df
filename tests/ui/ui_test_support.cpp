#include "ui_test_support.h"

#include "ui/mainwindow/log_window.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <filesystem>

namespace telvo::test {

namespace fs = std::filesystem;

bool WaitUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return done();
        QTest::qWait(5);
    }
    return true;
}

TModalAnswers::TModalAnswers()
{
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

TModalAnswers::~TModalAnswers() { timer_.stop(); }

void TModalAnswers::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == handled_ || !modal->isVisible())
        return;
    handled_ = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        Texts << box->text();
        Icons << box->icon();
        QAbstractButton* button = nullptr;
        if (!answers_.empty()) {
            const TQueued next = answers_.front();
            answers_.pop_front();
            // As the user dismisses a box without choosing: the box decides
            // what that means.
            if (next.Kind == TAnswerKind::EscapeKey) {
                QTimer::singleShot(0, box, [box] { QTest::keyClick(box, Qt::Key_Escape); });
                return;
            }
            if (next.Kind == TAnswerKind::CloseButton) {
                QTimer::singleShot(0, box, [box] { box->close(); });
                return;
            }
            button = box->button(next.Button);
        } else {
            button = box->button(QMessageBox::No);
        }
        if (!button)
            button = box->escapeButton();
        if (!button)
            button = box->buttons().value(0);
        // Clicked from the event loop, not from inside this timer call.
        QTimer::singleShot(0, button, [button] { button->click(); });
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        if (OnDialog)
            QTimer::singleShot(0, dialog, [this, dialog] { OnDialog(dialog); });
        else
            QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
    }
}

void CopyShippedTypes(const fs::path& programFolder, const std::vector<std::string>& types)
{
    const fs::path events = BuiltProgramDir() / "library" / "events";
    fs::create_directories(programFolder / "library" / "events");
    for (const std::string& type : types)
        fs::copy_file(events / (type + ".fbt"), programFolder / "library" / "events" / (type + ".fbt"),
                      fs::copy_options::overwrite_existing);
}

TMainFormFixture::TMainFormFixture() { CopyShippedTypes(Home.Path(), {"E_CTU", "E_SWITCH", "E_SPLIT", "E_DELAY"}); }

TMainFormFixture::~TMainFormFixture()
{
    Form.reset();
    Workbench.reset();
}

void TMainFormFixture::WriteSettings(const std::string& text) const { Home.Write("settings.ini", text); }

void TMainFormFixture::Start()
{
    Workbench = std::make_unique<TWorkbench>(Home.Path(), UI);
    Form = std::make_unique<TMainForm>(*Workbench);
    Form->show();
    WaitUntil([this] { return Form->StartUpDone(); });
}

QStringList LogTexts(const TMainForm& form)
{
    QStringList texts;
    static const QRegularExpression stamp(QStringLiteral("^\\[[^\\]]*\\] "));
    for (QString line : form.LogWindow()->Text().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        texts << line.remove(stamp);
    return texts;
}

} // namespace telvo::test
