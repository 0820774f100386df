#pragma once
// The recent-projects list: four paths, most recent first, mirrored in
// settings.ini under the keys "0" to "3".

#include <QString>

#include <array>
#include <string>

namespace telvo {

class TSettings;

class TRecentProjects {
public:
    static constexpr int Count = 4;

    void Load(const TSettings& settings);
    void Save(TSettings& settings) const;

    // A project was read from `path`: unless it is entry 0 already, the
    // entries move down one place (the last falls off) and the path becomes
    // entry 0. A path further down the list stays where it is.
    void Opened(const std::string& path);

    const std::array<std::string, Count>& Entries() const { return entries_; }

private:
    std::array<std::string, Count> entries_;
};

// The menu caption of a recent project: the path behind an accelerator mark,
// with any "&" of the path doubled so that the menu shows it as it is.
QString RecentProjectCaption(const std::string& path);
// The path back from a caption: the first "&" (the accelerator mark) goes,
// doubled ones become single again.
std::string RecentProjectPath(const QString& caption);

} // namespace telvo
