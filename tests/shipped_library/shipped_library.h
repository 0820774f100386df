#pragma once
// The FB type library that ships in the repository's library/ folder, read
// once per test process with the real type file reader.

#include "model/fb_manager.h"
#include "model/fb_type.h"
#include "model/library_index.h"
#include "model/user_interface.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace telvo::test {

struct TShippedFile {
    std::filesystem::path Path;
    std::string Folder;             // events, opc, templates...
    std::string Text;               // the file as it is on disk
    std::unique_ptr<TFB_Type> Type; // null when the reader refused the file
    std::string ReadError;          // why, when it did
};

class TShippedLibrary {
public:
    // Every type file below the repository's library/ folder, in path order.
    static const TShippedLibrary& Get();

    const TShippedFile* Find(const std::string& typeName) const;
    // The type the manager loads from the library index, as a composite
    // network's inner instance would get it.
    TFB_Type* LoadThroughManager(const std::string& typeName) const;

    std::vector<TShippedFile> Files;
    TLibraryIndex Index;
    std::vector<std::string> IndexedNames;

private:
    TShippedLibrary();
    mutable TRecordingUserInterface ui_;
    std::unique_ptr<TFB_Manager> manager_;
};

std::filesystem::path ShippedLibraryFolder();

} // namespace telvo::test
