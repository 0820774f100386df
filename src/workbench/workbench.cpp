#include "workbench/workbench.h"

#include "persistence/type_file.h"

#include <cstdlib>
#include <unistd.h>

namespace telvo {

TWorkbench::TWorkbench(std::filesystem::path programFolder, TUserInterface& ui)
    : TWorkbench(DecideProgramFolders(programFolder, CurrentUserFolders()), ui)
{
}

TWorkbench::TWorkbench(TProgramFolders folders, TUserInterface& ui) : folders_(std::move(folders)), ui_(&ui)
{
    PrepareUserFolders(folders_, ui);
    Settings.Load(SettingsFile(), folders_.Shared ? folders_.ShippedSettings() : std::filesystem::path());
    systemLayer_ = std::make_unique<TSystemLayerManager>(folders_.Program);
    ResetFBManager();
    projectManager_ = std::make_unique<TProject_Manager>(*this);
}

TWorkbench::~TWorkbench() = default;

void TWorkbench::ResetFBManager()
{
    TTypeLoadContext context;
    context.UI = ui_;
    context.ProgramFolder = folders_.Program;
    context.LibraryFolders = folders_.LibraryFolders();
    context.UserFolder = folders_.UserData;
    context.Index = &LibraryIndex;
    TFB_Manager* owner = nullptr;
    fbManager_.reset(); // the old manager's types may be needed by nothing now
    fbManager_ = std::make_unique<TFB_Manager>(std::move(context));
    owner = fbManager_.get();
    fbManager_->Context.Reader = [owner](const std::string& xml, TFB_Type& target) {
        return ReadFBType(xml, target, owner);
    };
    fbManager_->AttachSystemLayer(systemLayer_.get());
}

void TWorkbench::ResetSystemLayer()
{
    // The old layer tells the FB manager that everything in it goes.
    systemLayer_ = std::make_unique<TSystemLayerManager>(folders_.Program);
    fbManager_->AttachSystemLayer(systemLayer_.get());
}

void TWorkbench::IndexLibrary()
{
    for (const std::filesystem::path& folder : LibraryFolders())
        IndexLibraryFolder(folder, LibraryIndex, LibraryTypeNames, *ui_);
}

std::filesystem::path TWorkbench::LibraryFile(const std::filesystem::path& relative) const
{
    for (const std::filesystem::path& folder : LibraryFolders()) {
        std::error_code ec;
        if (std::filesystem::exists(folder / relative, ec))
            return folder / relative;
    }
    return folders_.ShippedLibrary() / relative;
}

std::filesystem::path ResolveProgramFolder(const std::string& homeOption)
{
    if (!homeOption.empty())
        return std::filesystem::absolute(homeOption);
    if (const char* env = std::getenv("TELVO_HOME"); env && *env)
        return std::filesystem::absolute(env);
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return ProgramFolderForExecutable(exe.parent_path());
    return std::filesystem::current_path();
}

} // namespace telvo
