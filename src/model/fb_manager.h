#pragma once
// The FB manager: every loaded FB type, the diagrams of the open project,
// the project-wide instance records and the connection records.

#include "model/fb_diagram.h"
#include "model/fb_type.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace telvo {

class TUserInterface;
struct TLibraryIndex;

// Reads the XML text of a type file into a fresh type. Installed by the
// persistence layer so that the model can load types on demand without
// depending on it. Returns false when the root is not a type; throws on
// malformed XML.
using TTypeReader = std::function<bool(const std::string& xmlText, TFB_Type& target)>;

// What the FB manager needs from the workbench to load types on demand.
struct TTypeLoadContext {
    TUserInterface* UI = nullptr;
    std::filesystem::path ProgramFolder;
    const TLibraryIndex* Index = nullptr;
    TTypeReader Reader;
};

class TFB_Manager {
public:
    explicit TFB_Manager(TTypeLoadContext context = {}) : Context(std::move(context)) {}
    ~TFB_Manager();
    TFB_Manager(const TFB_Manager&) = delete;
    TFB_Manager& operator=(const TFB_Manager&) = delete;

    TTypeLoadContext Context;

    TOwnedList<TFB_Diagram> Diagrams;
    TOwnedList<TFB_Type> Types;
    int32_t NextDiagramNumber = 1;
    int32_t NextInstanceNumber = 1;

    TFB_Type* FindType(const std::string& name) const;

    // Reads a type from the lines of a type file with Context.Reader and
    // appends it to Types; a type the reader refuses is destroyed. Does not
    // look for a loaded type of the same name. Malformed XML throws out of
    // here to the caller, which reports it.
    bool LoadTypeFromLines(const std::vector<std::string>& lines);
    // Loads a type from the library: program folder + "/library/" + folder +
    // "/" + typeName + ".fbt" (else ".xml"). An empty folder means the first
    // index entry that lists exactly typeName. Tells the user when the file
    // is missing or is not a type; on success the type's FileName is the
    // file it came from.
    bool LoadTypeFromLibrary(const std::string& folder, const std::string& typeName);

    TFB_Diagram* CreateDiagram(const std::string& name, double zoom);
    void DeleteDiagram(TFB_Diagram* diagram);

    int32_t TakeDiagramNumber() { return NextDiagramNumber++; }
    int32_t TakeInstanceNumber() { return NextInstanceNumber++; }

private:
    TFB_Type* loadTypeFromText(const std::string& xmlText);

    // Types being read from the library right now: a composite type whose
    // network (directly or further down) holds an instance of itself would
    // otherwise load itself for ever.
    std::vector<std::string> loading_;
};

} // namespace telvo
