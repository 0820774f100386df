// telvo-zoze: the engineering workbench.

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

#include <cstdio>
#include <cstring>

using namespace telvo;

namespace {

// Also the source of the manual page: keep it the one description of the options.
constexpr const char* kHelp =
    "usage: telvo-zoze [OPTION...] [PROJECT.crf]\n"
    "The engineering workbench for IEC 61499 distributed control applications: FB types and the\n"
    "type library, FB network diagrams, the physical system layer, distribution to devices,\n"
    "step-by-step simulation, deployment over TCP, Pascal FB library generation and UML import.\n"
    "PROJECT.crf is opened once the library is indexed.\n"
    "\n"
    "Options:\n"
    "  --home DIR              the program folder: library/, images/, KALO/ and settings.ini.\n"
    "                          Default: TELVO_HOME, else the executable's folder when it holds\n"
    "                          library/, else ../share/telvo-zoze beside it. An installed or\n"
    "                          read-only program folder is only read: settings, recent projects\n"
    "                          and window state go to $XDG_CONFIG_HOME/telvo-zoze/settings.ini,\n"
    "                          the user's types and KALO/ to $XDG_DATA_HOME/telvo-zoze.\n"
    "  --open-diagrams         open a window on every FB diagram of the project, tiled\n"
    "  --open-system-layer     open the system layer window, maximised\n"
    "  --open-type FILE        open an FB type editor on the type file\n"
    "  --type-tab PAGE         with --open-type: the page to show\n"
    "  --debug-diagram NAME    open that diagram maximised, dock the visual debugger and start a run\n"
    "  --debug-event INST.EV   with --debug-diagram: an initial event (repeatable)\n"
    "  --debug-monitor INST.PORT  with --debug-diagram: a monitored port (repeatable)\n"
    "  --debug-steps N         with --debug-diagram: steps to take\n"
    "  --debug-show-dialog     with --debug-diagram: leave the selection dialog open instead\n"
    "  --quit-after MS         quit MS milliseconds after start-up is over and the project given\n"
    "                          is read, without saving or asking (for checks and screenshots)\n"
    "  -h, --help              print this text and exit\n"
    "  --version               print the version and exit\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before Qt starts: no display is needed to read them.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("telvo-zoze (TELVO ZOZE) %s\n", TELVO_VERSION);
            return 0;
        }
    }

    TTelvoApplication app(argc, argv);
    QApplication::setApplicationName("TELVO ZOZE");
    QApplication::setApplicationVersion(TELVO_VERSION);
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
    int quitAfter = -1;
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
        else if (args[i] == "--quit-after" && i + 1 < args.size())
            quitAfter = args[++i].toInt();
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
    if (quitAfter >= 0) {
        // Counted from the moment the workbench is at rest, so that a slow
        // machine still gets through the start and the project's reading.
        // Leaves as a killed run would: no closing questions, nothing saved.
        auto* wait = new QTimer(&mainForm);
        QObject::connect(wait, &QTimer::timeout, &mainForm, [&mainForm, wait, quitAfter] {
            if (!mainForm.StartUpDone() || mainForm.ProjectWorkRunning())
                return;
            wait->stop();
            QTimer::singleShot(quitAfter, qApp, [] { QCoreApplication::exit(0); });
        });
        wait->start(100);
    }
    const int status = QApplication::exec();
    delete splash;
    return status;
}
