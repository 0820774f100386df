#pragma once
// The type library index: folders of the library with the type names their
// files declare, in listing order. Types are read only when first needed.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TUserInterface;

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

// Appended to a listed name whose upper-case form was listed before.
inline constexpr std::string_view DuplicateNameWarning = " [WARNING Duplicate name found!]";

// Indexes `folder` (the library folder) and everything below it into `index`:
// every type file is listed by the type name it declares under the entry
// named after its folder's own name. `libraryTypeNames` holds the upper-case
// names listed so far and flags duplicates. Each folder visited is announced
// as "Adding Library: <folder>." through ui.SetStatus. Indexing again lists
// nothing twice. Folders and files are visited in case-insensitive name
// order so the index is the same on every machine.
void IndexLibraryFolder(const std::filesystem::path& folder, TLibraryIndex& index,
                        std::vector<std::string>& libraryTypeNames, TUserInterface& ui);

// The type name declared on a line holding "<FBType": its Name attribute when
// the line carries one, else the first double-quoted value on the line (files
// of some tools put Comment first, ours put Name first). Empty when neither.
std::string TypeNameFromFBTypeLine(std::string_view line);

// Whether a path below the library names a type file: ".fbt" or ".xml"
// anywhere in it, in any case (libraries copied from Windows keep ".FBT").
bool IsLibraryTypePath(std::string_view relativePath);

} // namespace telvo
