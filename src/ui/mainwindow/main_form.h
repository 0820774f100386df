#pragma once
// The application frame: a multi-document main window with the menus and the
// tool bar, the project browser docked beside the documents and the log
// window among them. It runs start-up and shut-down, keeps the recent
// projects and settings.ini, keeps the project tree in step with the model
// and dispatches every command to the window or model operation behind it.

#include "model/project_manager.h"
#include "ui/editor_window.h"
#include "ui/mainwindow/project_commands.h"
#include "ui/mainwindow/recent_projects.h"
#include "ui/mainwindow/start_center.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QDockWidget;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QSplashScreen;
class QThread;
class QTimer;
class QToolBar;

namespace telvo {

class TFB_Diagram;
class TQtUserInterface;
class TSystemConnection;
class TslObject;
class TWorkbench;
class TfrmLog;
class TfrmProjectBrowser;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(TWorkbench& workbench, QWidget* parent = nullptr);
    ~TMainForm() override;

    static QString NoProjectCaption() { return QStringLiteral("TELVO Engineering Support System "); }
    static QString ProjectCaption(const TProjectInfo& project);

    TWorkbench& Workbench() const { return workbench_; }
    QMdiArea* MdiArea() const { return mdi_; }
    TfrmProjectBrowser* ProjectBrowser() const { return browser_; }
    QDockWidget* ProjectBrowserDock() const { return browserDock_; }
    TfrmLog* LogWindow() const { return log_; }
    QMdiSubWindow* LogSubWindow() const { return logSub_; }
    QToolBar* ToolBar() const { return toolBar_; }
    QProgressBar* ProgressBar() const { return progress_; }
    QString StatusText() const;
    // The main window's status bar, across the whole window: hints and the
    // editors' messages in full.
    void ShowStatus(const QString& text);
    // A window's caption as the user reads it: without Qt's "[*]" mark.
    static QString CaptionOf(const QWidget* window);
    // An editor changed the model: the project is marked modified ("*" in
    // the caption) until it is saved, closed or another is opened.
    void EditorModified();
    void SetProjectModified(bool modified);
    // Where "Open project..." starts: the folder of the last project opened
    // through it or the recent list, else the newest recent project's.
    QString OpenFolder() const;
    // Which project file "Open project..." picks, starting in a folder (an
    // empty name when cancelled). The default runs the file dialog.
    std::function<QString(const QString& folder)> AskOpenProjectFileName;
    // File › Import IEC 61499 system: the .sys file, then the new project
    // file; Export: the folder. An empty name cancels. The defaults run the
    // file dialogs.
    std::function<QString(const QString& folder)> AskSystemFileName;
    std::function<QString(const QString& folder)> AskImportedProjectFileName;
    std::function<QString(const QString& folder)> AskSystemExportFolder;
    // The menu item or tool-bar button of that object name ("mnuSaveProject",
    // "tbSave"), or none.
    QAction* Action(const QString& objectName) const;
    QMenu* FirstMenu() const { return mnuTelvo_; }

    // The windows that open under the main window, and the project
    // commands; both are installed by the constructor and may be replaced
    // before the window is shown.
    TEditorWindowFactories& Factories() { return factories_; }
    TProjectCommands& Projects() const { return *projects_; }
    void SetProjectCommands(std::unique_ptr<TProjectCommands> commands);
    TProjectInfo Project() const { return projects_->Info(); }

    // ---- Start-up ----

    // The splash window closes once the library is indexed.
    void SetSplash(QSplashScreen* splash) { splash_ = splash; }
    // A project to open as soon as start-up is done (instead of the start
    // center).
    void SetStartProject(const QString& path) { startProject_ = path; }
    bool StartUpDone() const { return startUpDone_; }
    QTimer* StartCenterTimer() const { return startCenterTimer_; }
    // The open start center, if any.
    TfrmStartCenter* StartCenter() const { return startCenter_; }
    std::string StereotypesPath = "-";

    // ---- The project tree and menus ----

    // Caption "TELVO ZOZE [" + name + " - " + file + "] " and the whole tree.
    void BuildProjectTree();
    void RefreshApplicationTree();
    void RefreshInstancesTree();
    void RefreshConnectionsTree();
    void RefreshSystemLayerTree();
    void RefreshRequirementsTree();
    void AddObjectNode(TslObject* object);
    void AddConnectionNode(TSystemConnection* connection);
    void AddDiagramNode(TFB_Diagram* diagram);
    void UpdateMenuItems();

    // ---- The type library ----

    // Indexes the library on a worker thread, showing progress, and runs
    // `then` on the UI thread when the index is in place.
    void IndexLibrary(std::function<void()> then = {});
    bool Indexing() const { return indexThread_ != nullptr; }
    // One type from the library into the FB manager, with the busy cursor.
    bool LoadTypeFromLibrary(const std::string& folder, const std::string& typeName);
    // The FB types menu: one group per library folder, one item per type.
    QMenu* FBTypesMenu() const { return fbTypesMenu_; }
    // Choosing a type there: loaded when needed, then placed by the active
    // editor.
    void PickLibraryType(const std::string& folder, const std::string& typeName);

    // ---- Editor windows ----

