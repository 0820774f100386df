#include "model/library_index.h"

namespace telvo {

TLibraryFolder* TLibraryIndex::FindFolder(const std::string& name)
{
    for (auto& f : Folders)
        if (f.Name == name)
            return &f;
    return nullptr;
}

const TLibraryFolder* TLibraryIndex::FolderListing(const std::string& typeName) const
{
    for (const auto& f : Folders)
        for (const auto& t : f.TypeNames)
            if (t == typeName)
                return &f;
    return nullptr;
}

} // namespace telvo
