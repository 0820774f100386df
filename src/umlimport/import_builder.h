#pragma once
// The transformation facility's second phase ("OK"): the ticked part of the
// transformation tree becomes FB types in library/imported, project-wide
// instance records, IPTs with their IPPs in the system layer, event, data
// and IPP connection records, and one FB network diagram per interaction
// diagram.
//
// Building is all or nothing: every object made and every file written is
// recorded, and a failure part-way takes all of it back, so the project,
// the type library and library/imported are left as they were.

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

    // Builds from the tree. False, with everything taken back and the user
    // told why, when building failed part-way.
    bool Build(const TTransformation& transformation);

    // The diagrams made by the last successful build, in order.
    std::vector<TFB_Diagram*> Diagrams;
    // The types written, by file.
    std::vector<std::string> TypeFiles;

private:
    void createType(const TTransNode& root);
    void createInstance(const std::string& instance, const std::string& type);
    void createIpts(const TTransNode& root);
    void createConnections(const TTransformation& t);
    void createDiagram(const TTransNode& diagram);
    void message(const std::string& text);
    void rollback();

    TWorkbench& wb_;
    // What undoes each step made so far, in the order of the steps.
    std::vector<std::function<void()>> undo_;
    // Instances already reported as impossible.
    std::set<std::string> refused_;
};

// The three parts of a data entry "name:type=initial value".
struct TDataEntryParts {
    std::string Name, Type, InitialValue;
};
TDataEntryParts SplitDataEntry(const std::string& entry);

} // namespace telvo::uml
