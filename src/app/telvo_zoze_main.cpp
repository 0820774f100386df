// telvo-zoze: the engineering workbench.

#include "ui/main_form.h"
#include "ui/qt_user_interface.h"
#include "workbench/workbench.h"

#include <QApplication>

using namespace telvo;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("TELVO ZOZE");
    QApplication::setApplicationVersion("1.0.0");

    std::string home;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == "--home")
            home = args[i + 1].toStdString();

    TQtUserInterface ui;
    TWorkbench workbench(ResolveProgramFolder(home), ui);
    TMainForm mainForm(workbench);
    ui.SetDialogParent(&mainForm);
    mainForm.show();
    return QApplication::exec();
}
