#include "model/fb_manager.h"

#include "model/file_util.h"
#include "model/library_index.h"
#include "model/user_interface.h"

#include <algorithm>
#include <optional>

namespace telvo {

TFB_Manager::~TFB_Manager()
{
    // Diagrams reference types and records, so they go first.
    Diagrams.clear();
    Types.clear();
}

TFB_Type* TFB_Manager::FindType(const std::string& name) const
{
    for (const auto& t : Types)
        if (t && t->Name == name)
            return t.get();
    return nullptr;
}

TFB_Type* TFB_Manager::loadTypeFromText(const std::string& xmlText)
{
    if (!Context.Reader)
        return nullptr;
    // The reader may load inner types of a composite network into Types
    // meanwhile; the new type goes after them.
    auto type = std::make_unique<TFB_Type>();
    if (!Context.Reader(xmlText, *type))
        return nullptr;
    Types.push_back(std::move(type));
    return Types.back().get();
}

bool TFB_Manager::LoadTypeFromLines(const std::vector<std::string>& lines)
{
    return loadTypeFromText(JoinLines(lines)) != nullptr;
}

namespace {

// A library folder or type name names one entry of one folder: anything that
// would step elsewhere on disk cannot be a library file.
bool isPlainName(const std::string& name)
{
    return name != "." && name != ".." && name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

} // namespace

bool TFB_Manager::LoadTypeFromLibrary(const std::string& folder, const std::string& typeName)
{
    std::optional<TBusyScope> busy;
    if (Context.UI)
        busy.emplace(*Context.UI);

    std::string folderName = folder;
    if (folderName.empty() && Context.Index)
        if (const TLibraryFolder* listing = Context.Index->FolderListing(typeName))
            folderName = listing->Name;

    const std::string path = Context.ProgramFolder.string() + "/library/" + folderName + "/" + typeName;
    std::string file;
    if (!typeName.empty() && isPlainName(typeName) && (folderName.empty() || isPlainName(folderName))) {
        // ".fbt" before ".xml"; a library copied from Windows may keep the
        // extensions in upper case.
        for (const char* ext : {".fbt", ".FBT", ".xml", ".XML"}) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(path + ext, ec)) {
                file = path + ext;
                break;
            }
        }
    }
    if (file.empty()) {
        if (Context.UI)
            Context.UI->ShowMessage("Filetype not found" + path + ".fbt");
        return false;
    }

    auto cannotLoad = [&] {
        if (Context.UI)
            Context.UI->UserHint("Cannot load Function Block type from file: " + file, 6);
        return false;
    };
    if (std::find(loading_.begin(), loading_.end(), typeName) != loading_.end())
        return cannotLoad();
    loading_.push_back(typeName);
    TFB_Type* type = nullptr;
    try {
        type = loadTypeFromText(ReadFileText(file));
    } catch (...) {
        loading_.pop_back();
        throw;
    }
    loading_.pop_back();
    if (!type)
        return cannotLoad();
    type->FileName = file;
    return true;
}

TFB_Diagram* TFB_Manager::CreateDiagram(const std::string& name, double zoom)
{
    Diagrams.push_back(std::make_unique<TFB_Diagram>(name, zoom));
    return Diagrams.back().get();
}

void TFB_Manager::DeleteDiagram(TFB_Diagram* diagram)
{
    auto it = std::find_if(Diagrams.begin(), Diagrams.end(), [&](const auto& d) { return d.get() == diagram; });
    if (it != Diagrams.end())
        Diagrams.erase(it);
}

} // namespace telvo
