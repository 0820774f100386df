// telvo-zoze: the engineering workbench.
//
//   telvo-zoze [--home DIR] [--open-diagrams] [--open-system-layer] [--open-type FILE [--type-tab PAGE]]
//              [--debug-diagram NAME [--debug-event INST.EV]... [--debug-monitor INST.PORT]...
//               [--debug-steps N] [--debug-show-dialog]] [PROJECT.crf]
//
// --open-diagrams opens a window on every FB diagram of the project once it
// is read, tiled (for demonstrations and screenshots); --open-system-layer
// opens the system layer window, maximised. --open-type FILE opens an FB type
// editor on the type file, showing the page --type-tab names.
// --debug-diagram opens the diagram of that name maximised, docks the visual
// debugger, starts a run with the events and monitored ports given (debug
// messages shown) and steps it N times (for demonstrations and screenshots);
// with --debug-show-dialog the selection dialog is left open instead.

#include "model/fb_manager.h"
#include "ui/debugger/select_events_dialog.h"
#include "ui/debugger/visual_debugger.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/splash_form.h"
#include "ui/qt_user_interface.h"
#include "ui/telvo_application.h"
#include "ui/typeeditor/type_editor.h"
#include "workbench/workbench.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
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
    QString debugDiagram;
    QStringList debugEvents, debugMonitors;
    int debugSteps = 0;
    bool debugShowDialog = false;
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
        else if (args[i] == "--debug-diagram" && i + 1 < args.size())
            debugDiagram = args[++i];
        else if (args[i] == "--debug-event" && i + 1 < args.size())
            debugEvents << args[++i];
        else if (args[i] == "--debug-monitor" && i + 1 < args.size())
            debugMonitors << args[++i];
        else if (args[i] == "--debug-steps" && i + 1 < args.size())
            debugSteps = args[++i].toInt();
        else if (args[i] == "--debug-show-dialog")
            debugShowDialog = true;
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
    if (!debugDiagram.isEmpty()) {
        auto* wait = new QTimer(&mainForm);
        QObject::connect(wait, &QTimer::timeout, &mainForm, [&, wait] {
            if (!mainForm.Project().IsOpen() || mainForm.ProjectWorkRunning())
                return;
            wait->stop();
            TFB_Diagram* diagram = nullptr;
            for (const auto& d : workbench.FBManager().Diagrams)
                if (QString::fromStdString(d->Name) == debugDiagram)
                    diagram = d.get();
            if (!diagram)
                return;
            TEditorWindow* window = OpenDiagramWindow(mainForm, *diagram, debugDiagram);
            mainForm.AddEditorWindow(window);
            window->SubWindow()->showMaximized();
            auto* editor = static_cast<TfrmDesignFBDiagram*>(window);
            editor->Button(QStringLiteral("btnDebug"))->click();
            TfrmVisualDebugger* debugger = editor->Debugger();
            if (!debugger)
                return;
            debugger->ExecSelectionDialog = [&](TfrmVisualDebuggerSelectEvents& dialog) {
                auto tick = [&](QTreeWidget* tree, const QString& path) {
                    const int dot = path.indexOf('.');
                    if (QTreeWidgetItem* node = TfrmVisualDebuggerSelectEvents::Node(
                            tree, path.left(dot).toStdString(), path.mid(dot + 1).toStdString()))
                        if (node->checkState(0) != Qt::Checked)
                            dialog.ClickTick(node);
                };
                for (const QString& e : debugEvents)
                    tick(dialog.EventsTree(), e);
                for (const QString& m : debugMonitors) {
                    tick(dialog.DataInputTree(), m);
                    tick(dialog.DataOutputTree(), m);
                }
                if (debugShowDialog) {
                    // Left open for a look: the run does not start.
                    dialog.show();
                    dialog.raise();
                    return;
                }
                dialog.OkButton()->click();
            };
            debugger->ShowDebugMessagesBox()->click();
            debugger->StartButton()->click();
            auto* stepper = new QTimer(&mainForm);
            auto left = std::make_shared<int>(debugSteps);
            QObject::connect(stepper, &QTimer::timeout, &mainForm, [debugger, stepper, left] {
                if (*left <= 0 || !debugger->Running()) {
                    stepper->stop();
                    return;
                }
                if (!debugger->ModelAtRest())
                    return;
                --*left;
                debugger->StepButton()->click();
            });
            stepper->start(400);
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
