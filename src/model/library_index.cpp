#include "model/library_index.h"

#include "model/file_staging.h"
#include "model/file_util.h"
#include "model/user_interface.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace telvo {

TLibraryFolder* TLibraryIndex::FindFolder(const std::string& name)
{
    for (auto& f : Folders)
        if (f.Name == name)
            return &f;
    return nullptr;
}

const TLibraryFolder* TLibraryIndex::FolderListing(const std::string& typeName) const
{
    for (const auto& f : Folders)
        for (const auto& t : f.TypeNames)
            if (t == typeName)
                return &f;
    return nullptr;
}

namespace {

constexpr std::string_view kFBTypeMarker = "<FBType";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive search of a lower-case needle.
bool containsNoCase(std::string_view hay, std::string_view lowerNeedle)
{
    if (hay.size() < lowerNeedle.size())
        return false;
    for (size_t i = 0; i + lowerNeedle.size() <= hay.size(); ++i) {
        if (hay[i] != '.')
            continue;
        size_t k = 1;
        while (k < lowerNeedle.size() && lowerAscii(hay[i + k]) == lowerNeedle[k])
            ++k;
        if (k == lowerNeedle.size())
            return true;
    }
    return false;
}

// The value of the Name attribute of the FBType tag starting at `tag` (just
// after "<FBType"), when the tag's attributes on this line are well formed
// and one of them is Name.
bool nameAttribute(std::string_view rest, std::string& out)
{
    size_t i = 0;
    const size_t n = rest.size();
    if (i >= n || !isSpace(rest[i]))
        return false; // "<FBTypeX" or "<FBType>": no attributes here
    for (;;) {
        while (i < n && isSpace(rest[i]))
            ++i;
        if (i >= n || rest[i] == '>' || rest[i] == '/')
            return false;
        size_t nameStart = i;
        while (i < n && !isSpace(rest[i]) && rest[i] != '=' && rest[i] != '>' && rest[i] != '/')
            ++i;
        std::string_view attr = rest.substr(nameStart, i - nameStart);
        while (i < n && isSpace(rest[i]))
            ++i;
        if (i >= n || rest[i] != '=')
            return false;
        ++i;
        while (i < n && isSpace(rest[i]))
            ++i;
        if (i >= n || (rest[i] != '"' && rest[i] != '\''))
            return false;
        char quote = rest[i++];
        size_t close = rest.find(quote, i);
        if (close == std::string_view::npos)
            return false;
        if (attr == "Name") {
            out.assign(rest.substr(i, close - i));
            return true;
        }
        i = close + 1;
    }
}

bool lessFileName(const std::string& a, const std::string& b)
{
    if (LessNoCase(a, b))
        return true;
    if (LessNoCase(b, a))
        return false;
    return a < b; // names that differ only in case still get one fixed order
}

class Indexer {
public:
    Indexer(TLibraryIndex& index, std::vector<std::string>& typeNames, TUserInterface& ui)
        : index_(index), typeNames_(typeNames), ui_(ui), upperNames_(typeNames.begin(), typeNames.end())
    {
        buffer_.resize(kChunk);
    }

    // `inTypeFolder`: a folder name above (below the library) already holds
    // ".fbt" or ".xml", so every file here counts as a type file.
    void indexFolder(const std::string& path, bool inTypeFolder)
    {
        DIR* dir = ::opendir(path.c_str());
        struct stat st {};
        if (dir && ::fstat(::dirfd(dir), &st) == 0) {
            // A symbolic link back up the tree would otherwise recurse for ever.
            for (const auto& [dev, ino] : visiting_)
                if (dev == st.st_dev && ino == st.st_ino) {
                    ::closedir(dir);
                    return;
                }
        }

        ui_.SetStatus("Adding Library: " + path + ".");
        const std::string entryName = lastComponent(path);
        if (!index_.FindFolder(entryName))
            index_.Folders.push_back({entryName, {}});

        std::vector<std::string> folders, files;
        if (dir) {
            while (dirent* e = ::readdir(dir)) {
                const char* name = e->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                bool isDir = e->d_type == DT_DIR;
                if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
                    struct stat target {};
                    isDir = ::fstatat(::dirfd(dir), name, &target, 0) == 0 && S_ISDIR(target.st_mode);
                }
                // Files staged by an import are not in the library until
                // they are moved in, and a killed import's never are.
                if (isDir && IsStagingFolderName(name))
                    continue;
                (isDir ? folders : files).emplace_back(name);
            }
            visiting_.emplace_back(st.st_dev, st.st_ino);
            ::closedir(dir);
        }
        std::sort(folders.begin(), folders.end(), lessFileName);
        std::sort(files.begin(), files.end(), lessFileName);

        for (const auto& f : folders)
            indexFolder(path + "/" + f, inTypeFolder || IsLibraryTypePath(f));
        if (dir)
            visiting_.pop_back();

        // A same-named folder below may have removed this entry when it was
        // still empty; the entry is looked up by name again, not kept.
        std::string previousName;
        std::string filePath;
        for (const auto& f : files) {
            if (!inTypeFolder && !IsLibraryTypePath(f))
                continue;
            filePath.assign(path).append("/").append(f);
            std::string name;
            if (readDeclaredName(filePath, name))
                previousName = std::move(name);
            if (!previousName.empty())
                list(entryName, previousName);
        }

