#pragma once
// The transformation facility's second phase ("OK"): the ticked part of the
// transformation tree becomes FB types in library/imported, project-wide
// instance records, IPTs with their IPPs in the system layer, event, data
// and IPP connection records, and one FB network diagram per interaction
// diagram.
//
// Building is all or nothing: every object made is recorded, and a failure
// part-way takes all of it back, so the project and the type library are
// left as they were. The type files (and, when the project is saved here,
// the networks) are staged in hidden folders beside their places and moved
// in only at the end, once everything is written: a failure or a killed run
// leaves library/imported and the project folder as they were.

#include "model/file_staging.h"
#include "umlimport/transformation.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace telvo {
class TFB_Diagram;
class TFB_Type;
class TWorkbench;
} // namespace telvo

namespace telvo::uml {

class TUmlImportBuilder {
public:
    explicit TUmlImportBuilder(TWorkbench& workbench) : wb_(workbench) {}

    // Width of the diagram the IPP pictures are placed in: actuators go to
    // the width less 200.
    int DiagramWidth = 1024;

    // A build neither committed nor taken back is taken back.
    ~TUmlImportBuilder();
    TUmlImportBuilder(const TUmlImportBuilder&) = delete;
    TUmlImportBuilder& operator=(const TUmlImportBuilder&) = delete;

    // Builds from the tree into the open project; the type files are
    // staged. False, with everything taken back and the user told why, when
    // building failed part-way. A build still open is taken back first.
    bool Build(const TTransformation& transformation);

    // Moves the staged type files into library/imported and closes the
    // build (the window: the user saves the project). False, with
    // everything taken back and the user told why, when they cannot be
    // moved in.
    bool Commit();

    // Saves the project with the networks staged as well, and moves every
    // staged file in once the project file is written; closes the build.
    // False, with everything taken back (the project file too) and the user
    // told why, when the save fails.
    bool SaveAndCommit();

    // Takes back what the open build made.
    void Rollback();

    // The diagrams made by the last successful build, in order.
    std::vector<TFB_Diagram*> Diagrams;
    // The types written, by file (in library/imported once committed).
    std::vector<std::string> TypeFiles;

private:
    void createType(const TTransNode& root);
    void createInstance(const std::string& instance, const std::string& type);
    void createIpts(const TTransNode& root);
    void createConnections(const TTransformation& t);
    void createDiagram(const TTransNode& diagram);
    std::string diagramFileFor(const std::string& name, const std::string& projectFile);
    void message(const std::string& text);
    bool fail(const std::string& reason);

    TWorkbench& wb_;
    // What undoes each step made so far, in the order of the steps.
    std::vector<std::function<void()>> undo_;
    // Instances already reported as impossible.
    std::set<std::string> refused_;
    // The files the project's diagrams are saved to, made absolute: a new
    // diagram's file must be none of them.
    std::set<std::string> diagramFiles_;
    bool diagramFilesKnown_ = false;
    TFileStaging staging_;
};

// The three parts of a data entry "name:type=initial value".
struct TDataEntryParts {
    std::string Name, Type, InitialValue;
};
TDataEntryParts SplitDataEntry(const std::string& entry);

} // namespace telvo::uml
