#include "workbench/project_lifecycle.h"

#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "workbench/workbench.h"

#include <algorithm>
#include <filesystem>

namespace telvo {

namespace fs = std::filesystem;

namespace {

std::string stereotypesPath(const TWorkbench& workbench)
{
    return workbench.Settings.GetString("RoseStereotypesPath", "-");
}

bool fileExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

// The project's folder in the type library, named after the title. A title
// that is no plain folder name is made into one: the folder must stay inside
// the library.
void makeLibraryFolder(TWorkbench& workbench, const std::string& title)
{
    std::string name = title;
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\\', '_');
    if (name.empty() || name == "." || name == "..")
        return;
    const fs::path folder = workbench.LibraryFolder() / name;
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return;
    fs::create_directories(folder, ec);
    if (ec)
        workbench.UI().Log("Cannot make the project's type folder " + folder.string() + ": " + ec.message());
}

// After a failed read: no project, and none of what was read.
void discardProject(TWorkbench& workbench)
{
    TProject_Manager& project = workbench.ProjectManager();
    workbench.ResetFBManager();
    project.Clear();
    if (project.Windows.ProjectClosed)
        project.Windows.ProjectClosed();
}

} // namespace

TProjectParts ProjectParts(TWorkbench& workbench)
{
    return TProjectParts{workbench.ProjectManager(), workbench.FBManager(), workbench.SystemLayer(),
                         workbench.UI(),             workbench.ProgramFolder(), stereotypesPath(workbench)};
}

bool CloseProject(TWorkbench& workbench)
{
    TProject_Manager& project = workbench.ProjectManager();
    if (!project.IsOpen())
        return true;
    const std::string name = project.Name;
    // No throws the project's changes away: the user may still step back.
    switch (workbench.UI().AskYesNoCancel("Save changes to project: " + name)) {
    case TAnswer::Cancel:
        return false;
    case TAnswer::Yes:
        SaveProject(workbench);
        break;
    case TAnswer::No:
        break;
    }
    if (project.Windows.CloseEditorWindows)
        project.Windows.CloseEditorWindows();
    workbench.ResetFBManager();
    project.Clear();
    workbench.UI().Log("Close active project " + name);
    if (project.Windows.ProjectClosed)
        project.Windows.ProjectClosed();
    return true;
}

bool NewProject(TWorkbench& workbench)
{
    TProject_Manager& project = workbench.ProjectManager();
    TNewProjectAnswers answers;
    if (!project.Windows.ShowNewProjectDialog || !project.Windows.ShowNewProjectDialog(answers))
        return false;
    return NewProject(workbench, std::move(answers));
}

bool NewProject(TWorkbench& workbench, TNewProjectAnswers answers)
{
    TProject_Manager& project = workbench.ProjectManager();
    for (;;) {
        // An empty title is how the project manager says "no project": a
        // project cannot be made without one.
        if (answers.Title.empty() || answers.TelvoFileName.empty()) {
            workbench.UI().ShowMessage("A new project needs a title and a file name.");
            return false;
        }
        if (!fileExists(answers.TelvoFileName) || workbench.UI().AskYesNo("File already exists. Overwrite?"))
            break;
        if (!project.Windows.ShowNewProjectDialog || !project.Windows.ShowNewProjectDialog(answers))
            return false;
    }

    if (!CloseProject(workbench))
        return false;
    TUmlToolLink& uml = project.EnsureUmlTool(workbench.UI(), stereotypesPath(workbench));
    project.UmlModelFile.clear();
    if (answers.ConnectToRose) {
        uml.Connect();
        if (fileExists(answers.RoseFileName))
            uml.OpenModel(answers.RoseFileName);
        else
            uml.NewModel(answers.RoseFileName);
        project.UmlModelFile = answers.RoseFileName;
    }
    project.HasUmlModel = !project.UmlModelFile.empty();
    project.Name = answers.Title;
    project.FileName = answers.TelvoFileName;
    project.Comment = TProject_Manager::NewProjectComment;
    workbench.SystemLayer().ProjectFile = project.FileName;

    WriteProjectFile(ProjectParts(workbench), project.FileName);
    makeLibraryFolder(workbench, project.Name);
    if (project.Windows.ProjectShown)
        project.Windows.ProjectShown();
    return true;
}

void OpenProject(TWorkbench& workbench, const std::string& path)
{
    if (!CloseProject(workbench))
        return;
    try {
        ReadProjectFile(ProjectParts(workbench), path);
    } catch (const EProjectFileError&) {
        discardProject(workbench);
        throw;
    } catch (const std::exception& e) {
        discardProject(workbench);
        throw EProjectFileError("The project " + path + " is not opened: " + e.what());
    } catch (...) {
        discardProject(workbench);
        throw;
    }
}

void SaveProject(TWorkbench& workbench)
{
    TProject_Manager& project = workbench.ProjectManager();
    if (!project.IsOpen())
        return;
    if (project.FileName.empty()) {
        if (!project.Windows.AskProjectFileName)
            return;
        std::string file = project.Windows.AskProjectFileName();
        if (file.empty())
            return;
        if (file.find(".crf") == std::string::npos)
            file += ".crf";
        project.FileName = file;
        workbench.SystemLayer().ProjectFile = file;
    }
    WriteProjectFile(ProjectParts(workbench), project.FileName);
}

bool ExitProjects(TWorkbench& workbench)
{
    if (!CloseProject(workbench))
        return false;
    workbench.ProjectManager().ShutdownUmlTool();
    return true;
}

} // namespace telvo