    const std::vector<TEditorWindow*>& DiagramWindows() const { return diagramWindows_; }
    TEditorWindow* ActiveEditor() const { return activeEditor_; }
    bool SystemLayerWindowOpen() const { return systemLayerWindow_ != nullptr; }
    bool Closing() const { return closing_; }
    // Registers a window the main window did not open itself: it is
    // followed until it is destroyed.
    void AddEditorWindow(TEditorWindow* window);
    // Moves (and, when larger than the area, shrinks) a document window so
    // that the whole of it is in view.
    void FitIntoDocumentArea(QMdiSubWindow* sub);
    // A new diagram of that name in the FB manager (zoom 1, file name in the
    // project folder) and its window, which becomes the active editor.
    // Logs "New window " + name.
    TFB_Diagram* NewDiagramWindow(const QString& caption, const std::string& name);
    // The merged network of every instance record and IPP of the project.
    TFB_Diagram* MergeAllDiagrams();

    // ---- Recent projects ----

    const TRecentProjects& RecentProjects() const { return recent_; }
    QList<QAction*> RecentProjectActions() const { return recentActions_; }

    // ---- What the project commands call back ----

    // The new-project dialog; false when it was cancelled.
    bool ShowNewProjectDialog(TNewProjectAnswers& answers);
    // A save dialog for a project file; empty when cancelled.
    std::string AskProjectFileName();
    // The system layer window, then every FB diagram window, last first.
    void CloseEditorWindows();
    // No project: plain caption, no tree, menus.
    void ProjectClosed();
    // A project is there (new or read): tree, menus.
    void ProjectShown();
    // After a project file was read: the recent-projects list, written to
    // settings.ini, and the menu.
    void ProjectFileRead(const std::string& path);
    // Runs project work (reading a project file) on a worker thread while
    // the windows keep painting: a running progress bar, every command that
    // touches the model disabled, closing the window put off until the work
    // is done. An error escaping the work reaches the global error handler.
    void RunProjectWork(std::function<void()> work);
    bool ProjectWorkRunning() const { return projectThread_ != nullptr; }

    // ---- Errors ----

    // The global error handler: the error box, the hint "Programm error
    // occured: " + message, and the log.
    void HandleProgramError(const QString& message);
    // Runs a command; an error escaping it reaches HandleProgramError.
    void Guard(const std::function<void()>& command);

    // ---- Commands ----

    void NewProjectClick();
    void OpenProjectClick();
    void OpenRecentProject(QAction* item);
    void SaveProjectClick();
    void CloseProjectClick();
    void ImportSystemClick();
    void ExportSystemClick();
    void StartCenterClick();
    // The Edit menu: the active editor window's undo stack and clipboard.
    void UndoClick();
    void RedoClick();
    void CutClick();
    void CopyClick();
    void PasteClick();
    void ShowStartCenter();
    void NewDiagramClick();
    void OpenDiagramClick();
    void MergeAllDiagramsClick();
    void SystemLayerEditClick();
    void ShowTreeBrowserClick();
    void MinimizeAllClick();
    void WizardClick();
    void AboutClick();

signals:
    // Start-up is over: the library is indexed, settings.ini read.
    void startUpFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    void createToolBar();
    QAction* addItem(QMenu* menu, const QString& name, const QString& text, const QKeySequence& shortcut = {},
                     void (TMainForm::*command)() = nullptr);
    void formShow();
    void finishStartUp();
    void readSettings();
    void rebuildRecentMenu();
    void rebuildFBTypesMenu();
    void rebuildWindowMenu();
    void startCenterClosed(TfrmStartCenter* dialog);
    void subWindowActivated(QMdiSubWindow* window);
    void editorGone(TEditorWindow* window);
    void openDiagramFromTree(TFB_Diagram* diagram, const QString& caption);
    std::vector<TEditorWindow*> diagramWindowsCaptioned(const QString& caption) const;
    void setBusyProgress(bool busy);
    void log(const std::string& text) const;

    TWorkbench& workbench_;
    TQtUserInterface* qtUi_;
    TEditorWindowFactories factories_;
    std::unique_ptr<TProjectCommands> projects_;

    QMdiArea* mdi_;
    TfrmProjectBrowser* browser_;
    QDockWidget* browserDock_;
    // The project browser's width for the run: set at start-up, then
    // whatever the user drags it to.
    int browserWidth_ = 0;
    TfrmLog* log_;
    QMdiSubWindow* logSub_;
    QToolBar* toolBar_ = nullptr;
    QLabel* statusLabel_;
    QProgressBar* progress_;
    QMenu* mnuTelvo_ = nullptr;
    QMenu* mnuWindow_ = nullptr;
    QAction* recentAnchor_ = nullptr;
    QList<QAction*> recentActions_;
    QMenu* fbTypesMenu_;
    QTimer* startCenterTimer_;
    QPointer<TfrmStartCenter> startCenter_;
    QSplashScreen* splash_ = nullptr;
    QString startProject_;
    QThread* indexThread_ = nullptr;
    QThread* projectThread_ = nullptr;
    bool closeWhenIdle_ = false;
    QTimer* wizardTimer_;
    int wizardLine_ = 0;

    std::vector<TEditorWindow*> diagramWindows_;
    // How the window hears that an editor's sub-window went; cut when the
    // main window itself goes.
    std::vector<QMetaObject::Connection> editorConnections_;
    TEditorWindow* activeEditor_ = nullptr;
    TEditorWindow* systemLayerWindow_ = nullptr;
    TRecentProjects recent_;
    QString lastOpenFolder_;
    bool shown_ = false;
    bool startUpDone_ = false;
    bool closing_ = false;
    // Set by the destructor: the widgets going down must not call back.
    bool dying_ = false;
};

} // namespace telvo
