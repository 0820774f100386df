#include "shipped_library/shipped_library.h"

#include "model/file_util.h"
#include "persistence/type_file.h"
#include "support/test_support.h"

#include <algorithm>
#include <exception>

namespace telvo::test {

std::filesystem::path ShippedLibraryFolder()
{
    return SourceDir() / "library";
}

TShippedLibrary::TShippedLibrary()
{
    const auto folder = ShippedLibraryFolder();
    IndexLibraryFolder(folder, Index, IndexedNames, ui_);

    TTypeLoadContext context;
    context.UI = &ui_;
    context.ProgramFolder = SourceDir();
    context.Index = &Index;
    manager_ = std::make_unique<TFB_Manager>(std::move(context));
    TFB_Manager* manager = manager_.get();
    manager_->Context.Reader = [manager](const std::string& xml, TFB_Type& target) {
        return ReadFBType(xml, target, manager);
    };

    auto paths = FilesWithExtension(folder, ".fbt");
    auto xml = FilesWithExtension(folder, ".xml");
    paths.insert(paths.end(), xml.begin(), xml.end());
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        TShippedFile file;
        file.Path = path;
        file.Folder = path.parent_path().filename().string();
        file.Text = ReadFileText(path);
        auto type = std::make_unique<TFB_Type>();
        try {
            if (ReadFBType(file.Text, *type, manager, path.string()))
                file.Type = std::move(type);
            else
                file.ReadError = "the root element is not FBType";
        } catch (const std::exception& e) {
            file.ReadError = e.what();
        }
        Files.push_back(std::move(file));
    }
}

const TShippedLibrary& TShippedLibrary::Get()
{
    static const TShippedLibrary library;
    return library;
}

const TShippedFile* TShippedLibrary::Find(const std::string& typeName) const
{
    for (const auto& f : Files)
        if (f.Type && f.Type->Name == typeName)
            return &f;
    return nullptr;
}

TFB_Type* TShippedLibrary::LoadThroughManager(const std::string& typeName) const
{
    if (TFB_Type* t = manager_->FindType(typeName))
        return t;
    if (!manager_->LoadTypeFromLibrary("", typeName))
        return nullptr;
    return manager_->FindType(typeName);
}

} // namespace telvo::test
