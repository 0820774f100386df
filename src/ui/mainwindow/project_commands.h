#pragma once
// The project commands behind the main window's menus. The main window only
// talks to this interface; project_commands.cpp binds it to the project model
// and is the one file to change when the project model changes.

#include <memory>
#include <string>

namespace telvo {

class TMainForm;

// What the menus and the project tree show of the open project.
struct TProjectInfo {
    std::string Name; // empty: no project is open
    std::string FileName;
    std::string Comment;
    bool HasUmlModel = false;

    bool IsOpen() const { return !Name.empty(); }
};

class TProjectCommands {
public:
    virtual ~TProjectCommands() = default;

    virtual TProjectInfo Info() const = 0;
    // The project lifecycle. Each asks the user what it must (save before
    // closing, overwrite an existing file) and calls back into the main
    // window for the dialogs and the views.
    virtual void NewProject() = 0;
    virtual void OpenProject(const std::string& path) = 0;
    virtual void SaveProject() = 0;
    // False when the user cancelled the closing question.
    virtual bool CloseProject() = 0;
    // Program exit: the project closes, the UML tool link shuts down.
    // False when the user cancelled: the program goes on.
    virtual bool Exit() = 0;
};

// What the project browser's status bar shows of the status the project
// reader sends ("[" + the file's Comment attribute + "]", the UML model's
// file and a bar before the project comment): the project comment alone.
std::string ProjectCommentOfStatus(const std::string& status);

// The workbench's project commands, working on the main window's workbench.
std::unique_ptr<TProjectCommands> MakeProjectCommands(TMainForm& form);

} // namespace telvo
