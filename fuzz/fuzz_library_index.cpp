// Indexes a library holding one file with arbitrary bytes and checks the
// listed name against the plain rule: the name taken from the first line
// holding "<FBType", however the file's lines fall on the reader's chunks.

#include "model/library_index.h"
#include "model/user_interface.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

class QuietUI : public telvo::TUserInterface {
public:
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    std::string UserHint(const std::string& text, int) override { return text; }
    void Log(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void BeginBusy() override {}
    void EndBusy() override {}
};

const std::filesystem::path& libraryDir()
{
    static const std::filesystem::path dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "telvo-fuzz-library-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        std::filesystem::create_directories(std::filesystem::path(tmpl) / "lib");
        return std::filesystem::path(tmpl);
    }();
    return dir;
}

std::string expectedName(std::string_view text)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string_view::npos ? text.size() : nl;
        std::string_view line = text.substr(start, end - start);
        if (line.find("<FBType") != std::string_view::npos)
            return telvo::TypeNameFromFBTypeLine(line);
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto file = libraryDir() / "lib" / "t.fbt";
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    ::close(fd);

    QuietUI ui;
    telvo::TLibraryIndex index;
    std::vector<std::string> names;
    telvo::IndexLibraryFolder(libraryDir(), index, names, ui);

    const std::string expected = expectedName(std::string_view(reinterpret_cast<const char*>(data), size));
    if (expected.empty()) {
        if (!index.Folders.empty())
            std::abort();
    } else if (index.Folders.size() != 1 || index.Folders[0].Name != "lib" ||
               index.Folders[0].TypeNames.size() != 1 || index.Folders[0].TypeNames[0] != expected) {
        std::abort();
    }
    return 0;
}
