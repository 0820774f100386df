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

    TFB_Diagram* CreateDiagram(const std::string& name, double zoom);
    void DeleteDiagram(TFB_Diagram* diagram);

    int32_t TakeDiagramNumber() { return NextDiagramNumber++; }
    int32_t TakeInstanceNumber() { return NextInstanceNumber++; }
};

} // namespace telvo
