// telvo-zoze: the engineering workbench.
//
//   telvo-zoze [--home DIR] [--open-diagrams] [--open-system-layer] [--open-type FILE [--type-tab PAGE]]
//              [PROJECT.crf]
//
// --open-diagrams opens a window on every FB diagram of the project once it
// is read, tiled (for demonstrations and screenshots); --open-system-layer
// opens the system layer window, maximised. --open-type FILE opens an FB type
// editor on the type file, showing the page --type-tab names.

#include "model/fb_manager.h"
#include "ui/fb_diagram_editor.h"
#include "ui/main_form.h"
#include "ui/qt_user_interface.h"
#include "ui/splash_form.h"
#include "ui/telvo_application.h"
#include "ui/typeeditor/type_editor.h"
#include "workbench/workbench.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
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
    bool openDiagrams = false;
    bool openSystemLayer = false;
    QString openType, typeTab;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--home" && i + 1 < args.size())
            home = args[++i].toStdString();
        else if (args[i] == "--open-diagrams")
            openDiagrams = true;
        else if (args[i] == "--open-system-layer")
            openSystemLayer = true;
        else if (args[i] == "--open-type" && i + 1 < args.size())
            openType = QFileInfo(args[++i]).absoluteFilePath();
        else if (args[i] == "--type-tab" && i + 1 < args.size())
            typeTab = args[++i];
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
    if (openSystemLayer) {
        auto* wait = new QTimer(&mainForm);
        QObject::connect(wait, &QTimer::timeout, &mainForm, [&mainForm, wait] {
            if (!mainForm.Project().IsOpen() || mainForm.ProjectWorkRunning())
                return;
            wait->stop();
            mainForm.SystemLayerEditClick();
            if (QMdiSubWindow* sub = mainForm.MdiArea()->activeSubWindow())
                sub->showMaximized();
        });
        wait->start(100);
    }
    if (openDiagrams) {
        auto* wait = new QTimer(&mainForm);
        QObject::connect(wait, &QTimer::timeout, &mainForm, [&mainForm, &workbench, wait] {
            if (!mainForm.Project().IsOpen() || mainForm.ProjectWorkRunning())
                return;
            wait->stop();
            for (const auto& diagram : workbench.FBManager().Diagrams) {
                TEditorWindow* window =
                    OpenDiagramWindow(mainForm, *diagram, QString::fromStdString(diagram->Name));
                mainForm.AddEditorWindow(window);
                window->SubWindow()->show();
            }
            mainForm.MdiArea()->tileSubWindows();
        });
        wait->start(100);
    }
    if (!openType.isEmpty())
        QTimer::singleShot(1500, &mainForm, [&mainForm, openType, typeTab] {
            TEditorWindow* window = OpenTypeEditorWindow(mainForm, openType);
            mainForm.AddEditorWindow(window);
            window->SubWindow()->showMaximized();
            if (!typeTab.isEmpty())
                static_cast<TfrmDesignFBType*>(window)->ShowTab(typeTab);
        });
    const int status = QApplication::exec();
    delete splash;
    return status;
}