        auto it = std::find_if(index_.Folders.begin(), index_.Folders.end(),
                               [&](const TLibraryFolder& e) { return e.Name == entryName; });
        if (it != index_.Folders.end() && it->TypeNames.empty()) {
            listed_.erase(entryName);
            index_.Folders.erase(it);
        }
    }

private:
    static constexpr size_t kChunk = 16 * 1024;

    static std::string lastComponent(const std::string& path)
    {
        std::string_view p = path;
        while (p.size() > 1 && p.back() == '/')
            p.remove_suffix(1);
        size_t cut = p.rfind('/');
        return std::string(cut == std::string_view::npos ? p : p.substr(cut + 1));
    }

    void list(const std::string& entryName, const std::string& name)
    {
        TLibraryFolder* entry = index_.FindFolder(entryName);
        if (!entry) {
            index_.Folders.push_back({entryName, {}});
            entry = &index_.Folders.back();
        }
        auto [slot, fresh] = listed_.try_emplace(entryName);
        if (fresh)
            slot->second.insert(entry->TypeNames.begin(), entry->TypeNames.end());
        auto& listed = slot->second;
        // A name listed with the duplicate warning counts as listed too, or
        // every re-indexing would list the warned name once more.
        std::string warned = name + std::string(DuplicateNameWarning);
        if (listed.count(name) || listed.count(warned))
            return;
        std::string upper = UpperCase(name);
        std::string shown;
        if (upperNames_.insert(upper).second) {
            typeNames_.push_back(std::move(upper));
            shown = name;
        } else {
            shown = std::move(warned);
        }
        listed.insert(shown);
        entry->TypeNames.push_back(std::move(shown));
    }

    // Reads the file only up to the end of the first line holding "<FBType".
    // Returns false when the file has no such line or cannot be read.
    bool readDeclaredName(const std::string& path, std::string& name)
    {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            return false;
        struct stat st {};
        // Only regular files: a FIFO named like a type file must not block us.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return false;
        }
        size_t used = 0;      // bytes held in buffer_
        size_t lineStart = 0; // start of the line being searched
        size_t searched = 0;  // everything before this has no marker start
        size_t marker = std::string::npos;
        bool eof = false;
        for (;;) {
            if (!eof) {
                if (buffer_.size() - used < kChunk / 2) {
                    // Drop finished lines before growing: only the current line matters.
                    if (marker == std::string::npos && lineStart > 0) {
                        std::memmove(buffer_.data(), buffer_.data() + lineStart, used - lineStart);
                        used -= lineStart;
                        searched -= lineStart;
                        lineStart = 0;
                    }
                    if (buffer_.size() - used < kChunk / 2)
                        buffer_.resize(buffer_.size() * 2);
                }
                ssize_t got = ::read(fd, buffer_.data() + used, buffer_.size() - used);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    eof = true;
                else
                    used += static_cast<size_t>(got);
            }
            std::string_view held(buffer_.data(), used);
            if (marker == std::string::npos) {
                size_t at = held.find(kFBTypeMarker, searched);
                if (at == std::string_view::npos) {
                    size_t lastBreak = held.rfind('\n');
                    if (lastBreak != std::string_view::npos && lastBreak + 1 > lineStart)
                        lineStart = lastBreak + 1;
                    searched = used >= kFBTypeMarker.size() ? used - kFBTypeMarker.size() + 1 : 0;
                    searched = std::max(searched, lineStart);
                    if (eof)
                        break;
                    continue;
                }
                marker = at;
                size_t lastBreak = held.rfind('\n', at);
                if (lastBreak != std::string_view::npos && lastBreak + 1 > lineStart)
                    lineStart = lastBreak + 1;
            }
            size_t lineEnd = held.find('\n', marker);
            if (lineEnd == std::string_view::npos && !eof)
                continue;
            if (lineEnd == std::string_view::npos)
                lineEnd = used;
            ::close(fd);
            name = TypeNameFromFBTypeLine(held.substr(lineStart, lineEnd - lineStart));
            return true;
        }
        ::close(fd);
        return false;
    }

    TLibraryIndex& index_;
    std::vector<std::string>& typeNames_;
    TUserInterface& ui_;
    std::unordered_set<std::string> upperNames_;
    // Per folder entry, the texts it lists: keeps the "already listed" test
    // cheap for the large flat folders real libraries have.
    std::unordered_map<std::string, std::unordered_set<std::string>> listed_;
    std::vector<std::pair<dev_t, ino_t>> visiting_;
    std::vector<char> buffer_;
};

} // namespace

std::string TypeNameFromFBTypeLine(std::string_view line)
{
    size_t at = line.find(kFBTypeMarker);
    std::string name;
    if (at != std::string_view::npos && nameAttribute(line.substr(at + kFBTypeMarker.size()), name))
        return name;
    size_t open = line.find('"');
    if (open == std::string_view::npos)
        return {};
    size_t close = line.find('"', open + 1);
    if (close == std::string_view::npos)
        return {};
    return std::string(line.substr(open + 1, close - open - 1));
}

bool IsLibraryTypePath(std::string_view relativePath)
{
    return containsNoCase(relativePath, ".fbt") || containsNoCase(relativePath, ".xml");
}

void IndexLibraryFolder(const std::filesystem::path& folder, TLibraryIndex& index,
                        std::vector<std::string>& libraryTypeNames, TUserInterface& ui)
{
    std::string root = folder.string();
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    Indexer indexer(index, libraryTypeNames, ui);
    // Only the part below the library counts for ".fbt"/".xml": where the
    // program is installed must not change what is indexed.
    indexer.indexFolder(root, false);
}

} // namespace telvo
