#pragma once
// Files that only make sense together (the type files and networks of one
// UML import) are written into hidden staging folders first, one inside
// each folder that receives files, so that moving them in is a rename on
// the same file system. They are moved to their places only when all of
// them are written: a run that fails or is killed before leaves every
// target as it was. What a killed run staged stays in its hidden folder
// until the next run that stages in that folder removes it; readers that
// list folders (the library index) skip staging folders.
//
// A run holds a lock on each of its staging folders while it lives, so a
// run that cleans up never takes the folder of another one still running,
// whatever process namespace it runs in.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFileStaging {
public:
    TFileStaging() = default;
    // Whatever was not committed is discarded.
    ~TFileStaging();
    TFileStaging(const TFileStaging&) = delete;
    TFileStaging& operator=(const TFileStaging&) = delete;

    // Writes the bytes that are to become `target`; the target itself is
    // not touched. Writing a target again replaces its bytes. Makes the
    // target's folder when it is missing. Throws std::runtime_error naming
    // the target when the bytes cannot be written or the target is a folder.
    void Write(const std::filesystem::path& target, std::string_view bytes);

    // The targets written, in the order of their first write.
    const std::vector<std::filesystem::path>& Targets() const { return targets_; }

    // Moves every staged file to its target, in the order of Targets(), and
    // removes the staging folders. A file replaced keeps its mode; a
    // symbolic link is written through to the file it names, as a save
    // does. Throws std::runtime_error naming the target that could not be
    // moved in; the targets before it are in place, the rest is discarded.
    void Commit();

    // Removes the staging folders with what they hold, and the folders
    // Write made that stayed empty.
    void Discard();

private:
    struct TStage {
        std::filesystem::path Folder;  // where the targets go
        std::filesystem::path Staging; // the hidden folder inside it
        int Lock = -1;                 // open on Staging, locked while we live
    };
    TStage& stageFor(const std::filesystem::path& folder);
    std::filesystem::path stagedPath(const std::filesystem::path& target);

    std::vector<TStage> stages_;
    std::vector<std::filesystem::path> targets_;
    std::map<std::filesystem::path, size_t> staged_; // target -> index into targets_
    // Folders Write made, deepest last: removed again when they stay empty.
    std::vector<std::filesystem::path> made_;
};

// Whether a folder entry is a staging folder (its name starts with
// ".telvo-staging-").
bool IsStagingFolderName(std::string_view name);

// Removes the staging folders in `folder` whose run is gone; those of live
// runs stay. Errors are ignored: the next run tries again.
void RemoveStaleStagingFolders(const std::filesystem::path& folder);

} // namespace telvo
