#include "ui/typeeditor/type_snapshot.h"

#include "model/fb_diagram.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"

namespace telvo {

namespace fs = std::filesystem;

TTypeSnapshots::TTypeSnapshots(fs::path folder) : folder_(std::move(folder)) { fs::create_directories(folder_); }

namespace {

std::string networkPart(const std::string& text)
{
    const size_t from = text.find("<FBNetwork");
    if (from == std::string::npos)
        return {};
    const size_t to = text.find("</FBNetwork>", from);
    return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

} // namespace

void TTypeSnapshots::SetBase(const std::string& text, const TFB_Type* readFromIt)
{
    base_ = text;
    baseNetwork_.clear();
    if (!base_.empty())
        WriteFileAtomic(folder_ / "base.fbt", base_);
    if (readFromIt && readFromIt->Composite)
        baseNetwork_ = networkPart(writeText(*readFromIt, true));
}

std::string TTypeSnapshots::writeText(const TFB_Type& type, bool network) const
{
    // The writer only takes the base's file name from the type it is given.
    TFB_Type base;
    if (!base_.empty())
        base.FileName = (folder_ / "base.fbt").string();
    const fs::path file = folder_ / "snapshot.fbt";
    // Written as a basic type, the type leaves the base's FBNetwork as it
    // stands. The flag is put back at once; the type is not changed.
    auto& flag = const_cast<TFB_Type&>(type).Composite;
    const bool composite = flag;
    if (!network)
        flag = false;
    bool written = false;
    try {
        written = WriteFBType(file.string(), type, base_.empty() ? nullptr : &base, true,
                              flag ? type.Network.get() : nullptr);
    } catch (...) {
        flag = composite;
        throw;
    }
    flag = composite;
    return written ? ReadFileText(file) : std::string();
}

std::string TTypeSnapshots::WriteNetwork(const TFB_Type& type) const { return writeText(type, true); }

bool TTypeSnapshots::KeepsBaseNetwork(const TFB_Type& type) const
{
    return type.Composite && !baseNetwork_.empty() && networkPart(writeText(type, true)) == baseNetwork_;
}

std::string TTypeSnapshots::Write(const TFB_Type& type) const
{
    if (!type.Composite)
        return writeText(type, true);
    const std::string full = writeText(type, true);
    if (!baseNetwork_.empty() && networkPart(full) == baseNetwork_)
        return writeText(type, false);
    return full;
}

bool TTypeSnapshots::Save(const TFB_Type& type, const fs::path& file) const
{
    const std::string text = Write(type);
    if (text.empty())
        return false;
    WriteFileAtomic(file, text);
    return true;
}

std::unique_ptr<TFB_Type> TTypeSnapshots::Read(const std::string& text, TFB_Manager* manager,
                                               const std::string& fileNameForMessages)
{
    auto type = std::make_unique<TFB_Type>();
    if (!ReadFBType(text, *type, manager, fileNameForMessages))
        return nullptr;
    // The network always knows its manager and type, so that the composition
    // page can place instances even in a network the file left empty.
    type->Network->Manager = manager;
    type->Network->InnerNetwork = true;
    type->Network->CompositeType = type.get();
    return type;
}

} // namespace telvo
