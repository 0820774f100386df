#include "systemlayer/image_size.h"
#include "systemlayer/system_layer.h"

#include <algorithm>
#include <array>

namespace telvo {

namespace {

constexpr std::array<std::string_view, 11> NamePrefixes{
    "network", "IEC_fieldbus", "fieldbus", "IEC_Device", "OPC_Device", "NonIECdevice",
    "computer", "IUnit", "switch", "", ""};

constexpr std::array<std::string_view, 11> KindImages{
    "images/netbone.bmp", "", "", "images/device3.bmp", "images/OPCdevice.bmp", "images/device1.bmp",
    "images/Comp047.bmp", "images/iunit.bmp", "images/switch.bmp", "", ""};

constexpr std::array<TslIptSubtype, slIptSubtypeCount> IptSubtypes{{
    {"Undefined", "images/aaa.bmp", ""},
    {"Alarm", "images/ALARM.bmp", "alarm"},
    {"Boiler", "images/boiler.bmp", "boiler"},
    {"Compressor", "images/compress.bmp", "compressor"},
    {"Control Panel", "images/control.bmp", "ControlPanel"},
    {"Drill", "images/Drill.bmp", "Drill"},
    {"Robot Arm", "images/robotarm.bmp", "RobotArm"},
    {"HMI", "images/hmi.bmp", "HMI_SCADA"},
    {"Undefined", "", "IPT_"},
    {"Conveyer", "images/conveyer.bmp", "conveyer"},
    {"Feeder", "images/feeder.bmp", "feeder"},
}};

const std::string NoDescription = "Description NONE";

std::string WithForwardSlashes(std::string_view name)
{
    std::string s(name);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

} // namespace

std::string_view ObjectNamePrefix(uint8_t kind)
{
    return kind < NamePrefixes.size() ? NamePrefixes[kind] : std::string_view();
}

std::string_view KindImageFile(uint8_t kind)
{
    return kind < KindImages.size() ? KindImages[kind] : std::string_view();
}

const TslIptSubtype* IptSubtype(int subtype)
{
    if (subtype < 0 || subtype >= slIptSubtypeCount)
        return nullptr;
    return &IptSubtypes[static_cast<size_t>(subtype)];
}

int IptSubtypeOfTypeName(std::string_view typeName)
{
    // Subtype 0 shares its name with the custom IPT and is never stored as
    // such: a stored "Undefined" is a custom IPT.
    for (int i = 1; i < slIptSubtypeCount; ++i)
        if (IptSubtypes[static_cast<size_t>(i)].TypeName == typeName)
            return i;
    return -1;
}

std::filesystem::path ImagePathUnder(const std::filesystem::path& programFolder, std::string_view imageName)
{
    std::string s = WithForwardSlashes(imageName);
    if (s.empty())
        return {};
    std::filesystem::path p(s);
    if (p.is_absolute() || programFolder.empty())
        return p;
    return programFolder / p;
}

// ---- TslObject ----

TslObject::TslObject(uint8_t kind, TSystemLayerManager* layer, const std::string& imageFile)
    : Kind(kind), Layer(layer)
{
    BitmapFile = WithForwardSlashes(imageFile);
    LoadPicture(imageFile, BlankWidth, BlankHeight);
}

TslObject::~TslObject() = default;

void TslObject::LoadPicture(const std::string& file, int32_t blankWidth, int32_t blankHeight)
{
    std::filesystem::path path = Layer ? Layer->ImagePath(file) : ImagePathUnder({}, file);
    if (auto size = ReadImageSize(path))
        Bitmap = TslPicture{path, size->Width, size->Height};
    else
        Bitmap = TslPicture{{}, blankWidth, blankHeight};
    Width = Bitmap.Width;
    Height = Bitmap.Height;
}

void TslObject::SetImage(const std::string& file)
{
    BitmapFile = WithForwardSlashes(file);
    LoadPicture(file, ReplacedBlankWidth, ReplacedBlankHeight);
}

void TslObject::BeginDrag(int32_t x, int32_t y)
{
    if (!Selected)
        return;
    DragOffsetX = x - Left;
    DragOffsetY = y - Top;
}

void TslObject::DragTo(int32_t x, int32_t y)
{
    if (!Selected)
        return;
    Left = x - DragOffsetX;
    Top = y - DragOffsetY;
}

// ---- devices ----

TslDeviceIO* TslIODevice::AddInput(const std::string& name)
{
    auto io = std::make_unique<TslDeviceIO>();
    io->IOName = name;
    InputList.push_back(std::move(io));
    return InputList.back().get();
}

TslDeviceIO* TslIODevice::AddOutput(const std::string& name)
{
    auto io = std::make_unique<TslDeviceIO>();
    io->IOName = name;
    OutputList.push_back(std::move(io));
    return OutputList.back().get();
}

void TslIODevice::ClearIO()
{
    InputList.clear();
    OutputList.clear();
}

void TslIODevice::FillIO(int count, const std::string& inputPrefix, const std::string& inputType,
                         const std::string& outputPrefix, const std::string& outputType)
{
    for (int i = 0; i < count; ++i) {
        TslDeviceIO* in = AddInput(inputPrefix + std::to_string(i));
        in->IOType = inputType;
        in->IODescription = NoDescription;
    }
    for (int i = 0; i < count; ++i) {
        TslDeviceIO* out = AddOutput(outputPrefix + std::to_string(i));
        out->IOType = outputType;
        out->IODescription = NoDescription;
    }
}

TslDeviceIO* TslIODevice::BindIpp(TslIPPRef* ipp)
{
    if (!ipp)
        return nullptr;
    auto& list = ipp->IsActuator() ? OutputList : InputList;
    for (auto& io : list)
        if (!io->BoundObject) {
            io->BoundObject = ipp;
            return io.get();
        }
    return nullptr;
}

void TslIODevice::UnbindIpp(const TslIPPRef* ipp)
{
    if (!ipp)
        return;
    // The IPP may have changed from sensor to actuator (or back) in its
    // properties dialog since it was bound: look on the other side too, so
    // that no entry stays bound to an IPP that is no longer connected.
    auto& primary = ipp->IsActuator() ? OutputList : InputList;
    auto& other = ipp->IsActuator() ? InputList : OutputList;
    for (auto* list : {&primary, &other})
        for (auto& io : *list)
            if (io->BoundObject == ipp) {
                io->BoundObject = nullptr;
                return;
            }
}

TslDevice::TslDevice(uint8_t kind, TSystemLayerManager* layer, const std::string& imageFile)
    : TslIODevice(kind, layer, imageFile)
{
    FillIO(DefaultIOCount, "DigitalInput_", "DigitalInput", "DigitalOutput_", "DigitalOutput");
}

TslIPPRef* TslDevice::AddIppRef(std::unique_ptr<TslIPPRef> ipp)
{
    if (!ipp)
        return nullptr;
    ipp->Owner = this;
    ipp->Layer = Layer;
    IPPList.push_back(std::move(ipp));
    return IPPList.back().get();
}

void TslDevice::FreeIppRefs()
{
    if (!Layer) {
        IPPList.clear();
        return;
    }
    while (!IPPList.empty()) {
        size_t before = IPPList.size();
        Layer->DeleteIpp(this, IPPList.back().get());
        if (IPPList.size() == before)
            IPPList.pop_back();
    }
}

TslIPPRef* TslDevice::FindIpp(const std::string& name) const
{
    for (auto& ipp : IPPList)
        if (ipp->Name == name)
            return ipp.get();
    return nullptr;
}

bool TslDevice::HoldsIpp(const TslIPPRef* ipp) const
{
    return std::any_of(IPPList.begin(), IPPList.end(), [&](const auto& p) { return p.get() == ipp; });
}

TslNonIECDevice::TslNonIECDevice(TSystemLayerManager* layer, const std::string& imageFile)
    : TslIODevice(slNonIECDevice, layer, imageFile)
{
    FillIO(DefaultIOCount, "AnalogInput_", "AnalogInput", "DAnalogOutput_", "AnalogOutput");
}

// ---- IPT ----

TslIPPRef* TslIPT::AddIpp(const std::string& name, const std::string& typeName, uint8_t sensorActuator)
{
    auto ipp = std::make_unique<TslIPPRef>(Layer);
    ipp->Name = name;
    ipp->TypeName = typeName;
    ipp->SensorActuator = sensorActuator;
    ipp->Owner = this;
    IPPList.push_back(std::move(ipp));
    return IPPList.back().get();
}

void TslIPT::SetSubtype(int subtype, const std::string& imageFile)
{
    ImageFileName = WithForwardSlashes(imageFile);
    if (const TslIptSubtype* row = IptSubtype(subtype))
        TypeName = std::string(row->TypeName);
    SetImage(imageFile);
}

void TslIPT::RemoveIpp(TslIPPRef* ipp)
{
    if (Layer) {
        Layer->DeleteIpp(this, ipp);
        return;
    }
    auto it = std::find_if(IPPList.begin(), IPPList.end(), [&](const auto& p) { return p.get() == ipp; });
    if (it != IPPList.end())
        IPPList.erase(it);
}

TslIPPRef* TslIPT::getIppByName(const std::string& name) const
{
    for (auto& ipp : IPPList)
        if (ipp->Name == name)
            return ipp.get();
    return nullptr;
}

} // namespace telvo
