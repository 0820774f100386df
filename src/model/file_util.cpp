#include "model/file_util.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes)
{
    static std::atomic<unsigned> counter{0};
    std::filesystem::path tmp = path;
    tmp += ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("Cannot write file " + path.string() + ": " + std::strerror(errno));
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            throw std::runtime_error("Cannot write file " + path.string() + ": " + std::strerror(err));
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw std::runtime_error("Cannot write file " + path.string() + ": " + std::strerror(err));
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw std::runtime_error("Cannot write file " + path.string() + ": " + std::strerror(err));
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
