#include "model/file_util.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <unistd.h>

namespace telvo {

namespace {

std::runtime_error readError(const std::filesystem::path& path, const std::string& reason)
{
    return std::runtime_error("Cannot read file " + path.string() + ": " + reason);
}

} // namespace

std::runtime_error FileTooLargeError(const std::filesystem::path& path)
{
    return readError(path, "is larger than 256 MiB");
}

int OpenFileToRead(const std::filesystem::path& path, size_t& size)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come; the flag is dropped again once the file is known to be regular.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw std::runtime_error("Cannot open file " + path.string() + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        throw readError(path, std::strerror(err));
    }
    const char* refusal = S_ISDIR(st.st_mode)                                 ? "is a directory"
                          : !S_ISREG(st.st_mode)                              ? "is not a regular file"
                          : static_cast<uint64_t>(st.st_size) > kMaxReadFileSize ? "is larger than 256 MiB"
                                                                              : nullptr;
    if (refusal) {
        ::close(fd);
        throw readError(path, refusal);
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    size = static_cast<size_t>(st.st_size);
    return fd;
}

std::string ReadFileText(const std::filesystem::path& path)
{
    size_t expected = 0;
    int fd = OpenFileToRead(path, expected);
    std::string text;
    // One byte more than announced, so that a file that grew is noticed
    // without a second pass; it is read on to its real end.
    text.resize(expected + 1);
    size_t size = 0;
    while (true) {
        if (size == text.size()) {
            if (size > kMaxReadFileSize) {
                ::close(fd);
                throw FileTooLargeError(path);
            }
            text.resize(std::min(text.size() * 2, kMaxReadFileSize + 1));
        }
        ssize_t n = ::read(fd, text.data() + size, text.size() - size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            ::close(fd);
            throw readError(path, std::strerror(err));
        }
        if (n == 0)
            break;
        size += static_cast<size_t>(n);
    }
    ::close(fd);
    if (size > kMaxReadFileSize)
        throw FileTooLargeError(path);
    text.resize(size);
    return text;
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string_view::npos ? text.size() : nl;
        size_t len = end - start;
        if (len > 0 && text[start + len - 1] == '\r')
            --len;
        lines.emplace_back(text.substr(start, len));
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string out;
    size_t total = 0;
    for (const auto& l : lines)
        total += l.size() + 1;
    out.reserve(total);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += '\n';
        out += lines[i];
    }
    return out;
}

namespace {

std::runtime_error writeError(const std::filesystem::path& path, int err)
{
    return std::runtime_error("Cannot write file " + path.string() + ": " + std::strerror(err));
}

// The file a save must replace: a symbolic link is followed to its target
// (relative links from the link's own folder), so that the link stays a
// link and the file it names gets the new content. A dangling link names
// the file to create, unless the mode wants new files under their own name.
std::filesystem::path saveTarget(const std::filesystem::path& path, TWriteMode mode)
{
    std::filesystem::path target = path;
    if (mode == TWriteMode::Create) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0)
            throw writeError(path, EEXIST);
        return target;
    }
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (mode == TWriteMode::Output && target != path)
                throw std::runtime_error("Cannot write file " + path.string() + ": it is a symbolic link to " +
                                         target.string() + ", which does not exist");
            return target;
        }
        if (!S_ISLNK(st.st_mode))
            return target;
        std::error_code ec;
        std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec)
            return target;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    throw writeError(path, ELOOP);
}

// Temporary files are named NAME + ".tmp" + process id + "_" + a counter.
std::string tempPrefix(const std::filesystem::path& target) { return target.filename().string() + ".tmp"; }

// A save killed half-way where the file system cannot keep its temporary
// file unnamed leaves NAME.tmpPID_N behind. The next save of NAME removes
// those whose process is gone.
void sweepStaleTemporaries(const std::filesystem::path& target)
{
    const std::string prefix = tempPrefix(target);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        // PID "_" N, digits only.
        std::string_view rest = std::string_view(name).substr(prefix.size());
        size_t cut = rest.find('_');
        if (cut == 0 || cut == std::string_view::npos || cut + 1 == rest.size() || cut > 9 ||
            rest.find_first_not_of("0123456789_") != std::string_view::npos || rest.find('_', cut + 1) != rest.npos)
            continue;
        pid_t pid = static_cast<pid_t>(std::stol(std::string(rest.substr(0, cut))));
        if (pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(it->path().c_str());
    }
}

bool writeAll(int fd, std::string_view bytes)
{
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool gUnnamedTemporaries = true;

// Gives the complete temporary file the target's name; a new file only
// where nothing has that name by then (a link that appeared meanwhile is
// not followed either). False with errno set when it failed.
bool publish(const std::filesystem::path& tmp, const std::filesystem::path& target, bool onlyNew)
{
    if (!onlyNew)
        return ::rename(tmp.c_str(), target.c_str()) == 0;
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // A file system that knows no flags for renaming: a hard link takes a
    // free name only, and the temporary name goes after.
    if (::link(tmp.c_str(), target.c_str()) != 0)
        return false;
    ::unlink(tmp.c_str());
    return true;
}

} // namespace

void UseUnnamedTemporaries(bool use) { gUnnamedTemporaries = use; }

void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes, TWriteMode writeMode)
{
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target = saveTarget(path, writeMode);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

    // The new file gets the mode of the one it replaces; a new file the
    // ordinary mode under the umask.
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const mode_t mode = replacing ? (old.st_mode & 07777) : 0666;

    sweepStaleTemporaries(target);

    std::filesystem::path tmp = target;
    tmp += ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);

    // Writes the temporary file and gives it its name; false when an
    // unnamed file could not be named (no /proc), to try again with a named
    // one.
    auto writeTemporary = [&](bool unnamed) {
        int fd = -1;
#ifdef O_TMPFILE
        if (unnamed)
            fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#endif
        if (fd < 0) {
            if (unnamed)
                return false;
            fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        }
        if (fd < 0)
            throw writeError(path, errno);
        auto fail = [&](int err) {
            ::close(fd);
            if (!unnamed)
                ::unlink(tmp.c_str());
            return writeError(path, err);
        };
        if (!writeAll(fd, bytes))
            throw fail(errno);
        // The umask narrowed the mode at creation; the old file's mode is
        // kept whole.
        if (replacing && ::fchmod(fd, mode) != 0)
            throw fail(errno);
        if (::fsync(fd) != 0)
            throw fail(errno);
        if (unnamed) {
            std::string self = "/proc/self/fd/" + std::to_string(fd);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, tmp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                int err = errno;
                ::close(fd);
                if (err == ENOENT && !std::filesystem::exists("/proc/self/fd"))
                    return false;
                throw writeError(path, err);
            }
        }
        if (::close(fd) != 0) {
            int err = errno;
            ::unlink(tmp.c_str());
            throw writeError(path, err);
        }
        return true;
    };
    // Where the file system can, the temporary file has no name until it is
    // complete: a save killed half-way leaves nothing behind.
    if (!(gUnnamedTemporaries && writeTemporary(true)))
        writeTemporary(false);
    if (!publish(tmp, target, writeMode == TWriteMode::Create)) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw writeError(path, err);
    }
}

std::string BareFileName(std::string_view storedPath)
{
    size_t cut = storedPath.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? storedPath : storedPath.substr(cut + 1));
}

std::string NormalizeSeparators(std::string_view storedPath)
{
    std::string s(storedPath);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

std::string UpperCase(std::string_view text)
{
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool LessNoCase(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
}

} // namespace telvo
