#pragma once
// The project: its own data (title, file, UML model link, comment) held by
// TProject_Manager. The rest of a project lives in the FB manager (diagrams,
// instance records, connection records) and in the system layer, which the
// project lifecycle replaces when a project closes.
//
// What the main window must do at each step of the lifecycle (ask for a new
// project, ask for a file name, close editor windows, rebuild the tree,
// refresh menus, keep the recent list) reaches it through the callbacks of
// TProjectWindows; questions and messages go through TUserInterface.

#include <functional>
#include <memory>
#include <string>

namespace telvo {

class TFB_Manager;
class TUserInterface;

// The answers of the new-project dialog.
struct TNewProjectAnswers {
    std::string Title;         // "Project title:"
    std::string TelvoFileName; // "TELVO filename:"
    bool ConnectToRose = false;
    std::string RoseFileName; // "ROSE file:"
};

// What the lifecycle asks of the main window. Every callback may be left
// empty: the headless front end and the tests have no windows.
struct TProjectWindows {
    // The new-project dialog: fills the answers, false when cancelled.
    std::function<bool(TNewProjectAnswers&)> ShowNewProjectDialog;
    // A save dialog for a project file: the chosen name, empty when
    // cancelled.
    std::function<std::string()> AskProjectFileName;
    // The system layer window, then every FB diagram window, last first.
    std::function<void()> CloseEditorWindows;
    // No project any more: plain caption, menus refreshed, project tree gone.
    std::function<void()> ProjectClosed;
    // A project is there (new or read): tree rebuilt, menus and system layer
    // views refreshed, caption with name and file.
    std::function<void()> ProjectShown;
    // A project file was read: the recent-projects list takes the path.
    std::function<void(const std::string& path)> ProjectFileRead;
    // While a project file is read: the main window's caption and the status
    // text of the project tree window.
    std::function<void(const std::string& caption)> SetCaption;
    std::function<void(const std::string& status)> SetTreeStatus;
};

// The link to the UML modelling tool a project may be tied to.
class TUmlToolLink {
public:
    virtual ~TUmlToolLink() = default;
    // Starts the tool or attaches to a running one, its window beside the
    // project tree.
    virtual void Connect() = 0;
    // Opens an existing model file in the tool; creates a new model under
    // that file name.
    virtual void OpenModel(const std::string& file) = 0;
    virtual void NewModel(const std::string& file) = 0;
    // The stereotypes file changed in the start center.
    virtual void SetStereotypesPath(const std::string& path) = 0;
    // Program exit.
    virtual void Shutdown() = 0;
};

// The link while no UML tool can be driven from this platform: connecting
// does nothing, and the log says so, so that a project tied to a model still
// opens and its model file name is kept.
class TUnavailableUmlTool final : public TUmlToolLink {
public:
    TUnavailableUmlTool(TUserInterface& ui, std::string stereotypesPath);
    void Connect() override;
    void OpenModel(const std::string& file) override;
    void NewModel(const std::string& file) override;
    void SetStereotypesPath(const std::string& path) override { StereotypesPath = path; }
    void Shutdown() override {}

    std::string StereotypesPath;

private:
    TUserInterface& ui_;
};

// Where a project's other parts live: the workbench owns the FB manager and
// the system layer and replaces them.
class TProjectHost {
public:
    virtual ~TProjectHost() = default;
    virtual TFB_Manager& FBManager() const = 0;
    // A new empty system layer in place of the current one.
    virtual void ResetSystemLayer() = 0;
};

class TProject_Manager {
public:
    explicit TProject_Manager(TProjectHost& host) : host_(host) {}
    TProject_Manager(const TProject_Manager&) = delete;
    TProject_Manager& operator=(const TProject_Manager&) = delete;

    // The comment a new project starts with.
    static constexpr const char* NewProjectComment = "Write your FB Network Diagram comment...";

    // An empty Name means that no project is open.
    std::string Name;
    std::string FileName;
    std::string UmlModelFile;
    std::string Comment;
    bool HasUmlModel = false;

    bool IsOpen() const { return !Name.empty(); }

    // Removes every diagram from the FB manager (last first), empties the
    // project's own fields and replaces the system layer by an empty one.
    bool Clear();

    TProjectWindows Windows;

    // The UML tool link, made the first time a project asks for it (by
    // UmlToolFactory, which the UML tool's own code installs; until then by
    // a TUnavailableUmlTool).
    std::function<std::unique_ptr<TUmlToolLink>(const std::string& stereotypesPath)> UmlToolFactory;
    TUmlToolLink* UmlTool() const { return umlTool_.get(); }
    TUmlToolLink& EnsureUmlTool(TUserInterface& ui, const std::string& stereotypesPath);
    // Program exit: the link is shut down and dropped.
    void ShutdownUmlTool();

private:
    TProjectHost& host_;
    std::unique_ptr<TUmlToolLink> umlTool_;
};

} // namespace telvo
