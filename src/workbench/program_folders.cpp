#include "workbench/program_folders.h"

#include "model/file_util.h"
#include "model/user_interface.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace telvo {

namespace fs = std::filesystem;

namespace {

// An XDG variable counts only when set to an absolute path.
fs::path absoluteOr(const char* value, const fs::path& fallback)
{
    if (value && *value == '/')
        return fs::path(value).lexically_normal();
    return fallback;
}

fs::path homeFolder(const std::function<const char*(const char*)>& getenv)
{
    if (const char* home = getenv("HOME"); home && *home)
        return fs::path(home).lexically_normal();
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

// A folder that is there and may not be written. One that is not there
// (yet) is the user's to make, as it always was.
bool readOnlyFolder(const fs::path& folder)
{
    std::error_code ec;
    return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK) != 0;
}

// The path as the file system has it, for comparisons: links and ".."
// resolved as far as the path exists.
fs::path realPath(const fs::path& p)
{
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::absolute(p), ec);
    return ec ? fs::absolute(p).lexically_normal() : real;
}

// `p` relative to `folder` when it lies inside it, else empty.
fs::path inside(const fs::path& folder, const fs::path& p)
{
    const fs::path rel = realPath(p).lexically_relative(realPath(folder));
    if (rel.empty() || *rel.begin() == "..")
        return {};
    return rel;
}

} // namespace

TUserFolders UserFoldersFrom(const std::function<const char*(const char*)>& getenv)
{
    TUserFolders user;
    user.Home = homeFolder(getenv);
    user.ConfigHome = absoluteOr(getenv("XDG_CONFIG_HOME"), user.Home / ".config");
    user.DataHome = absoluteOr(getenv("XDG_DATA_HOME"), user.Home / ".local" / "share");
    return user;
}

TUserFolders CurrentUserFolders()
{
    return UserFoldersFrom([](const char* name) { return std::getenv(name); });
}

bool IsInstalledLocation(const fs::path& programFolder)
{
    const fs::path p = fs::absolute(programFolder).lexically_normal();
    const fs::path folder = p.has_filename() ? p : p.parent_path();
    return folder.filename() == InstalledFolderName && folder.parent_path().filename() == "share";
}

TProgramFolders DecideProgramFolders(const fs::path& programFolder, const TUserFolders& user)
{
    TProgramFolders folders;
    folders.Program = programFolder;
    folders.Shared = IsInstalledLocation(programFolder) || readOnlyFolder(programFolder);
    if (folders.Shared) {
        folders.Settings = user.ConfigHome / InstalledFolderName / "settings.ini";
        folders.UserData = user.DataHome / InstalledFolderName;
        folders.Projects = user.Home;
    } else {
        folders.Settings = programFolder / "settings.ini";
        folders.UserData = programFolder;
        folders.Projects = programFolder;
    }
    return folders;
}

std::vector<fs::path> TProgramFolders::LibraryFolders() const
{
    if (!Shared)
        return {ShippedLibrary()};
    return {UserLibrary(), ShippedLibrary()};
}

bool TProgramFolders::IsShipped(const fs::path& file) const
{
    return Shared && !inside(Program, file).empty();
}

fs::path TProgramFolders::WritableCounterpart(const fs::path& file) const
{
    if (!Shared)
        return file;
    const fs::path rel = inside(Program, file);
    if (rel.empty())
        return file;
    if (*rel.begin() == "library")
        return UserData / rel;
    return UserLibrary() / rel.filename();
}

void PrepareUserFolders(const TProgramFolders& folders, TUserInterface& ui)
{
    if (!folders.Shared)
        return;
    for (const fs::path& folder : {folders.Settings.parent_path(), folders.UserLibrary(), folders.Kalo()}) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec)
            ui.Log("Cannot make the folder " + folder.string() + ": " + ec.message());
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(folders.Settings, ec)) || !fs::is_regular_file(folders.ShippedSettings(), ec))
        return;
    try {
        // Create, not Save: a second workbench starting at the same moment
        // may have made it already, and its copy is as good as ours.
        WriteFileAtomic(folders.Settings, ReadFileText(folders.ShippedSettings()), TWriteMode::Create);
    } catch (const std::exception& e) {
        if (!fs::exists(folders.Settings, ec))
            ui.Log(std::string("The settings are not copied for this user: ") + e.what());
    }
}

fs::path ProgramFolderForExecutable(const fs::path& exeFolder)
{
    std::error_code ec;
    if (fs::is_directory(exeFolder / "library", ec))
        return exeFolder;
    const fs::path installed = (exeFolder.parent_path() / "share" / InstalledFolderName);
    if (fs::is_directory(installed, ec))
        return installed;
    return exeFolder;
}

} // namespace telvo
