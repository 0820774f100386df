#pragma once
// Where the workbench reads what it ships and where it writes what belongs
// to the user. A program folder of the user's own (the build tree's bin/, a
// copy named by --home) takes both, as it always did. An installed one
// (share/telvo-zoze below the executables' prefix) or one the user may not
// write is only ever read: settings, the user's types and everything else
// the workbench writes go to the user's XDG base directories instead. The
// location decides, not only the permission bits: root may write anywhere,
// and must not change the files every user shares.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace telvo {

class TUserInterface;

// The folder below share/ that an installation puts the program folder in,
// and below the XDG base directories the user's own files.
inline constexpr const char* InstalledFolderName = "telvo-zoze";

// The running user's base directories.
struct TUserFolders {
    std::filesystem::path Home;
    std::filesystem::path ConfigHome; // $XDG_CONFIG_HOME, else ~/.config
    std::filesystem::path DataHome;   // $XDG_DATA_HOME, else ~/.local/share
};

// From HOME, XDG_CONFIG_HOME and XDG_DATA_HOME as `getenv` gives them. A
// relative XDG path is ignored, as the base directory rules say; without
// HOME the password database names the home folder.
TUserFolders UserFoldersFrom(const std::function<const char*(const char*)>& getenv);
TUserFolders CurrentUserFolders();

struct TProgramFolders {
    // The shipped content: library/, images/, settings.ini, examples/.
    std::filesystem::path Program;
    // Program is only read; the user's folders take every write.
    bool Shared = false;
    // settings.ini as read and saved (recent projects and window state too).
    std::filesystem::path Settings;
    // Holds the user's library/ and KALO/; Program itself when not Shared.
    std::filesystem::path UserData;
    // Where new projects are proposed: Program when not Shared (as always),
    // else the user's home folder.
    std::filesystem::path Projects;

    std::filesystem::path ShippedSettings() const { return Program / "settings.ini"; }
    std::filesystem::path ShippedLibrary() const { return Program / "library"; }
    // Where types and libraries are written.
    std::filesystem::path UserLibrary() const { return UserData / "library"; }
    std::filesystem::path Kalo() const { return UserData / "KALO"; }
    // Every library folder, in the order types are looked up and listed:
    // the user's before the shipped one, so that a user's type of the same
    // name is the one projects get. One folder when not Shared.
    std::vector<std::filesystem::path> LibraryFolders() const;
    // Whether `file` lies in the shipped, read-only content.
    bool IsShipped(const std::filesystem::path& file) const;
    // The place a shipped file would be saved to instead: its counterpart
    // in the user's library (library/Plant/Tank.fbt goes to the user's
    // library/Plant/Tank.fbt), or the user's library itself for any other
    // shipped file; a file of the user's own stays where it is.
    std::filesystem::path WritableCounterpart(const std::filesystem::path& file) const;
};

// Whether the folder sits where an installation puts it: .../share/telvo-zoze.
bool IsInstalledLocation(const std::filesystem::path& programFolder);

TProgramFolders DecideProgramFolders(const std::filesystem::path& programFolder, const TUserFolders& user);

// Makes the user's folders of a Shared program folder and, the first time,
// copies the shipped settings.ini to the user's. What cannot be made is
// logged: the workbench still runs on the shipped settings.
void PrepareUserFolders(const TProgramFolders& folders, TUserInterface& ui);

// The program folder for an executable in `exeFolder` when neither --home
// nor TELVO_HOME names one: the executable's own folder when it holds
// library/ (a build tree, a copied program folder), else an installation's
// ../share/telvo-zoze when that exists, else the executable's folder.
std::filesystem::path ProgramFolderForExecutable(const std::filesystem::path& exeFolder);

} // namespace telvo
