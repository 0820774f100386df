#pragma once
// Project files (.crf): the project's title, its UML model link and comment,
// the list of FB network files, the project FB instance records and the whole
// system layer with the distribution of instances to devices. The diagrams
// themselves live in their own network files, written with the project.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace telvo {

class TFB_Diagram;
class TFB_Manager;
class TFileStaging;
class TProject_Manager;
class TSystemLayerManager;
class TUserInterface;

// A project file that cannot be read as one: missing, not well-formed XML,
// not a project document, or holding a value that is no number where one
// must be. The message names the file.
class EProjectFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Everything a project is made of, as the workbench holds it.
struct TProjectParts {
    TProject_Manager& Project;
    TFB_Manager& FBManager;
    TSystemLayerManager& SystemLayer;
    TUserInterface& UI;
    // Holds images/: IPT pictures there are stored as "images\" + name.
    std::filesystem::path ProgramFolder;
    // Handed to the UML tool link when a project file makes one.
    std::string StereotypesPath = "-";
};

// Where a file name stored in a project file is now. A relative name is taken
// from the project file's folder, never from the working folder; then the
// bare file name (after the last "\" or "/") in the project file's folder, so
// that a project folder moved elsewhere, or written on Windows, still finds
// its files. Empty when neither exists.
std::string ResolveProjectRelative(const std::string& projectFile, const std::string& storedName);

// Writes every diagram that holds anything to its network file, then the
// project document to `path`; both atomically. Diagrams without a file name
// get one in the project file's folder. Throws std::runtime_error naming the
// file that could not be written.
//
// With `networks`, the network files are written there instead (the caller
// moves them in once everything that belongs with them is written) and only
// the project document goes to its place; the diagrams take their file
// names all the same.
void WriteProjectFile(const TProjectParts& parts, const std::string& path, TFileStaging* networks = nullptr);
// The file a project saved to `projectFile` writes the diagram to: its own
// file, or one named after it in the project file's folder.
std::string ProjectDiagramFile(const TFB_Diagram& diagram, const std::string& projectFile);
// The project document alone, as WriteProjectFile would write it after the
// diagrams' file names are settled.
std::string ProjectToText(const TProjectParts& parts, const std::string& path);

// Fills the (closed and emptied) project from `path`. What cannot be
// resolved inside a readable file (an unknown IPT type, a connection naming
// no object, an instance whose type cannot be loaded, a device instance that
// is in no diagram, a missing network file) is told to the user and skipped;
// the rest is read. A file that cannot be read as a project throws
// EProjectFileError before anything is changed; a network file that is not
// well-formed throws out of the middle of the read, and the caller must then
// discard the half-read project.
void ReadProjectFile(const TProjectParts& parts, const std::string& path);
// The same from the text of a project file stored at `path`.
void ReadProjectText(const TProjectParts& parts, const std::string& xmlText, const std::string& path);
// The network files and process-interface diagram files that a project file
// names and that cannot be found, each as the reader tells it.
std::vector<std::string> MissingProjectFiles(const std::string& path);

} // namespace telvo
