#pragma once
// The workbench context: one object owns the FB manager, the system layer,
// the project manager, the library index, the settings and the program
// folder. No globals: components receive the workbench, or the part of it
// they need.

#include "model/fb_manager.h"
#include "model/library_index.h"
#include "model/project_manager.h"
#include "model/settings.h"
#include "model/user_interface.h"
#include "systemlayer/system_layer.h"
#include "workbench/program_folders.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace telvo {

class TWorkbench final : public TProjectHost {
public:
    // The program folder holds library/, images/, KALO/ and settings.ini.
    // Installed or not writable, it is only read and the running user's
    // folders take what the workbench writes (see TProgramFolders).
    TWorkbench(std::filesystem::path programFolder, TUserInterface& ui);
    TWorkbench(TProgramFolders folders, TUserInterface& ui);
    ~TWorkbench() override;
    TWorkbench(const TWorkbench&) = delete;
    TWorkbench& operator=(const TWorkbench&) = delete;

    const std::filesystem::path& ProgramFolder() const { return folders_.Program; }
    const TProgramFolders& Folders() const { return folders_; }
    // The library folder types and libraries are written to: the program
    // folder's own, or the user's beside an installed one.
    std::filesystem::path LibraryFolder() const { return folders_.UserLibrary(); }
    // Every library folder, the user's first: indexing and loading take them all.
    std::vector<std::filesystem::path> LibraryFolders() const { return folders_.LibraryFolders(); }
    // A file below the library (templates/NEWBASICFB.fbt) from the first
    // library folder that holds it, else from the shipped library.
    std::filesystem::path LibraryFile(const std::filesystem::path& relative) const;
    std::filesystem::path ImagesFolder() const { return folders_.Program / "images"; }
    std::filesystem::path KaloFolder() const { return folders_.Kalo(); }
    std::filesystem::path SettingsFile() const { return folders_.Settings; }

    TUserInterface& UI() const { return *ui_; }
    TFB_Manager& FBManager() const override { return *fbManager_; }
    TSystemLayerManager& SystemLayer() const { return *systemLayer_; }
    // The open project's own data; it lives as long as the workbench.
    TProject_Manager& ProjectManager() const { return *projectManager_; }

    // Closing a project replaces the FB manager with a new empty one; the
    // library index and LibraryTypeNames survive.
    void ResetFBManager();
    // Closing a project also replaces the system layer; the FB manager is
    // hooked to the new one.
    void ResetSystemLayer() override;

    // Indexes the library folders into LibraryIndex and LibraryTypeNames; run
    // at start-up and whenever the user asks for a fresh look at the library.
    // Indexing again lists nothing twice.
    void IndexLibrary();

    TLibraryIndex LibraryIndex;
    // Upper-case type names already indexed: detects duplicates.
    std::vector<std::string> LibraryTypeNames;
    TSettings Settings;

private:
    TProgramFolders folders_;
    TUserInterface* ui_;
    // The layer is made first and goes last: the FB manager hears of
    // everything that dies in it.
    std::unique_ptr<TSystemLayerManager> systemLayer_;
    std::unique_ptr<TFB_Manager> fbManager_;
    std::unique_ptr<TProject_Manager> projectManager_;
};

// The program folder: the --home option when given, else TELVO_HOME, else the
// folder of the running executable or the installation's share/telvo-zoze
// (ProgramFolderForExecutable).
std::filesystem::path ResolveProgramFolder(const std::string& homeOption);

} // namespace telvo
