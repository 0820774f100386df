#pragma once
// The type library index: folders of the library with the type names their
// files declare, in listing order. Types are read only when first needed.

#include <string>
#include <vector>

namespace telvo {

struct TLibraryFolder {
    std::string Name;                   // the folder's own name, not its path
    std::vector<std::string> TypeNames; // listed names, duplicate warning included
};

struct TLibraryIndex {
    std::vector<TLibraryFolder> Folders;

    TLibraryFolder* FindFolder(const std::string& name);
    // The first folder that lists exactly this name, or nullptr.
    const TLibraryFolder* FolderListing(const std::string& typeName) const;
};

} // namespace telvo
