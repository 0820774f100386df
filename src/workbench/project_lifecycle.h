#pragma once
// The project lifecycle on a workbench: new, open, save, close and exit, in
// the order of steps, questions and log lines the workbench has always had.
// Questions and messages go through the workbench's TUserInterface; what the
// main window must do at each step goes through the project manager's
// Windows callbacks.

#include "model/project_manager.h"
#include "persistence/project_file.h"

#include <string>

namespace telvo {

class TWorkbench;

// The open project's parts, as the project file reads and writes them.
TProjectParts ProjectParts(TWorkbench& workbench);

// Asks whether to save (Yes saves), closes the editor windows, replaces the
// FB manager and the system layer by empty ones and logs "Close active
// project " + the name. Does nothing when no project is open. False when
// the question was cancelled: the project stays open, unchanged.
bool CloseProject(TWorkbench& workbench);

// Shows the new-project dialog and creates the project it describes.
// False when the dialog was cancelled.
bool NewProject(TWorkbench& workbench);
// Creates a project from the dialog's answers: asks before overwriting an
// existing file (No shows the dialog again), closes the open project, links
// the UML model when asked, writes the project file at once and makes the
// project's folder in the type library. False when nothing was created.
bool NewProject(TWorkbench& workbench, TNewProjectAnswers answers);

// Closes the open project, then reads the project file (nothing when the
// closing question is cancelled). Either the whole
// file is read, or (the error escapes to the caller, naming the file) the
// workbench is left with no project at all.
void OpenProject(TWorkbench& workbench, const std::string& path);

// Writes the project to its file; a project without one asks for a name
// first (".crf" is added when missing). Nothing when no project is open or
// the question is cancelled.
void SaveProject(TWorkbench& workbench);

// Program exit: closes the project, then shuts the UML tool link down.
// False when the closing question was cancelled: the program goes on.
bool ExitProjects(TWorkbench& workbench);

} // namespace telvo
