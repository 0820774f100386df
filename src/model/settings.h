#pragma once
// settings.ini: the workbench's own settings, in the
// section "Values". Read and written through SimpleIni so that keys and
// comments the workbench does not know survive a save.

#include <filesystem>
#include <memory>
#include <string>

namespace telvo {

class TSettings {
public:
    TSettings();
    ~TSettings();
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;

    static constexpr const char* Section = "Values";

    // Loads the file; a missing file gives empty settings. Returns false (and
    // keeps empty settings) when the file exists but cannot be read.
    bool Load(const std::filesystem::path& file);
    // Loads `file`, or `defaults` while `file` does not exist; saves go to
    // `file` either way.
    bool Load(const std::filesystem::path& file, const std::filesystem::path& defaults);
    // Saves to the file it was loaded from (atomically).
    void Save() const;
    const std::filesystem::path& File() const { return file_; }

    std::string GetString(const std::string& key, const std::string& def = "") const;
    int GetInt(const std::string& key, int def) const;
    bool GetBool(const std::string& key, bool def) const;
    void SetString(const std::string& key, const std::string& value);
    void SetInt(const std::string& key, int value);
    void SetBool(const std::string& key, bool value);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::filesystem::path file_;
};

} // namespace telvo
