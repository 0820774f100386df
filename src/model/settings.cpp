#include "model/settings.h"

#include "model/file_util.h"
#include "model/value_text.h"

// Text is kept as the UTF-8 bytes it is; no code-page conversion.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace telvo {

struct TSettings::Impl {
    CSimpleIniA ini{false, false, false};
};

TSettings::TSettings() : impl_(std::make_unique<Impl>()) {}
TSettings::~TSettings() = default;

bool TSettings::Load(const std::filesystem::path& file)
{
    file_ = file;
    impl_->ini.Reset();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return true;
    std::string text;
    try {
        text = ReadFileText(file);
    } catch (const std::exception&) {
        return false;
    }
    return impl_->ini.LoadData(text.data(), text.size()) >= 0;
}

bool TSettings::Load(const std::filesystem::path& file, const std::filesystem::path& defaults)
{
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(file, ec)) || defaults.empty())
        return Load(file);
    const bool read = Load(defaults);
    file_ = file;
    return read;
}

void TSettings::Save() const
{
    std::string out;
    impl_->ini.Save(out);
    WriteFileAtomic(file_, out);
}

std::string TSettings::GetString(const std::string& key, const std::string& def) const
{
    return impl_->ini.GetValue(Section, key.c_str(), def.c_str());
}

int TSettings::GetInt(const std::string& key, int def) const
{
    int32_t v = def;
    const char* text = impl_->ini.GetValue(Section, key.c_str(), nullptr);
    if (text && TryParseInteger(text, v))
        return v;
    return def;
}

bool TSettings::GetBool(const std::string& key, bool def) const
{
    const char* text = impl_->ini.GetValue(Section, key.c_str(), nullptr);
    if (!text)
        return def;
    std::string u = UpperCase(text);
    if (u == "1" || u == "TRUE" || u == "YES")
        return true;
    if (u == "0" || u == "FALSE" || u == "NO")
        return false;
    return def;
}

void TSettings::SetString(const std::string& key, const std::string& value)
{
    impl_->ini.SetValue(Section, key.c_str(), value.c_str());
}

void TSettings::SetInt(const std::string& key, int value) { SetString(key, std::to_string(value)); }
void TSettings::SetBool(const std::string& key, bool value) { SetString(key, value ? "1" : "0"); }

} // namespace telvo
