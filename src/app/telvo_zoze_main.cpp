// telvo-zoze: the engineering workbench.
//
//   telvo-zoze [--home DIR] [PROJECT.crf]

#include "ui/main_form.h"
#include "ui/qt_user_interface.h"
#include "ui/splash_form.h"
#include "ui/telvo_application.h"
#include "workbench/workbench.h"

#include <QFileInfo>
#include <QIcon>

using namespace telvo;

int main(int argc, char** argv)
{
    TTelvoApplication app(argc, argv);
    QApplication::setApplicationName("TELVO ZOZE");
    QApplication::setApplicationVersion("1.0.0");
    QApplication::setWindowIcon(QIcon(":/icons/telvo.svg"));

    std::string home;
    QString project;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--home" && i + 1 < args.size())
            home = args[++i].toStdString();
        else if (!args[i].startsWith("-"))
            project = args[i];
    }

    // The splash is up before the main window exists and goes once the
    // library is indexed.
    auto* splash = new TfrmSplash;
    splash->show();
    QApplication::processEvents();

    TQtUserInterface ui;
    TWorkbench workbench(ResolveProgramFolder(home), ui);
    TMainForm mainForm(workbench);
    ui.SetDialogParent(&mainForm);
    mainForm.SetSplash(splash);
    if (!project.isEmpty())
        mainForm.SetStartProject(QFileInfo(project).absoluteFilePath());
    mainForm.show();
    const int status = QApplication::exec();
    delete splash;
    return status;
}
