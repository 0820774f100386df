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

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace telvo {

class TWorkbench final : public TProjectHost {
public:
    // The program folder holds library/, images/, KALO/ and settings.ini.
    TWorkbench(std::filesystem::path programFolder, TUserInterface& ui);
    ~TWorkbench() override;
    TWorkbench(const TWorkbench&) = delete;
    TWorkbench& operator=(const TWorkbench&) = delete;

    const std::filesystem::path& ProgramFolder() const { return programFolder_; }
    std::filesystem::path LibraryFolder() const { return programFolder_ / "library"; }
    std::filesystem::path ImagesFolder() const { return programFolder_ / "images"; }
    std::filesystem::path KaloFolder() const { return programFolder_ / "KALO"; }
    std::filesystem::path SettingsFile() const { return programFolder_ / "settings.ini"; }

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

    // Indexes the library folder into LibraryIndex and LibraryTypeNames; run
    // at start-up and whenever the user asks for a fresh look at the library.
    // Indexing again lists nothing twice.
    void IndexLibrary();

    TLibraryIndex LibraryIndex;
    // Upper-case type names already indexed: detects duplicates.
    std::vector<std::string> LibraryTypeNames;
    TSettings Settings;

private:
    std::filesystem::path programFolder_;
    TUserInterface* ui_;
    // The layer is made first and goes last: the FB manager hears of
    // everything that dies in it.
    std::unique_ptr<TSystemLayerManager> systemLayer_;
    std::unique_ptr<TFB_Manager> fbManager_;
    std::unique_ptr<TProject_Manager> projectManager_;
};

// The program folder: the --home option when given, else TELVO_HOME, else the
// folder of the running executable.
std::filesystem::path ResolveProgramFolder(const std::string& homeOption);

} // namespace telvo
