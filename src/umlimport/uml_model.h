#pragma once
// The UML model the import works on, as read from an XMI file saved by
// Umbrello (XMI 1.2, UML 1.4 metamodel): classes with their stereotypes,
// operations, parameters and attributes; the class, sequence and use-case
// diagrams; actors and use cases. Reading never fails on content it cannot
// use: such content is listed in Problems, naming the element, and the rest
// is read.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace telvo::uml {

// The file is no XMI document at all (malformed XML or another root).
class EXmiError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TUmlParameter {
    std::string Name, Type, InitialValue;
};

struct TUmlOperation {
    std::string Id, Name;
    std::vector<TUmlParameter> Parameters;
};

struct TUmlAttribute {
    std::string Name, Type, InitialValue;
    // 0 public, 1 protected, 2 private, 3 implementation.
    int ExportControl = 0;
    // 0 unspecified, 1 an output of the class ("out" stereotype), 2 an input
    // ("in" stereotype).
    int Containment = 0;
};

struct TUmlClass {
    std::string Id, Name, Stereotype;
    std::vector<TUmlOperation> Operations;
    std::vector<TUmlAttribute> Attributes;
    // Indexes into TUmlModel::Classes of the classes this one specialises.
    std::vector<int> Parents;
};

struct TUmlObject {
    std::string LocalId; // the widget's id, which messages name
    std::string Name;    // the instance name; may be empty
    int Class = -1;      // index into TUmlModel::Classes, -1 when none
    std::string ClassName;
};

struct TUmlMessage {
    std::string Name;
    int Sender = -1; // indexes into the diagram's Objects, -1 when none
    int Receiver = -1;
};

struct TUmlDiagram {
    enum TKind { Class = 1, UseCase = 2, Sequence = 3, Collaboration = 4 };
    std::string Id, Name;
    int Kind = 0;
    // Empty for the Logical View itself, else the package directly inside
    // it that holds the diagram.
    std::string Category;
    std::vector<TUmlObject> Objects;
    std::vector<TUmlMessage> Messages; // top to bottom
    std::vector<int> Classes;          // class diagrams: the classes shown
};

struct TUmlModel {
    std::string Name;
    std::string Exporter;
    std::vector<TUmlClass> Classes;
    // Interaction diagrams: those of the Logical View first, then those of
    // each package directly inside it.
    std::vector<TUmlDiagram> SequenceDiagrams;
    // The Logical View's class diagrams.
    std::vector<TUmlDiagram> ClassDiagrams;
    std::vector<std::string> UseCaseDiagrams;
    std::vector<std::string> Actors;
    std::vector<std::string> UseCases;
    // What the model holds that the import cannot use, one line each.
    std::vector<std::string> Problems;

    // The first class of that name, or none.
    const TUmlClass* FindClass(const std::string& name) const;
    // The operation of that name of the class or, failing that, of the
    // classes it specialises (nearest first); none when there is none.
    const TUmlOperation* FindOperation(const TUmlClass& cls, const std::string& name) const;
    // The class's own operations followed by the inherited ones whose names
    // it does not have itself.
    std::vector<const TUmlOperation*> AllOperations(const TUmlClass& cls) const;
    std::vector<const TUmlAttribute*> AllAttributes(const TUmlClass& cls) const;
};

// Reads the XMI text. Throws EXmiError, naming `fileName`, when the text is
// no XML or its root is not XMI.
TUmlModel ReadUmlModel(const std::string& xmiText, const std::string& fileName);
// Reads a file; a file that cannot be read throws EXmiError too.
TUmlModel ReadUmlModelFile(const std::filesystem::path& path);

} // namespace telvo::uml
