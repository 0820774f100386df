#include "model/file_staging.h"

#include "model/file_util.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telvo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view StagingPrefix = ".telvo-staging-";

std::runtime_error writeError(const fs::path& target, int err)
{
    return std::runtime_error("Cannot write file " + target.string() + ": " + std::strerror(err));
}

// Opens a staging folder and takes its lock without waiting; -1 when the
// folder is gone, is no folder, or another run holds it.
int lockFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the descriptor still stands for the folder at `path`: a run that
// cleans up may have removed the folder between its creation and our lock.
bool stillThere(int fd, const fs::path& path)
{
    struct stat held {}, named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

} // namespace

bool IsStagingFolderName(std::string_view name) { return name.substr(0, StagingPrefix.size()) == StagingPrefix; }

void RemoveStaleStagingFolders(const fs::path& folder)
{
    std::error_code ec;
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (IsStagingFolderName(it->path().filename().string()) && it->is_directory(ec) && !it->is_symlink(ec))
            stale.push_back(it->path());
    for (const fs::path& s : stale) {
        const int fd = lockFolder(s);
        if (fd < 0)
            continue; // a live run's, or gone already
        fs::remove_all(s, ec);
        ::close(fd);
    }
}

TFileStaging::~TFileStaging() { Discard(); }

TFileStaging::TStage& TFileStaging::stageFor(const fs::path& folder)
{
    for (TStage& s : stages_)
        if (s.Folder == folder)
            return s;

    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        // Remember what we make, to take it away again when nothing comes of it.
        std::vector<fs::path> missing;
        for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
            missing.push_back(p);
            if (p == p.parent_path())
                break;
        }
        fs::create_directories(folder, ec);
        if (ec)
            throw std::runtime_error("Cannot make the folder " + folder.string() + ": " + ec.message());
        made_.insert(made_.end(), missing.rbegin(), missing.rend());
    }
    RemoveStaleStagingFolders(folder);

    // A run cleaning up at the same moment may take a folder we just made
    // before we lock it: then we make another.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = (folder / (std::string(StagingPrefix) + "XXXXXX")).string();
        if (!::mkdtemp(name.data()))
            throw std::runtime_error("Cannot make a staging folder in " + folder.string() + ": " +
                                     std::strerror(errno));
        const int fd = lockFolder(name);
        if (fd >= 0 && stillThere(fd, name)) {
            stages_.push_back(TStage{folder, name, fd});
            return stages_.back();
        }
        if (fd >= 0)
            ::close(fd);
    }
    throw std::runtime_error("Cannot make a staging folder in " + folder.string() +
                             ": other runs keep removing it");
}

fs::path TFileStaging::stagedPath(const fs::path& target)
{
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    return stageFor(folder).Staging / target.filename();
}

void TFileStaging::Write(const fs::path& target, std::string_view bytes)
{
    std::error_code ec;
    if (target.filename().empty() || fs::is_directory(target, ec))
        throw writeError(target, EISDIR);
    const fs::path staged = stagedPath(target);
    // The staging folder is ours alone and thrown away whole when anything
    // fails: the file needs no temporary of its own. It is flushed to disk
    // with all the others when they are moved in.
    const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw writeError(target, errno);
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            throw writeError(target, err);
        }
        p += n;
        left -= size_t(n);
    }
    if (::close(fd) != 0)
        throw writeError(target, errno);
    if (staged_.emplace(target, targets_.size()).second)
        targets_.push_back(target);
}

void TFileStaging::Commit()
{
    // The contents reach the disk before any name points at them.
    for (const TStage& s : stages_)
        if (::syncfs(s.Lock) != 0)
            throw std::runtime_error("Cannot write the files staged in " + s.Folder.string() + ": " +
                                     std::strerror(errno));
    try {
        for (const fs::path& target : targets_) {
            const fs::path staged = stagedPath(target);
            struct stat st {};
            if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
                WriteFileAtomic(target, ReadFileText(staged));
                continue;
            }
            if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                ::chmod(staged.c_str(), st.st_mode & 07777);
            if (::rename(staged.c_str(), target.c_str()) != 0)
                throw writeError(target, errno);
        }
    } catch (...) {
        Discard();
        throw;
    }
    targets_.clear();
    staged_.clear();
    made_.clear(); // they hold what was moved in
    Discard();
}

void TFileStaging::Discard()
{
    std::error_code ec;
    for (TStage& s : stages_) {
        fs::remove_all(s.Staging, ec);
        if (s.Lock >= 0)
            ::close(s.Lock);
    }
    stages_.clear();
    targets_.clear();
    staged_.clear();
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
        fs::remove(*it, ec); // only when empty
    made_.clear();
}

} // namespace telvo
